#pragma once
// The settings file marvane.ini: the seven indices of the Communications dialog in section
// "Options"; every other line of the file belongs to the user and is kept as it is.

#include "base/CommsSettings.h"

#include <QList>
#include <QString>

#include <optional>


class IniFile;

// Reads the settings file into bytes. Only a regular file is read (a FIFO or a device would block
// or never end), without waiting, and only up to kMaxSettingsFileSize. A missing file gives no
// bytes and no error; any other failure gives no bytes and the reason in error ("Unable to read
// <full path>: Permission denied.").
bool readSettingsBytes(const QString& settingsPath, QByteArray* bytes, QString* error);
inline constexpr qint64 kMaxSettingsFileSize = 1024 * 1024;

// The seven indices of section "Options"; a missing key or a value that is not an integer gives
// that key's default.
CommsSettings commsSettingsOf(const IniFile& ini);

// Reads section "Options" of the settings file. A missing or unreadable file, section or key, or
// a value that is not an integer, gives that key's default. Indices are not range-checked.
CommsSettings loadSettings(const QString& settingsPath);

// Writes the seven keys into section "Options", leaving every other line of the file as it was.
// Throws MarvaneError("Unable to write to <full path>.") when the file cannot be written, and
// "Unable to write to <full path>: not a regular file." when the path, or the target of a link
// there, is something other than a regular file (a device, a FIFO, a directory); then nothing is
// changed.
// reconnect, when given, is the "Reconnect automatically" choice (key "Reconnect", 1 or 0).
// extra: further keys of section "Options" with the value to write and the value a missing key
// means; each is written once it differs from that default or is in the file already.
struct ExtraOption
{
    QString key;
    QString value;
    QString defaultValue;
};
void saveSettings(const QString& settingsPath, const CommsSettings& settings,
                  std::optional<bool> reconnect = std::nullopt,
                  const QList<ExtraOption>& extra = {});

// The "Reconnect automatically" choice: key "Reconnect" of section "Options", on (1) when the
// key is missing or not a number, off only for 0.
bool loadReconnect(const QString& settingsPath);
