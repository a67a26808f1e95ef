#pragma once
// The network outputs the settings turn on, ready to be registered with a live session:
//
//   QString error;
//   const QList<LiveOutput*> outputs = createOutputs(settings, portName, this, &error);
//   if (!error.isEmpty()) ... refuse the start (the recorder exits 2) ...
//   for (LiveOutput* output : outputs) session.addSink(output);   // and show stateText()

#include "outputs/LiveOutput.h"
#include "outputs/OutputSettings.h"

#include <QList>
#include <QStringList>

#include <optional>

// The password for the broker: the first line of the password file when one is given (its line
// end removed), else the environment variable MARVANE_MQTT_PASSWORD, else none (a null string).
// Nothing, and why in error, when the password file cannot be read.
std::optional<QString> mqttPassword(const OutputSettings& settings, QString* error);

// Whether the outputs the settings turn on can be made, without making them (nothing is opened
// or sent): false, with why in error, on the failures createOutputs() would meet.
bool checkOutputs(const OutputSettings& settings, QString* error);

// What the operator should hear once when the outputs start, each a line of its own: a password
// that goes to the broker unencrypted (a user name over mqtt://), a password file that every
// user of this computer can read. Empty when there is nothing to say.
QStringList outputWarnings(const OutputSettings& settings);

// The outputs that are on, parented to parent. portName (the serial port as given, "COM2" or
// "/dev/ttyUSB0") names the default topic. On invalid settings, an unreadable password or
// certificate authority file, or an output without its module ("MQTT output is not available:
// <why>.", "NMEA output is not available: <why>."), nothing is created and error says why.
QList<LiveOutput*> createOutputs(const OutputSettings& settings, const QString& portName,
                                 QObject* parent, QString* error);
