#include "outputs/HealthState.h"

#include "base/ClockText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

QJsonValue clockJson(const HealthState& health)
{
    QJsonObject clock;
    switch (health.clock.state) {
    case ClockSync::State::Synchronised:
        clock.insert(QStringLiteral("state"), QStringLiteral("synchronised"));
        // A bound: rounded up, never understated.
        clock.insert(QStringLiteral("estimatedErrorMs"),
                     (health.clock.estimatedErrorUs + 999) / 1000);
        break;
    case ClockSync::State::NotSynchronised:
        clock.insert(QStringLiteral("state"), QStringLiteral("not synchronised"));
        break;
    case ClockSync::State::Unknown:
        clock.insert(QStringLiteral("state"), QStringLiteral("unknown"));
        break;
    }
    if (!health.clockText.isEmpty())
        clock.insert(QStringLiteral("text"), health.clockText);
    if (!health.lastStep.isEmpty())
        clock.insert(QStringLiteral("lastStep"), health.lastStep);
    return clock;
}

// The details set, named as JSON names them: "serialNumber".
QJsonObject stationJson(const StationDetails& station)
{
    QJsonObject object;
    const auto text = [&object](const char* name, const QString& value) {
        if (!value.isEmpty())
            object.insert(QLatin1String(name), value);
    };
    const auto number = [&object](const char* name, const std::optional<double>& value) {
        if (value)
            object.insert(QLatin1String(name), *value);
    };
    text("name", station.name);
    text("id", station.id);
    number("latitude", station.latitude);
    number("longitude", station.longitude);
    number("depth", station.depth);
    text("instrument", station.instrument);
    text("serialNumber", station.serialNumber);
    text("institution", station.institution);
    return object;
}

} // namespace

QByteArray healthPayload(const HealthState& health, qint64 timeMs)
{
    // Written field by field, so the order reads as documented (QJsonObject sorts its keys).
    const auto field = [](const char* name, const QJsonValue& value) {
        QJsonObject object;
        object.insert(QLatin1String(name), value);
        const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
        return text.mid(1, text.size() - 2);
    };
    QJsonValue logging;
    if (health.logging) {
        logging =
            QJsonObject{{QStringLiteral("file"), health.logFile},
                        {QStringLiteral("bytesWritten"), health.bytesWritten},
                        {QStringLiteral("freeBytes"),
                         health.freeBytes >= 0 ? QJsonValue(health.freeBytes) : QJsonValue()}};
    }
    QByteArrayList fields{
        field("state", QStringLiteral("running")),
        field("time", isoUtcText(timeMs)),
        field("port", health.port),
        field("connection", health.connection),
        field("receiving", health.receiving),
        field("silentSeconds", health.silentSeconds),
        field("lastSample", health.lastSampleMs >= 0 ? QJsonValue(isoUtcText(health.lastSampleMs))
                                                     : QJsonValue()),
        field("alarms", QJsonArray::fromStringList(health.alarms)),
        field("logging", logging),
        field("clock", clockJson(health)),
    };
    if (!health.station.isEmpty())
        fields << field("station", stationJson(health.station));
    return '{' + fields.join(',') + '}';
}

QByteArray offlinePayload(qint64 timeMs)
{
    if (timeMs < 0)
        return QByteArrayLiteral("{\"state\":\"offline\"}");
    return "{\"state\":\"offline\",\"time\":\"" + isoUtcText(timeMs).toLatin1() + "\"}";
}

QByteArray alarmPayload(const QString& alarm, bool raised, qint64 timeMs, double value,
                        const QString& text)
{
    const auto field = [](const char* name, const QJsonValue& v) {
        QJsonObject object;
        object.insert(QLatin1String(name), v);
        const QByteArray t = QJsonDocument(object).toJson(QJsonDocument::Compact);
        return t.mid(1, t.size() - 2);
    };
    const QByteArrayList fields{
        field("alarm", alarm),
        field("state", raised ? QStringLiteral("raised") : QStringLiteral("cleared")),
        field("time", isoUtcText(timeMs)),
        field("value", std::isfinite(value) ? QJsonValue(value) : QJsonValue()),
        field("text", text),
    };
    return '{' + fields.join(',') + '}';
}
