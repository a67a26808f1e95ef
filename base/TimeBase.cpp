#include "base/TimeBase.h"

namespace {

TimeBase localClock()
{
    return TimeBase::localIn(QByteArray());
}

} // namespace

const TimeBase TimeBase::Utc{};
const TimeBase TimeBase::Local = localClock();

TimeBase TimeBase::localIn(const QByteArray& zoneId)
{
    TimeBase base;
    base.m_local = true;
    base.m_zoneId = zoneId;
    if (!zoneId.isEmpty()) {
        // Made and asked, rather than looked up in the list of ids: the list leaves out names
        // the database reads all the same ("UTC", "EST5EDT", older names kept as links).
        const QTimeZone zone(zoneId);
        if (zone.isValid())
            base.m_zone = zone;
    }
    return base;
}

QTimeZone TimeBase::zone() const
{
    if (!m_local)
        return QTimeZone::utc();
    return m_zone.isValid() ? m_zone : QTimeZone::systemTimeZone();
}

TimeBase TimeBase::assuming(const QTimeZone& zone) const
{
    TimeBase base = *this;
    if (m_local && !m_zone.isValid())
        base.m_zone = zone;
    return base;
}
