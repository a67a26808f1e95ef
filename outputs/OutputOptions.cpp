#include "outputs/OutputOptions.h"

#include <QCommandLineParser>

namespace {

const QString kNmeaUdp = QStringLiteral("nmea-udp");
const QString kNmeaTcp = QStringLiteral("nmea-tcp");
const QString kMqtt = QStringLiteral("mqtt");
const QString kMqttTopic = QStringLiteral("mqtt-topic");
const QString kMqttCa = QStringLiteral("mqtt-ca");
const QString kMqttPasswordFile = QStringLiteral("mqtt-password-file");

} // namespace

void addOutputOptions(QCommandLineParser& parser)
{
    parser.addOption({kNmeaUdp,
                      QStringLiteral("Send NMEA 0183 VDR sentences as UDP datagrams to HOST:PORT "
                                     "(a broadcast address is allowed)."),
                      QStringLiteral("HOST:PORT")});
    parser.addOption({kNmeaTcp,
                      QStringLiteral("Serve NMEA 0183 VDR sentences to TCP clients on PORT."),
                      QStringLiteral("PORT")});
    parser.addOption({kMqtt,
                      QStringLiteral("Publish each sample to the MQTT broker at URL "
                                     "(mqtt://[user@]host[:port] or mqtts://...)."),
                      QStringLiteral("URL")});
    parser.addOption({kMqttTopic,
                      QStringLiteral("MQTT topic (default marvane/<host name>/<port>)."),
                      QStringLiteral("TOPIC")});
    parser.addOption({kMqttCa, QStringLiteral("Certificate authority file for mqtts://."),
                      QStringLiteral("FILE")});
    parser.addOption({kMqttPasswordFile,
                      QStringLiteral("File holding the MQTT password (else the environment "
                                     "variable MARVANE_MQTT_PASSWORD)."),
                      QStringLiteral("FILE")});
}

bool readOutputOptions(const QCommandLineParser& parser, OutputSettings& settings, QString* error)
{
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    OutputSettings s = settings;
    QString reason;
    if (parser.isSet(kNmeaUdp)) {
        const auto target = parseHostPort(parser.value(kNmeaUdp), &reason);
        if (!target)
            return fail(QStringLiteral("--nmea-udp: ") + reason);
        s.nmeaUdp = true;
        s.nmeaUdpHost = target->first;
        s.nmeaUdpPort = target->second;
    }
    if (parser.isSet(kNmeaTcp)) {
        bool ok = false;
        const QString text = parser.value(kNmeaTcp);
        const uint port = text.toUInt(&ok);
        if (!ok || port < 1 || port > 65535 || text.startsWith(u'+'))
            return fail(QStringLiteral("--nmea-tcp: \"%1\" is not a port number from 1 to 65535.")
                            .arg(text));
        s.nmeaTcp = true;
        s.nmeaTcpPort = quint16(port);
    }
    if (parser.isSet(kMqtt)) {
        s.mqtt = true;
        s.mqttUrl = parser.value(kMqtt);
        if (!parseMqttUrl(s.mqttUrl, &reason))
            return fail(QStringLiteral("--mqtt: ") + reason);
    }
    if (parser.isSet(kMqttTopic)) {
        s.mqttTopic = parser.value(kMqttTopic);
        if (const QString e = topicError(s.mqttTopic); !e.isEmpty())
            return fail(QStringLiteral("--mqtt-topic: ") + e);
    }
    if (parser.isSet(kMqttCa))
        s.mqttCaFile = parser.value(kMqttCa);
    if (parser.isSet(kMqttPasswordFile))
        s.mqttPasswordFile = parser.value(kMqttPasswordFile);
    if (const QString e = outputSettingsError(s); !e.isEmpty())
        return fail(e);
    settings = s;
    return true;
}
