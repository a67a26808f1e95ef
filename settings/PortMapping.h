#pragma once
// The operator names ports "COM1".."COM4". On this platform each name maps to a device path:
// the optional section [Ports] of marvane.ini (keys COM1..COM4, values device paths) decides;
// without an entry Linux uses /dev/ttyS0../dev/ttyS3 and Windows the COM name itself.

#include <QString>

// The port number 0..3 of "COM1".."COM4" (any case), or -1 for any other name: the one rule for
// what counts as a port name rather than a device path or an address.
int comPortIndex(const QString& name);
inline bool isComPortName(const QString& name)
{
    return comPortIndex(name) >= 0;
}

// Device path for a port name, read afresh from the settings file. An empty or unknown name
// gives an empty path.
QString devicePathForPort(const QString& portName, const QString& settingsPath);
