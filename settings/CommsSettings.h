#pragma once
// The Communications options as the operator chose them: seven radio-group indices, persisted in
// section "Options" of marvane.ini. Plain data shared by the settings file, the port parameters
// and the options dialog.

#include <QtGlobal>

struct CommsSettings
{
    qint32 scrollDirection = 0; // 0 "Scroll Up", 1 "Scroll Down"
    qint32 commPort = 1;        // 0..3 "Com 1".."Com 4"
    qint32 orientation = 0;     // 0 "Face Up", 1 "Face Down"
    qint32 baudRate = 3;        // 0..6: 2400 4800 9600 19200 38400 57600 115200
    qint32 dataBits = 1;        // 0 "7", 1 "8"
    qint32 parity = 0;          // 0 "None", 1 "Odd", 2 "Even"
    qint32 stopBits = 0;        // 0 "1", 1 "1.5", 2 "2"

    bool operator==(const CommsSettings& o) const
    {
        return scrollDirection == o.scrollDirection && commPort == o.commPort &&
               orientation == o.orientation && baudRate == o.baudRate && dataBits == o.dataBits &&
               parity == o.parity && stopBits == o.stopBits;
    }
};

// Keys of section "Options" in file order.
inline constexpr const char* kCommsSettingKeys[7] = {
    "ScrollDirection", "CommPort", "Orientation", "BaudRate", "DataBits", "Parity", "StopBits"};

// Presentation flags derived from the options. False until the options are first applied.
struct DisplayFlags
{
    bool scrollDown = false; // newest row at the top of the data tables
    bool faceUp = false;     // sensor mounted face up: X changes sign
};
