#include "base/StationDetails.h"

#include "base/MarvaneError.h"
#include "base/NumberText.h"

#include <QLocale>

#include <cmath>

namespace {

// The range of a number field and what it wants, for its message.
struct NumberRule
{
    double least;
    double most;
    const char* wants;
};

// Each field: its key, its words, and its member of the details, a text or a number with its
// range (the other member pointer null).
struct FieldInfo
{
    StationField field;
    const char* key;
    const char* words;
    QString StationDetails::*text;
    std::optional<double> StationDetails::*number;
    NumberRule range;
};

const FieldInfo kFields[] = {
    {StationField::Name, "Name", "name", &StationDetails::name, nullptr, {}},
    {StationField::Id, "Id", "id", &StationDetails::id, nullptr, {}},
    {StationField::Latitude, "Latitude", "latitude", nullptr, &StationDetails::latitude,
     {-90, 90, "decimal degrees from -90 to 90 (north positive)"}},
    {StationField::Longitude, "Longitude", "longitude", nullptr, &StationDetails::longitude,
     {-180, 180, "decimal degrees from -180 to 180 (east positive)"}},
    // Above the surface (a sensor in a river measured from a datum) down to the deepest sea.
    {StationField::Depth, "Depth", "depth", nullptr, &StationDetails::depth,
     {-100, 11000, "metres from -100 to 11000 (positive down)"}},
    {StationField::Instrument, "Instrument", "instrument", &StationDetails::instrument, nullptr,
     {}},
    {StationField::SerialNumber, "SerialNumber", "serial number", &StationDetails::serialNumber,
     nullptr, {}},
    {StationField::Institution, "Institution", "institution", &StationDetails::institution,
     nullptr, {}},
};

const FieldInfo& info(StationField field)
{
    for (const FieldInfo& f : kFields) {
        if (f.field == field)
            return f;
    }
    return kFields[0]; // not reached: every field is in the table
}

bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

} // namespace

bool StationDetails::isEmpty() const
{
    return *this == StationDetails();
}

bool StationDetails::operator==(const StationDetails& o) const
{
    return name == o.name && id == o.id && latitude == o.latitude && longitude == o.longitude &&
           depth == o.depth && instrument == o.instrument && serialNumber == o.serialNumber &&
           institution == o.institution;
}

const QList<StationField>& stationFields()
{
    static const QList<StationField> fields = [] {
        QList<StationField> all;
        for (const FieldInfo& f : kFields)
            all << f.field;
        return all;
    }();
    return fields;
}

QString stationKey(StationField field)
{
    return QString::fromLatin1(info(field).key);
}

std::optional<StationField> stationFieldOfKey(const QString& key)
{
    for (const FieldInfo& f : kFields) {
        if (key.compare(QLatin1String(f.key), Qt::CaseInsensitive) == 0)
            return f.field;
    }
    return std::nullopt;
}

QString stationFieldWords(StationField field)
{
    return QString::fromLatin1(info(field).words);
}

QString stationFieldText(const StationDetails& details, StationField field)
{
    const FieldInfo& f = info(field);
    if (f.text)
        return details.*f.text;
    const std::optional<double>& number = details.*f.number;
    if (!number)
        return QString();
    const double value = *number == 0 ? 0.0 : *number; // never "-0"
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QString setStationField(StationDetails* details, StationField field, const QString& text)
{
    const QString value = text.trimmed();
    const FieldInfo& f = info(field);
    if (f.text) {
        QString* target = &(details->*f.text);
        target->clear();
        if (value.size() > kStationTextLimit)
            return QStringLiteral("wants at most %1 characters").arg(kStationTextLimit);
        if (hasControlCharacter(value))
            return QStringLiteral("wants one line of text");
        if (field == StationField::Id) {
            if (const QString e = stationIdError(value); !value.isEmpty() && !e.isEmpty())
                return e;
        }
        *target = value;
        return QString();
    }
    std::optional<double>* number = &(details->*f.number);
    number->reset();
    if (value.isEmpty())
        return QString();
    const NumberRule& rule = f.range;
    double parsed = 0;
    try {
        parsed = double(textToFloat(value));
    } catch (const MarvaneError&) {
        return QString::fromLatin1("wants %1").arg(QLatin1String(rule.wants));
    }
    if (!std::isfinite(parsed) || parsed < rule.least || parsed > rule.most)
        return QString::fromLatin1("wants %1").arg(QLatin1String(rule.wants));
    *number = parsed;
    return QString();
}

QString stationIdError(const QString& id)
{
    if (id.isEmpty())
        return QStringLiteral("wants at least one character");
    if (id.contains(QLatin1Char('+')) || id.contains(QLatin1Char('#')) ||
        id.contains(QLatin1Char('/')))
        return QStringLiteral("may not hold '+', '#' or '/' (it is one level of an MQTT topic)");
    if (id.startsWith(QLatin1Char('$')))
        return QStringLiteral("may not start with '$' (it is one level of an MQTT topic)");
    if (hasControlCharacter(id))
        return QStringLiteral("wants one line of text");
    return QString();
}

QStringList stationDescriptions(const StationDetails& details)
{
    QStringList out;
    for (const StationField field : stationFields()) {
        QString text = stationFieldText(details, field);
        if (text.isEmpty())
            continue;
        if (field == StationField::Depth)
            text += QStringLiteral(" m");
        out << stationFieldWords(field) + QLatin1Char(' ') + text;
    }
    return out;
}
