// A publishing station for the tests and the closing checks of the MQTT output: connects an
// MqttOutput to the broker on 127.0.0.1:<port> under <topic>, says "connected" on standard
// output once the broker took it and publishes one sample. Then it runs until it is killed, or
// with "once" ends cleanly. With a UDP port after that, the sample also goes as a VDR sentence
// to 127.0.0.1:<udp port>.

#include "outputs/MqttOutput.h"
#include "outputs/NmeaOutput.h"
#include "tests/support/Samples.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 5) {
        std::fprintf(stderr, "usage: mqtt_publisher PORT TOPIC [once|forever [UDP-PORT]]\n");
        return 2;
    }
    const bool once = args.size() > 3 && args.at(3) == QStringLiteral("once");
    std::unique_ptr<NmeaOutput> nmea;
    if (args.size() > 4) {
        NmeaOutputConfig config;
        config.udpHost = QStringLiteral("127.0.0.1");
        config.udpPort = quint16(args.at(4).toUInt());
        nmea = std::make_unique<NmeaOutput>(config);
    }
    MqttOutputConfig config;
    config.url.host = QStringLiteral("127.0.0.1");
    config.url.port = quint16(args.at(1).toUInt());
    config.topic = args.at(2);
    MqttOutput output(config);
    QObject::connect(&output, &LiveOutput::stateChanged, &output, [&](const QString& text) {
        if (text != QStringLiteral("MQTT: connected"))
            return;
        const Sample sample = exampleSample();
        output.takeBatch({sample});
        if (nmea)
            nmea->takeBatch({sample});
        std::printf("connected\n");
        std::fflush(stdout);
        if (once) {
            QTimer::singleShot(0, &output, [&] {
                output.takeEvent({SessionEvent::Kind::Finishing, {}, {}, 0});
                app.quit();
            });
        }
    });
    return app.exec();
}
