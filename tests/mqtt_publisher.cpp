// A publishing station for the tests of the MQTT output's will: connects an MqttOutput to the
// broker on 127.0.0.1:<port> under <topic>, says "connected" on standard output once the broker
// took it, publishes one sample, and runs until it is killed.

#include "outputs/MqttOutput.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: mqtt_publisher PORT TOPIC\n");
        return 2;
    }
    MqttOutputConfig config;
    config.url.host = QStringLiteral("127.0.0.1");
    config.url.port = quint16(args.at(1).toUInt());
    config.topic = args.at(2);
    MqttOutput output(config);
    QObject::connect(&output, &LiveOutput::stateChanged, &output, [&](const QString& text) {
        if (text != QStringLiteral("MQTT: connected"))
            return;
        Sample sample;
        sample.computed = true;
        sample.speedMs = 0.5;
        sample.timeMs = 1716559387123;
        output.takeBatch({sample});
        std::printf("connected\n");
        std::fflush(stdout);
    });
    return app.exec();
}
