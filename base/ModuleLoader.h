#pragma once
// The program's modules: the parts that need a large library of their own are built as shared
// objects of the program and loaded the first time they are used, so that starting the window or
// the recorder loads neither the library nor what it brings. marvane-netcdf.so writes netCDF
// (libnetcdf, and with it HDF5, curl and libxml2) for an export to .nc; marvane-mqtt.so is the
// MQTT client (libmosquitto, and with it OpenSSL) for an MQTT output; marvane-nmea.so holds the
// sockets of an NMEA output (Qt Network, and with it Kerberos and libproxy).
//
// The modules live in the program's own library folder, found from the running executable:
// <prefix>/bin/marvane looks in <prefix>/lib/.../marvane, where the installation puts them. The
// build folder keeps the same layout for its programs, tests and benchmarks, which all stand one
// folder below it. A module is never unloaded once its entry point has been handed out.
//
// Each module has one entry point, named with the version of the interface it implements, so that
// a module left over from another version of the program is refused rather than misused.

#include <QString>
#include <QtGlobal>

// The folder the running program loads its modules from.
QString moduleFolder();

// The entry point entry of the module fileName in folder (loading it unless it is already
// loaded). Nothing when the module is missing, cannot be loaded or lacks the entry point, and
// why in reason: a sentence ending without a full stop, for "... is not available: <reason>".
QFunctionPointer moduleEntry(const QString& folder, const QString& fileName, const char* entry,
                             QString* reason);
