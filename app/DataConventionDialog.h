#pragma once
// The data convention window: one picture that explains how the sensor's raw X and Y signs are
// defined and what the computed speed and bearing mean. Created hidden at start-up and afterwards
// only shown and hidden; modeless, so the main window stays usable beside it.

#include <QDialog>

class QLabel;
class QPushButton;

class DataConventionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DataConventionDialog(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

public slots:
    // OK: hide the window (closing it from the title bar does the same).
    void dismiss();

private:
    QLabel* m_diagramLabel = nullptr;
    QPushButton* m_okButton = nullptr;
};
