#include "base/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {
const QString kSettingsName = QStringLiteral("marvane.ini");
} // namespace

bool folderTakesNewFiles(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".marvane-probe-XXXXXX")));
    return probe.open(); // removed again when probe goes
}

QString userSettingsFilePath(const QString& programDir, const QString& userConfigDir)
{
    QDir().mkpath(userConfigDir);
    const QString userFile = QDir(userConfigDir).filePath(kSettingsName);
    const QFileInfo systemDefault(QDir(programDir).filePath(kSettingsName));
    if (!QFileInfo::exists(userFile) && systemDefault.isFile() &&
        QFile::copy(systemDefault.filePath(), userFile)) {
        // The default is usually read-only for users; their copy is theirs to change.
        QFile::setPermissions(userFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                            QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    }
    // No folder of one's own (a service's throw-away user without a home, say): the system-wide
    // default is read where it is; saving it reports that it cannot be written.
    if (!QFileInfo::exists(userFile) && systemDefault.isFile())
        return systemDefault.absoluteFilePath();
    return userFile;
}

QString settingsFilePath(const QString& programDir, const QString& userConfigDir)
{
    if (folderTakesNewFiles(programDir))
        return QDir(programDir).filePath(kSettingsName);
    return userSettingsFilePath(programDir, userConfigDir);
}

QString userConfigFolder()
{
    // The same folder as QStandardPaths::AppConfigLocation for organisation "Tessmoor" and
    // application "Marvane", whatever name the running program gives itself.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tessmoor/Marvane");
}

QString settingsFilePath()
{
    return settingsFilePath(QCoreApplication::applicationDirPath(), userConfigFolder());
}
