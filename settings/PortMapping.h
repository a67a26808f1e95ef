#pragma once
// The operator names ports "COM1".."COM4". On this platform each name maps to a device path:
// the optional section [Ports] of marvane.ini (keys COM1..COM4, values device paths) decides;
// without an entry Linux uses /dev/ttyS0../dev/ttyS3 and Windows the COM name itself.

#include <QString>

// Device path for a port name, read afresh from the settings file. An empty or unknown name
// gives an empty path.
QString devicePathForPort(const QString& portName, const QString& settingsPath);
