#include "settings/SettingsLocation.h"

#include "settings/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

const QString kSettingsName = QStringLiteral("marvane.ini");

bool underSystemFolder(const QString& path)
{
    static const QStringList kRoots{QStringLiteral("usr"),    QStringLiteral("bin"),
                                    QStringLiteral("sbin"),   QStringLiteral("lib"),
                                    QStringLiteral("lib32"),  QStringLiteral("lib64"),
                                    QStringLiteral("libx32"), QStringLiteral("opt"),
                                    QStringLiteral("snap"),   QStringLiteral("nix")};
    if (!path.startsWith(QLatin1Char('/')))
        return false;
    return kRoots.contains(path.section(QLatin1Char('/'), 1, 1));
}

} // namespace

bool isSystemFolder(const QString& folder)
{
    const QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return underSystemFolder(absolute) ||
           underSystemFolder(QFileInfo(absolute).canonicalFilePath());
}

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
    if (!QFileInfo::exists(userFile) && systemDefault.isFile()) {
        // Through the settings file's own reader: a default that is not a readable settings file
        // of sensible size is not copied (its reason is told when the user's file is read).
        // The copy is the user's to change, whatever the default's permissions.
        const std::optional<QByteArray> bytes =
            readSettingsBytes(systemDefault.filePath(), nullptr);
        QFile copy(userFile);
        if (bytes && copy.open(QIODevice::NewOnly | QIODevice::WriteOnly) &&
            copy.write(*bytes) != bytes->size()) {
            copy.close();
            copy.remove();
        }
    }
    // No folder of one's own (a service's throw-away user without a home, say): the system-wide
    // default is read where it is; saving it reports that it cannot be written.
    if (!QFileInfo(userConfigDir).isDir() && systemDefault.isFile())
        return systemDefault.absoluteFilePath();
    return userFile;
}

QString settingsFilePath(const QString& programDir, const QString& userConfigDir)
{
    if (!isSystemFolder(programDir) && folderTakesNewFiles(programDir))
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
