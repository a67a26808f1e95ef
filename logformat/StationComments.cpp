#include "logformat/StationComments.h"

namespace {

const QString kPrefix = QStringLiteral("Station: ");

} // namespace

QStringList stationComments(const StationDetails& details)
{
    QStringList out;
    for (const StationField field : stationFields()) {
        const QString text = stationFieldText(details, field);
        if (!text.isEmpty())
            out << kPrefix + stationKey(field) + QLatin1Char('=') + text;
    }
    return out;
}

bool stationOfComment(const QString& comment, StationDetails* details)
{
    if (!comment.startsWith(kPrefix))
        return false;
    const QString rest = comment.mid(kPrefix.size());
    const qsizetype equals = rest.indexOf(QLatin1Char('='));
    if (equals < 0)
        return false;
    const std::optional<StationField> field = stationFieldOfKey(rest.left(equals).trimmed());
    if (!field)
        return false;
    setStationField(details, *field, rest.mid(equals + 1));
    return true;
}

StationDetails stationOfComments(const QStringList& comments)
{
    StationDetails details;
    for (const QString& c : comments)
        stationOfComment(c, &details);
    return details;
}
