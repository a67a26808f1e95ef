#include "outputs/NmeaTransport.h"

#include "base/ModuleLoader.h"

NmeaTransportFactory nmeaTransportFactory(QString* reason)
{
    return reinterpret_cast<NmeaTransportFactory>(
        moduleEntry(moduleFolder(), QLatin1String(kNmeaModuleFile), kNmeaModuleEntry, reason));
}
