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
};
