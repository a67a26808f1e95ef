#include "settings/SettingsFile.h"

#include "base/IniFile.h"
#include "base/MarvaneError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kOptionsSection = QStringLiteral("Options");
const QString kReconnectKey = QStringLiteral("Reconnect");

// The fields of CommsSettings in the order of kCommsSettingKeys, which is also file order.
qint32 CommsSettings::*const kFields[7] = {
    &CommsSettings::scrollDirection, &CommsSettings::commPort, &CommsSettings::orientation,
    &CommsSettings::baudRate,        &CommsSettings::dataBits, &CommsSettings::parity,
    &CommsSettings::stopBits};

const QString kPortsSection = QStringLiteral("Ports");
const QString kNotRegular = QStringLiteral("not a regular file");

[[noreturn]] void throwUnableToWrite(const QString& settingsPath, const QString& reason)
{
    const QString path = QFileInfo(settingsPath).absoluteFilePath();
    if (reason.isEmpty())
        throw MarvaneError(QStringLiteral("Unable to write to %1.").arg(path));
    throw MarvaneError(QStringLiteral("Unable to write to %1: %2.").arg(path, reason));
}

// Everything an opened settings file holds, if it is a regular file of at most the limit.
std::optional<QByteArray> readOpenedFile(int fd, QString* reason)
{
    struct stat opened;
    if (::fstat(fd, &opened) != 0) {
        *reason = qt_error_string(errno);
        return std::nullopt;
    }
    if (!S_ISREG(opened.st_mode)) {
        *reason = kNotRegular;
        return std::nullopt;
    }
    const QString tooLarge = QStringLiteral("larger than 1 MB");
    if (opened.st_size > kSettingsFileSizeLimit) {
        *reason = tooLarge;
        return std::nullopt;
    }
    // One byte more than the size, to notice a file that grows while it is read.
    QByteArray bytes(qsizetype(opened.st_size) + 1, Qt::Uninitialized);
    qsizetype total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > kSettingsFileSizeLimit) {
                *reason = tooLarge;
                return std::nullopt;
            }
            bytes.resize(qMin<qsizetype>(total * 2, kSettingsFileSizeLimit + 1));
        }
        const ssize_t got = ::read(fd, bytes.data() + total, size_t(bytes.size() - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *reason = qt_error_string(errno);
            return std::nullopt;
        }
        if (got == 0)
            break;
        total += qsizetype(got);
    }
    bytes.resize(total);
    return bytes;
}

// The reason of a failed read, without the "Unable to read <path>: " in front of it.
std::optional<QByteArray> readRegularFile(const QString& settingsPath, QString* reason)
{
    const auto fail = [reason](const QString& why) {
        *reason = why;
        return std::optional<QByteArray>();
    };
    const QByteArray native = QFile::encodeName(settingsPath);
    // Looked at before opening, so that a device named marvane.ini (a serial line, a tape) is
    // never opened at all: opening one can raise its modem lines or rewind it.
    struct stat named;
    if (native.isEmpty() || ::stat(native.constData(), &named) != 0) {
        if (native.isEmpty() || errno == ENOENT)
            return QByteArray(); // no file: the defaults, and nothing to say
        return fail(qt_error_string(errno));
    }
    if (!S_ISREG(named.st_mode))
        return fail(kNotRegular);

    // Without waiting, and checked again on what was opened: the name may have been given to a
    // FIFO between the look and the open, and a FIFO opened for reading waits for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::optional<QByteArray>(QByteArray())
                               : fail(qt_error_string(errno));
    const std::optional<QByteArray> bytes = readOpenedFile(fd, reason);
    ::close(fd);
    return bytes;
}

} // namespace

std::optional<QByteArray> readSettingsBytes(const QString& settingsPath, QString* error)
{
    QString reason;
    std::optional<QByteArray> bytes = readRegularFile(settingsPath, &reason);
    if (!bytes && error) {
        *error = QStringLiteral("Unable to read %1: %2.")
                     .arg(QFileInfo(settingsPath).absoluteFilePath(), reason);
    }
    return bytes;
}

CommsSettings commsSettingsOf(const IniFile& ini)
{
    CommsSettings comms;
    const CommsSettings defaults;
    for (int i = 0; i < 7; ++i) {
        comms.*kFields[i] = ini.intValue(
            kOptionsSection, QString::fromLatin1(kCommsSettingKeys[i]), defaults.*kFields[i]);
    }
    return comms;
}

SettingsRead readSettings(const QString& settingsPath)
{
    SettingsRead read;
    const IniFile ini(readSettingsBytes(settingsPath, &read.error).value_or(QByteArray()));
    read.comms = commsSettingsOf(ini);
    read.reconnect = ini.intValue(kOptionsSection, kReconnectKey, 1) != 0;
    return read;
}

CommsSettings loadSettings(const QString& settingsPath)
{
    // Read afresh on every call: an operator may edit the file while the program runs.
    return readSettings(settingsPath).comms;
}

bool loadReconnect(const QString& settingsPath)
{
    return readSettings(settingsPath).reconnect;
}

void updateSettingsFile(const QString& settingsPath, const std::function<void(IniFile&)>& change)
{
    // Only a settings file is ever replaced. marvane.ini may be a symbolic link; what counts is
    // what it points to, which must be a regular file or not exist yet. Anything else (a device
    // node, a FIFO, a directory) is left exactly as it is: saving would rename a new file over
    // it, and merely reading a FIFO first would wait for a writer that never comes.
    const QFileInfo target(settingsPath); // follows links for exists() and isFile()
    if (target.exists() && !target.isFile())
        throwUnableToWrite(settingsPath, kNotRegular);

    // The rest of the file (comments, the [Ports] mapping) must survive, so an existing file
    // that cannot be read is not overwritten.
    QString reason;
    const std::optional<QByteArray> bytes = readRegularFile(settingsPath, &reason);
    if (!bytes)
        throwUnableToWrite(settingsPath, reason);

    IniFile ini(*bytes);
    change(ini);

    // QSaveFile writes a temporary file beside the target and renames it over the target only
    // when everything was written, so a full disk never leaves half a settings file. It follows
    // a symlinked marvane.ini to its target and gives the new file the old one's permissions.
    // Where the directory itself is not writable but the file is, it writes the file in place.
    // Asked first, for the system's own words: QSaveFile's text for this case repeats the path.
    if (target.exists() && ::access(QFile::encodeName(settingsPath).constData(), W_OK) != 0)
        throwUnableToWrite(settingsPath, qt_error_string(errno));
    QSaveFile file(settingsPath);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throwUnableToWrite(settingsPath, file.errorString());
    const QByteArray out = ini.contents();
    if (file.write(out) != out.size()) {
        reason = file.errorString();
        file.cancelWriting();
        throwUnableToWrite(settingsPath, reason);
    }
    if (!file.commit())
        throwUnableToWrite(settingsPath, file.errorString());
}

void saveSettings(const QString& settingsPath, const CommsSettings& settings,
                  std::optional<bool> reconnect, const QList<ExtraOption>& extra,
                  const QMap<QString, QString>& portDevices)
{
    updateSettingsFile(settingsPath, [&](IniFile& ini) {
        for (int i = 0; i < 7; ++i) {
            ini.setValue(kOptionsSection, QString::fromLatin1(kCommsSettingKeys[i]),
                         QString::number(settings.*kFields[i]));
        }
        // Written once it differs from the default or is in the file already: the files of
        // earlier versions stay as they were until the operator turns reconnection off.
        if (reconnect && (!*reconnect || ini.value(kOptionsSection, kReconnectKey)))
            ini.setValue(kOptionsSection, kReconnectKey,
                         *reconnect ? QStringLiteral("1") : QStringLiteral("0"));
        for (const ExtraOption& option : extra) {
            if (option.value != option.defaultValue || ini.value(kOptionsSection, option.key))
                ini.setValue(kOptionsSection, option.key, option.value);
        }
        for (auto it = portDevices.cbegin(); it != portDevices.cend(); ++it)
            ini.setValue(kPortsSection, it.key(), it.value());
    });
}
