#pragma once
// The station's details on the command line of marvane-record and marvane-export, each over the
// same detail of section [Station] of marvane.ini (or of the data file's head, for an export);
// an empty value ("") leaves a detail not set:
//
//   --station-name TEXT       --station-id ID
//   --latitude DEG            --longitude DEG          --depth M
//   --instrument TEXT         --serial-number TEXT     --institution TEXT

#include "base/StationDetails.h"

class QCommandLineParser;

// replaces: what each option stands over, for its help, with %1 for the detail's key
// ("[Station] %1 of the settings file").
void addStationOptions(QCommandLineParser& parser, const QString& replaces);

// Sets each detail whose option is given. False, and why in error (naming the option), for a
// value that cannot be used; details is then unchanged.
bool readStationOptions(const QCommandLineParser& parser, StationDetails& details, QString* error);
