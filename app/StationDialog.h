#pragma once
// The Communications > Station dialog: the station's details of section [Station] of the
// settings file (name, id, latitude, longitude, sensor depth, instrument, serial number,
// institution), each optional: an empty field is a detail not set. Loaded when shown; OK checks
// every field (a message names the first that cannot be used, through the prompts), saves and
// closes.

#include "base/StationDetails.h"

#include <QDialog>
#include <QMap>

class Prompts;
class QLineEdit;
class QPushButton;

class StationDialog : public QDialog
{
    Q_OBJECT
public:
    StationDialog(const QString& settingsPath, Prompts& prompts, QWidget* parent = nullptr);

    void setDetails(const StationDetails& details);
    // The fields as details; nothing, and the first reason in error, when one cannot be used.
    std::optional<StationDetails> details(QString* error) const;
    QLineEdit* field(StationField field) const { return m_fields.value(field); }

public slots:
    // OK: check, save, close; the dialog stays open on a field that cannot be used or a file
    // not saved.
    void applySettings();

signals:
    void applied(const StationDetails& details);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString m_settingsPath;
    Prompts& m_prompts;
    QMap<StationField, QLineEdit*> m_fields;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};
