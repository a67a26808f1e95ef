#include "settings/ProgramOptions.h"

#include "base/IniFile.h"
#include "base/NumberText.h"
#include "base/MarvaneError.h"
#include "settings/SettingsFile.h"

#include <cmath>

namespace {

const QString kOptions = QStringLiteral("Options");
const QString kLocalTimeKey = QStringLiteral("LocalTime");
const QString kDataFileKey = QStringLiteral("DataFile");
const QString kHeadingKey = QStringLiteral("Heading");

double headingOf(const IniFile& ini)
{
    const std::optional<QString> text = ini.value(kOptions, kHeadingKey);
    if (!text)
        return 0;
    try {
        const double degrees = double(textToFloat(*text));
        return std::isfinite(degrees) ? std::fmod(degrees, 360.0) : 0;
    } catch (const MarvaneError&) {
        return 0;
    }
}

} // namespace

OptionValues readOptionValues(const QString& settingsPath, QString* error)
{
    OptionValues values;
    const std::optional<QByteArray> bytes = readSettingsBytes(settingsPath, error);
    if (!bytes)
        return values;
    const IniFile ini(*bytes);
    values.comms = commsSettingsOf(ini);
    values.reconnect = ini.intValue(kOptions, QStringLiteral("Reconnect"), 1) != 0;
    values.localTime = ini.intValue(kOptions, kLocalTimeKey, 0) != 0;
    values.dataFile = ini.intValue(kOptions, kDataFileKey, 0) != 0;
    values.headingOffset = headingOf(ini);
    return values;
}

ProgramOptions::ProgramOptions(const QString& settingsPath, QObject* parent)
    : QObject(parent), m_settingsPath(settingsPath)
{
    // The port stays unnamed until values are put in force: an index outside its table in the
    // file then leaves it so, as the operator's hand edit deserves.
}

QString ProgramOptions::load()
{
    QString error;
    setValues(readOptionValues(m_settingsPath, &error));
    return error;
}

OptionValues ProgramOptions::readFile() const
{
    return readOptionValues(m_settingsPath, nullptr);
}

void ProgramOptions::save(const OptionValues& values, const QMap<QString, QString>& portDevices)
{
    saveSettings(m_settingsPath, values.comms, values.reconnect,
                 {{kLocalTimeKey, values.localTime ? QStringLiteral("1") : QStringLiteral("0"),
                   QStringLiteral("0")},
                  {kDataFileKey, values.dataFile ? QStringLiteral("1") : QStringLiteral("0"),
                   QStringLiteral("0")},
                  {kHeadingKey, QString::number(values.headingOffset), QStringLiteral("0")}},
                 portDevices);
    setValues(values);
}

void ProgramOptions::setValues(const OptionValues& values)
{
    m_values = values;
    applyCommsSettings(m_values.comms, m_port, m_flags);
    emit changed();
}
