#pragma once
// The alarms of the live session, a destination like the others: it watches the samples and the
// session's events against the rules of AlarmSettings and tells each alarm raised and cleared,
// once per episode, as a session event (SessionEvent::AlarmRaised, AlarmCleared).
//
//   speed-above, speed-below  a live computed speed past the threshold for the minimum duration
//                             (measured between the samples' own times); ended the same way once
//                             back past the threshold by the hysteresis
//   no-data                   no record from the port for N seconds while it is open
//   device-lost               the device went away; ended when it is back or connected again
//   free-space                less than N MB free on the file system of the log file
//   clock                     the kernel says the computer's clock is not synchronised
//
// Times come from the session's Clock (a test sets its own); the free space from a probe a test
// may replace.

#include "base/Clock.h"
#include "sensor/SampleSink.h"
#include "session/AlarmSettings.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

class AlarmWatch : public QObject, public SampleSink
{
    Q_OBJECT
public:
    // Bytes free for this program on the file system of path; negative when unknown.
    using FreeSpaceProbe = std::function<qint64(const QString& path)>;

    explicit AlarmWatch(QObject* parent = nullptr);

    // The rules from now on; an alarm turned off or changed while raised is cleared first.
    void setSettings(const AlarmSettings& settings);
    const AlarmSettings& settings() const { return m_settings; }
    // Not owned; the system's clock when null.
    void setClock(const Clock* clock);
    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpace = std::move(probe); }
    // The log file whose file system is watched, read at every look (empty: none).
    void setLogFileSource(std::function<QString()> source) { m_logFile = std::move(source); }
    // The kernel's word on the clock, as the session last read it.
    void setClockState(const ClockSync& sync);

    void takeBatch(const SampleBatch& batch) override;
    void takeEvent(const SessionEvent& event) override;

    // Looks at the silence and the free space now; the timer calls it every second.
    void check();
    QTimer& checkTimer() { return m_checkTimer; }

    // The alarms raised now, in the order above.
    QStringList raised() const;
    // Free bytes on the log's file system as last looked at (negative: unknown, or no log).
    qint64 freeBytes() const { return m_freeBytes; }
    // Free bytes on the file system of path now, through the probe (negative: unknown).
    qint64 freeBytesFor(const QString& path) const
    {
        return path.isEmpty() || !m_freeSpace ? -1 : m_freeSpace(path);
    }

    static constexpr int kCheckInterval = 1000;
    static constexpr qint64 kFreeSpaceInterval = 10000;

    // The alarm's words: "speed above 1.500 m/s", "no data for 30 s", ...
    QString describe(const QString& alarm) const;

signals:
    // An AlarmRaised or AlarmCleared event (its portName left for the session to fill).
    void alarmEvent(const SessionEvent& event);

private:
    struct SpeedRule
    {
        const char* name;
        bool above;
        bool raised = false;
        std::optional<qint64> since; // the condition to change has held since
    };
    void takeSpeed(SpeedRule& rule, const SpeedAlarmSettings& settings, double speedMs,
                   qint64 timeMs);
    void raise(bool& flag, const char* name, double value, qint64 timeMs);
    void clear(bool& flag, const char* name, double value, qint64 timeMs);
    // An episode begins (raised) or ends: the flag follows, and the session hears it once.
    void tell(bool& flag, bool raised, const char* name, double value, qint64 timeMs);
    void clearSpeed(SpeedRule& rule, qint64 timeMs);
    void lookAtFreeSpace(bool now);
    qint64 utcNow() const { return m_clock->utcMs(); }

    AlarmSettings m_settings;
    const Clock* m_clock;
    FreeSpaceProbe m_freeSpace;
    std::function<QString()> m_logFile;
    QTimer m_checkTimer;

    SpeedRule m_above{"speed-above", true, false, std::nullopt};
    SpeedRule m_below{"speed-below", false, false, std::nullopt};
    bool m_noDataRaised = false;
    bool m_deviceLostRaised = false;
    bool m_freeSpaceRaised = false;
    bool m_clockRaised = false;

    bool m_watching = false;              // the port is open and the device there
    qint64 m_lastDataMs = 0;              // steady clock: the last record, or the start of watching
    std::optional<qint64> m_lastFreeLook; // steady clock
    qint64 m_freeBytes = -1;
    ClockSync m_clockSync;
};
