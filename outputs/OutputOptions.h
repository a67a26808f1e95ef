#pragma once
// The network outputs on marvane-record's command line:
//
//   --nmea-udp HOST:PORT      VDR sentences as datagrams (a broadcast address is fine)
//   --nmea-tcp [ADDRESS:]PORT VDR sentences to every TCP client on PORT (of every address of
//                             this computer, or of ADDRESS only)
//   --mqtt URL                mqtt://[user@]host[:port] or mqtts://...
//   --mqtt-topic TOPIC        default marvane/<host name>/<port>
//   --mqtt-ca FILE            certificate authority for mqtts://
//   --mqtt-password-file FILE the password (or MARVANE_MQTT_PASSWORD), never on the command line
//   --no-outputs              none of the outputs section "Outputs" of marvane.ini turns on

#include "outputs/OutputSettings.h"

class QCommandLineParser;

void addOutputOptions(QCommandLineParser& parser);

// Applies the options given to settings (each output named is turned on; the others keep what
// settings had, for example from marvane.ini, unless --no-outputs turns them off). False, and why
// in error, for a value that is not valid or --no-outputs with an output named; the recorder then
// exits with status 2.
bool readOutputOptions(const QCommandLineParser& parser, OutputSettings& settings, QString* error);

// Whether the command line names an output; false: when on, it comes from the settings file.
bool outputNamedOnCommandLine(const QCommandLineParser& parser, OutputKind kind);
