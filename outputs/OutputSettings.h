#pragma once
// The network outputs the operator chose: section "Outputs" of marvane.ini, all off by default,
// and the checks of a broker address and a topic.
//
//   [Outputs]
//   NmeaUdp=1
//   NmeaUdpHost=192.168.1.255
//   NmeaUdpPort=10110
//   NmeaTcp=1
//   NmeaTcpPort=10110
//   Mqtt=1
//   MqttUrl=mqtts://station4@broker.example.org
//   MqttTopic=
//   MqttCaFile=/etc/ssl/certs/fleet-ca.pem
//   MqttPasswordFile=/etc/marvane/mqtt-password
//
// The password itself is never kept here: it is read from the password file or the environment
// variable MARVANE_MQTT_PASSWORD when the output starts.

#include <QString>
#include <QtGlobal>

#include <optional>

inline constexpr quint16 kNmeaDefaultPort = 10110;
inline constexpr int kMqttDefaultQueueLimit = 10000;

struct OutputSettings
{
    bool nmeaUdp = false;
    QString nmeaUdpHost = QStringLiteral("127.0.0.1"); // a name, an address or a broadcast address
    quint16 nmeaUdpPort = kNmeaDefaultPort;

    bool nmeaTcp = false;
    quint16 nmeaTcpPort = kNmeaDefaultPort;

    bool mqtt = false;
    QString mqttUrl = QStringLiteral("mqtt://localhost");
    QString mqttTopic; // empty: marvane/<host name>/<port>
    QString mqttCaFile;
    QString mqttPasswordFile;
    int mqttQueueLimit = kMqttDefaultQueueLimit;

    bool operator==(const OutputSettings& other) const;
    bool operator!=(const OutputSettings& other) const { return !(*this == other); }
};

// Reads section "Outputs" of the settings file; a missing file, section or key, or a value that
// does not make sense (a port out of range), gives that key's default.
OutputSettings loadOutputSettings(const QString& settingsPath);

// Writes the keys of section "Outputs", leaving every other line of the file as it was. Throws
// MarvaneError("Unable to write to <full path>: <reason>.") when the file cannot be written, as
// the communications options do.
void saveOutputSettings(const QString& settingsPath, const OutputSettings& settings);

// A broker address: mqtt://[user@]host[:port] (port 1883 by default) or mqtts://... (TLS,
// port 8883 by default).
struct MqttUrl
{
    bool tls = false;
    QString user;
    QString host;
    quint16 port = 1883;
};

// Parses a broker address; nothing, and the reason in error, when it is not one.
std::optional<MqttUrl> parseMqttUrl(const QString& text, QString* error);

// Empty when text is a topic samples can be published to, else why not: not empty, no wildcard
// (+ or #), no NUL character, at most 65535 bytes in UTF-8.
QString topicError(const QString& topic);

// "host:port" into its parts; nothing, and the reason in error, when it is not one.
std::optional<std::pair<QString, quint16>> parseHostPort(const QString& text, QString* error);

// Empty when the settings can be used as they stand, else the first reason why not (for the
// dialog and the recorder's start).
QString outputSettingsError(const OutputSettings& settings);

// The topic used when none is given: "marvane/<host name>/<port>", port being the name of the
// serial port as given ("COM2") or the base name of its device ("ttyUSB0").
QString defaultMqttTopic(const QString& portName);
