#include "settings/PortMapping.h"

#include "base/IniFile.h"
#include "settings/SettingsFile.h"

namespace {

const QString kNames[] = {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                          QStringLiteral("COM4")};

} // namespace

int comPortIndex(const QString& name)
{
    for (int i = 0; i < 4; ++i) {
        if (name.compare(kNames[i], Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString devicePathForPort(const QString& portName, const QString& settingsPath)
{
    const int index = comPortIndex(portName);
    if (index < 0)
        return {};

    // Read on every call, like the options: a mapping edited by hand counts at the next Connect.
    // A file that cannot be read maps nothing; why is told where the options are read.
    const IniFile ini(readSettingsBytes(settingsPath, nullptr).value_or(QByteArray()));
    // An entry left empty counts as no entry.
    if (const auto path = ini.value(QStringLiteral("Ports"), kNames[index]);
        path && !path->isEmpty())
        return *path;

#ifdef Q_OS_WIN
    return kNames[index];
#else
    return QStringLiteral("/dev/ttyS%1").arg(index);
#endif
}
