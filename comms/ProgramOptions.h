#pragma once
// The options the windows share: where the settings file is, the indices loaded from it, and what
// applyCommsSettings derived from them. Owned by the main window; the Communications dialog edits
// it.

#include "comms/PortSettings.h"

#include <QString>

struct ProgramOptions
{
    QString settingsPath;
    CommsSettings comms;
    PortSettings port;
    DisplayFlags flags;
    // A device that goes away while connected is opened again by itself ("Reconnect
    // automatically" in the options; on unless the settings file turns it off).
    bool reconnect = true;
};
