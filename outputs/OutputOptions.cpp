#include "outputs/OutputOptions.h"

#include <QCommandLineParser>

namespace {

const QString kNmeaUdp = QStringLiteral("nmea-udp");
const QString kNmeaTcp = QStringLiteral("nmea-tcp");
const QString kMqtt = QStringLiteral("mqtt");
const QString kMqttTopic = QStringLiteral("mqtt-topic");
const QString kMqttCa = QStringLiteral("mqtt-ca");
const QString kMqttPasswordFile = QStringLiteral("mqtt-password-file");
const QString kNoOutputs = QStringLiteral("no-outputs");

} // namespace

void addOutputOptions(QCommandLineParser& parser)
{
    parser.addOption({kNmeaUdp,
                      QStringLiteral("Send NMEA 0183 VDR sentences as UDP datagrams to HOST:PORT "
                                     "(a broadcast address is allowed)."),
                      QStringLiteral("HOST:PORT")});
    parser.addOption({kNmeaTcp,
                      QStringLiteral("Serve NMEA 0183 VDR sentences to TCP clients on PORT, of "
                                     "every address of this computer unless an ADDRESS is given "
                                     "(127.0.0.1: this computer only)."),
                      QStringLiteral("[ADDRESS:]PORT")});
    parser.addOption({kMqtt,
                      QStringLiteral("Publish each sample to the MQTT broker at URL "
                                     "(mqtt://[user@]host[:port] or mqtts://...)."),
                      QStringLiteral("URL")});
    parser.addOption({kMqttTopic,
                      QStringLiteral("MQTT topic (default marvane/<station id> when the "
                                     "station has an id, else marvane/<host name>/<port>)."),
                      QStringLiteral("TOPIC")});
    parser.addOption({kMqttCa, QStringLiteral("Certificate authority file for mqtts://."),
                      QStringLiteral("FILE")});
    parser.addOption({kMqttPasswordFile,
                      QStringLiteral("File holding the MQTT password (else the environment "
                                     "variable MARVANE_MQTT_PASSWORD)."),
                      QStringLiteral("FILE")});
    parser.addOption(
        {kNoOutputs, QStringLiteral("No network outputs: those turned on in section [Outputs] of "
                                    "the settings file stay off.")});
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
    if (parser.isSet(kNoOutputs)) {
        for (const QString& output : {kNmeaUdp, kNmeaTcp, kMqtt}) {
            if (parser.isSet(output))
                return fail(
                    QStringLiteral("--%1 and --%2 exclude each other").arg(kNoOutputs, output));
        }
        s.nmeaUdp = false;
        s.nmeaTcp = false;
        s.mqtt = false;
    }
    if (parser.isSet(kNmeaUdp)) {
        const auto target = parseHostPort(parser.value(kNmeaUdp), &reason);
        if (!target)
            return fail(QStringLiteral("--nmea-udp: ") + reason);
        s.nmeaUdp = true;
        s.nmeaUdpHost = target->first;
        s.nmeaUdpPort = target->second;
    }
    if (parser.isSet(kNmeaTcp)) {
        const auto server = parseListenAddress(parser.value(kNmeaTcp), &reason);
        if (!server)
            return fail(QStringLiteral("--nmea-tcp: ") + reason);
        s.nmeaTcp = true;
        s.nmeaTcpAddress = server->first;
        s.nmeaTcpPort = server->second;
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

bool outputNamedOnCommandLine(const QCommandLineParser& parser, OutputKind kind)
{
    switch (kind) {
    case OutputKind::NmeaUdp:
        return parser.isSet(kNmeaUdp);
    case OutputKind::NmeaTcp:
        return parser.isSet(kNmeaTcp);
    case OutputKind::Mqtt:
        break;
    }
    return parser.isSet(kMqtt);
}
