#pragma once
// Turns the wall-clock stamps of a log written in local time into UTC, by the zone's rules, in
// the order the stamps were written. This is the one rule for local time: the history, the
// replay's plot and the export all read a log's local stamps through it.
//
// Where the clocks go back, an hour of wall-clock times happens twice. Such a stamp is placed by
// the stamp before it: it is the earliest occurrence not before the previous stamp, so stamps are
// first occurrences until they go backwards within the repeated hour, and second occurrences from
// then on. A repeated time that order cannot place is refused: one with no stamp before it (a log
// that starts in the repeated hour), or one before the previous stamp even as its second
// occurrence (going backwards again). So is a time that does not exist (skipped when the clocks
// went forward).

#include <QTimeZone>
#include <QtGlobal>

#include <limits>
#include <optional>
#include <vector>

class LocalTimeResolver
{
public:
    explicit LocalTimeResolver(const QTimeZone& zone);

    enum class Outcome
    {
        Unique,   // one instant has this wall-clock time
        First,    // first occurrence of a repeated time
        Second,   // second occurrence of a repeated time
        Missing,  // no instant has this wall-clock time
        Unplaced, // a repeated time that order cannot place
    };

    // wallSeconds: the stamp's reading as seconds since 01/01/1970 00:00:00 on the wall clock.
    // The instant in milliseconds since 1970-01-01 UTC, or nothing (outcome says why).
    std::optional<qint64> toUtcMs(qint64 wallSeconds, Outcome* outcome = nullptr);

    // The previous stamp placed (milliseconds since 1970-01-01 UTC), by which a repeated time is
    // placed. Set it when stamps go on from where an earlier reading stopped, or when a stamp on
    // another clock (a part of the log in UTC) came in between.
    std::optional<qint64> previousMs() const;
    void setPreviousMs(std::optional<qint64> utcMs);

    // Stamps in a repeated hour placed so far (for the history note of an export).
    qint64 repeatedStamps() const { return m_repeated; }

private:
    // UTC offsets (seconds) at which this wall time exists, earliest instant first.
    const std::vector<int>& offsetsAt(qint64 wallSeconds);

    QTimeZone m_zone;
    // The wall-clock day last asked for, and whether the zone keeps one offset all through it
    // (every day but the few with a change): its stamps then need no look-up of their own.
    qint64 m_cachedDay = std::numeric_limits<qint64>::min();
    bool m_dayIsPlain = false;
    int m_dayOffset = 0;
    qint64 m_cachedMinute = std::numeric_limits<qint64>::min();
    std::vector<int> m_cachedOffsets;
    std::optional<qint64> m_lastUtc; // seconds, of the previous stamp placed
    qint64 m_repeated = 0;
};
