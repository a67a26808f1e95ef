#pragma once
// The sample of a log record line for the history: speed, bearing and time, read fast enough to
// go through a log of 30 million lines in a few seconds (by hand from the bytes, no text objects
// per line).
//
// A line gives a sample when it is three quoted fields (splitQuotedFields) and
//   - the speed is digits with at most one point ("0.515", "12.35", "0515"), its units told by
//     its decimals as readoutCaptionForSpeedText tells them (a speed whose decimals tell no units,
//     such as "1.5", gives no sample: it could not be converted);
//   - the bearing is one to three digits, 0 to 360 (360 is north, as 0);
//   - the date-time is DD/MM/YYYY HH:MM:SS, a real date and time of day, and, on a local clock,
//     one that LocalTimeResolver places (a time the clocks skipped, or a repeated one that the
//     order of the stamps cannot place, makes a bad line).
// Those are the shapes the recorder writes; any other line is a bad line.

#include "base/LocalTimeResolver.h"
#include "history/HistorySeries.h"
#include "sensor/RawRecord.h"
#include "history/TimeAxis.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

// Seconds since 01/01/1970 00:00:00 of a DD/MM/YYYY HH:MM:SS text, on the clock that wrote it
// (no time zone is applied). False for any other text or an impossible date or time.
bool parseLogDateTime(QByteArrayView text, qint64* seconds);

class LogSampleParser
{
public:
    // Speeds are given in fileUnits, whatever the units of each record; times are the stamps
    // read on the clock timeBase (the units line's "24 Hour UTC" or "24 Hour Local ...").
    explicit LogSampleParser(SpeedUnitsKind fileUnits, const TimeBase& timeBase = TimeBase::Utc);

    // The clock of the stamps from here on (a units line among the records).
    void setTimeBase(const TimeBase& timeBase);
    const TimeBase& timeBase() const { return m_timeBase; }
    // The time of the last good stamp, on whichever clock: it places a stamp of a repeated hour
    // that follows. A reading that goes on where an earlier one stopped hands it over.
    std::optional<qint64> previousStampMs() const { return m_previousMs; }
    void setPreviousStampMs(std::optional<qint64> ms);

    // line without its line end. True with *sample filled for a good line.
    bool parse(QByteArrayView line, HistorySample* sample);
    // The three texts of a record, already apart.
    bool parseFields(QByteArrayView speed, QByteArrayView bearing, QByteArrayView dateTime,
                     HistorySample* sample);
    // The units of the last good line's own speed text (its layout), before any conversion.
    SpeedUnitsKind lastRecordUnits() const { return m_shapeUnits; }

private:
    SpeedUnitsKind m_fileUnits;
    TimeBase m_timeBase;
    std::optional<LocalTimeResolver> m_resolver; // on a local clock
    std::optional<qint64> m_previousMs;
    // The units told by the last speed shape seen (its length and the place of its point): a log
    // keeps one shape for hours, so the units rule is asked once per change of shape.
    qsizetype m_shapeLength = -1;
    qsizetype m_shapePoint = -1;
    bool m_shapeKnown = false;
    SpeedUnitsKind m_shapeUnits = SpeedUnitsKind::MetresPerSecond;
    // The date of the last date-time read and its day number.
    char m_date[10] = {};
    bool m_dateKnown = false;
    qint64 m_days = 0;
};
