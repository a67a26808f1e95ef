#pragma once
// What the Communications options mean for the port and the display.

#include "base/CommsSettings.h"

#include <QString>
#include <QtGlobal>

// Line parameters written to the port at every poll. Empty and zero until the first apply.
struct PortSettings
{
    QString portName;          // "COM1".."COM4"
    quint32 baudRateValue = 0; // bits per second
    quint8 byteSizeValue = 0;  // 7 or 8
    quint8 parityValue = 0;    // 0 none, 1 odd, 2 even
    quint8 stopBitsValue = 0;  // 0 one, 1 one and a half, 2 two
    quint32 dcbFlags = 0;      // fixed line-behaviour word, set at every poll
};

// Derives the port parameters and display flags from the indices. An index outside its table
// leaves the value it would set unchanged (except DataBits: anything but 0 means 8).
void applyCommsSettings(const CommsSettings& settings, PortSettings& port, DisplayFlags& flags);

// The line-behaviour word of the port: binary mode, no parity checking, DTR on, no flow control,
// NUL bytes discarded, RTS raised only while sending (never, here).
inline constexpr quint32 kDcbFlags = 0x3811;
