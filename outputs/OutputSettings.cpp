#include "outputs/OutputSettings.h"

#include "base/IniFile.h"
#include "base/StationDetails.h"
#include "settings/SettingsFile.h"

#include <QFileInfo>
#include <QSysInfo>

#include <arpa/inet.h>

namespace {

const QString kSection = QStringLiteral("Outputs");

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

bool boolValue(const IniFile& ini, const char* name, bool defaultValue)
{
    return ini.intValue(kSection, key(name), defaultValue ? 1 : 0) != 0;
}

quint16 portValue(const IniFile& ini, const char* name, quint16 defaultValue)
{
    const qint32 value = ini.intValue(kSection, key(name), defaultValue);
    return value >= 1 && value <= 65535 ? quint16(value) : defaultValue;
}

QString textValue(const IniFile& ini, const char* name, const QString& defaultValue)
{
    return ini.value(kSection, key(name)).value_or(defaultValue);
}

std::optional<quint16> portNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int value = text.toInt();
    if (value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

bool isHostText(QStringView host)
{
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        if (c.isSpace() || c == u'/' || c == u'?' || c == u'#' || c == u'@' || c.unicode() < 32)
            return false;
    }
    return true;
}

} // namespace

bool OutputSettings::operator==(const OutputSettings& o) const
{
    return nmeaUdp == o.nmeaUdp && nmeaUdpHost == o.nmeaUdpHost && nmeaUdpPort == o.nmeaUdpPort &&
           nmeaTcp == o.nmeaTcp && nmeaTcpPort == o.nmeaTcpPort &&
           nmeaTcpAddress == o.nmeaTcpAddress && mqtt == o.mqtt && mqttUrl == o.mqttUrl &&
           mqttTopic == o.mqttTopic && mqttCaFile == o.mqttCaFile &&
           mqttPasswordFile == o.mqttPasswordFile && mqttQueueLimit == o.mqttQueueLimit &&
           stationId == o.stationId;
}

OutputSettings loadOutputSettings(const QString& settingsPath)
{
    // A file that cannot be read gives the defaults: the start has told the operator why.
    const IniFile ini(readSettingsBytes(settingsPath, nullptr).value_or(QByteArray()));

    const OutputSettings d;
    OutputSettings s;
    s.nmeaUdp = boolValue(ini, "NmeaUdp", d.nmeaUdp);
    s.nmeaUdpHost = textValue(ini, "NmeaUdpHost", d.nmeaUdpHost);
    s.nmeaUdpPort = portValue(ini, "NmeaUdpPort", d.nmeaUdpPort);
    s.nmeaTcp = boolValue(ini, "NmeaTcp", d.nmeaTcp);
    s.nmeaTcpPort = portValue(ini, "NmeaTcpPort", d.nmeaTcpPort);
    s.nmeaTcpAddress = textValue(ini, "NmeaTcpAddress", d.nmeaTcpAddress).trimmed();
    s.mqtt = boolValue(ini, "Mqtt", d.mqtt);
    s.mqttUrl = textValue(ini, "MqttUrl", d.mqttUrl);
    s.mqttTopic = textValue(ini, "MqttTopic", d.mqttTopic);
    s.mqttCaFile = textValue(ini, "MqttCaFile", d.mqttCaFile);
    s.mqttPasswordFile = textValue(ini, "MqttPasswordFile", d.mqttPasswordFile);
    const qint32 limit = ini.intValue(kSection, key("MqttQueue"), d.mqttQueueLimit);
    s.mqttQueueLimit = limit >= 1 ? limit : d.mqttQueueLimit;
    return s;
}

void saveOutputSettings(const QString& settingsPath, const OutputSettings& s)
{
    updateSettingsFile(settingsPath, [&s](IniFile& ini) {
        const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
        ini.setValue(kSection, key("NmeaUdp"), flag(s.nmeaUdp));
        ini.setValue(kSection, key("NmeaUdpHost"), s.nmeaUdpHost);
        ini.setValue(kSection, key("NmeaUdpPort"), QString::number(s.nmeaUdpPort));
        ini.setValue(kSection, key("NmeaTcp"), flag(s.nmeaTcp));
        ini.setValue(kSection, key("NmeaTcpPort"), QString::number(s.nmeaTcpPort));
        // Written once an address is chosen or the key is in the file already.
        if (!s.nmeaTcpAddress.isEmpty() || ini.value(kSection, key("NmeaTcpAddress")))
            ini.setValue(kSection, key("NmeaTcpAddress"), s.nmeaTcpAddress);
        ini.setValue(kSection, key("Mqtt"), flag(s.mqtt));
        ini.setValue(kSection, key("MqttUrl"), s.mqttUrl);
        ini.setValue(kSection, key("MqttTopic"), s.mqttTopic);
        ini.setValue(kSection, key("MqttCaFile"), s.mqttCaFile);
        ini.setValue(kSection, key("MqttPasswordFile"), s.mqttPasswordFile);
        // Written once it differs from the default or is in the file already.
        if (s.mqttQueueLimit != kMqttDefaultQueueLimit || ini.value(kSection, key("MqttQueue")))
            ini.setValue(kSection, key("MqttQueue"), QString::number(s.mqttQueueLimit));
    });
}

std::optional<MqttUrl> parseMqttUrl(const QString& text, QString* error)
{
    const auto fail = [&](const QString& reason) -> std::optional<MqttUrl> {
        if (error)
            *error = QStringLiteral("\"%1\" is not a broker address: %2.")
                         .arg(redactedMqttUrl(text), reason);
        return std::nullopt;
    };
    MqttUrl url;
    QStringView rest(text);
    if (rest.startsWith(u"mqtt://", Qt::CaseInsensitive)) {
        rest = rest.mid(7);
    } else if (rest.startsWith(u"mqtts://", Qt::CaseInsensitive)) {
        rest = rest.mid(8);
        url.tls = true;
        url.port = 8883;
    } else {
        return fail(QStringLiteral("it must begin with mqtt:// or mqtts://"));
    }
    if (rest.endsWith(u'/'))
        rest.chop(1);
    if (const qsizetype at = rest.lastIndexOf(u'@'); at >= 0) {
        const QStringView user = rest.first(at);
        if (user.contains(u':'))
            return fail(QStringLiteral("give the password in a password file or in "
                                       "MARVANE_MQTT_PASSWORD, never in the address"));
        if (user.isEmpty() || !isHostText(user))
            return fail(QStringLiteral("the user name is empty or has a blank or a '/' in it"));
        url.user = user.toString();
        rest = rest.mid(at + 1);
    }
    QStringView host = rest;
    QStringView port;
    if (rest.startsWith(u'[')) {
        // An IPv6 address: [::1]:1883.
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return fail(QStringLiteral("the host has no closing ']'"));
        host = rest.sliced(1, close - 1);
        const QStringView after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':'))
            return fail(QStringLiteral("there is something after the host"));
        if (!after.isEmpty())
            port = after.mid(1);
        else
            port = QStringView();
        if (!after.isEmpty() && port.isEmpty())
            return fail(QStringLiteral("the port is missing after ':'"));
    } else if (const qsizetype colon = rest.indexOf(u':'); colon >= 0) {
        host = rest.first(colon);
        port = rest.mid(colon + 1);
        if (port.isEmpty())
            return fail(QStringLiteral("the port is missing after ':'"));
    }
    if (host.isEmpty())
        return fail(QStringLiteral("the host is missing"));
    if (!isHostText(host) || host.contains(u':') != rest.startsWith(u'['))
        return fail(QStringLiteral("the host has a character no host name has"));
    if (!port.isNull()) {
        const auto number = portNumber(port);
        if (!number)
            return fail(QStringLiteral("the port must be a number from 1 to 65535"));
        url.port = *number;
    }
    url.host = host.toString();
    return url;
}

QString redactedMqttUrl(const QString& text)
{
    // The same reading as parseMqttUrl: the user information runs to the last '@', and a ':' in
    // it starts a password (which may hold '/' or '@' itself).
    const qsizetype scheme = text.indexOf(u"://");
    const qsizetype start = scheme < 0 ? 0 : scheme + 3;
    const qsizetype at = text.lastIndexOf(u'@');
    if (at < start)
        return text;
    const qsizetype colon = text.indexOf(u':', start);
    if (colon < 0 || colon > at)
        return text;
    return text.left(colon + 1) + QStringLiteral("****") + text.mid(at);
}

QString mqttUrlText(const MqttUrl& url)
{
    const QString host = url.host.contains(u':') ? QStringLiteral("[%1]").arg(url.host) : url.host;
    return QStringLiteral("%1://%2%3:%4")
        .arg(url.tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"),
             url.user.isEmpty() ? QString() : url.user + QLatin1Char('@'), host)
        .arg(url.port);
}

QString topicError(const QString& topic)
{
    if (topic.isEmpty())
        return QStringLiteral("The MQTT topic is empty.");
    if (topic.startsWith(u'$'))
        return QStringLiteral("The MQTT topic \"%1\" begins with '$': such topics belong to the "
                              "broker ($SYS), which takes no samples there.")
            .arg(topic);
    if (topic.contains(u'+') || topic.contains(u'#'))
        return QStringLiteral("The MQTT topic \"%1\" has a wildcard (+ or #) in it: samples are "
                              "published to one topic.")
            .arg(topic);
    if (topic.contains(QChar(0)))
        return QStringLiteral("The MQTT topic has a NUL character in it.");
    if (topic.toUtf8().size() > 65535)
        return QStringLiteral("The MQTT topic is longer than 65535 bytes.");
    return {};
}

std::optional<std::pair<QString, quint16>> parseHostPort(const QString& text, QString* error)
{
    const auto fail = [&](const QString& reason) -> std::optional<std::pair<QString, quint16>> {
        if (error)
            *error = QStringLiteral("\"%1\" is not HOST:PORT: %2.").arg(text, reason);
        return std::nullopt;
    };
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon < 0)
        return fail(QStringLiteral("the port is missing"));
    QStringView host = QStringView(text).first(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.sliced(1, host.size() - 2);
    if (!isHostText(host))
        return fail(QStringLiteral("the host is missing or has a blank in it"));
    const auto port = portNumber(QStringView(text).mid(colon + 1));
    if (!port)
        return fail(QStringLiteral("the port must be a number from 1 to 65535"));
    return std::make_pair(host.toString(), *port);
}

std::optional<std::pair<QString, quint16>> parseListenAddress(const QString& text, QString* error)
{
    const auto fail = [&](const QString& reason) -> std::optional<std::pair<QString, quint16>> {
        if (error)
            *error = QStringLiteral("\"%1\" is not [ADDRESS:]PORT: %2.").arg(text, reason);
        return std::nullopt;
    };
    QString address;
    QStringView port(text);
    if (const qsizetype colon = text.lastIndexOf(u':'); colon >= 0) {
        QStringView host = QStringView(text).first(colon);
        port = QStringView(text).mid(colon + 1);
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.sliced(1, host.size() - 2);
        else if (host.contains(u':'))
            return fail(QStringLiteral("an IPv6 address goes in brackets, as in [::1]:10110"));
        if (host.isEmpty())
            return fail(QStringLiteral("the address before ':' is missing"));
        address = host.toString();
    }
    const auto number = portNumber(port);
    if (!number)
        return fail(QStringLiteral("the port must be a number from 1 to 65535"));
    if (const QString e = listenAddressError(address); !e.isEmpty()) {
        if (error)
            *error = e;
        return std::nullopt;
    }
    return std::make_pair(address, *number);
}

bool isIpAddressText(const QString& text)
{
    // The system's own parser of numeric addresses: the programs do not link Qt Network (its
    // sockets are in the NMEA module), and inet_pton keeps the same rules for both families.
    const QByteArray bytes = text.toLatin1();
    in6_addr buffer{};
    return ::inet_pton(AF_INET, bytes.constData(), &buffer) == 1 ||
           ::inet_pton(AF_INET6, bytes.constData(), &buffer) == 1;
}

QString listenAddressError(const QString& address)
{
    // A server listens on an address of this computer: a name would first have to be looked up,
    // and could name another machine.
    if (address.isEmpty() || isIpAddressText(address))
        return {};
    return QStringLiteral("\"%1\" is not an IP address of this computer; leave the address out "
                          "to serve on every address.")
        .arg(address);
}

QString outputSettingsError(const OutputSettings& s)
{
    if (s.nmeaUdp && !isHostText(s.nmeaUdpHost))
        return QStringLiteral("The NMEA UDP host is missing or has a blank in it.");
    if (s.nmeaTcp) {
        if (const QString e = listenAddressError(s.nmeaTcpAddress); !e.isEmpty())
            return QStringLiteral("NMEA TCP server: ") + e;
    }
    if (s.mqtt) {
        QString error;
        if (!parseMqttUrl(s.mqttUrl, &error))
            return error;
        if (!s.mqttTopic.isEmpty()) {
            if (const QString e = topicError(s.mqttTopic); !e.isEmpty())
                return e;
        } else if (!s.stationId.isEmpty()) {
            if (const QString e = stationIdError(s.stationId); !e.isEmpty())
                return QStringLiteral("The station id \"%1\" %2.").arg(s.stationId, e);
        }
        if (s.mqttQueueLimit < 1)
            return QStringLiteral("The MQTT queue must hold at least one sample.");
    }
    return {};
}

QString defaultMqttTopic(const QString& portName)
{
    QString port = QFileInfo(portName).fileName();
    if (port.isEmpty())
        port = QStringLiteral("port");
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    // A level must not be a wildcard; host and device names never are, but a renamed device could.
    host.replace(u'+', u'_').replace(u'#', u'_').replace(u'/', u'_');
    port.replace(u'+', u'_').replace(u'#', u'_');
    return QStringLiteral("marvane/%1/%2").arg(host, port);
}

QString mqttTopicFor(const OutputSettings& settings, const QString& portName)
{
    if (!settings.mqttTopic.isEmpty())
        return settings.mqttTopic;
    if (!settings.stationId.isEmpty())
        return QStringLiteral("marvane/") + settings.stationId;
    return defaultMqttTopic(portName);
}

QList<OutputDescription> outputDescriptions(const OutputSettings& s, const QString& portName)
{
    const auto hostPort = [](const QString& host, quint16 port) {
        return QStringLiteral("%1:%2")
            .arg(host.contains(u':') ? QStringLiteral("[%1]").arg(host) : host)
            .arg(port);
    };
    QList<OutputDescription> outputs;
    if (s.nmeaUdp) {
        outputs.append({OutputKind::NmeaUdp, QStringLiteral("NMEA VDR over UDP to ") +
                                                 hostPort(s.nmeaUdpHost, s.nmeaUdpPort)});
    }
    if (s.nmeaTcp) {
        outputs.append({OutputKind::NmeaTcp,
                        s.nmeaTcpAddress.isEmpty()
                            ? QStringLiteral("NMEA VDR to TCP clients on port %1 of every address")
                                  .arg(s.nmeaTcpPort)
                            : QStringLiteral("NMEA VDR to TCP clients on ") +
                                  hostPort(s.nmeaTcpAddress, s.nmeaTcpPort)});
    }
    if (s.mqtt) {
        const std::optional<MqttUrl> url = parseMqttUrl(s.mqttUrl, nullptr);
        outputs.append(
            {OutputKind::Mqtt, QStringLiteral("MQTT to %1 on topic %2")
                                   .arg(url ? mqttUrlText(*url) : redactedMqttUrl(s.mqttUrl),
                                        mqttTopicFor(s, portName))});
    }
    return outputs;
}
