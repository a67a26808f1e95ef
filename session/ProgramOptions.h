#pragma once
// The program's options: what the Communications dialog chooses, read once from section
// [Options] of marvane.ini, edited by the dialog and applied wherever they matter through
// changed() (the port's line parameters, the pipeline's face, bearing offset and time base).

#include "settings/CommsSettings.h"
#include "settings/PortSettings.h"

#include <QMap>
#include <QObject>
#include <QString>

struct OptionValues
{
    CommsSettings comms;
    // A device that goes away while connected is opened again by itself ("Reconnect
    // automatically"; on unless the settings file turns it off).
    bool reconnect = true;
    // Time stamps in the computer's local time instead of UTC.
    bool localTime = false;
    // Beside each log file, a data file (.csv) with everything measured.
    bool dataFile = false;
    // The sensor's heading in degrees true, added to every computed bearing.
    double headingOffset = 0;

    bool operator==(const OptionValues& o) const
    {
        return comms == o.comms && reconnect == o.reconnect && localTime == o.localTime &&
               dataFile == o.dataFile && headingOffset == o.headingOffset;
    }
    bool operator!=(const OptionValues& o) const { return !(*this == o); }
};

class ProgramOptions : public QObject
{
    Q_OBJECT
public:
    explicit ProgramOptions(const QString& settingsPath, QObject* parent = nullptr);

    const QString& settingsPath() const { return m_settingsPath; }

    // Reads the values from the settings file. Returns the reason when the file exists but could
    // not be read (the defaults are then in force), empty otherwise.
    QString load();
    // The values the settings file holds now (the dialog shows them), without applying them;
    // the defaults where it cannot be read.
    OptionValues readFile() const;

    const OptionValues& values() const { return m_values; }
    const CommsSettings& comms() const { return m_values.comms; }
    const PortSettings& port() const { return m_port; }
    const DisplayFlags& flags() const { return m_flags; }

    // Saves values into the settings file and puts them in force. Throws MarvaneError with the
    // reason when the file cannot be written; nothing changes then.
    // portDevices: port names mapped to devices in section [Ports], written in the same save.
    void save(const OptionValues& values, const QMap<QString, QString>& portDevices = {});
    // Puts values in force without saving them (a command line's choices).
    void setValues(const OptionValues& values);

signals:
    void changed();

private:
    QString m_settingsPath;
    OptionValues m_values;
    PortSettings m_port;
    DisplayFlags m_flags;
};

// Reads the options of a settings file; error: why an existing file could not be read.
OptionValues readOptionValues(const QString& settingsPath, QString* error);
