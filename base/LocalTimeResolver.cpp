#include "base/LocalTimeResolver.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr qint64 kDay = 86400;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

} // namespace

LocalTimeResolver::LocalTimeResolver(const QTimeZone& zone) : m_zone(zone) {}

const std::vector<int>& LocalTimeResolver::offsetsAt(qint64 wallSeconds)
{
    // Zones change their offset on whole minutes, so the answer holds for the whole minute: a log
    // asks the zone's rules once a minute, not once a line.
    const qint64 minute = floorDiv(wallSeconds, 60);
    if (minute == m_cachedMinute)
        return m_cachedOffsets;
    m_cachedMinute = minute;
    m_cachedOffsets.clear();

    const auto offsetAt = [this](qint64 utcSeconds) {
        return m_zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC));
    };
    // The offsets in force within a day either side: a wall time can only be one of them.
    std::vector<int> candidates = {offsetAt(wallSeconds - kDay), offsetAt(wallSeconds),
                                   offsetAt(wallSeconds + kDay)};
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

    const qint64 day = floorDiv(wallSeconds, kDay);
    if (day != m_cachedDay) {
        m_cachedDay = day;
        // Any instant whose wall time falls in this day lies within a day of it in UTC (offsets
        // stay within 14 hours): without a transition of the zone there, one offset holds.
        const QDateTime from = QDateTime::fromSecsSinceEpoch((day - 1) * kDay, Qt::UTC);
        const qint64 until = (day + 2) * kDay * 1000;
        const QTimeZone::OffsetData next = m_zone.nextTransition(from);
        m_dayIsPlain = !m_zone.hasTransitions() || !next.atUtc.isValid() ||
                       next.atUtc.toMSecsSinceEpoch() >= until;
        m_dayOffset = m_zone.offsetFromUtc(from);
    }
    if (m_dayIsPlain) {
        m_lastUtc = wallSeconds - m_dayOffset;
        return done(Outcome::Unique, *m_lastUtc * 1000);
    }

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

std::optional<qint64> LocalTimeResolver::previousMs() const
{
    if (!m_lastUtc)
        return std::nullopt;
    return *m_lastUtc * 1000;
}

void LocalTimeResolver::setPreviousMs(std::optional<qint64> utcMs)
{
    if (utcMs)
        m_lastUtc = floorDiv(*utcMs, 1000);
    else
        m_lastUtc.reset();
}
