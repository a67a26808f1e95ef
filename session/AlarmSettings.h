#pragma once
// The alarms the operator chose: section "Alarms" of marvane.ini, all off by default.
//
//   [Alarms]
//   SpeedAbove=1
//   SpeedAboveMs=1.5
//   SpeedAboveHysteresisMs=0.05
//   SpeedAboveSeconds=10
//   SpeedBelow=0
//   SpeedBelowMs=0.05
//   SpeedBelowHysteresisMs=0.02
//   SpeedBelowSeconds=60
//   NoData=1
//   NoDataSeconds=30
//   DeviceLost=1
//   FreeSpace=1
//   FreeSpaceMb=500
//   Clock=1
//
// A speed alarm rings once the speed has stayed past its threshold for the minimum duration (a
// gust does not ring), and ends once it has stayed back past the threshold by the hysteresis for
// as long (a lull does not end it).

#include <QString>

struct SpeedAlarmSettings
{
    bool on = false;
    double thresholdMs = 1.0;   // metres per second
    double hysteresisMs = 0.05; // how far back past the threshold ends the alarm
    int seconds = 10;           // the minimum duration, both ways

    bool operator==(const SpeedAlarmSettings& o) const
    {
        return on == o.on && thresholdMs == o.thresholdMs && hysteresisMs == o.hysteresisMs &&
               seconds == o.seconds;
    }
    bool operator!=(const SpeedAlarmSettings& o) const { return !(*this == o); }
};

struct AlarmSettings
{
    SpeedAlarmSettings speedAbove;
    SpeedAlarmSettings speedBelow{false, 0.05, 0.02, 60};
    bool noData = false;
    int noDataSeconds = 60;
    bool deviceLost = false;
    bool freeSpace = false;
    int freeSpaceMb = 500; // of the log's file system
    bool clock = false;    // the computer's clock is not kept synchronised

    bool anyOn() const
    {
        return speedAbove.on || speedBelow.on || noData || deviceLost || freeSpace || clock;
    }
    bool operator==(const AlarmSettings& o) const;
    bool operator!=(const AlarmSettings& o) const { return !(*this == o); }
};

// Reads section "Alarms" of the settings file; a missing file, section or key, or a value that
// does not make sense (a negative threshold, a duration out of range), gives that key's default.
AlarmSettings loadAlarmSettings(const QString& settingsPath);

// Writes the keys of section "Alarms", leaving every other line of the file as it was. Throws
// MarvaneError("Unable to write to <full path>: <reason>.") when the file cannot be written.
void saveAlarmSettings(const QString& settingsPath, const AlarmSettings& settings);

// Empty when the settings can be used, else the first reason why not.
QString alarmSettingsError(const AlarmSettings& settings);

// The longest minimum duration and no-data limit taken: a day.
inline constexpr int kAlarmSecondsLimit = 24 * 3600;
