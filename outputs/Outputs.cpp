#include "outputs/Outputs.h"

#include "outputs/MqttClient.h"
#include "outputs/MqttOutput.h"
#include "outputs/NmeaOutput.h"
#include "outputs/NmeaTransport.h"

#include <QFile>
#include <QFileInfo>

std::optional<QString> mqttPassword(const OutputSettings& settings, QString* error)
{
    if (!settings.mqttPasswordFile.isEmpty()) {
        QFile file(settings.mqttPasswordFile);
        if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("Unable to read the MQTT password file %1.")
                             .arg(QFileInfo(file).absoluteFilePath());
            return std::nullopt;
        }
        QByteArray line = file.readLine(64 * 1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        return QString::fromUtf8(line);
    }
    if (qEnvironmentVariableIsSet("MARVANE_MQTT_PASSWORD"))
        return qEnvironmentVariable("MARVANE_MQTT_PASSWORD");
    return QString();
}

QList<LiveOutput*> createOutputs(const OutputSettings& settings, const QString& portName,
                                 QObject* parent, QString* error)
{
    QString reason = outputSettingsError(settings);
    std::optional<MqttUrl> url;
    std::optional<QString> password;
    if (reason.isEmpty() && settings.mqtt) {
        url = parseMqttUrl(settings.mqttUrl, &reason);
        password = mqttPassword(settings, &reason);
        if (url && url->tls && !settings.mqttCaFile.isEmpty()) {
            QFile ca(settings.mqttCaFile);
            if (!QFileInfo(ca).isFile() || !ca.open(QIODevice::ReadOnly))
                reason = QStringLiteral("Unable to read the certificate authority file %1.")
                             .arg(QFileInfo(ca).absoluteFilePath());
        }
        // The MQTT module is loaded here, the first time an MQTT output is asked for.
        QString unavailable;
        if (reason.isEmpty() && !mqttClientAvailable(&unavailable))
            reason = QStringLiteral("MQTT output is not available: %1.").arg(unavailable);
    }
    if (reason.isEmpty() && (settings.nmeaUdp || settings.nmeaTcp)) {
        // The same for the NMEA module.
        QString unavailable;
        if (!nmeaTransportFactory(&unavailable))
            reason = QStringLiteral("NMEA output is not available: %1.").arg(unavailable);
    }
    if (!reason.isEmpty()) {
        if (error)
            *error = reason;
        return {};
    }

    QList<LiveOutput*> outputs;
    if (settings.nmeaUdp || settings.nmeaTcp) {
        NmeaOutputConfig config;
        if (settings.nmeaUdp) {
            config.udpHost = settings.nmeaUdpHost;
            config.udpPort = settings.nmeaUdpPort;
        }
        config.tcp = settings.nmeaTcp;
        config.tcpPort = settings.nmeaTcpPort;
        outputs << new NmeaOutput(config, parent);
    }
    if (settings.mqtt) {
        MqttOutputConfig config;
        config.url = *url;
        config.topic =
            settings.mqttTopic.isEmpty() ? defaultMqttTopic(portName) : settings.mqttTopic;
        config.caFile = settings.mqttCaFile;
        config.password = *password;
        config.queueLimit = settings.mqttQueueLimit;
        outputs << new MqttOutput(config, parent);
    }
    return outputs;
}
