#pragma once
// Where the sensor is and what it is: the station's details, each optional. They are stated in
// the data file's head, the netCDF export, the health state on MQTT and, for the id, the default
// MQTT topic (marvane/<id>). The same key names serve section [Station] of marvane.ini and the
// data file's head:
//
//   Name=Tessmoor pier          free text, one line
//   Id=tessmoor-pier            one level of an MQTT topic: no '+', '#', '/', not starting '$'
//   Latitude=54.18213           decimal degrees, north positive, -90 to 90
//   Longitude=-3.02577          decimal degrees, east positive, -180 to 180
//   Depth=4.5                   of the sensor, metres, positive down
//   Instrument=...              the sensor's model
//   SerialNumber=...
//   Institution=...
//
// An empty value is a detail not set. Numbers use a point as the decimal separator.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct StationDetails
{
    QString name;
    QString id;
    std::optional<double> latitude;  // degrees north
    std::optional<double> longitude; // degrees east
    std::optional<double> depth;     // metres below the surface
    QString instrument;
    QString serialNumber;
    QString institution;

    bool isEmpty() const;
    bool operator==(const StationDetails& o) const;
    bool operator!=(const StationDetails& o) const { return !(*this == o); }
};

enum class StationField
{
    Name,
    Id,
    Latitude,
    Longitude,
    Depth,
    Instrument,
    SerialNumber,
    Institution,
};

// Every field, in the order they are written.
const QList<StationField>& stationFields();
// The field's key in [Station] and in the data file's head: "Name", "SerialNumber".
QString stationKey(StationField field);
// The field named by a key (ASCII letters in any case); nothing for another key.
std::optional<StationField> stationFieldOfKey(const QString& key);
// The field in words, for descriptions and messages: "name", "serial number".
QString stationFieldWords(StationField field);

// A field's value as text: empty when not set; a number with a point and no more digits than it
// needs ("54.18213", "-3", "4.5").
QString stationFieldText(const StationDetails& details, StationField field);

// Sets a field from text (blanks around it dropped; empty: not set). Returns empty when done,
// else what the field wants, to follow its name in a message ("wants decimal degrees from -90
// to 90"); the field is then left not set.
QString setStationField(StationDetails* details, StationField field, const QString& text);

// Empty when id can be the level of an MQTT topic after "marvane/", else why not.
QString stationIdError(const QString& id);

// Each detail set, in words, for a start line: "name Tessmoor pier", "latitude 54.18213",
// "depth 4.5 m".
QStringList stationDescriptions(const StationDetails& details);

// The longest text a detail may hold.
inline constexpr int kStationTextLimit = 200;
