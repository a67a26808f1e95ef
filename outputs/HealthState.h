#pragma once
// What a station says of itself on "<topic>/status" (retained), for whoever watches it from afar:
//
//   {"state":"running","time":"2024-05-24T14:03:07.123Z","port":"COM1",
//    "connection":"connected","receiving":true,"silentSeconds":0,
//    "lastSample":"2024-05-24T14:03:06.998Z","alarms":["speed-above"],
//    "logging":{"file":"/data/pier.log","bytesWritten":123456,"freeBytes":52613349376},
//    "clock":{"state":"synchronised","estimatedErrorMs":2,
//             "text":"Clock: synchronised, estimated error 2 ms"}}
//
// state: "running" while the program runs, "offline" after its clean end and in the will the
// broker publishes when it dies without one ({"state":"offline"}); connection: "connected",
// "reconnecting" (the device went away and is waited for), "lost" (given up) or "not connected";
// receiving: records arrive (false while silent, with silentSeconds since the last one);
// lastSample: null before the first; logging: null while nothing is logged, freeBytes null when
// unknown; clock: the kernel's word, "unknown" when it could not be asked, and lastStep with the
// last step of the wall clock when there was one; station: the station's details that are set
// ({"name":"Tessmoor pier","id":"tessmoor-pier","latitude":54.18213,"longitude":-3.02577,
// "depth":4.5,"instrument":...,"serialNumber":...,"institution":...}), left out when none is.

#include "base/Clock.h"
#include "base/StationDetails.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

struct HealthState
{
    QString port;
    QString connection = QStringLiteral("not connected");
    bool receiving = false;
    qint64 silentSeconds = 0;
    qint64 lastSampleMs = -1; // UTC; negative: none yet
    QStringList alarms;
    bool logging = false;
    QString logFile;
    qint64 bytesWritten = 0;
    qint64 freeBytes = -1; // negative: unknown
    ClockSync clock;
    QString clockText;
    QString lastStep; // "Clock: stepped forward by 3.2 s"; empty: none
    StationDetails station;

    // Whether a watcher should hear of the change at once: all but the counts and times, which
    // go out with the next publication (at least once a minute).
    bool sameStateAs(const HealthState& o) const
    {
        return port == o.port && connection == o.connection && receiving == o.receiving &&
               alarms == o.alarms && logging == o.logging && logFile == o.logFile &&
               clock.state == o.clock.state && clockText == o.clockText && lastStep == o.lastStep &&
               (lastSampleMs < 0) == (o.lastSampleMs < 0) && station == o.station;
    }
};

// The compact JSON text of a health state, stamped with timeMs (UTC).
QByteArray healthPayload(const HealthState& health, qint64 timeMs);
// The clean end's and the will's: {"state":"offline"}, with the time when timeMs >= 0.
QByteArray offlinePayload(qint64 timeMs = -1);
// An alarm raised or cleared: {"alarm":"speed-above","state":"raised","time":"...Z",
// "value":1.623,"text":"speed above 1.500 m/s"} (value null when the alarm has none).
QByteArray alarmPayload(const QString& alarm, bool raised, qint64 timeMs, double value,
                        const QString& text);
