#include "sensor/FlowPipeline.h"

#include "base/ClockText.h"
#include "base/MarvaneError.h"
#include "base/NumberText.h"

#include <QDateTime>

#include <limits>

FlowPipeline::FlowPipeline(QObject* parent)
    : QObject(parent), m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

QString FlowPipeline::timeText(qint64 timeMs) const
{
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC);
    return clockText(m_localTime ? utc.toLocalTime() : utc);
}

SampleBatch FlowPipeline::decodeRecords(const QList<QByteArray>& records, SampleSource source)
{
    if (records.isEmpty())
        return {};
    // One reading of the clock for records handed over together.
    return decodeRecords(records, QList<qint64>(records.size(), m_clock()), source);
}

SampleBatch FlowPipeline::decodeRecords(const QList<QByteArray>& records,
                                        const QList<qint64>& arrivalMs, SampleSource source)
{
    Q_ASSERT(records.size() == arrivalMs.size());
    SampleBatch batch;
    batch.reserve(records.size());
    // The clock text names whole seconds: worked out once per second, not once per record.
    qint64 textSecond = std::numeric_limits<qint64>::min();
    QString text;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const qint64 timeMs = arrivalMs.at(i);
        const qint64 second = timeMs >= 0 ? timeMs / 1000 : -((-timeMs + 999) / 1000);
        if (second != textSecond) {
            textSecond = second;
            text = timeText(timeMs);
        }
        if (std::optional<Sample> sample =
                decodeRecord(QString::fromLatin1(records.at(i)), source, timeMs, text))
            batch.append(std::move(*sample));
    }
    return batch;
}

std::optional<Sample> FlowPipeline::decodeRecord(const QString& text, SampleSource source,
                                                 qint64 timeMs, const QString& timeText)
{
    const std::optional<RawRecord> record = parseRawRecord(text);
    if (!record)
        return std::nullopt;
    const UnitsInfo& info = unitsInfo(record->units);
    m_liveUnits = record->units;
    m_shownUnits = record->units;

    Sample sample;
    sample.source = source;
    sample.units = record->units;
    sample.hasRecord = true;
    sample.rawX = record->x;
    sample.rawY = record->y;
    sample.faceUp = m_faceUp;
    sample.bearingTo = m_bearingTo;
    sample.headingOffset = m_headingOffset;
    sample.timeMs = timeMs;
    sample.timeText = timeText;
    try {
        // The fields are converted as the raw table shows them, four leading blanks included, so
        // a conversion message quotes exactly what the operator sees in the table.
        const FlowSample flow =
            computeFlowSample(Sample::cellText(record->x), Sample::cellText(record->y), m_faceUp,
                              m_bearingTo ? 1 : 0, info.speedFormat, m_headingOffset.value_or(0));
        const double toMs = metresPerSecondPerUnit(record->units);
        sample.x = flow.x;
        sample.y = flow.y;
        sample.xMs = flow.x * toMs;
        sample.yMs = flow.y * toMs;
        sample.speed = flow.speed;
        sample.speedMs = flow.speed * toMs;
        sample.speedText = flow.speedText;
        sample.bearingText = flow.bearingText;
        sample.bearing = flow.bearing;
        sample.colour = flow.colour;
        // The needle shows the speed as displayed.
        sample.speedNeedleAngle = speedNeedleAngle(flow.shownSpeed, record->units);
        sample.computed = true;
    } catch (const MarvaneError& e) {
        sample.error = e.text();
    }
    return sample;
}

Sample FlowPipeline::decodeReplayed(const QString& speed, const QString& bearing,
                                    const QString& dateTime,
                                    std::optional<SpeedUnitsKind> recordUnits)
{
    Sample sample;
    sample.source = SampleSource::Replay;
    sample.speedText = speed;
    sample.bearingText = bearing;
    sample.timeText = dateTime;
    const SpeedUnitsKind units =
        recordUnits.value_or(m_shownUnits.value_or(SpeedUnitsKind::MillimetresPerSecond));
    sample.units = units;
    try {
        // The file holds whole degrees and the speed as it was shown: colour and needle follow
        // them.
        const int degrees = textToInt(bearing);
        const double shownSpeed = double(textToFloat(speed));
        sample.bearing = degrees;
        sample.speed = shownSpeed;
        sample.speedMs = shownSpeed * metresPerSecondPerUnit(units);
        sample.colour = bearingColour(degrees, bearing);
        sample.speedNeedleAngle = speedNeedleAngle(shownSpeed, units);
        sample.computed = true;
    } catch (const MarvaneError& e) {
        sample.error = e.text();
        return sample;
    }
    m_shownUnits = units;
    return sample;
}

void FlowPipeline::processReplayed(const QString& speed, const QString& bearing,
                                   const QString& dateTime,
                                   std::optional<SpeedUnitsKind> recordUnits)
{
    emit sampleReady(decodeReplayed(speed, bearing, dateTime, recordUnits));
}
