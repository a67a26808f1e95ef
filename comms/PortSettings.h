#pragma once
// What the Communications options mean for the port and the display.

#include "settings/CommsSettings.h"

#include <QString>
#include <QtGlobal>

// Line parameters written to the port when it opens and when they change. Empty and zero until the first apply.
struct PortSettings
{
    QString portName;          // "COM1".."COM4"
    quint32 baudRateValue = 0; // bits per second
    quint8 byteSizeValue = 0;  // 7 or 8
    quint8 parityValue = 0;    // 0 none, 1 odd, 2 even; 3 mark, 4 space (recorder only)
    quint8 stopBitsValue = 0;  // 0 one, 1 one and a half, 2 two
};

// Derives the port parameters and display flags from the indices. An index outside its table
// leaves the value it would set unchanged (except DataBits: anything but 0 means 8).
void applyCommsSettings(const CommsSettings& settings, PortSettings& port, DisplayFlags& flags);
