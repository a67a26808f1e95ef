#pragma once
// The Communications > Outputs dialog: the current on the network as NMEA 0183 VDR sentences
// (UDP datagrams to a host and port, a TCP server) and as MQTT messages to a broker. It loads
// section "Outputs" of the settings file when shown; OK refuses an invalid broker address or
// topic with a message and otherwise saves the settings and closes.

#include "outputs/OutputSettings.h"

#include <QDialog>

class Prompts;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class OutputsDialog : public QDialog
{
    Q_OBJECT
public:
    OutputsDialog(const QString& settingsPath, Prompts& prompts, QWidget* parent = nullptr);

    // What the fields say now.
    OutputSettings settings() const;
    void setSettings(const OutputSettings& settings);

public slots:
    // OK: check, save, close; the dialog stays open on an invalid entry or a file not saved.
    void applySettings();

signals:
    // The settings were saved; the live session's outputs follow them.
    void applied(const OutputSettings& settings);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateEnabled();

    QString m_settingsPath;
    Prompts& m_prompts;
    OutputSettings m_loaded; // keeps what the dialog does not edit (the queue's size)

    QCheckBox* m_nmeaUdpBox;
    QLineEdit* m_nmeaUdpHostEdit;
    QSpinBox* m_nmeaUdpPortBox;
    QCheckBox* m_nmeaTcpBox;
    QSpinBox* m_nmeaTcpPortBox;
    QLineEdit* m_nmeaTcpAddressEdit;
    QLabel* m_nmeaHeadingNote; // shown while no heading is set
    QCheckBox* m_mqttBox;
    QLineEdit* m_mqttUrlEdit;
    QLineEdit* m_mqttTopicEdit;
    QLineEdit* m_mqttCaFileEdit;
    QLineEdit* m_mqttPasswordFileEdit;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};
