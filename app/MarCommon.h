#pragma once
// The program's persisted options (the seven indices of the Communications dialog, kept in
// marvane.ini beside the executable) and the message-pumping wait used by handlers that pace
// themselves.

#include "comms/PortSettings.h"

#include <QString>

// Full path of marvane.ini: the directory of the running executable, never the working directory.
QString defaultSettingsFilePath();

// Reads section "Options" of the settings file. A missing or unreadable file, section or key, or
// a value that is not an integer, gives that key's default. Indices are not range-checked.
CommsSettings LoadSettings(const QString& settingsPath);

// Writes the seven keys into section "Options", leaving every other line of the file as it was.
// Throws MarvaneError("Unable to write to <full path>.") when the file cannot be written.
void SaveSettings(const QString& settingsPath, const CommsSettings& settings);

// Waits ms milliseconds while still dispatching events (timers, paints, clicks, menu commands).
// 0 returns at once without dispatching; any other value dispatches at least once, so a negative
// wait is exactly one pass. Between events the thread blocks in the event dispatcher, so a long
// wait costs no processor time.
void waitProcessingEvents(int ms);
