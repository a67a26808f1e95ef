#include "settings/StationOptions.h"

#include <QCommandLineParser>

namespace {

struct OptionInfo
{
    StationField field;
    const char* name;
    const char* valueName;
    const char* description;
};

const OptionInfo kOptions[] = {
    {StationField::Name, "station-name", "TEXT", "The station's name."},
    {StationField::Id, "station-id", "ID",
     "The station's id; the default MQTT topic is then marvane/ID. No '+', '#' or '/', not "
     "starting with '$'."},
    {StationField::Latitude, "latitude", "DEG",
     "The station's latitude in decimal degrees, -90 to 90 (north positive)."},
    {StationField::Longitude, "longitude", "DEG",
     "The station's longitude in decimal degrees, -180 to 180 (east positive)."},
    {StationField::Depth, "depth", "M", "The sensor's depth in metres (positive down)."},
    {StationField::Instrument, "instrument", "TEXT", "The instrument's model."},
    {StationField::SerialNumber, "serial-number", "TEXT", "The instrument's serial number."},
    {StationField::Institution, "institution", "TEXT", "The institution running the station."},
};

} // namespace

void addStationOptions(QCommandLineParser& parser, const QString& replaces)
{
    for (const OptionInfo& o : kOptions) {
        parser.addOption({QString::fromLatin1(o.name),
                          QString::fromLatin1(o.description) + QStringLiteral(" Replaces ") +
                              replaces.arg(stationKey(o.field)) + QLatin1Char('.'),
                          QString::fromLatin1(o.valueName)});
    }
}

bool readStationOptions(const QCommandLineParser& parser, StationDetails& details, QString* error)
{
    StationDetails d = details;
    for (const OptionInfo& o : kOptions) {
        const QString name = QString::fromLatin1(o.name);
        if (!parser.isSet(name))
            continue;
        const QString value = parser.value(name);
        if (const QString why = setStationField(&d, o.field, value); !why.isEmpty()) {
            if (error)
                *error = QStringLiteral("--%1 %2, not %3").arg(name, why, value);
            return false;
        }
    }
    details = d;
    return true;
}
