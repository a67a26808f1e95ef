#include "session/AlarmWatch.h"

#include "base/NumberText.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <cmath>
#include <limits>

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

qint64 systemFreeSpace(const QString& path)
{
    const QStorageInfo storage(QFileInfo(path).absolutePath());
    return storage.isValid() && storage.isReady() ? storage.bytesAvailable() : -1;
}

QString speedText(double ms)
{
    return formatNumber(ms, QStringLiteral("0.000"));
}

} // namespace

AlarmWatch::AlarmWatch(QObject* parent)
    : QObject(parent), m_clock(&systemClock()), m_freeSpace(systemFreeSpace)
{
    m_checkTimer.setInterval(kCheckInterval);
    connect(&m_checkTimer, &QTimer::timeout, this, &AlarmWatch::check);
}

void AlarmWatch::setClock(const Clock* clock)
{
    m_clock = clock ? clock : &systemClock();
}

void AlarmWatch::setSettings(const AlarmSettings& settings)
{
    const AlarmSettings old = m_settings;
    const qint64 now = utcNow();
    // Changed rules start a new episode: what the old ones raised is cleared first.
    if (settings.speedAbove != old.speedAbove)
        clearSpeed(m_above, now);
    if (settings.speedBelow != old.speedBelow)
        clearSpeed(m_below, now);
    if (settings.noData != old.noData || settings.noDataSeconds != old.noDataSeconds)
        clear(m_noDataRaised, "no-data", kNoValue, now);
    if (settings.deviceLost != old.deviceLost)
        clear(m_deviceLostRaised, "device-lost", kNoValue, now);
    if (settings.freeSpace != old.freeSpace || settings.freeSpaceMb != old.freeSpaceMb) {
        clear(m_freeSpaceRaised, "free-space", kNoValue, now);
        m_lastFreeLook.reset();
    }
    if (settings.clock != old.clock)
        clear(m_clockRaised, "clock", kNoValue, now);
    m_settings = settings;
    if (m_settings.anyOn())
        m_checkTimer.start();
    else
        m_checkTimer.stop();
    setClockState(m_clockSync);
    lookAtFreeSpace(true);
}

void AlarmWatch::setClockState(const ClockSync& sync)
{
    m_clockSync = sync;
    if (!m_settings.clock)
        return;
    // Unknown says nothing either way: the alarm stays as it is.
    if (sync.state == ClockSync::State::NotSynchronised)
        raise(m_clockRaised, "clock", kNoValue, utcNow());
    else if (sync.state == ClockSync::State::Synchronised)
        clear(m_clockRaised, "clock", double(sync.estimatedErrorUs) / 1000.0, utcNow());
}

void AlarmWatch::takeBatch(const SampleBatch& batch)
{
    for (const Sample& sample : batch) {
        // The instrument's own samples only: the demonstration's are invented.
        if (sample.source != SampleSource::Live)
            continue;
        if (m_noDataRaised) {
            const double silence = double(m_clock->steadyMs() - m_lastDataMs) / 1000.0;
            clear(m_noDataRaised, "no-data", std::floor(silence), sample.timeMs);
        }
        m_lastDataMs = m_clock->steadyMs();
        if (!sample.computed)
            continue;
        takeSpeed(m_above, m_settings.speedAbove, sample.speedMs, sample.timeMs);
        takeSpeed(m_below, m_settings.speedBelow, sample.speedMs, sample.timeMs);
    }
}

void AlarmWatch::takeSpeed(SpeedRule& rule, const SpeedAlarmSettings& s, double speedMs,
                           qint64 timeMs)
{
    if (!s.on)
        return;
    const double speed = std::fabs(speedMs);
    // Raising: past the threshold. Clearing: back past it by the hysteresis.
    const bool changing = rule.raised
                              ? (rule.above ? speed <= s.thresholdMs - s.hysteresisMs
                                            : speed >= s.thresholdMs + s.hysteresisMs)
                              : (rule.above ? speed > s.thresholdMs : speed < s.thresholdMs);
    if (!changing) {
        rule.since.reset();
        return;
    }
    if (!rule.since)
        rule.since = timeMs;
    if (timeMs - *rule.since < qint64(s.seconds) * 1000)
        return;
    rule.since.reset();
    if (rule.raised)
        clear(rule.raised, rule.name, speed, timeMs);
    else
        raise(rule.raised, rule.name, speed, timeMs);
}

void AlarmWatch::clearSpeed(SpeedRule& rule, qint64 timeMs)
{
    rule.since.reset();
    clear(rule.raised, rule.name, kNoValue, timeMs);
}

void AlarmWatch::takeEvent(const SessionEvent& event)
{
    const qint64 now = utcNow();
    switch (event.kind) {
    case SessionEvent::Kind::Connected:
    case SessionEvent::Kind::Reconnected:
        m_watching = true;
        m_lastDataMs = m_clock->steadyMs();
        clear(m_deviceLostRaised, "device-lost", kNoValue, now);
        break;
    case SessionEvent::Kind::DeviceLost:
    case SessionEvent::Kind::Reconnecting:
        m_watching = false;
        // The silence of a device that is away is told as its loss.
        clear(m_noDataRaised, "no-data", kNoValue, now);
        if (m_settings.deviceLost)
            raise(m_deviceLostRaised, "device-lost", kNoValue, now);
        break;
    case SessionEvent::Kind::Disconnected:
        // The operator ended the measurement: what it said ends with it (a lost device stays
        // told until it is connected again).
        m_watching = false;
        clear(m_noDataRaised, "no-data", kNoValue, now);
        clearSpeed(m_above, now);
        clearSpeed(m_below, now);
        break;
    case SessionEvent::Kind::Finishing:
        m_watching = false;
        m_checkTimer.stop();
        break;
    case SessionEvent::Kind::NoData:
    case SessionEvent::Kind::DataAgain:
    case SessionEvent::Kind::ClockState:
    case SessionEvent::Kind::ClockStepped:
    case SessionEvent::Kind::AlarmRaised:
    case SessionEvent::Kind::AlarmCleared:
    case SessionEvent::Kind::Mark:
        break;
    }
}

void AlarmWatch::check()
{
    if (m_settings.noData && m_watching && !m_noDataRaised) {
        const qint64 silence = m_clock->steadyMs() - m_lastDataMs;
        if (silence >= qint64(m_settings.noDataSeconds) * 1000)
            raise(m_noDataRaised, "no-data", double(silence / 1000), utcNow());
    }
    lookAtFreeSpace(false);
}

void AlarmWatch::lookAtFreeSpace(bool now)
{
    const QString file = m_logFile ? m_logFile() : QString();
    const qint64 steady = m_clock->steadyMs();
    if (!now && m_lastFreeLook && steady - *m_lastFreeLook < kFreeSpaceInterval)
        return;
    m_lastFreeLook = steady;
    m_freeBytes = file.isEmpty() || !m_freeSpace ? -1 : m_freeSpace(file);
    if (!m_settings.freeSpace)
        return;
    if (m_freeBytes < 0) {
        // No log, or nothing known of its file system: nothing to warn of.
        clear(m_freeSpaceRaised, "free-space", kNoValue, utcNow());
        return;
    }
    const double freeMb = double(m_freeBytes) / (1024.0 * 1024.0);
    const double limit = m_settings.freeSpaceMb;
    // Ended a little above the limit, so a file that grows and one that is removed beside it do
    // not ring it again and again.
    const double clearAt = limit + qMax(1.0, limit / 20);
    if (!m_freeSpaceRaised && freeMb < limit)
        raise(m_freeSpaceRaised, "free-space", std::floor(freeMb), utcNow());
    else if (m_freeSpaceRaised && freeMb >= clearAt)
        clear(m_freeSpaceRaised, "free-space", std::floor(freeMb), utcNow());
}

void AlarmWatch::raise(bool& flag, const char* name, double value, qint64 timeMs)
{
    if (!flag)
        tell(flag, true, name, value, timeMs);
}

void AlarmWatch::clear(bool& flag, const char* name, double value, qint64 timeMs)
{
    if (flag)
        tell(flag, false, name, value, timeMs);
}

void AlarmWatch::tell(bool& flag, bool raised, const char* name, double value, qint64 timeMs)
{
    flag = raised;
    SessionEvent event{raised ? SessionEvent::Kind::AlarmRaised : SessionEvent::Kind::AlarmCleared,
                       QString(), QString()};
    event.alarm = QString::fromLatin1(name);
    event.reason = describe(event.alarm);
    event.value = value;
    event.timeMs = timeMs;
    emit alarmEvent(event);
}

QStringList AlarmWatch::raised() const
{
    QStringList names;
    if (m_above.raised)
        names << QString::fromLatin1(m_above.name);
    if (m_below.raised)
        names << QString::fromLatin1(m_below.name);
    if (m_noDataRaised)
        names << QStringLiteral("no-data");
    if (m_deviceLostRaised)
        names << QStringLiteral("device-lost");
    if (m_freeSpaceRaised)
        names << QStringLiteral("free-space");
    if (m_clockRaised)
        names << QStringLiteral("clock");
    return names;
}

QString AlarmWatch::describe(const QString& alarm) const
{
    if (alarm == QLatin1String("speed-above"))
        return QStringLiteral("speed above %1 m/s")
            .arg(speedText(m_settings.speedAbove.thresholdMs));
    if (alarm == QLatin1String("speed-below"))
        return QStringLiteral("speed below %1 m/s")
            .arg(speedText(m_settings.speedBelow.thresholdMs));
    if (alarm == QLatin1String("no-data"))
        return QStringLiteral("no data for %1 s").arg(m_settings.noDataSeconds);
    if (alarm == QLatin1String("device-lost"))
        return QStringLiteral("device lost");
    if (alarm == QLatin1String("free-space"))
        return QStringLiteral("less than %1 MB free for the log").arg(m_settings.freeSpaceMb);
    if (alarm == QLatin1String("clock"))
        return QStringLiteral("clock not synchronised");
    return alarm;
}
