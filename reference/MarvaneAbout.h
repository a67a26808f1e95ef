#pragma once
// The About window: program name, version line and the maker's contact details. Created hidden at
// start-up and afterwards only shown and hidden, never destroyed before the program ends; modeless
// and kept above the main window so it can stay open while the operator works.

#include <QDialog>

class QLabel;
class QPushButton;

class TfrmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // "Version: 4.01" followed by when and with which Qt this build was made.
    static QString versionText();

public slots:
    // OK: hide the window (closing it from the title bar does the same).
    void bitbtnOKClick();

private:
    QLabel* addLabel(const char* objectName, const QString& text, int x, int y, int pixelSize);

    QLabel* imgIcon = nullptr;
    QLabel* lblAppName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblAddress1 = nullptr;
    QLabel* lblAddress2 = nullptr;
    QLabel* lblTown = nullptr;
    QLabel* lblCounty = nullptr;
    QLabel* lblPostCode = nullptr;
    QLabel* lblCountry = nullptr;
    QLabel* lblTelephone = nullptr;
    QLabel* lblFax = nullptr;
    QLabel* lblEmail = nullptr;
    QLabel* lblWebSite = nullptr;
    QPushButton* bitbtnOK = nullptr;
};
