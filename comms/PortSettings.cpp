#include "settings/PortSettings.h"

// An index outside its table is the operator's hand edit of marvane.ini; it is never reported,
// and the value it would have set keeps what it had (empty or zero before the first apply).
void applyCommsSettings(const CommsSettings& settings, PortSettings& port, DisplayFlags& flags)
{
    static constexpr quint32 kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
    static constexpr qint32 kBaudRateCount = qint32(sizeof kBaudRates / sizeof kBaudRates[0]);

    flags.scrollDown = settings.scrollDirection != 0;
    flags.faceUp = settings.orientation == 0;

    if (settings.commPort >= 0 && settings.commPort <= 3)
        port.portName = QStringLiteral("COM%1").arg(settings.commPort + 1);
    if (settings.baudRate >= 0 && settings.baudRate < kBaudRateCount)
        port.baudRateValue = kBaudRates[settings.baudRate];
    port.byteSizeValue = settings.dataBits == 0 ? 7 : 8;
    // The parity and stop-bit indices are the port's own codes.
    if (settings.parity >= 0 && settings.parity <= 2)
        port.parityValue = quint8(settings.parity);
    if (settings.stopBits >= 0 && settings.stopBits <= 2)
        port.stopBitsValue = quint8(settings.stopBits);
}
