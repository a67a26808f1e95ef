#pragma once
// The Communications dialog: serial port and line parameters, the tables' scroll direction and
// the sensor's orientation. Modeless, above the main window; it loads the options from the
// settings file each time it is shown, and OK stores, saves and applies them.
//
// Under the port buttons, a list of this computer's serial ports maps the chosen Com button to
// one of them: OK writes the choice into [Ports] of the settings file, keeping every other line.

#include "sources/SerialPortList.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class Prompts;
class RadioGroup;
class QCheckBox;
class QComboBox;
class QPushButton;
class ProgramOptions;
class QComboBox;
class QDoubleSpinBox;

class CommsOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    CommsOptionsDialog(ProgramOptions& options, Prompts& prompts, QWidget* parent = nullptr);

    // Where the list of ports comes from (the system's enumeration unless a test says otherwise);
    // asked each time the dialog is shown.
    using PortLister = std::function<QList<SerialPortEntry>()>;
    void setPortLister(PortLister lister) { m_listPorts = std::move(lister); }

public slots:
    // OK: store, save and apply the choices; the dialog stays open when the file cannot be saved.
    void applyOptions();
    // Cancel: close without changing anything.
    void discardOptions();

signals:
    // The options were saved and applied.
    void applied();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadOptions();
    // Fills the device list for Com button comIndex (0 to 3), its current device selected.
    void showDevicesFor(int comIndex);
    void chooseDevice(int item);

    RadioGroup* m_scrollDirectionGroup;
    RadioGroup* m_portGroup;
    RadioGroup* m_orientationGroup;
    RadioGroup* m_baudRateGroup;
    RadioGroup* m_dataBitsGroup;
    RadioGroup* m_parityGroup;
    RadioGroup* m_stopBitsGroup;
    QCheckBox* m_reconnectBox;
    QComboBox* m_timeBaseBox;
    QDoubleSpinBox* m_headingBox;
    QCheckBox* m_dataFileBox;
    QComboBox* m_deviceBox;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;

    PortLister m_listPorts;
    QList<SerialPortEntry> m_ports; // as listed when the dialog was shown
    QStringList m_devices;          // the device of each Com button, as chosen here
    QStringList m_savedDevices;     // the device of each Com button, as in the settings file

    ProgramOptions& m_options;
    Prompts& m_prompts;
};
