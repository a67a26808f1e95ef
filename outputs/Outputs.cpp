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

QStringList outputWarnings(const OutputSettings& settings)
{
    QStringList warnings;
    if (!settings.mqtt)
        return warnings;
    const std::optional<MqttUrl> url = parseMqttUrl(settings.mqttUrl, nullptr);
    const std::optional<QString> password = mqttPassword(settings, nullptr);
    if (url && !url->tls && !url->user.isEmpty() && password && !password->isNull()) {
        warnings << QStringLiteral("MQTT: the password of %1 goes to %2:%3 unencrypted (mqtt://): "
                                   "anyone on the way can read it; use mqtts:// with a broker "
                                   "that takes TLS")
                        .arg(url->user, url->host)
                        .arg(url->port);
    }
    if (!settings.mqttPasswordFile.isEmpty()) {
        const QFileInfo file(settings.mqttPasswordFile);
        if (file.isFile() && file.permissions().testFlag(QFileDevice::ReadOther)) {
            warnings << QStringLiteral("MQTT: every user of this computer can read the password "
                                       "file %1; chmod o-r %1 keeps it to its owner")
                            .arg(file.absoluteFilePath());
        }
    }
    return warnings;
}

namespace {

// A client that only tries its settings hears nothing.
class NoListener : public MqttClientListener
{
public:
    void connectAnswered(bool, const QString&) override {}
    void disconnected(const QString&) override {}
    void published(int) override {}
};

// What the MQTT output needs of its files and address, read once: the same checks for
// checkOutputs() and createOutputs().
QString readOutputFiles(const OutputSettings& settings, std::optional<MqttUrl>* url,
                        std::optional<QString>* password)
{
    QString reason = outputSettingsError(settings);
    if (reason.isEmpty() && settings.mqtt) {
        *url = parseMqttUrl(settings.mqttUrl, &reason);
        *password = mqttPassword(settings, &reason);
        // The MQTT module is loaded here, the first time an MQTT output is asked for.
        QString unavailable;
        if (reason.isEmpty() && !mqttClientAvailable(&unavailable))
            reason = QStringLiteral("MQTT output is not available: %1.").arg(unavailable);
        if (reason.isEmpty() && *url && (*url)->tls && !settings.mqttCaFile.isEmpty()) {
            QFile ca(settings.mqttCaFile);
            if (!QFileInfo(ca).isFile() || !ca.open(QIODevice::ReadOnly)) {
                reason = QStringLiteral("Unable to read the certificate authority file %1.")
                             .arg(QFileInfo(ca).absoluteFilePath());
            } else {
                // A file that holds no certificate refuses the start too, not only every
                // connection: a client that never connects tries the file.
                NoListener nobody;
                const std::unique_ptr<MqttClient> trial = createMqttClient(&nobody, &unavailable);
                const MqttClient::Result tls =
                    trial ? trial->setTls((*url)->host, settings.mqttCaFile)
                          : MqttClient::Result{MqttClient::Status::Failed, unavailable};
                if (!tls.ok())
                    reason = tls.reason;
            }
        }
    }
    if (reason.isEmpty() && (settings.nmeaUdp || settings.nmeaTcp)) {
        // The same for the NMEA module.
        QString unavailable;
        if (!nmeaTransportFactory(&unavailable))
            reason = QStringLiteral("NMEA output is not available: %1.").arg(unavailable);
    }
    return reason;
}

} // namespace

bool checkOutputs(const OutputSettings& settings, QString* error)
{
    std::optional<MqttUrl> url;
    std::optional<QString> password;
    const QString reason = readOutputFiles(settings, &url, &password);
    if (!reason.isEmpty() && error)
        *error = reason;
    return reason.isEmpty();
}

QList<LiveOutput*> createOutputs(const OutputSettings& settings, const QString& portName,
                                 QObject* parent, QString* error)
{
    std::optional<MqttUrl> url;
    std::optional<QString> password;
    const QString reason = readOutputFiles(settings, &url, &password);
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
        config.tcpAddress = settings.nmeaTcpAddress;
        outputs << new NmeaOutput(config, parent);
    }
    if (settings.mqtt) {
        MqttOutputConfig config;
        config.url = *url;
        config.topic = mqttTopicFor(settings, portName);
        config.caFile = settings.mqttCaFile;
        config.password = *password;
        config.queueLimit = settings.mqttQueueLimit;
        outputs << new MqttOutput(config, parent);
    }
    return outputs;
}
