#pragma once
// The Communications options as the operator chose them (seven radio-group indices, persisted in
// marvane.ini) and what they mean for the port and the display.

#include <QString>
#include <QtGlobal>

struct CommsSettings
{
    qint32 ScrollDirection = 0; // 0 "Scroll Up", 1 "Scroll Down"
    qint32 CommPort = 1;        // 0..3 "Com 1".."Com 4"
    qint32 Orientation = 0;     // 0 "Face Up", 1 "Face Down"
    qint32 BaudRate = 3;        // 0..6: 2400 4800 9600 19200 38400 57600 115200
    qint32 DataBits = 1;        // 0 "7", 1 "8"
    qint32 Parity = 0;          // 0 "None", 1 "Odd", 2 "Even"
    qint32 StopBits = 0;        // 0 "1", 1 "1.5", 2 "2"

    bool operator==(const CommsSettings& o) const
    {
        return ScrollDirection == o.ScrollDirection && CommPort == o.CommPort &&
               Orientation == o.Orientation && BaudRate == o.BaudRate &&
               DataBits == o.DataBits && Parity == o.Parity && StopBits == o.StopBits;
    }
};

// Keys of section "Options" in file order.
inline constexpr const char* kCommsSettingKeys[7] = {"ScrollDirection", "CommPort", "Orientation",
                                                     "BaudRate",        "DataBits", "Parity",
                                                     "StopBits"};

// Line parameters written to the port at every poll. Empty and zero until the first apply.
struct PortSettings
{
    QString PortName;            // "COM1".."COM4"
    quint32 BaudRateValue = 0;   // bits per second
    quint8 ByteSizeValue = 0;    // 7 or 8
    quint8 ParityValue = 0;      // 0 none, 1 odd, 2 even
    quint8 StopBitsValue = 0;    // 0 one, 1 one and a half, 2 two
    quint32 DcbFlags = 0;        // fixed line-behaviour word, set at every poll
};

// Presentation flags derived from the options. False until the first apply.
struct DisplayFlags
{
    bool ScrollDown = false; // newest row at the top of the data tables
    bool FaceUp = false;     // sensor mounted face up: X changes sign
};

// Derives the port parameters and display flags from the indices. An index outside its table
// leaves the value it would set unchanged (except DataBits: anything but 0 means 8).
void ApplyCommsSettings(const CommsSettings& settings, PortSettings& port, DisplayFlags& flags);

// The line-behaviour word of the port: binary mode, no parity checking, DTR on, no flow control,
// NUL bytes discarded, RTS raised only while sending (never, here).
inline constexpr quint32 kDcbFlags = 0x3811;
