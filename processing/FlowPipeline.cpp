#include "processing/FlowPipeline.h"

#include "base/ClockText.h"
#include "base/MarvaneError.h"
#include "base/NumberText.h"

FlowPipeline::FlowPipeline(const DisplayFlags* flags, QObject* parent)
    : QObject(parent), m_flags(flags), m_clock([] { return QDateTime::currentDateTime(); })
{
}

std::optional<Sample> FlowPipeline::decodeRecord(const QString& text, SampleSource source)
{
    const std::optional<RawRecord> record = parseRawRecord(text);
    if (!record)
        return std::nullopt;
    const UnitsInfo& info = unitsInfo(record->units);
    m_units.speedFormat = info.speedFormat;
    m_units.speedUnits = info.speedUnits;
    m_units.readoutCaption = info.readoutCaption;

    Sample sample;
    sample.source = source;
    sample.hasRecord = true;
    sample.rawX = record->x;
    sample.rawY = record->y;
    sample.units = record->units;
    sample.readoutCaption = info.readoutCaption;
    sample.speedUnits = info.speedUnits;
    sample.timeText = clockText(m_clock());
    try {
        // The fields are converted as the raw table shows them, four leading blanks included, so
        // a conversion message quotes exactly what the operator sees in the table.
        const FlowSample flow =
            computeFlowSample(Sample::cellText(record->x), Sample::cellText(record->y),
                              m_flags && m_flags->faceUp, m_bearingTo ? 1 : 0, info.speedFormat);
        sample.speedText = flow.speedText;
        sample.bearingText = flow.bearingText;
        sample.bearing = flow.bearing;
        sample.colour = flow.colour;
        // The needle shows the displayed speed, already formatted.
        sample.speedNeedleAngle =
            speedNeedleAngle(double(textToFloat(flow.speedText)), info.readoutCaption);
        sample.computed = true;
    } catch (const MarvaneError& e) {
        sample.error = e.text();
    }
    return sample;
}

bool FlowPipeline::processRecord(const QString& text, SampleSource source)
{
    const std::optional<Sample> sample = decodeRecord(text, source);
    if (!sample)
        return false;
    emit sampleReady(*sample);
    return true;
}

QString FlowPipeline::setReplayUnitsWord(const QString& word)
{
    m_units.readoutCaption = unitsInfo(speedUnitsOfUnitsWord(word)).readoutCaption;
    return m_units.readoutCaption;
}

Sample FlowPipeline::decodeReplayed(const QString& speed, const QString& bearing,
                                    const QString& dateTime, const QString& recordCaption)
{
    Sample sample;
    sample.source = SampleSource::Replay;
    sample.speedText = speed;
    sample.bearingText = bearing;
    sample.timeText = dateTime;
    const QString caption = recordCaption.isEmpty() ? m_units.readoutCaption : recordCaption;
    sample.readoutCaption = caption;
    try {
        // The file holds whole degrees: colour and needle follow them.
        const int degrees = textToInt(bearing);
        const double shownSpeed = double(textToFloat(speed));
        sample.bearing = degrees;
        sample.colour = bearingColour(degrees, bearing);
        sample.speedNeedleAngle = speedNeedleAngle(shownSpeed, caption);
        sample.computed = true;
    } catch (const MarvaneError& e) {
        sample.error = e.text();
        return sample;
    }
    m_units.readoutCaption = caption;
    return sample;
}

void FlowPipeline::processReplayed(const QString& speed, const QString& bearing,
                                   const QString& dateTime, const QString& recordCaption)
{
    emit sampleReady(decodeReplayed(speed, bearing, dateTime, recordCaption));
}
