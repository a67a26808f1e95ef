#pragma once
// The alarms on marvane-record's command line:
//
//   --alarm-speed-above M/S   the speed stays above M/S
//   --alarm-speed-below M/S   the speed stays below M/S
//   --alarm-hysteresis M/S    how far back past the threshold ends a speed alarm (both)
//   --alarm-duration S        how long a speed must stay past (or back) before it counts (both)
//   --alarm-no-data S         no record for S seconds
//   --alarm-device-lost       the device went away
//   --alarm-free-space MB     less than MB free on the log's file system
//   --alarm-clock             the computer's clock is not synchronised
//   --no-alarms               none of the alarms section "Alarms" of marvane.ini turns on

#include "session/AlarmSettings.h"

class QCommandLineParser;

void addAlarmOptions(QCommandLineParser& parser);

// Applies the options given to settings (each alarm named is turned on; the others keep what
// settings had, from marvane.ini, unless --no-alarms turns them off). False, and why in error,
// for a value that is not valid or --no-alarms with an alarm named.
bool readAlarmOptions(const QCommandLineParser& parser, AlarmSettings& settings, QString* error);

// Each alarm that is on, in words, for the start line ("speed above 1.500 m/s for 10 s").
QStringList alarmDescriptions(const AlarmSettings& settings);
