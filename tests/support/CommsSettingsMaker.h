#pragma once
// The seven option indices in file order, for test tables.

#include "comms/PortSettings.h"

inline CommsSettings make(qint32 scroll, qint32 port, qint32 orientation, qint32 baud,
                          qint32 dataBits, qint32 parity, qint32 stopBits)
{
    CommsSettings s;
    s.ScrollDirection = scroll;
    s.CommPort = port;
    s.Orientation = orientation;
    s.BaudRate = baud;
    s.DataBits = dataBits;
    s.Parity = parity;
    s.StopBits = stopBits;
    return s;
}
