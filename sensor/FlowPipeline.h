#pragma once
// The sample pipeline: record text from any source in, Sample values out.
//
// Live and demonstration records are validated and decoded (their units recognised from the
// record's layout), then the flow is computed with the sensor's face, the chosen bearing sense
// and the heading offset. A serial record carries the time its line end was read; a record
// handed over without one (the demonstration's) is stamped when it is decoded. Replayed samples
// arrive as the texts of a log line (split by the replay session) and are converted for the dials.
// The units shown are one state shared by both roads, as the display shows one units caption: a
// live record changes how the next replayed line is read.

#include "sensor/Sample.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>

class FlowPipeline : public QObject
{
    Q_OBJECT
public:
    // Milliseconds since 1970-01-01 UTC; the system clock unless a test sets another.
    using Clock = std::function<qint64()>;

    explicit FlowPipeline(QObject* parent = nullptr);

    // The sensor is mounted face up: X changes sign.
    void setFaceUp(bool up) { m_faceUp = up; }
    bool faceUp() const { return m_faceUp; }
    // The bearing shown is where the flow comes from (false) or heads to (true).
    void setBearingTo(bool to) { m_bearingTo = to; }
    bool bearingTo() const { return m_bearingTo; }
    // The sensor's heading in degrees true, added to every computed bearing (not set: bearings
    // are relative to the front of the sensor).
    void setHeadingOffset(std::optional<double> degrees) { m_headingOffset = degrees; }
    std::optional<double> headingOffset() const { return m_headingOffset; }
    // Time stamps in local time instead of UTC.
    void setLocalTime(bool local) { m_localTime = local; }
    bool localTime() const { return m_localTime; }

    void setClock(Clock clock) { m_clock = std::move(clock); }
    qint64 now() const { return m_clock(); }
    // The clock text of a time in the time base chosen: "24/05/2009 14:03:07".
    QString timeText(qint64 timeMs) const;

    // The units of the last live record, none before the first.
    std::optional<SpeedUnitsKind> liveUnits() const { return m_liveUnits; }
    // The log file's units word of the last live record ("m/s", "Knots", "mm/s"), empty before
    // the first.
    QString liveUnitsWord() const
    {
        return m_liveUnits ? unitsInfo(*m_liveUnits).speedUnits : QString();
    }
    // The units the display shows (the last live record's, or the replay's).
    std::optional<SpeedUnitsKind> shownUnits() const { return m_shownUnits; }

    // One poll's records, all stamped now. Text that is not a record gives nothing (the
    // sensor's line noise is dropped silently).
    SampleBatch decodeRecords(const QList<QByteArray>& records, SampleSource source);
    // One poll's records, each stamped with its arrival time (ms since 1970 UTC, one per record).
    SampleBatch decodeRecords(const QList<QByteArray>& records, const QList<qint64>& arrivalMs,
                              SampleSource source);
    // One record stamped at timeMs (timeText: its clock text), or nothing for text that is not
    // a record.
    std::optional<Sample> decodeRecord(const QString& text, SampleSource source, qint64 timeMs,
                                       const QString& timeText);

    // The units a replayed log file's units line names: shown until a line's own speed text
    // tells others.
    void setReplayUnits(SpeedUnitsKind units) { m_shownUnits = units; }
    // The texts of one replayed record line. recordUnits are the units the record's own speed
    // text tells (none when it tells nothing): a log whose units changed during recording replays
    // as it was recorded. Always gives a sample: a bearing or speed that is not a number gives a
    // sample with computed false and the conversion message, and then changes nothing of the
    // units.
    Sample decodeReplayed(const QString& speed, const QString& bearing, const QString& dateTime,
                          std::optional<SpeedUnitsKind> recordUnits);
    // decodeReplayed, handed out with sampleReady.
    void processReplayed(const QString& speed, const QString& bearing, const QString& dateTime,
                         std::optional<SpeedUnitsKind> recordUnits);

signals:
    // A replayed sample (live samples travel in batches through the live session).
    void sampleReady(const Sample& sample);

private:
    bool m_faceUp = false;
    bool m_bearingTo = false;
    std::optional<double> m_headingOffset;
    bool m_localTime = false;
    Clock m_clock;
    std::optional<SpeedUnitsKind> m_liveUnits;
    std::optional<SpeedUnitsKind> m_shownUnits;
};
