#include "logfile/LocalTimeResolver.h"

#include <QDateTime>

#include <algorithm>

LocalTimeResolver::LocalTimeResolver(const QTimeZone& zone) : m_zone(zone) {}

const std::vector<int>& LocalTimeResolver::offsetsAt(qint64 wallSeconds)
{
    // Zones change their offset on whole minutes, so the answer holds for the whole minute: a log
    // asks the zone's rules once a minute, not once a line.
    const qint64 minute = wallSeconds >= 0 ? wallSeconds / 60 : (wallSeconds - 59) / 60;
    if (minute == m_cachedMinute)
        return m_cachedOffsets;
    m_cachedMinute = minute;
    m_cachedOffsets.clear();

    const auto offsetAt = [this](qint64 utcSeconds) {
        return m_zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC));
    };
    // The offsets in force within a day either side: a wall time can only be one of them.
    std::vector<int> candidates = {offsetAt(wallSeconds - 86400), offsetAt(wallSeconds),
                                   offsetAt(wallSeconds + 86400)};
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    // Largest offset first: the earliest instant.
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
        if (offsetAt(wallSeconds - *it) == *it)
            m_cachedOffsets.push_back(*it);
    }
    return m_cachedOffsets;
}

std::optional<qint64> LocalTimeResolver::toUtcMs(qint64 wallSeconds, Outcome* outcome)
{
    const auto done = [outcome](Outcome o, std::optional<qint64> utc) {
        if (outcome)
            *outcome = o;
        return utc;
    };
    const std::vector<int>& offsets = offsetsAt(wallSeconds);
    if (offsets.empty())
        return done(Outcome::Missing, std::nullopt);
    if (offsets.size() == 1) {
        m_lastUtc = wallSeconds - offsets.front();
        return done(Outcome::Unique, *m_lastUtc * 1000);
    }
    if (!m_lastUtc)
        return done(Outcome::Unplaced, std::nullopt);
    for (size_t i = 0; i < offsets.size(); ++i) {
        const qint64 utc = wallSeconds - offsets[i];
        if (utc >= *m_lastUtc) {
            m_lastUtc = utc;
            ++m_repeated;
            return done(i == 0 ? Outcome::First : Outcome::Second, utc * 1000);
        }
    }
    return done(Outcome::Unplaced, std::nullopt);
}
