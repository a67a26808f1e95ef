#include "settings/StationSettings.h"

#include "base/IniFile.h"
#include "settings/SettingsFile.h"

namespace {

const QString kSection = QStringLiteral("Station");

} // namespace

StationDetails loadStationSettings(const QString& settingsPath, QStringList* problems)
{
    // A file that cannot be read gives no details: the start has told the operator why.
    const IniFile ini(readSettingsBytes(settingsPath, nullptr).value_or(QByteArray()));
    StationDetails details;
    for (const StationField field : stationFields()) {
        const std::optional<QString> value = ini.value(kSection, stationKey(field));
        if (!value)
            continue;
        const QString why = setStationField(&details, field, *value);
        if (!why.isEmpty() && problems) {
            *problems << QStringLiteral("[Station] %1=%2 in %3 %4; the %5 is not set")
                             .arg(stationKey(field), value->trimmed(), settingsPath, why,
                                  stationFieldWords(field));
        }
    }
    return details;
}

void saveStationSettings(const QString& settingsPath, const StationDetails& details)
{
    updateSettingsFile(settingsPath, [&details](IniFile& ini) {
        for (const StationField field : stationFields()) {
            const QString text = stationFieldText(details, field);
            if (!text.isEmpty() || ini.value(kSection, stationKey(field)))
                ini.setValue(kSection, stationKey(field), text);
        }
    });
}
