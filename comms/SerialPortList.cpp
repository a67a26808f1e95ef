#include "sources/SerialPortList.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

QString SerialPortEntry::text() const
{
    QString line = device;
    QStringList about;
    if (!description.isEmpty())
        about << description;
    if (!serialNumber.isEmpty())
        about << QStringLiteral("serial number %1").arg(serialNumber);
    if (!about.isEmpty())
        line += QStringLiteral(" - ") + about.join(QStringLiteral(", "));
    return line;
}

QString stablePortPath(const QString& systemPath, const QString& byIdFolder)
{
    const QString target = QFileInfo(systemPath).canonicalFilePath();
    if (target.isEmpty())
        return systemPath;
    const QDir folder(byIdFolder);
    const QStringList names =
        folder.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString link = folder.filePath(name);
        if (QFileInfo(link).canonicalFilePath() == target)
            return link;
    }
    return systemPath;
}

QList<SerialPortEntry> availableSerialPorts(const QString& byIdFolder)
{
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry entry;
        entry.systemPath = info.systemLocation();
        entry.device = stablePortPath(entry.systemPath, byIdFolder);
        entry.description = info.description();
        entry.serialNumber = info.serialNumber();
        ports.append(entry);
    }
    return ports;
}
