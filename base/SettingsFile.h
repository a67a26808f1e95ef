#pragma once
// The settings file marvane.ini: the seven indices of the Communications dialog in section
// "Options"; every other line of the file belongs to the user and is kept as it is.

#include "settings/CommsSettings.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

// A settings file is a few lines; anything bigger is not one, and is never read into memory.
constexpr qint64 kSettingsFileSizeLimit = 1024 * 1024;

// The bytes of a settings file. Only a regular file is read (through a link, its target); it is
// opened without waiting (a FIFO or a device named marvane.ini never holds up the program) and
// checked after opening, so nothing else can be slipped in between. A missing file reads as
// empty without an error. Otherwise returns nothing, with error set to a message naming the full
// path and the reason: "Unable to read <path>: Permission denied.", "...: not a regular file.",
// "...: larger than 1 MB.".
std::optional<QByteArray> readSettingsBytes(const QString& settingsPath, QString* error);

// What a settings file holds for the program: the seven indices, the "Reconnect automatically"
// choice and, when the file exists but cannot be read, why (then the values are the defaults).
struct SettingsRead
{
    CommsSettings comms;
    bool reconnect = true;
    QString error; // empty when the file was read or does not exist
};
SettingsRead readSettings(const QString& settingsPath);

class IniFile;
// The seven indices of section "Options"; a missing key or a value that is not an integer gives
// that key's default.
CommsSettings commsSettingsOf(const IniFile& ini);

// A further key of section "Options", with the value to write and the value a missing key means;
// written once it differs from that default or is in the file already.
struct ExtraOption
{
    QString key;
    QString value;
    QString defaultValue;
};

// Reads section "Options" of the settings file. A missing or unreadable file, section or key, or
// a value that is not an integer, gives that key's default. Indices are not range-checked.
CommsSettings loadSettings(const QString& settingsPath);

// Writes the seven keys into section "Options", leaving every other line of the file as it was.
// Throws MarvaneError("Unable to write to <full path>: <reason>.") when the file cannot be
// written: the system's reason ("Permission denied", "No space left on device"), or "not a
// regular file" when the path, or the target of a link there, is something other than a regular
// file (a device, a FIFO, a directory); then nothing is changed. An existing file that cannot be
// read is not overwritten (its other lines would be lost): the reason is the reading's.
// reconnect, when given, is the "Reconnect automatically" choice (key "Reconnect", 1 or 0).
// extra: the keys beside the seven (see ExtraOption). portDevices, when not empty, maps port
// names to devices in section "Ports" ("COM2" to "/dev/serial/by-id/..."), in the same write.
void saveSettings(const QString& settingsPath, const CommsSettings& settings,
                  std::optional<bool> reconnect = std::nullopt,
                  const QList<ExtraOption>& extra = {},
                  const QMap<QString, QString>& portDevices = {});

// Changes lines of the settings file through change, keeping every other line as it was, with
// the care and the messages of saveSettings (which it serves): only a regular file is replaced,
// an existing file that cannot be read is not overwritten, a full disk never leaves half a file.
void updateSettingsFile(const QString& settingsPath, const std::function<void(IniFile&)>& change);

// The "Reconnect automatically" choice: key "Reconnect" of section "Options", on (1) when the
// key is missing or not a number, off only for 0.
bool loadReconnect(const QString& settingsPath);
