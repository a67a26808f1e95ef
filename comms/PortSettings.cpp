#include "comms/PortSettings.h"

// An index outside its table is the operator's hand edit of marvane.ini; it is never reported,
// and the value it would have set keeps what it had (empty or zero before the first apply).
void ApplyCommsSettings(const CommsSettings& settings, PortSettings& port, DisplayFlags& flags)
{
    static constexpr quint32 kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
    static constexpr qint32 kBaudRateCount = qint32(sizeof kBaudRates / sizeof kBaudRates[0]);

    flags.ScrollDown = settings.ScrollDirection != 0;
    flags.FaceUp = settings.Orientation == 0;

    if (settings.CommPort >= 0 && settings.CommPort <= 3)
        port.PortName = QStringLiteral("COM%1").arg(settings.CommPort + 1);
    if (settings.BaudRate >= 0 && settings.BaudRate < kBaudRateCount)
        port.BaudRateValue = kBaudRates[settings.BaudRate];
    port.ByteSizeValue = settings.DataBits == 0 ? 7 : 8;
    // The parity and stop-bit indices are the port's own codes.
    if (settings.Parity >= 0 && settings.Parity <= 2)
        port.ParityValue = quint8(settings.Parity);
    if (settings.StopBits >= 0 && settings.StopBits <= 2)
        port.StopBitsValue = quint8(settings.StopBits);
}
