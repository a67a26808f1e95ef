#pragma once
// The station's details in section [Station] of marvane.ini (see base/StationDetails.h for the
// keys), all optional:
//
//   [Station]
//   Name=Tessmoor pier
//   Id=tessmoor-pier
//   Latitude=54.18213
//   Longitude=-3.02577
//   Depth=4.5
//   Instrument=...
//   SerialNumber=...
//   Institution=...

#include "base/StationDetails.h"

#include <QString>
#include <QStringList>

// Reads section [Station] of the settings file. A missing file, section or key, or an empty
// value, leaves that detail not set; so does a value that cannot be used, and problems then
// holds why, naming the key: "[Station] Latitude=95 in /etc/marvane.ini wants decimal degrees
// from -90 to 90 (north positive); the latitude is not set".
StationDetails loadStationSettings(const QString& settingsPath, QStringList* problems = nullptr);

// Writes the keys of section [Station], leaving every other line of the file as it was: a
// detail not set is written empty where its key is in the file already, and not added where it
// is not (a file of a station without details gets no section). Throws MarvaneError("Unable to
// write to <full path>: <reason>.") when the file cannot be written.
void saveStationSettings(const QString& settingsPath, const StationDetails& details);
