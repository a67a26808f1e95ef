#include "outputs/MqttPayload.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

std::optional<QByteArray> mqttPayload(const Sample& sample)
{
    if (!sample.computed)
        return std::nullopt;
    QJsonObject object;
    object.insert(QStringLiteral("time"), isoUtcText(sample.timeMs));
    object.insert(QStringLiteral("speedMs"), sample.speedMs);
    object.insert(QStringLiteral("bearing"), sample.bearing);
    object.insert(QStringLiteral("bearingConvention"),
                  sample.bearingTo ? QStringLiteral("to") : QStringLiteral("from"));
    // The heading the bearing is turned by; absent when none is set (the bearing is then
    // relative to the front of the sensor).
    if (sample.headingOffset)
        object.insert(QStringLiteral("heading"), *sample.headingOffset);
    if (sample.hasRecord) {
        object.insert(QStringLiteral("x"), sample.x);
        object.insert(QStringLiteral("y"), sample.y);
        object.insert(QStringLiteral("rawX"), sample.rawX);
        object.insert(QStringLiteral("rawY"), sample.rawY);
    }
    object.insert(QStringLiteral("units"), unitsInfo(sample.units).speedUnits);
    object.insert(QStringLiteral("speedText"), sample.speedText);
    object.insert(QStringLiteral("bearingText"), sample.bearingText);
    QString source;
    switch (sample.source) {
    case SampleSource::Live:
        // The word subscribers have always read for the sensor's own samples.
        source = QStringLiteral("serial");
        break;
    case SampleSource::Demonstration:
        source = QStringLiteral("demonstration");
        break;
    case SampleSource::Replay:
        source = QStringLiteral("replay");
        break;
    }
    object.insert(QStringLiteral("source"), source);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray markPayload(qint64 timeMs, const QString& note)
{
    const QJsonObject object{{QStringLiteral("time"), isoUtcText(timeMs)},
                             {QStringLiteral("note"), note}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
