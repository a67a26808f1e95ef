#pragma once
// The sample pipeline: record text from any source in, one Sample out to every sink.
//
// Live and demonstration records are validated and decoded (their units recognised from the
// record's layout), then the flow is computed with the sensor's orientation and the chosen
// bearing sense. Replayed samples arrive as the texts of a log line (split by the replay session)
// and are converted for the dials. The units in force are one state shared by both roads, as the
// display shows one units caption: a live record changes how the next replayed line is read.

#include "base/CommsSettings.h"
#include "processing/Sample.h"

#include <QDateTime>
#include <QObject>

#include <functional>

// The units the display and the log file are in.
struct UnitsState
{
    QString speedFormat;    // "0.000", "00.00", "0000"; empty before the first live record
    QString speedUnits;     // the log file's units word; empty before the first live record
    QString readoutCaption; // "m/s", "Kts", "mm/s"; empty at start
};

class FlowPipeline : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    // flags: the display flags in force (face up negates X), read at every record.
    explicit FlowPipeline(const DisplayFlags* flags, QObject* parent = nullptr);

    // The bearing shown is where the flow comes from (false) or heads to (true).
    void setBearingTo(bool to) { m_bearingTo = to; }
    bool bearingTo() const { return m_bearingTo; }

    // Local time of arrival; the system clock unless a test sets another.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    const UnitsState& units() const { return m_units; }

    // A live or demonstration record. Text that is not a record gives nothing (no sample, no
    // report: the sensor's line noise is dropped silently). Emits sampleReady and returns true for
    // a record.
    bool processRecord(const QString& text, SampleSource source);

    // The replay units chosen by a log file's units word: "Knots" is knots, "m/s" is m/s and any
    // other word (an empty one included) is mm/s. Returns the readout caption now in force.
    QString setReplayUnitsWord(const QString& word);
    // The texts of one replayed record line. recordCaption is the units caption the record's own
    // speed text tells ("m/s", "Kts", "mm/s"; empty when it tells nothing): a log whose units
    // changed during recording replays as it was recorded. Always emits a sample: a bearing or
    // speed that is not a number gives a sample with computed false and the conversion message,
    // and then changes nothing of the units.
    void processReplayed(const QString& speed, const QString& bearing, const QString& dateTime,
                         const QString& recordCaption);

    // The same steps without emitting, for callers that want the value only.
    std::optional<Sample> decodeRecord(const QString& text, SampleSource source);
    Sample decodeReplayed(const QString& speed, const QString& bearing, const QString& dateTime,
                          const QString& recordCaption);

signals:
    void sampleReady(const Sample& sample);

private:
    const DisplayFlags* m_flags;
    bool m_bearingTo = false;
    Clock m_clock;
    UnitsState m_units;
};
