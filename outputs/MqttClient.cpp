#include "outputs/MqttClient.h"

#include "base/ModuleLoader.h"

namespace {

MqttClientFactory factory(QString* reason)
{
    return reinterpret_cast<MqttClientFactory>(
        moduleEntry(moduleFolder(), QLatin1String(kMqttModuleFile), kMqttModuleEntry, reason));
}

} // namespace

std::unique_ptr<MqttClient> createMqttClient(MqttClientListener* listener, QString* reason)
{
    const MqttClientFactory make = factory(reason);
    if (!make)
        return nullptr;
    std::unique_ptr<MqttClient> client(make(listener));
    if (!client && reason)
        *reason = QStringLiteral("out of memory");
    return client;
}

bool mqttClientAvailable(QString* reason)
{
    return factory(reason) != nullptr;
}
