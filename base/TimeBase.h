#pragma once
// The clock a recording's time stamps are read on: UTC, or the wall clock of a time zone. A log
// says which in its units line; the plot, the summary and the export read its stamps on that
// clock and show them on it again.
//
// Local time either names its zone ("Europe/London", as the recorder writes it) or leaves it
// unnamed (logs of older versions). An unnamed zone is the computer's, looked up when it is used,
// unless a reader is told to assume another (assuming()). A named zone that this computer's time
// zone database does not know is kept by its name and read as an unnamed one.

#include <QByteArray>
#include <QTimeZone>

class TimeBase
{
public:
    // Stamps in UTC; stamps in the computer's local time, zone not named.
    static const TimeBase Utc;
    static const TimeBase Local;
    // Local time in the zone of the given id (an IANA name such as "America/St_Johns").
    static TimeBase localIn(const QByteArray& zoneId);
    static TimeBase localIn(const QTimeZone& zone) { return localIn(zone.id()); }

    bool isLocal() const { return m_local; }
    // The id the clock names, as written; empty for UTC and for an unnamed zone.
    const QByteArray& zoneId() const { return m_zoneId; }
    // Whether the zone the stamps are read in is known: UTC, or a named zone of the database.
    bool knowsZone() const { return !m_local || m_zone.isValid(); }
    // The zone stamps are read in: UTC, the named zone when known, else the computer's.
    QTimeZone zone() const;
    // This clock with an unnamed (or unknown) zone read as zone instead of the computer's.
    TimeBase assuming(const QTimeZone& zone) const;

    friend bool operator==(const TimeBase& a, const TimeBase& b)
    {
        return a.m_local == b.m_local && a.m_zoneId == b.m_zoneId && a.m_zone == b.m_zone;
    }
    friend bool operator!=(const TimeBase& a, const TimeBase& b) { return !(a == b); }

private:
    bool m_local = false;
    QByteArray m_zoneId; // as named
    QTimeZone m_zone;    // the zone stamps are read in; invalid: the computer's
};
