#pragma once
// The Communications dialog: serial port and line parameters, the tables' scroll direction and
// the sensor's orientation. Modeless, above the main window; it loads the options from the
// settings file each time it is shown, and OK stores, saves and applies them.

#include <QDialog>

class Prompts;
class RadioGroup;
class QPushButton;
struct ProgramOptions;

class TfrmCommsSetup : public QDialog
{
    Q_OBJECT
public:
    TfrmCommsSetup(ProgramOptions& options, Prompts& prompts, QWidget* parent = nullptr);

    RadioGroup* grpDataDirection;
    RadioGroup* grpCommPort;
    RadioGroup* grpOrientation;
    RadioGroup* grpBaudRate;
    RadioGroup* grpDataBits;
    RadioGroup* grpParity;
    RadioGroup* grpStopBits;
    QPushButton* bitbtnOK;
    QPushButton* bitbtnCancel;

public slots:
    void bitbtnOKClick();
    void bitbtnCancelClick();

signals:
    // The options were saved and applied.
    void applied();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    ProgramOptions& m_options;
    Prompts& m_prompts;
};
