#pragma once
// The Communications > Alarms dialog: the alarms of section "Alarms" of the settings file (speed
// above or below a threshold with its hysteresis and minimum duration, no data, a lost device,
// free space for the log, the computer's clock). Loaded when shown; OK saves and closes.

#include "session/AlarmSettings.h"

#include <QDialog>

class Prompts;
class QCheckBox;
class QDoubleSpinBox;
class QPushButton;
class QSpinBox;

class AlarmsDialog : public QDialog
{
    Q_OBJECT
public:
    AlarmsDialog(const QString& settingsPath, Prompts& prompts, QWidget* parent = nullptr);

    AlarmSettings settings() const;
    void setSettings(const AlarmSettings& settings);

public slots:
    // OK: check, save, close; the dialog stays open on a file not saved.
    void applySettings();

signals:
    void applied(const AlarmSettings& settings);

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct SpeedFields
    {
        QCheckBox* on;
        QDoubleSpinBox* threshold;
        QDoubleSpinBox* hysteresis;
        QSpinBox* seconds;
    };
    SpeedFields speedFields(const char* prefix, const QString& caption, QWidget* parent);
    void updateEnabled();

    QString m_settingsPath;
    Prompts& m_prompts;
    SpeedFields m_above{};
    SpeedFields m_below{};
    QCheckBox* m_noDataBox;
    QSpinBox* m_noDataSecondsBox;
    QCheckBox* m_deviceLostBox;
    QCheckBox* m_freeSpaceBox;
    QSpinBox* m_freeSpaceMbBox;
    QCheckBox* m_clockBox;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};
