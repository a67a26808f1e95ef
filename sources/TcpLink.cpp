#include "sources/TcpLink.h"

#include "base/ModuleLoader.h"

TcpLinkFactory tcpLinkFactory(QString* reason)
{
    return reinterpret_cast<TcpLinkFactory>(
        moduleEntry(moduleFolder(), QLatin1String(kTcpModuleFile), kTcpModuleEntry, reason));
}
