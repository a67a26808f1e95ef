#pragma once
// The main window as a test sees it: its elements found by object name, as a person finds them
// on screen, and the window itself behind ->.

#include "app/MainWindow.h"

class DataGrid;
class DialWidget;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;

class WindowProbe
{
public:
    explicit WindowProbe(MainWindow& window);

    MainWindow* operator->() const { return m_window; }
    MainWindow* window() const { return m_window; }

    // Every sample from now on is stamped with this clock text (DD/MM/YYYY HH:MM:SS).
    void setClockText(const QString& text) const;

    QAction* newLogAction;
    QAction* openLogAction;
    QAction* closeLogAction;
    QAction* startLogAction;
    QAction* stopLogAction;
    QAction* exitAction;
    QAction* connectAction;
    QAction* disconnectAction;
    QAction* commsOptionsAction;
    QAction* helpContentsAction;
    QAction* dataConventionAction;
    QAction* demonstrationAction;
    QAction* aboutAction;

    QWidget* toolBar;
    QFrame* dataPanel;
    QLabel* clockLabel;
    QLabel* replayTimeLabel;
    QTabWidget* dataTabs;
    DataGrid* computedHeader;
    DataGrid* computedUnits;
    DataGrid* computedTable;
    DataGrid* rawHeader;
    DataGrid* rawUnits;
    DataGrid* rawTable;
    QPushButton* dataConventionButton;
    QFrame* displayPanel;
    DialWidget* speedDial;
    DialWidget* bearingDial;
    QLabel* speedCaption;
    QComboBox* bearingSenseBox;
    QFrame* readoutFrame;
    QLabel* speedReadout;
    QLabel* speedUnitsLabel;
    QLabel* bearingReadout;
    QLabel* degreeSign;
    QLabel* mainLogo;
    QFrame* replayBar;
    QToolButton* replayFirstButton;
    QToolButton* replayStopButton;
    QToolButton* replayPlayButton;
    QTimer* clockTimer;
    QTimer* pollTimer;
    const QTimer* playTimer;

private:
    MainWindow* m_window;
};
