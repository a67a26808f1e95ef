// The main window as the operator first sees it: layout, menus, toolbar twins, availability of
// commands, the clock, leaving the program, and the Communications dialog round trip.

#include "app/AboutDialog.h"
#include "app/CommsOptionsDialog.h"
#include "app/DataConventionDialog.h"
#include "app/DataGrid.h"
#include "app/DialWidget.h"
#include "app/LivePlot.h"
#include "app/MainWindow.h"
#include "app/RadioGroup.h"
#include "base/ClockText.h"
#include "sources/SerialSource.h"
#include "history/LiveHistory.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "sources/DemoSource.h"
#include "session/ClockWatch.h"
#include "session/LiveSession.h"
#include "tests/support/Child.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/ManualClock.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>
#include <unistd.h>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void livePlotFillsTheRoomOfALargerWindow();
    void headingOffsetIsShownWhenSet_data();
    void headingOffsetIsShownWhenSet();
    void clockStateIsInAboutAndAStepInTheStatusBar();
    void unreadableSettingsAreToldOnceWithoutHoldingTheStart();
    void titleAndClientArea();
    void elementGeometry_data();
    void elementGeometry();
    void menuCaptions();
    void toolbarButtonsShareTheirMenuAction_data();
    void toolbarButtonsShareTheirMenuAction();
    void availabilityAtStart();
    void fixedTextsAndEmptyReadouts();
    void statusBarHasFourPanels();
    void clockText_data();
    void clockText();
    void clockLabelTicks();
    void secondaryWindowsExistHidden();
    void exitEndsWithoutQuestionOrWrite();
    void exitDuringDemonstrationEndsIt();
    void commandsRunWhileDemonstrationWaits();
    void commsDialogShowsFileValues_data();
    void commsDialogShowsFileValues();
    void commsDialogOkStoresSavesApplies();
    void commsDialogCancelChangesNothing();
    void commsDialogUnwritableFileKeepsItOpen();
    void commsDialogPortTooltipsShowDevices();
    void commsDialogLayout();
    void displayGrowsWithTheWindow_data();
    void displayGrowsWithTheWindow();
    void bearingChoiceClearOfDialAndReadouts_data();
    void bearingChoiceClearOfDialAndReadouts();
};

void TestMainWindow::titleAndClientArea()
{
    MainWindowFixture f;
    QCOMPARE(f.w()->windowTitle(), QStringLiteral("Tessmoor Marvane"));
    QCOMPARE(f.w()->objectName(), QStringLiteral("mainWindow"));
    const int menuHeight = f.w()->menuBar()->height();
    QCOMPARE(f.w()->width(), 632);
    // Below the menu bar: the panels' 386 pixels (the Data Convention panel and the display end
    // at 385), then the status bar, which no longer hides their bottom edge.
    QCOMPARE(f.w()->height() - menuHeight, 406);
    QCOMPARE(f.w()->statusBar()->height(), 20);
    QCOMPARE(f.w()->centralWidget()->size(), QSize(632, 386));
    QCOMPARE(f.w()->minimumSize(), f.w()->size()); // never smaller than its content
}

void TestMainWindow::displayGrowsWithTheWindow_data()
{
    QTest::addColumn<double>("widthFactor");
    QTest::addColumn<double>("heightFactor");
    QTest::addColumn<bool>("plotRight"); // else below
    // A window much wider than the panels' proportions: the strip chart goes beside them and
    // the panels take the whole height; a tall one: below them.
    QTest::newRow("twice the size") << 2.0 << 2.0 << true;
    QTest::newRow("maximised on 1600 x 900") << 2.53 << 2.0 << true;
    QTest::newRow("tall") << 1.3 << 2.5 << false;
}

void TestMainWindow::displayGrowsWithTheWindow()
{
    QFETCH(double, widthFactor);
    QFETCH(double, heightFactor);
    QFETCH(bool, plotRight);
    MainWindowFixture f;
    WindowProbe& w = f.w();
    const QSize base = w->size();
    w->resize(int(base.width() * widthFactor), int(base.height() * heightFactor));
    QCoreApplication::processEvents();
    // The display keeps its proportions and fills the room the strip chart of the live session
    // leaves it.
    const QRect panel = w.displayPanel->geometry();
    QCOMPARE(panel.topLeft(), QPoint(224, 40));
    const QWidget* plot = w->livePlotIfBuilt();
    QVERIFY(plot && plot->isVisible());
    const QSize client = w->centralWidget()->size();
    if (plotRight) {
        QVERIFY(panel.right() < plot->x());
        QCOMPARE(plot->geometry().right(), client.width() - 6);
        QVERIFY2(plot->width() >= 320, qPrintable(QString::number(plot->width())));
    } else {
        QVERIFY(panel.bottom() < plot->y());
        QVERIFY(plot->y() - panel.bottom() < 10);
        QCOMPARE(plot->geometry().bottom(), client.height() - 5);
        QVERIFY2(plot->height() >= 140, qPrintable(QString::number(plot->height())));
        QVERIFY(panel.right() < client.width());
    }
    const double scale = panel.height() / 345.0;
    QVERIFY(scale > 1.3);
    QVERIFY(qAbs(panel.width() - 400 * scale) <= 2);
    QVERIFY(qAbs(w.speedDial->width() - 190 * scale) <= 2);
    QCOMPARE(w.speedDial->width(), w.speedDial->height());
    QVERIFY(w.speedReadout->font().pixelSize() > 32);
    // The data tables reach down to the display's bottom with the Data Convention box, holding
    // as many rows as fit, the newest in red at the end rows come in.
    const QRect convention =
        w->findChild<QWidget*>(QStringLiteral("dataConventionPanel"))->geometry();
    QCOMPARE(convention.bottom(), panel.bottom());
    QCOMPARE(w.dataPanel->geometry().bottom() + 8, convention.top());
    const int rows = w.computedTable->rows().rowCount();
    QVERIFY2(rows > 8, qPrintable(QString::number(rows)));
    QCOMPARE(w.rawTable->rows().rowCount(), rows);
    const QRect lastRow = w.computedTable->cellRect(1, rows - 1);
    QVERIFY(lastRow.bottom() < w.computedTable->height());
    QVERIFY(w.computedTable->mapTo(w.dataPanel, lastRow.bottomLeft()).y() < w.dataPanel->height());
    // The Exit button stays at the right edge of the toolbar.
    const auto* exit = w->findChild<QWidget*>(QStringLiteral("exitButton"));
    QCOMPARE(exit->geometry().right(), client.width() - 10);
    // Back to the default size: the layout of the program's own size again.
    w->resize(base);
    QCoreApplication::processEvents();
    QCOMPARE(w.displayPanel->geometry(), QRect(224, 40, 400, 345));
    QCOMPARE(w.speedDial->geometry(), QRect(8, 8, 190, 190));
    QCOMPARE(w.speedReadout->font().pixelSize(), 32);
    QCOMPARE(exit->geometry(), QRect(593, 2, 30, 30));
    QCOMPARE(w.dataPanel->geometry(), QRect(5, 40, 212, 257));
    QCOMPARE(w.computedTable->geometry(), QRect(18, 51, 156, 139));
    QCOMPARE(w.computedTable->rows().rowCount(), 8);
    QCOMPARE(w->findChild<QWidget*>(QStringLiteral("dataConventionPanel"))->geometry(),
             QRect(5, 304, 212, 81));
    QVERIFY(!plot->isVisible());
}

void TestMainWindow::bearingChoiceClearOfDialAndReadouts_data()
{
    QTest::addColumn<double>("factor");
    QTest::newRow("default size") << 1.0;
    QTest::newRow("twice the size") << 2.0;
}

void TestMainWindow::bearingChoiceClearOfDialAndReadouts()
{
    QFETCH(double, factor);
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->resize(int(w->width() * factor), int(w->height() * factor));
    QCoreApplication::processEvents();
    // The "Flow Bearing From/To" box stands between the bearing dial and the readout frame,
    // touching neither.
    const QRect box = w.bearingSenseBox->geometry();
    QVERIFY(!box.intersects(w.readoutFrame->geometry()));
    QVERIFY(!box.intersects(w.bearingDial->geometry()));
    QVERIFY(box.height() >= 20);
}

void TestMainWindow::elementGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    const auto row = [](const char* name, QRect r) {
        QTest::newRow(name) << QString::fromLatin1(name) << r;
    };
    row("toolBar", QRect(0, 0, 632, 45));
    row("dataPanel", QRect(5, 40, 212, 257));
    row("dataConventionPanel", QRect(5, 304, 212, 81));
    row("dataConventionButton", QRect(35, 330, 150, 25));
    row("displayPanel", QRect(224, 40, 400, 345));
    row("clockLabel", QRect(6, 5, 200, 16));
    row("replayTimeLabel", QRect(6, 5, 200, 16));
    row("dataTabs", QRect(6, 25, 200, 224));
    row("computedHeader", QRect(18, 16, 156, 20));
    row("computedUnits", QRect(18, 33, 156, 20));
    row("computedTable", QRect(18, 51, 156, 139));
    row("rawHeader", QRect(18, 16, 156, 20));
    row("rawUnits", QRect(18, 33, 156, 20));
    row("rawTable", QRect(18, 51, 156, 139));
    row("speedDial", QRect(8, 8, 190, 190));
    row("bearingDial", QRect(205, 8, 190, 190));
    row("readoutFrame", QRect(14, 218, 372, 75));
    row("speedReadoutPanel", QRect(10, 16, 155, 49));
    row("bearingReadoutPanel", QRect(212, 16, 150, 49));
    row("degreeSign", QRect(311, 20, 13, 24));
    row("mainLogo", QRect(14, 295, 372, 45));
    row("replayBar", QRect(14, 295, 372, 45));
    row("replayFirstButton", QRect(10, 10, 30, 30));
    row("replayStopButton", QRect(41, 10, 30, 30));
    row("replayPlayButton", QRect(72, 10, 30, 30));
    row("replayControls", QRect(104, 2, 264, 41)); // in place of the bar's logo
    row("newLogButton", QRect(5, 2, 30, 30));
    row("openLogButton", QRect(35, 2, 30, 30));
    row("closeLogButton", QRect(65, 2, 30, 30));
    row("startLogButton", QRect(103, 2, 30, 30));
    row("stopLogButton", QRect(133, 2, 30, 30));
    row("connectButton", QRect(171, 2, 30, 30));
    row("disconnectButton", QRect(201, 2, 30, 30));
    row("commsOptionsButton", QRect(239, 2, 30, 30));
    row("markButton", QRect(277, 2, 30, 30));
    row("exitButton", QRect(593, 2, 30, 30));
}

void TestMainWindow::elementGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    MainWindowFixture f;
    auto* widget = f.w()->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->geometry(), geometry);
}

void TestMainWindow::menuCaptions()
{
    MainWindowFixture f;
    QMenuBar* bar = f.w()->menuBar();
    QCOMPARE(bar->objectName(), QStringLiteral("menuBar"));
    QStringList titles;
    for (QAction* a : bar->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&Communications"),
                                  QStringLiteral("&View"), QStringLiteral("&Help")}));
    const auto captions = [&](int index) {
        QStringList out;
        for (QAction* a : bar->actions().at(index)->menu()->actions())
            out << (a->isSeparator() ? QStringLiteral("-")
                                     : a->objectName() + QLatin1Char('=') + a->text());
        return out;
    };
    QCOMPARE(captions(0), (QStringList{QStringLiteral("newLogAction=&New"),
                                       QStringLiteral("openLogAction=&Open..."),
                                       QStringLiteral("recentFilesAction=&Recent Files"),
                                       QStringLiteral("closeLogAction=&Close"), QStringLiteral("-"),
                                       QStringLiteral("startLogAction=Start &Log"),
                                       QStringLiteral("stopLogAction=&Stop Log"),
                                       QStringLiteral("markAction=&Mark..."), QStringLiteral("-"),
                                       QStringLiteral("exitAction=E&xit")}));
    QCOMPARE(captions(1),
             (QStringList{QStringLiteral("connectAction=&Connect"),
                          QStringLiteral("disconnectAction=&Disconnect"), QStringLiteral("-"),
                          QStringLiteral("commsOptionsAction=&Options..."),
                          QStringLiteral("outputsAction=O&utputs..."),
                          QStringLiteral("alarmsAction=&Alarms..."),
                          QStringLiteral("stationAction=&Station...")}));
    QCOMPARE(captions(2), (QStringList{QStringLiteral("historyAction=&History")}));
    QVERIFY(bar->actions().at(2)->menu()->actions().at(0)->isCheckable());
    QCOMPARE(captions(3),
             (QStringList{QStringLiteral("helpContentsAction=&Contents"),
                          QStringLiteral("dataConventionAction=&Data Convention..."),
                          QStringLiteral("demonstrationAction=Demonst&ration"), QStringLiteral("-"),
                          QStringLiteral("aboutAction=&About Marvane...")}));
    QVERIFY(!f.w().helpContentsAction->isVisible());
    QSignalSpy spy(f.w().helpContentsAction, &QAction::triggered);
    f.w().helpContentsAction->trigger(); // hidden and without a handler: nothing happens
    QVERIFY(f.prompts->shown.isEmpty());
}

void TestMainWindow::toolbarButtonsShareTheirMenuAction_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("tooltip");
    const auto row = [](const char* b, const char* a, const char* t) {
        QTest::newRow(b) << QString::fromLatin1(b) << QString::fromLatin1(a)
                         << QString::fromLatin1(t);
    };
    row("newLogButton", "newLogAction", "New File");
    row("openLogButton", "openLogAction", "Open Existing File");
    row("closeLogButton", "closeLogAction", "Close File");
    row("startLogButton", "startLogAction", "Start Logging");
    row("stopLogButton", "stopLogAction", "Stop Logging");
    row("connectButton", "connectAction", "Connect to serial port");
    row("disconnectButton", "disconnectAction", "Disconnect from serial port");
    row("commsOptionsButton", "commsOptionsAction", "Options");
    row("markButton", "markAction", "Mark this moment, with a note");
    row("exitButton", "exitAction", "Exit Marvane");
}

void TestMainWindow::toolbarButtonsShareTheirMenuAction()
{
    QFETCH(QString, button);
    QFETCH(QString, action);
    QFETCH(QString, tooltip);
    MainWindowFixture f;
    auto* b = f.w()->findChild<QToolButton*>(button);
    auto* a = f.w()->findChild<QAction*>(action);
    QVERIFY(b && a);
    QCOMPARE(b->defaultAction(), a);
    QCOMPARE(b->toolTip(), tooltip);
    QVERIFY(!b->icon().isNull());
    // One action: enabling one enables the other, whichever way.
    a->setEnabled(false);
    QVERIFY(!b->isEnabled());
    a->setEnabled(true);
    QVERIFY(b->isEnabled());
    // A disabled glyph has a look of its own.
    const QImage normal = b->icon().pixmap(QSize(26, 26), QIcon::Normal).toImage();
    const QImage disabled = b->icon().pixmap(QSize(26, 26), QIcon::Disabled).toImage();
    QVERIFY(normal != disabled);
}

void TestMainWindow::availabilityAtStart()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    QVERIFY(w.newLogAction->isEnabled());
    QVERIFY(w.openLogAction->isEnabled());
    QVERIFY(!w.closeLogAction->isEnabled());
    QVERIFY(!w.startLogAction->isEnabled());
    QVERIFY(!w.stopLogAction->isEnabled());
    QVERIFY(w.exitAction->isEnabled());
    QVERIFY(w.connectAction->isEnabled());
    QVERIFY(!w.disconnectAction->isEnabled());
    QVERIFY(w.commsOptionsAction->isEnabled());
    QVERIFY(w.dataConventionAction->isEnabled());
    QVERIFY(w.demonstrationAction->isEnabled());
    QVERIFY(w.aboutAction->isEnabled());
    QVERIFY(!w.replayStopButton->isEnabled());
    QVERIFY(w.replayFirstButton->isEnabled());
    QVERIFY(w.replayPlayButton->isEnabled());
    QVERIFY(!w.replayBar->isVisible());
    QVERIFY(w.mainLogo->isVisible());
    QVERIFY(!w.replayTimeLabel->isVisible());
    QVERIFY(w.clockLabel->isVisible());
    QVERIFY(w.clockTimer->isActive());
    QVERIFY(!w.playTimer->isActive());
    QVERIFY(!w.pollTimer->isActive());
    QCOMPARE(w.clockTimer->interval(), 1000);
    QCOMPARE(w.playTimer->interval(), 1000);
    QCOMPARE(w.pollTimer->interval(), 900);
    QCOMPARE(w.dataTabs->currentWidget()->objectName(), QStringLiteral("computedPage"));
    QCOMPARE(w.dataTabs->tabText(0), QStringLiteral("Computed"));
    QCOMPARE(w.dataTabs->tabText(1), QStringLiteral("Raw Data"));
    QCOMPARE(w.bearingSenseBox->count(), 2);
    QCOMPARE(w.bearingSenseBox->currentText(), QStringLiteral("Flow Bearing From"));
    QCOMPARE(w.bearingSenseBox->itemText(1), QStringLiteral("Flow Bearing To"));
    QVERIFY(!w.bearingSenseBox->isEditable());
    QCOMPARE(w->pipeline().bearingTo(), 0);
    QCOMPARE(w.dataConventionButton->text(), QStringLiteral("Data Convention"));
    QCOMPARE(w.dataConventionButton->toolTip(), QStringLiteral("View data convention diagram"));
    QCOMPARE(w.replayFirstButton->toolTip(), QStringLiteral("View First Record"));
    QCOMPARE(w.replayStopButton->toolTip(), QStringLiteral("Stop Scroll"));
    QCOMPARE(w.replayPlayButton->toolTip(), QStringLiteral("Play - Forward"));
    QCOMPARE(w.speedCaption->text(), QStringLiteral("Flow Speed"));
    QCOMPARE(w.speedCaption->pos(), QPoint(60, 200));
}

void TestMainWindow::fixedTextsAndEmptyReadouts()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    QCOMPARE(w.computedHeader->cell(0, 0), QStringLiteral("   Speed"));
    QCOMPARE(w.computedHeader->cell(1, 0), QStringLiteral("  Bearing"));
    QCOMPARE(w.computedUnits->cell(1, 0), QStringLiteral("  Degrees"));
    QCOMPARE(w.rawHeader->cell(0, 0), QStringLiteral("       X"));
    QCOMPARE(w.rawHeader->cell(1, 0), QStringLiteral("       Y"));
    QCOMPARE(w.computedUnits->cell(0, 0), QString());
    QCOMPARE(w.rawUnits->cell(0, 0), QString());
    QCOMPARE(w.rawUnits->cell(1, 0), QString());
    QCOMPARE(w.speedReadout->text(), QString());
    QCOMPARE(w.bearingReadout->text(), QString());
    QCOMPARE(w.speedUnitsLabel->text(), QString());
    QCOMPARE(w.degreeSign->text(), QStringLiteral("o"));
    // Right edges of the value readouts.
    QCOMPARE(w.speedReadout->geometry().right() + 1, 106);
    QCOMPARE(w.bearingReadout->geometry().right() + 1, 306);
    QCOMPARE(w.speedUnitsLabel->pos(), QPoint(110, 33));
}

void TestMainWindow::statusBarHasFourPanels()
{
    MainWindowFixture f;
    auto* bar = f.w()->findChild<QStatusBar*>(QStringLiteral("statusBar"));
    QVERIFY(bar);
    QVERIFY(!bar->isSizeGripEnabled());
    const int widths[4] = {150, 150, 150, 50};
    for (int i = 0; i < 4; ++i) {
        auto* panel = bar->findChild<QLabel*>(QStringLiteral("statusPanel%1").arg(i));
        QVERIFY(panel);
        QCOMPARE(panel->width(), widths[i]);
        QCOMPARE(f.w()->statusPanel(i), QString());
    }
}

void TestMainWindow::clockText_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("morning") << QDateTime(QDate(2024, 3, 5), QTime(9, 4, 2))
                             << QStringLiteral("05/03/2024 09:04:02");
    QTest::newRow("last second of 2024") << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59))
                                         << QStringLiteral("31/12/2024 23:59:59");
    QTest::newRow("first second of 2025")
        << QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0)) << QStringLiteral("01/01/2025 00:00:00");
    QTest::newRow("year without leading zeros")
        << QDateTime(QDate(999, 7, 14), QTime(12, 30, 0)) << QStringLiteral("14/07/999 12:30:00");
}

void TestMainWindow::clockText()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(::clockText(time), text);
}

void TestMainWindow::clockLabelTicks()
{
    MainWindowFixture f;
    QCOMPARE(f.w().clockLabel->text(), QString()); // empty until the first tick
    QTRY_VERIFY_WITH_TIMEOUT(!f.w().clockLabel->text().isEmpty(), 2500);
    const QString text = f.w().clockLabel->text();
    // The time base of the log, named when it is UTC.
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d UTC$"))
                .match(text)
                .hasMatch());
    QTRY_VERIFY_WITH_TIMEOUT(f.w().clockLabel->text() != text, 2500);
}

void TestMainWindow::secondaryWindowsExistHidden()
{
    MainWindowFixture f;
    QVERIFY(f.w()->aboutDialog());
    QVERIFY(f.w()->commsOptionsDialog());
    QVERIFY(f.w()->dataConventionDialog());
    QVERIFY(!f.w()->aboutDialog()->isVisible());
    QVERIFY(!f.w()->commsOptionsDialog()->isVisible());
    QVERIFY(!f.w()->dataConventionDialog()->isVisible());
    QCOMPARE(f.w()->commsOptionsDialog()->objectName(), QStringLiteral("commsOptionsDialog"));
}

void TestMainWindow::exitEndsWithoutQuestionOrWrite()
{
    MainWindowFixture f;
    QSignalSpy closed(f.w().window(), &MainWindow::closed);
    f.w().exitAction->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!f.w()->isVisible());
    QVERIFY(f.prompts->shown.isEmpty());
    QVERIFY(!QFile::exists(f.path(QStringLiteral("marvane.ini"))));
}

void TestMainWindow::exitDuringDemonstrationEndsIt()
{
    MainWindowFixture f;
    QSignalSpy closed(f.w().window(), &MainWindow::closed);
    f.w()->runDemonstration();
    QVERIFY(f.w()->demonstration().running());
    f.w().exitAction->trigger();
    // The program closes at once; the demonstration does not hold it for its thirty seconds.
    QCOMPARE(closed.count(), 1);
    QVERIFY(!f.w()->isVisible());
    QVERIFY(!f.w()->demonstration().running());
}

void TestMainWindow::commandsRunWhileDemonstrationWaits()
{
    MainWindowFixture f;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, &timer, [&] { ++ticks; });
    timer.start();
    f.w()->runDemonstration();
    QTimer::singleShot(30, f.w().window(), [&] { f.w().aboutAction->trigger(); });
    QTRY_VERIFY(f.w()->aboutDialog()->isVisible()); // the command ran between two records
    QVERIFY(f.w()->demonstration().running());
    QTRY_VERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    f.w()->demonstration().stop();
}

void TestMainWindow::commsDialogShowsFileValues_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QList<int>>("shown");
    QTest::newRow("no file") << QByteArray() << QList<int>{0, 1, 0, 3, 1, 0, 0};
    QTest::newRow("every key") << QByteArray(
                                      "[Options]\nScrollDirection=1\nCommPort=3\nOrientation=1\n"
                                      "BaudRate=6\nDataBits=0\nParity=2\nStopBits=2\n")
                               << QList<int>{1, 3, 1, 6, 0, 2, 2};
    QTest::newRow("beyond the tables")
        << QByteArray("[Options]\nCommPort=7\nBaudRate=9\nDataBits=5\n")
        << QList<int>{0, 3, 0, 6, 1, 0, 0};
    QTest::newRow("no parity selected")
        << QByteArray("[Options]\nParity=-1\n") << QList<int>{0, 1, 0, 3, 1, -1, 0};
}

void TestMainWindow::commsDialogShowsFileValues()
{
    QFETCH(QByteArray, ini);
    QFETCH(QList<int>, shown);
    MainWindowFixture f(ini);
    f.w().commsOptionsAction->trigger();
    CommsOptionsDialog* d = f.w()->commsOptionsDialog();
    QVERIFY(d->isVisible());
    const QList<int> actual{child<RadioGroup>(d, "scrollDirectionGroup")->itemIndex(),
                            child<RadioGroup>(d, "portGroup")->itemIndex(),
                            child<RadioGroup>(d, "orientationGroup")->itemIndex(),
                            child<RadioGroup>(d, "baudRateGroup")->itemIndex(),
                            child<RadioGroup>(d, "dataBitsGroup")->itemIndex(),
                            child<RadioGroup>(d, "parityGroup")->itemIndex(),
                            child<RadioGroup>(d, "stopBitsGroup")->itemIndex()};
    QCOMPARE(actual, shown);
}

void TestMainWindow::commsDialogOkStoresSavesApplies()
{
    MainWindowFixture f(
        QByteArray("; field laptop\n[Options]\nCommPort=7\nParity=-1\nDataBits=5\n"));
    WindowProbe& w = f.w();
    // At start-up an out-of-range port leaves the port name empty, and parity stays none.
    QCOMPARE(w->options().port().portName, QString());
    QCOMPARE(w->options().port().byteSizeValue, quint8(8));
    w.commsOptionsAction->trigger();
    CommsOptionsDialog* d = w->commsOptionsDialog();
    child<RadioGroup>(d, "scrollDirectionGroup")->setItemIndex(1);
    child<RadioGroup>(d, "baudRateGroup")->setItemIndex(2);
    QTest::keyClick(d, Qt::Key_Return); // Enter presses OK
    QVERIFY(!d->isVisible());
    QCOMPARE(w->options().comms().commPort, 3);
    QCOMPARE(w->options().comms().parity, -1);
    QCOMPARE(w->options().comms().dataBits, 1);
    QCOMPARE(w->options().port().portName, QStringLiteral("COM4"));
    QCOMPARE(w->options().port().baudRateValue, quint32(9600));
    QCOMPARE(w->options().port().parityValue, quint8(0));
    QVERIFY(w->options().flags().scrollDown);
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")),
             QByteArray(
                 "; field laptop\n[Options]\nCommPort=3\nParity=-1\nDataBits=1\nScrollDirection=1\n"
                 "Orientation=0\nBaudRate=2\nStopBits=0\n"));
}

void TestMainWindow::commsDialogCancelChangesNothing()
{
    MainWindowFixture f(QByteArray("[Options]\nBaudRate=1\n"));
    WindowProbe& w = f.w();
    const QByteArray before = f.readFile(QStringLiteral("marvane.ini"));
    w.commsOptionsAction->trigger();
    CommsOptionsDialog* d = w->commsOptionsDialog();
    child<RadioGroup>(d, "baudRateGroup")->setItemIndex(6);
    child<RadioGroup>(d, "portGroup")->setItemIndex(0);
    child<RadioGroup>(d, "orientationGroup")->setItemIndex(1);
    QTest::keyClick(d, Qt::Key_Escape); // Esc is Cancel
    QVERIFY(!d->isVisible());
    QCOMPARE(w->options().port().baudRateValue, quint32(4800));
    QCOMPARE(w->options().port().portName, QStringLiteral("COM2"));
    QVERIFY(w->options().flags().faceUp);
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")), before);
    // The next showing shows the stored choices again.
    w.commsOptionsAction->trigger();
    QCOMPARE(child<RadioGroup>(d, "baudRateGroup")->itemIndex(), 1);
    QCOMPARE(child<RadioGroup>(d, "portGroup")->itemIndex(), 1);
    d->close(); // the title-bar close is Cancel too
    QVERIFY(!d->isVisible());
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")), before);
}

void TestMainWindow::commsDialogUnwritableFileKeepsItOpen()
{
    MainWindowFixture f;
    // A settings path that is a directory cannot be written, whoever runs the test.
    QDir(f.dir.path()).mkdir(QStringLiteral("marvane.ini"));
    WindowProbe& w = f.w();
    w.commsOptionsAction->trigger();
    CommsOptionsDialog* d = w->commsOptionsDialog();
    child<RadioGroup>(d, "baudRateGroup")->setItemIndex(0);
    child<QPushButton>(d, "okButton")->click();
    QCOMPARE(f.prompts->errors().last(),
             QStringLiteral("Unable to write to %1: not a regular file.")
                 .arg(f.path(QStringLiteral("marvane.ini"))));
    QVERIFY(d->isVisible());
    QCOMPARE(w->options().comms().baudRate, 3);                  // neither stored
    QCOMPARE(w->options().port().baudRateValue, quint32(19200)); // nor applied
}

void TestMainWindow::commsDialogPortTooltipsShowDevices()
{
    MainWindowFixture f(QByteArray("[Ports]\nCOM3=/dev/ttyUSB0\n"));
    f.w().commsOptionsAction->trigger();
    CommsOptionsDialog* d = f.w()->commsOptionsDialog();
    QCOMPARE(child<RadioGroup>(d, "portGroup")->button(0)->toolTip(), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(child<RadioGroup>(d, "portGroup")->button(2)->toolTip(),
             QStringLiteral("/dev/ttyUSB0"));
    child<QPushButton>(d, "okButton")->click();
    QVERIFY(f.readFile(QStringLiteral("marvane.ini")).startsWith("[Ports]\nCOM3=/dev/ttyUSB0\n"));
}

void TestMainWindow::commsDialogLayout()
{
    MainWindowFixture f;
    CommsOptionsDialog* d = f.w()->commsOptionsDialog();
    f.w().commsOptionsAction->trigger();
    QCOMPARE(d->windowTitle(), QStringLiteral("Communications"));
    QCOMPARE(d->size(), QSize(342, 397));
    QVERIFY(d->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!d->isModal());
    QCOMPARE(child<RadioGroup>(d, "baudRateGroup")->geometry(), QRect(120, 10, 100, 231));
    QCOMPARE(child<RadioGroup>(d, "orientationGroup")->geometry(), QRect(10, 214, 100, 58));
    // OK and Cancel at the bottom, under every choice, in the dialog.
    const QRect ok = child<QPushButton>(d, "okButton")->geometry();
    const QRect cancel = child<QPushButton>(d, "cancelButton")->geometry();
    QCOMPARE(ok, QRect(120, 364, 100, 25));
    QCOMPARE(cancel, QRect(232, 364, 100, 25));
    QVERIFY(d->rect().contains(cancel));
    for (const QWidget* element : d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (element != child<QPushButton>(d, "okButton") &&
            element != child<QPushButton>(d, "cancelButton") && element->isVisible())
            QVERIFY2(element->geometry().bottom() < ok.top(), qPrintable(element->objectName()));
    }
    QVERIFY(child<QPushButton>(d, "okButton")->isDefault());
    QCOMPARE(child<RadioGroup>(d, "baudRateGroup")->title(), QStringLiteral("Baud Rate"));
    QCOMPARE(child<RadioGroup>(d, "stopBitsGroup")->button(1)->text(), QStringLiteral("1.5"));
    // Focus order: Data Direction, Comm Port, Baud Rate, Parity, Data Bits, Stop Bits, OK,
    // Cancel, Orientation (each group reached at its selected item).
    QStringList groups;
    QWidget* w = child<RadioGroup>(d, "scrollDirectionGroup")->button(0);
    for (int i = 0; i < 40 && groups.size() < 9; ++i) {
        QWidget* owner = w->parentWidget() && qobject_cast<RadioGroup*>(w->parentWidget())
                             ? w->parentWidget()
                             : w;
        const QString name = owner->objectName();
        if ((groups.isEmpty() || groups.last() != name) &&
            (owner != w || qobject_cast<QPushButton*>(w)))
            groups << name;
        w = w->nextInFocusChain();
    }
    QCOMPARE(groups,
             (QStringList{QStringLiteral("scrollDirectionGroup"), QStringLiteral("portGroup"),
                          QStringLiteral("baudRateGroup"), QStringLiteral("parityGroup"),
                          QStringLiteral("dataBitsGroup"), QStringLiteral("stopBitsGroup"),
                          QStringLiteral("okButton"), QStringLiteral("cancelButton"),
                          QStringLiteral("orientationGroup")}));
    // Showing it again while visible changes nothing.
    child<RadioGroup>(d, "baudRateGroup")->setItemIndex(5);
    f.w().commsOptionsAction->trigger();
    QCOMPARE(child<RadioGroup>(d, "baudRateGroup")->itemIndex(), 5);
}

void TestMainWindow::headingOffsetIsShownWhenSet_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("shown");
    QTest::newRow("none") << QByteArray() << QString();
    // 0 declares the sensor to face north: set, and shown.
    QTest::newRow("zero") << QByteArray("[Options]\nHeading=0\n")
                          << QStringLiteral("Heading offset: 0\u00B0 added to every bearing");
    // What taking a heading away leaves in the file.
    QTest::newRow("empty") << QByteArray("[Options]\nHeading=\n") << QString();
    QTest::newRow("set") << QByteArray("[Options]\nHeading=12.5\n")
                         << QStringLiteral("Heading offset: 12.5\u00B0 added to every bearing");
    QTest::newRow("not a number") << QByteArray("[Options]\nHeading=north\n") << QString();
}

void TestMainWindow::headingOffsetIsShownWhenSet()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, shown);
    MainWindowFixture f(ini);
    // Beside the bearing it turns, and in the About window.
    QCOMPARE(f.w().bearingReadout->toolTip(), shown);
    const QString about = f.w()->aboutDialog()->text();
    QCOMPARE(about.contains(QStringLiteral("Heading offset")), !shown.isEmpty());
    if (!shown.isEmpty())
        QVERIFY(about.endsWith(shown + QLatin1Char('\n')));
}

void TestMainWindow::clockStateIsInAboutAndAStepInTheStatusBar()
{
    ManualClock clock;
    clock.sync = {ClockSync::State::Synchronised, 2000};
    MainWindowFixture f(QByteArray("[Options]\nHeading=12.5\n"));
    f.w()->session().setClock(&clock);
    AboutDialog* about = f.w()->aboutDialog();
    QVERIFY2(about->text().contains(
                 QStringLiteral("Clock: synchronised, estimated error 2 ms\nSettings: ")),
             qPrintable(about->text()));
    clock.sync = {ClockSync::State::NotSynchronised, 0};
    f.w()->session().clockWatch().check();
    QVERIFY(about->text().contains(QStringLiteral("\nClock: not synchronised\nSettings: ")));
    // The clock, the settings file and the heading all fit the window, a long path too.
    about->setSettingsPath(QStringLiteral("/home/surveyor/.config/Tessmoor/Marvane/stations/"
                                          "harbour-entrance/marvane.ini"));
    const auto* lines = about->findChild<QLabel*>(QStringLiteral("settingsLabel"));
    QVERIFY(lines->text().startsWith(QStringLiteral("Clock: not synchronised\n")));
    QVERIFY(lines->text().endsWith(
        QStringLiteral("Heading offset: 12.5\u00B0 added to every bearing")));
    QVERIFY2(lines->heightForWidth(lines->width()) <= lines->height(),
             qPrintable(QString::number(lines->heightForWidth(lines->width()))));
    // A step of the clock is told in the status bar, once.
    clock.utc += 5000;
    f.w()->session().clockWatch().checkStep();
    const auto* note = f.w()->findChild<QLabel*>(QStringLiteral("statusNote"));
    QCOMPARE(note->toolTip(), QStringLiteral("Clock: stepped forward by 5.0 s"));
}

void TestMainWindow::unreadableSettingsAreToldOnceWithoutHoldingTheStart()
{
    // A FIFO named marvane.ini would hold a reader until a writer came; a huge file would fill
    // the memory. Neither is read: the window comes up on its defaults and says why, once.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("marvane.ini"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    auto prompts = std::make_unique<ScriptedPrompts>();
    ScriptedPrompts* said = prompts.get();
    QElapsedTimer started;
    started.start();
    MainWindow w(fifo, std::move(prompts));
    w.show();
    QVERIFY(started.elapsed() < 5000);
    QTRY_COMPARE(said->errors().size(), 1);
    QCOMPARE(said->errors().first(),
             QStringLiteral("Unable to read %1: not a regular file.").arg(fifo));
    QCOMPARE(w.options().port().portName, QStringLiteral("COM2")); // the defaults
    QTest::qWait(50);
    QCOMPARE(said->errors().size(), 1);
}

void TestMainWindow::livePlotFillsTheRoomOfALargerWindow()
{
    MainWindowFixture f;
    MainWindow& w = *f.window;
    // At the default size the window is as it always was: no strip chart.
    QVERIFY(!w.livePlotIfBuilt() || !w.livePlotIfBuilt()->isVisible());
    w.resize(1200, 900);
    QTRY_VERIFY(w.livePlotIfBuilt() && w.livePlotIfBuilt()->isVisible());
    LivePlot* plot = w.livePlotIfBuilt();
    const QRect client = w.centralWidget()->rect();
    QVERIFY(client.contains(plot->geometry()));
    // Below the display panel, which still grew into the room above it.
    QWidget* display = w.findChild<QWidget*>(QStringLiteral("displayPanel"));
    QVERIFY(display->geometry().bottom() < plot->geometry().top());
    QVERIFY(display->width() > 400);
    QCOMPARE(plot->series(), &w.session().history().series());
    QCOMPARE(plot->spanMinutes(), 10);
    // Back to the default size: gone again.
    w.resize(w.minimumSize());
    QTRY_VERIFY(!plot->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
