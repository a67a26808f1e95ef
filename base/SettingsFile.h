#pragma once
// The settings file marvane.ini: the seven indices of the Communications dialog in section
// "Options"; every other line of the file belongs to the user and is kept as it is.

#include "base/CommsSettings.h"

#include <QString>

#include <optional>

// Full path of marvane.ini: the directory of the running executable, never the working directory.
QString defaultSettingsFilePath();

// Reads section "Options" of the settings file. A missing or unreadable file, section or key, or
// a value that is not an integer, gives that key's default. Indices are not range-checked.
CommsSettings loadSettings(const QString& settingsPath);

// Writes the seven keys into section "Options", leaving every other line of the file as it was.
// Throws MarvaneError("Unable to write to <full path>.") when the file cannot be written, and
// "Unable to write to <full path>: not a regular file." when the path, or the target of a link
// there, is something other than a regular file (a device, a FIFO, a directory); then nothing is
// changed.
// reconnect, when given, is the "Reconnect automatically" choice (key "Reconnect", 1 or 0).
void saveSettings(const QString& settingsPath, const CommsSettings& settings,
                  std::optional<bool> reconnect = std::nullopt);

// The "Reconnect automatically" choice: key "Reconnect" of section "Options", on (1) when the
// key is missing or not a number, off only for 0.
bool loadReconnect(const QString& settingsPath);
