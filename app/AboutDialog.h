#pragma once
// The About window: program name, version line and the maker's contact details. Created hidden at
// start-up and afterwards only shown and hidden, never destroyed before the program ends; modeless
// and kept above the main window so it can stay open while the operator works.

#include <QDialog>

class QLabel;
class QPushButton;

class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // "Version: 4.01" followed by when and with which Qt this build was made.
    static QString versionText();

    // The line "Settings: <path>" naming the marvane.ini in use.
    void setSettingsPath(const QString& path);
    // The heading offset in force, said under the settings file (empty: none).
    void setHeadingLine(const QString& line);
    // The computer's clock state, said above the settings file ("Clock: not synchronised").
    void setClockLine(const QString& line);

    // Every line of the window's text, top to bottom, as "Copy" puts it on the clipboard.
    QString text() const;

public slots:
    void copyText();

    // OK: hide the window (closing it from the title bar does the same).
    void dismiss();

private:
    void showSettings();
    QLabel* addLabel(const char* objectName, const QString& text, int x, int y, int pixelSize);

    QLabel* m_iconLabel = nullptr;
    QLabel* m_appNameLabel = nullptr;
    QLabel* m_versionLabel = nullptr;
    QLabel* m_address1Label = nullptr;
    QLabel* m_address2Label = nullptr;
    QLabel* m_townLabel = nullptr;
    QLabel* m_countyLabel = nullptr;
    QLabel* m_postCodeLabel = nullptr;
    QLabel* m_countryLabel = nullptr;
    QLabel* m_telephoneLabel = nullptr;
    QLabel* m_faxLabel = nullptr;
    QLabel* m_emailLabel = nullptr;
    QLabel* m_webSiteLabel = nullptr;
    QLabel* m_settingsLabel = nullptr;
    QString m_settingsLine; // as copied; the label's text carries wrapping hints
    QString m_headingLine;  // the sensor's heading offset when it is not 0
    QString m_clockLine;    // the computer's clock state
    QPushButton* m_okButton = nullptr;
};
