#pragma once
// The seven option indices in file order, for test tables.

#include "settings/PortSettings.h"

inline CommsSettings make(qint32 scroll, qint32 port, qint32 orientation, qint32 baud,
                          qint32 dataBits, qint32 parity, qint32 stopBits)
{
    CommsSettings s;
    s.scrollDirection = scroll;
    s.commPort = port;
    s.orientation = orientation;
    s.baudRate = baud;
    s.dataBits = dataBits;
    s.parity = parity;
    s.stopBits = stopBits;
    return s;
}
