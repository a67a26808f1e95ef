#pragma once
// The serial ports of this computer, as the port picker of the options offers them: the name to
// put in [Ports] of marvane.ini, and what tells one adapter from another (its description and
// serial number).

#include <QList>
#include <QString>

struct SerialPortEntry
{
    QString device;       // the path to map: its /dev/serial/by-id name where it has one
    QString systemPath;   // the node the system gave it this time (/dev/ttyUSB0)
    QString description;  // the adapter's own words ("FT232R USB UART"), possibly empty
    QString serialNumber; // possibly empty

    // One line for a list: "device - description, serial number S", leaving out what is empty.
    QString text() const;
};

// The stable name of a port: the link in byIdFolder (udev's /dev/serial/by-id) that resolves to
// systemPath, else systemPath itself. A USB adapter's node (/dev/ttyUSB0) changes with the order
// in which adapters are plugged in; its by-id name, made of maker, model and serial number,
// does not.
QString stablePortPath(const QString& systemPath, const QString& byIdFolder);

// The ports the system enumerates (Qt's port enumeration), by stable path, in the system's order.
QList<SerialPortEntry>
availableSerialPorts(const QString& byIdFolder = QStringLiteral("/dev/serial/by-id"));
