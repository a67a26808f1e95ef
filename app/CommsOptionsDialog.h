#pragma once
// The Communications dialog: serial port and line parameters, the tables' scroll direction and
// the sensor's orientation. Modeless, above the main window; it loads the options from the
// settings file each time it is shown, and OK stores, saves and applies them.

#include <QDialog>

class Prompts;
class RadioGroup;
class QCheckBox;
class QPushButton;
class ProgramOptions;
class QComboBox;
class QDoubleSpinBox;

class CommsOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    CommsOptionsDialog(ProgramOptions& options, Prompts& prompts, QWidget* parent = nullptr);

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
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;

    ProgramOptions& m_options;
    Prompts& m_prompts;
};
