#include "tests/support/WindowProbe.h"

#include "app/DataGrid.h"
#include "app/DialWidget.h"
#include "sources/SerialSource.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"

#include <QDateTime>
#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace {

template <typename T> T* find(MainWindow& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("the main window has no %s", name);
    return found;
}

} // namespace

WindowProbe::WindowProbe(MainWindow& window) : m_window(&window)
{
    newLogAction = find<QAction>(window, "newLogAction");
    openLogAction = find<QAction>(window, "openLogAction");
    closeLogAction = find<QAction>(window, "closeLogAction");
    startLogAction = find<QAction>(window, "startLogAction");
    stopLogAction = find<QAction>(window, "stopLogAction");
    exitAction = find<QAction>(window, "exitAction");
    connectAction = find<QAction>(window, "connectAction");
    disconnectAction = find<QAction>(window, "disconnectAction");
    commsOptionsAction = find<QAction>(window, "commsOptionsAction");
    helpContentsAction = find<QAction>(window, "helpContentsAction");
    dataConventionAction = find<QAction>(window, "dataConventionAction");
    demonstrationAction = find<QAction>(window, "demonstrationAction");
    aboutAction = find<QAction>(window, "aboutAction");
    toolBar = find<QWidget>(window, "toolBar");
    dataPanel = find<QFrame>(window, "dataPanel");
    clockLabel = find<QLabel>(window, "clockLabel");
    replayTimeLabel = find<QLabel>(window, "replayTimeLabel");
    dataTabs = find<QTabWidget>(window, "dataTabs");
    computedHeader = find<DataGrid>(window, "computedHeader");
    computedUnits = find<DataGrid>(window, "computedUnits");
    computedTable = find<DataGrid>(window, "computedTable");
    rawHeader = find<DataGrid>(window, "rawHeader");
    rawUnits = find<DataGrid>(window, "rawUnits");
    rawTable = find<DataGrid>(window, "rawTable");
    dataConventionButton = find<QPushButton>(window, "dataConventionButton");
    displayPanel = find<QFrame>(window, "displayPanel");
    speedDial = find<DialWidget>(window, "speedDial");
    bearingDial = find<DialWidget>(window, "bearingDial");
    speedCaption = find<QLabel>(window, "speedCaption");
    bearingSenseBox = find<QComboBox>(window, "bearingSenseBox");
    readoutFrame = find<QFrame>(window, "readoutFrame");
    speedReadout = find<QLabel>(window, "speedReadout");
    speedUnitsLabel = find<QLabel>(window, "speedUnitsLabel");
    bearingReadout = find<QLabel>(window, "bearingReadout");
    degreeSign = find<QLabel>(window, "degreeSign");
    mainLogo = find<QLabel>(window, "mainLogo");
    replayBar = find<QFrame>(window, "replayBar");
    replayFirstButton = find<QToolButton>(window, "replayFirstButton");
    replayStopButton = find<QToolButton>(window, "replayStopButton");
    replayPlayButton = find<QToolButton>(window, "replayPlayButton");
    clockTimer = find<QTimer>(window, "clockTimer");
    pollTimer = &window.serial().pollTimer();
    playTimer = &window.replay().playTimer();
}

void WindowProbe::setClockText(const QString& text) const
{
    // The text as the log shows it in its time base (UTC unless the options say local time).
    QDateTime stamp = QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    if (!stamp.isValid())
        qFatal("not a clock text: %s", qPrintable(text));
    if (!m_window->pipeline().localTime())
        stamp.setTimeSpec(Qt::UTC);
    const qint64 ms = stamp.toMSecsSinceEpoch();
    m_window->pipeline().setClock([ms] { return ms; });
}
