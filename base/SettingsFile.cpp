#include "base/SettingsFile.h"

#include "base/IniFile.h"
#include "base/MarvaneError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

namespace {

const QString kOptionsSection = QStringLiteral("Options");
const QString kReconnectKey = QStringLiteral("Reconnect");

// The fields of CommsSettings in the order of kCommsSettingKeys, which is also file order.
qint32 CommsSettings::*const kFields[7] = {
    &CommsSettings::scrollDirection, &CommsSettings::commPort, &CommsSettings::orientation,
    &CommsSettings::baudRate,        &CommsSettings::dataBits, &CommsSettings::parity,
    &CommsSettings::stopBits};

[[noreturn]] void throwUnableToWrite(const QString& settingsPath, const QString& reason = {})
{
    const QString path = QFileInfo(settingsPath).absoluteFilePath();
    if (reason.isEmpty())
        throw MarvaneError(QStringLiteral("Unable to write to %1.").arg(path));
    throw MarvaneError(QStringLiteral("Unable to write to %1: %2.").arg(path, reason));
}

} // namespace

QString defaultSettingsFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/marvane.ini");
}

CommsSettings loadSettings(const QString& settingsPath)
{
    // Opened and released on every call: an operator may edit the file while the program runs.
    QByteArray bytes;
    QFile file(settingsPath);
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    const IniFile ini(bytes);

    CommsSettings settings;
    const CommsSettings defaults;
    for (int i = 0; i < 7; ++i) {
        settings.*kFields[i] = ini.intValue(
            kOptionsSection, QString::fromLatin1(kCommsSettingKeys[i]), defaults.*kFields[i]);
    }
    return settings;
}

bool loadReconnect(const QString& settingsPath)
{
    QByteArray bytes;
    QFile file(settingsPath);
    if (QFileInfo(settingsPath).isFile() && file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    return IniFile(bytes).intValue(kOptionsSection, kReconnectKey, 1) != 0;
}

void saveSettings(const QString& settingsPath, const CommsSettings& settings,
                  std::optional<bool> reconnect)
{
    // Only a settings file is ever replaced. marvane.ini may be a symbolic link; what counts is
    // what it points to, which must be a regular file or not exist yet. Anything else (a device
    // node, a FIFO, a directory) is left exactly as it is: saving would rename a new file over
    // it, and merely reading a FIFO first would wait for a writer that never comes.
    const QFileInfo target(settingsPath); // follows links for exists() and isFile()
    if (target.exists() && !target.isFile())
        throwUnableToWrite(settingsPath, QStringLiteral("not a regular file"));

    // The rest of the file (comments, the [Ports] mapping) must survive, so an existing file
    // that cannot be read is not overwritten.
    QByteArray bytes;
    QFile existing(settingsPath);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            throwUnableToWrite(settingsPath);
        bytes = existing.readAll();
        existing.close();
    }

    IniFile ini(bytes);
    for (int i = 0; i < 7; ++i) {
        ini.setValue(kOptionsSection, QString::fromLatin1(kCommsSettingKeys[i]),
                     QString::number(settings.*kFields[i]));
    }
    // Written once it differs from the default or is in the file already: the files of earlier
    // versions stay as they were until the operator turns reconnection off.
    if (reconnect && (!*reconnect || ini.value(kOptionsSection, kReconnectKey)))
        ini.setValue(kOptionsSection, kReconnectKey,
                     *reconnect ? QStringLiteral("1") : QStringLiteral("0"));

    // QSaveFile writes a temporary file beside the target and renames it over the target only
    // when everything was written, so a full disk never leaves half a settings file. It follows
    // a symlinked marvane.ini to its target and gives the new file the old one's permissions.
    // Where the directory itself is not writable but the file is, it writes the file in place.
    QSaveFile file(settingsPath);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throwUnableToWrite(settingsPath);
    const QByteArray out = ini.contents();
    if (file.write(out) != out.size() || !file.commit())
        throwUnableToWrite(settingsPath);
}
