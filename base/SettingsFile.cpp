#include "base/SettingsFile.h"

#include "base/IniFile.h"
#include "base/MarvaneError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

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

[[noreturn]] void throwUnableToWrite(const QString& settingsPath, const QString& reason = {})
{
    const QString path = QFileInfo(settingsPath).absoluteFilePath();
    if (reason.isEmpty())
        throw MarvaneError(QStringLiteral("Unable to write to %1.").arg(path));
    throw MarvaneError(QStringLiteral("Unable to write to %1: %2.").arg(path, reason));
}

} // namespace

namespace {

// readSettingsBytes with the bare reason ("Permission denied").
bool readSettingsFile(const QString& settingsPath, QByteArray* bytes, QString* error)
{
    bytes->clear();
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QByteArray name = QFile::encodeName(settingsPath);
    // Opened without waiting: a FIFO would otherwise hold the start until a writer comes.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? true : fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info;
    QString reason;
    if (::fstat(fd, &info) != 0)
        reason = QString::fromLocal8Bit(std::strerror(errno));
    else if (!S_ISREG(info.st_mode))
        reason = QStringLiteral("not a regular file");
    else if (info.st_size > kMaxSettingsFileSize)
        reason = QStringLiteral("larger than %1 bytes").arg(kMaxSettingsFileSize);
    if (reason.isEmpty()) {
        QByteArray data(qsizetype(info.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        // Read to its end, but never past the limit: a file growing meanwhile is cut there.
        data.resize(qsizetype(kMaxSettingsFileSize) + 1);
        for (;;) {
            const ssize_t n = ::read(fd, data.data() + got, size_t(data.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                reason = QString::fromLocal8Bit(std::strerror(errno));
                break;
            }
            if (n == 0 || (got += n) >= data.size())
                break;
        }
        if (reason.isEmpty() && got > kMaxSettingsFileSize)
            reason = QStringLiteral("larger than %1 bytes").arg(kMaxSettingsFileSize);
        data.truncate(got);
        if (reason.isEmpty())
            *bytes = data;
    }
    ::close(fd);
    return reason.isEmpty() ? true : fail(reason);
}

} // namespace

bool readSettingsBytes(const QString& settingsPath, QByteArray* bytes, QString* error)
{
    QString reason;
    if (readSettingsFile(settingsPath, bytes, &reason))
        return true;
    if (error)
        *error = QStringLiteral("Unable to read %1: %2.")
                     .arg(QFileInfo(settingsPath).absoluteFilePath(), reason);
    return false;
}

CommsSettings commsSettingsOf(const IniFile& ini)
{
    CommsSettings settings;
    const CommsSettings defaults;
    for (int i = 0; i < 7; ++i) {
        settings.*kFields[i] = ini.intValue(
            kOptionsSection, QString::fromLatin1(kCommsSettingKeys[i]), defaults.*kFields[i]);
    }
    return settings;
}

CommsSettings loadSettings(const QString& settingsPath)
{
    // Read on every call: an operator may edit the file while the program runs.
    QByteArray bytes;
    readSettingsBytes(settingsPath, &bytes, nullptr);
    return commsSettingsOf(IniFile(bytes));
}

bool loadReconnect(const QString& settingsPath)
{
    QByteArray bytes;
    readSettingsBytes(settingsPath, &bytes, nullptr);
    return IniFile(bytes).intValue(kOptionsSection, kReconnectKey, 1) != 0;
}

void saveSettings(const QString& settingsPath, const CommsSettings& settings,
                  std::optional<bool> reconnect, const QList<ExtraOption>& extra)
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
    QString reason;
    if (!readSettingsFile(settingsPath, &bytes, &reason))
        throwUnableToWrite(settingsPath, reason);

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
    for (const ExtraOption& option : extra) {
        if (option.value != option.defaultValue || ini.value(kOptionsSection, option.key))
            ini.setValue(kOptionsSection, option.key, option.value);
    }

    // QSaveFile writes a temporary file beside the target and renames it over the target only
    // when everything was written, so a full disk never leaves half a settings file. It follows
    // a symlinked marvane.ini to its target and gives the new file the old one's permissions.
    // Where the directory itself is not writable but the file is, it writes the file in place.
    QSaveFile file(settingsPath);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throwUnableToWrite(settingsPath, file.errorString());
    const QByteArray out = ini.contents();
    if (file.write(out) != out.size() || !file.commit())
        throwUnableToWrite(settingsPath, file.errorString());
}
