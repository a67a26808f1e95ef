#include "session/AlarmSettings.h"

#include "base/IniFile.h"
#include "settings/SettingsFile.h"

#include <cmath>

namespace {

const QString kSection = QStringLiteral("Alarms");

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

bool boolValue(const IniFile& ini, const char* name, bool defaultValue)
{
    return ini.intValue(kSection, key(name), defaultValue ? 1 : 0) != 0;
}

int intValue(const IniFile& ini, const char* name, int defaultValue, int least, int most)
{
    const qint32 value = ini.intValue(kSection, key(name), defaultValue);
    return value >= least && value <= most ? value : defaultValue;
}

// A point is the decimal separator, whatever the locale.
double speedValue(const IniFile& ini, const char* name, double defaultValue)
{
    const std::optional<QString> text = ini.value(kSection, key(name));
    if (!text)
        return defaultValue;
    bool ok = false;
    const double value = text->trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && value >= 0 && value <= 100 ? value : defaultValue;
}

QString speedText(double value)
{
    return QString::number(value, 'g', 10);
}

void readSpeed(const IniFile& ini, const char* prefix, SpeedAlarmSettings& s)
{
    const QByteArray p(prefix);
    s.on = boolValue(ini, p.constData(), s.on);
    s.thresholdMs = speedValue(ini, (p + "Ms").constData(), s.thresholdMs);
    s.hysteresisMs = speedValue(ini, (p + "HysteresisMs").constData(), s.hysteresisMs);
    s.seconds = intValue(ini, (p + "Seconds").constData(), s.seconds, 0, kAlarmSecondsLimit);
}

void writeSpeed(IniFile& ini, const char* prefix, const SpeedAlarmSettings& s)
{
    const QByteArray p(prefix);
    ini.setValue(kSection, key(p.constData()), s.on ? QStringLiteral("1") : QStringLiteral("0"));
    ini.setValue(kSection, key((p + "Ms").constData()), speedText(s.thresholdMs));
    ini.setValue(kSection, key((p + "HysteresisMs").constData()), speedText(s.hysteresisMs));
    ini.setValue(kSection, key((p + "Seconds").constData()), QString::number(s.seconds));
}

} // namespace

bool AlarmSettings::operator==(const AlarmSettings& o) const
{
    return speedAbove == o.speedAbove && speedBelow == o.speedBelow && noData == o.noData &&
           noDataSeconds == o.noDataSeconds && deviceLost == o.deviceLost &&
           freeSpace == o.freeSpace && freeSpaceMb == o.freeSpaceMb && clock == o.clock;
}

AlarmSettings loadAlarmSettings(const QString& settingsPath)
{
    // A file that cannot be read gives the defaults: the start has told the operator why.
    const IniFile ini(readSettingsBytes(settingsPath, nullptr).value_or(QByteArray()));
    AlarmSettings s;
    readSpeed(ini, "SpeedAbove", s.speedAbove);
    readSpeed(ini, "SpeedBelow", s.speedBelow);
    s.noData = boolValue(ini, "NoData", s.noData);
    s.noDataSeconds = intValue(ini, "NoDataSeconds", s.noDataSeconds, 1, kAlarmSecondsLimit);
    s.deviceLost = boolValue(ini, "DeviceLost", s.deviceLost);
    s.freeSpace = boolValue(ini, "FreeSpace", s.freeSpace);
    s.freeSpaceMb = intValue(ini, "FreeSpaceMb", s.freeSpaceMb, 1, 1 << 30);
    s.clock = boolValue(ini, "Clock", s.clock);
    return s;
}

void saveAlarmSettings(const QString& settingsPath, const AlarmSettings& s)
{
    updateSettingsFile(settingsPath, [&s](IniFile& ini) {
        const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
        writeSpeed(ini, "SpeedAbove", s.speedAbove);
        writeSpeed(ini, "SpeedBelow", s.speedBelow);
        ini.setValue(kSection, key("NoData"), flag(s.noData));
        ini.setValue(kSection, key("NoDataSeconds"), QString::number(s.noDataSeconds));
        ini.setValue(kSection, key("DeviceLost"), flag(s.deviceLost));
        ini.setValue(kSection, key("FreeSpace"), flag(s.freeSpace));
        ini.setValue(kSection, key("FreeSpaceMb"), QString::number(s.freeSpaceMb));
        ini.setValue(kSection, key("Clock"), flag(s.clock));
    });
}

QString alarmSettingsError(const AlarmSettings& s)
{
    const auto speedError = [](const SpeedAlarmSettings& a, const char* name) {
        if (!a.on)
            return QString();
        if (!std::isfinite(a.thresholdMs) || a.thresholdMs < 0 || a.thresholdMs > 100)
            return QStringLiteral("The %1 threshold must be from 0 to 100 m/s.")
                .arg(QLatin1String(name));
        if (!std::isfinite(a.hysteresisMs) || a.hysteresisMs < 0 || a.hysteresisMs > 100)
            return QStringLiteral("The %1 hysteresis must be from 0 to 100 m/s.")
                .arg(QLatin1String(name));
        if (a.seconds < 0 || a.seconds > kAlarmSecondsLimit)
            return QStringLiteral("The %1 minimum duration must be from 0 to %2 s.")
                .arg(QLatin1String(name))
                .arg(kAlarmSecondsLimit);
        return QString();
    };
    if (QString e = speedError(s.speedAbove, "speed above"); !e.isEmpty())
        return e;
    if (QString e = speedError(s.speedBelow, "speed below"); !e.isEmpty())
        return e;
    if (s.noData && (s.noDataSeconds < 1 || s.noDataSeconds > kAlarmSecondsLimit))
        return QStringLiteral("The no-data alarm wants from 1 to %1 s.").arg(kAlarmSecondsLimit);
    if (s.freeSpace && s.freeSpaceMb < 1)
        return QStringLiteral("The free-space alarm wants at least 1 MB.");
    return QString();
}
