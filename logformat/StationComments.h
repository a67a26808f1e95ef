#pragma once
// The station's details in the head of a data file (and of a CSV export), one comment line for
// each detail set, keyed as in section [Station] of marvane.ini:
//
//   # Station: Name=Tessmoor pier
//   # Station: Id=tessmoor-pier
//   # Station: Latitude=54.18213
//   # Station: Depth=4.5
//
// so that an export of the file, later and elsewhere, states them again.

#include "base/StationDetails.h"

#include <QStringList>

// The comment lines, without their "# "; none for details not set.
QStringList stationComments(const StationDetails& details);
// Takes one comment line of a head (without its "# ") into details: true when it was a station
// line. A value that cannot be used (a file edited by hand) leaves its detail not set.
bool stationOfComment(const QString& comment, StationDetails* details);
// The details the comment lines of a head state.
StationDetails stationOfComments(const QStringList& comments);
