// The main window as the operator first sees it: layout, menus, toolbar twins, availability of
// commands, the clock, leaving the program, and the Communications dialog round trip.

#include "base/ClockText.h"
#include "app/MainWindow.h"
#include "app/CommsOptionsDialog.h"
#include "app/RadioGroup.h"
#include "app/DataGrid.h"
#include "app/DialView.h"
#include "app/DataConventionDialog.h"
#include "app/AboutDialog.h"
#include "tests/support/MainWindowFixture.h"

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
    void exitDuringPauseIsDeferred();
    void pauseDispatchesTimersAndMenuCommands();
    void commsDialogShowsFileValues_data();
    void commsDialogShowsFileValues();
    void commsDialogOkStoresSavesApplies();
    void commsDialogCancelChangesNothing();
    void commsDialogUnwritableFileKeepsItOpen();
    void commsDialogPortTooltipsShowDevices();
    void commsDialogLayout();
};

void TestMainWindow::titleAndClientArea()
{
    MainWindowFixture f;
    QCOMPARE(f.w().windowTitle(), QStringLiteral("Tessmoor Marvane"));
    QCOMPARE(f.w().objectName(), QStringLiteral("frmMain"));
    const int menuHeight = f.w().menuBar()->height();
    QCOMPARE(f.w().width(), 632);
    QCOMPARE(f.w().height() - menuHeight, 401);
    QCOMPARE(f.w().statusBar()->height(), 20);
    QCOMPARE(f.w().centralWidget()->size(), QSize(632, 381));
}

void TestMainWindow::elementGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    const auto row = [](const char* name, QRect r) {
        QTest::newRow(name) << QString::fromLatin1(name) << r;
    };
    row("tbrStandard", QRect(0, 0, 632, 45));
    row("pnlData", QRect(5, 40, 212, 257));
    row("shpDataConvention", QRect(5, 304, 212, 81));
    row("btnDataConvention", QRect(35, 330, 150, 25));
    row("pnlDisplay", QRect(224, 40, 400, 345));
    row("labDateTime", QRect(6, 5, 200, 16));
    row("labDateTimeFile", QRect(6, 5, 200, 16));
    row("pclData", QRect(6, 25, 200, 224));
    row("grdstrComputedHeader", QRect(18, 16, 156, 20));
    row("grdstrComputedUnits", QRect(18, 33, 156, 20));
    row("grdstrComputed", QRect(18, 51, 156, 139));
    row("grdstrRawDataHeader", QRect(18, 16, 156, 20));
    row("grdstrRawDataUnits", QRect(18, 33, 156, 20));
    row("grdstrRawDataBody", QRect(18, 51, 156, 139));
    row("imgFlowSpeed", QRect(8, 8, 190, 190));
    row("imgFlowBearing", QRect(205, 8, 190, 190));
    row("imgFlowSpeedKnots", QRect(16, 16, 190, 190));
    row("imgFlowSpeedMetric", QRect(24, 24, 190, 190));
    row("fraDisplay", QRect(14, 218, 372, 75));
    row("shpFlowSpeedReadout", QRect(10, 16, 155, 49));
    row("shpBearingReadout", QRect(212, 16, 150, 49));
    row("labBearingReadoutUnits", QRect(311, 20, 13, 24));
    row("imgMainLogo", QRect(14, 295, 372, 45));
    row("fraVideo", QRect(14, 295, 372, 45));
    row("btnVideoStart", QRect(10, 10, 30, 30));
    row("btnVideoStop", QRect(41, 10, 30, 30));
    row("btnVideoPlay", QRect(72, 10, 30, 30));
    row("imgLogo", QRect(170, 9, 137, 32));
    row("btnFileNew", QRect(5, 2, 30, 30));
    row("btnFileOpen", QRect(35, 2, 30, 30));
    row("btnFileClose", QRect(65, 2, 30, 30));
    row("btnLogStart", QRect(103, 2, 30, 30));
    row("btnLogStop", QRect(133, 2, 30, 30));
    row("btnSerialConnect", QRect(171, 2, 30, 30));
    row("btnSerialDisconnect", QRect(201, 2, 30, 30));
    row("btnSetup", QRect(239, 2, 30, 30));
    row("btnExit", QRect(593, 2, 30, 30));
}

void TestMainWindow::elementGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    MainWindowFixture f;
    auto* widget = f.w().findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->geometry(), geometry);
}

void TestMainWindow::menuCaptions()
{
    MainWindowFixture f;
    QMenuBar* bar = f.w().menuBar();
    QCOMPARE(bar->objectName(), QStringLiteral("mnubarToolbar"));
    QStringList titles;
    for (QAction* a : bar->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&Communications"),
                                  QStringLiteral("&Help")}));
    const auto captions = [&](int index) {
        QStringList out;
        for (QAction* a : bar->actions().at(index)->menu()->actions())
            out << (a->isSeparator() ? QStringLiteral("-")
                                     : a->objectName() + QLatin1Char('=') + a->text());
        return out;
    };
    QCOMPARE(captions(0),
             (QStringList{QStringLiteral("mnuFileNew=&New"), QStringLiteral("mnuFileOpen=&Open..."),
                          QStringLiteral("mnuFileClose=&Close"), QStringLiteral("-"),
                          QStringLiteral("mnuFileLogStart=Start &Log"),
                          QStringLiteral("mnuFileLogStop=&Stop Log"), QStringLiteral("-"),
                          QStringLiteral("mnuFileExit=E&xit")}));
    QCOMPARE(captions(1),
             (QStringList{QStringLiteral("mnuCommsConnect=&Connect"),
                          QStringLiteral("mnuCommsDisconnect=&Disconnect"), QStringLiteral("-"),
                          QStringLiteral("mnuCommsOptions=&Options...")}));
    QCOMPARE(captions(2),
             (QStringList{QStringLiteral("mnuHelpContents=&Contents"),
                          QStringLiteral("mnuHelpDataConvention=&Data Convention..."),
                          QStringLiteral("mnuHelpDemo=Demonst&ration"), QStringLiteral("-"),
                          QStringLiteral("mnuHelpAbout=&About Marvane...")}));
    QVERIFY(!f.w().mnuHelpContents->isVisible());
    QSignalSpy spy(f.w().mnuHelpContents, &QAction::triggered);
    f.w().mnuHelpContents->trigger(); // hidden and without a handler: nothing happens
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
    row("btnFileNew", "mnuFileNew", "New File");
    row("btnFileOpen", "mnuFileOpen", "Open Existing File");
    row("btnFileClose", "mnuFileClose", "Close File");
    row("btnLogStart", "mnuFileLogStart", "Start Logging");
    row("btnLogStop", "mnuFileLogStop", "Stop Logging");
    row("btnSerialConnect", "mnuCommsConnect", "Connect to serial port");
    row("btnSerialDisconnect", "mnuCommsDisconnect", "Disconnect from serial port");
    row("btnSetup", "mnuCommsOptions", "Options");
    row("btnExit", "mnuFileExit", "Exit Marvane");
}

void TestMainWindow::toolbarButtonsShareTheirMenuAction()
{
    QFETCH(QString, button);
    QFETCH(QString, action);
    QFETCH(QString, tooltip);
    MainWindowFixture f;
    auto* b = f.w().findChild<QToolButton*>(button);
    auto* a = f.w().findChild<QAction*>(action);
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
    TfrmMain& w = f.w();
    QVERIFY(w.mnuFileNew->isEnabled());
    QVERIFY(w.mnuFileOpen->isEnabled());
    QVERIFY(!w.mnuFileClose->isEnabled());
    QVERIFY(!w.mnuFileLogStart->isEnabled());
    QVERIFY(!w.mnuFileLogStop->isEnabled());
    QVERIFY(w.mnuFileExit->isEnabled());
    QVERIFY(w.mnuCommsConnect->isEnabled());
    QVERIFY(!w.mnuCommsDisconnect->isEnabled());
    QVERIFY(w.mnuCommsOptions->isEnabled());
    QVERIFY(w.mnuHelpDataConvention->isEnabled());
    QVERIFY(w.mnuHelpDemo->isEnabled());
    QVERIFY(w.mnuHelpAbout->isEnabled());
    QVERIFY(!w.btnVideoStop->isEnabled());
    QVERIFY(w.btnVideoStart->isEnabled());
    QVERIFY(w.btnVideoPlay->isEnabled());
    QVERIFY(!w.fraVideo->isVisible());
    QVERIFY(w.imgMainLogo->isVisible());
    QVERIFY(!w.labDateTimeFile->isVisible());
    QVERIFY(w.labDateTime->isVisible());
    QVERIFY(!w.imgFlowSpeedKnots->isVisible());
    QVERIFY(!w.imgFlowSpeedMetric->isVisible());
    QVERIFY(w.timClock->isActive());
    QVERIFY(!w.timPlay->isActive());
    QVERIFY(!w.timReadData->isActive());
    QCOMPARE(w.timClock->interval(), 1000);
    QCOMPARE(w.timPlay->interval(), 1000);
    QCOMPARE(w.timReadData->interval(), 900);
    QCOMPARE(w.pclData->currentWidget()->objectName(), QStringLiteral("pcltbsComputed"));
    QCOMPARE(w.pclData->tabText(0), QStringLiteral("Computed"));
    QCOMPARE(w.pclData->tabText(1), QStringLiteral("Raw Data"));
    QCOMPARE(w.ComboBox1->count(), 2);
    QCOMPARE(w.ComboBox1->currentText(), QStringLiteral("Flow Bearing From"));
    QCOMPARE(w.ComboBox1->itemText(1), QStringLiteral("Flow Bearing To"));
    QVERIFY(!w.ComboBox1->isEditable());
    QCOMPARE(w.BearingTo(), 0);
    QCOMPARE(w.btnDataConvention->text(), QStringLiteral("Data Convention"));
    QCOMPARE(w.btnDataConvention->toolTip(), QStringLiteral("View data convention diagram"));
    QCOMPARE(w.btnVideoStart->toolTip(), QStringLiteral("View First Record"));
    QCOMPARE(w.btnVideoStop->toolTip(), QStringLiteral("Stop Scroll"));
    QCOMPARE(w.btnVideoPlay->toolTip(), QStringLiteral("Play - Forward"));
    QCOMPARE(w.labFlowSpeed->text(), QStringLiteral("Flow Speed"));
    QCOMPARE(w.labFlowSpeed->pos(), QPoint(60, 200));
}

void TestMainWindow::fixedTextsAndEmptyReadouts()
{
    MainWindowFixture f;
    TfrmMain& w = f.w();
    QCOMPARE(w.grdstrComputedHeader->cell(0, 0), QStringLiteral("   Speed"));
    QCOMPARE(w.grdstrComputedHeader->cell(1, 0), QStringLiteral("  Bearing"));
    QCOMPARE(w.grdstrComputedUnits->cell(1, 0), QStringLiteral("  Degrees"));
    QCOMPARE(w.grdstrRawDataHeader->cell(0, 0), QStringLiteral("       X"));
    QCOMPARE(w.grdstrRawDataHeader->cell(1, 0), QStringLiteral("       Y"));
    QCOMPARE(w.grdstrComputedUnits->cell(0, 0), QString());
    QCOMPARE(w.grdstrRawDataUnits->cell(0, 0), QString());
    QCOMPARE(w.grdstrRawDataUnits->cell(1, 0), QString());
    QCOMPARE(w.labFlowSpeedValue->text(), QString());
    QCOMPARE(w.labBearingReadoutValue->text(), QString());
    QCOMPARE(w.labFlowSpeedReadoutUnits->text(), QString());
    QCOMPARE(w.labBearingReadoutUnits->text(), QStringLiteral("o"));
    // Right edges of the value readouts.
    QCOMPARE(w.labFlowSpeedValue->geometry().right() + 1, 106);
    QCOMPARE(w.labBearingReadoutValue->geometry().right() + 1, 306);
    QCOMPARE(w.labFlowSpeedReadoutUnits->pos(), QPoint(110, 33));
}

void TestMainWindow::statusBarHasFourPanels()
{
    MainWindowFixture f;
    auto* bar = f.w().findChild<QStatusBar*>(QStringLiteral("sbrMain"));
    QVERIFY(bar);
    QVERIFY(!bar->isSizeGripEnabled());
    const int widths[4] = {150, 150, 150, 50};
    for (int i = 0; i < 4; ++i) {
        auto* panel = bar->findChild<QLabel*>(QStringLiteral("sbrMainPanel%1").arg(i));
        QVERIFY(panel);
        QCOMPARE(panel->width(), widths[i]);
        QCOMPARE(f.w().statusPanel(i), QString());
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
    QCOMPARE(f.w().labDateTime->text(), QString()); // empty until the first tick
    QTRY_VERIFY_WITH_TIMEOUT(!f.w().labDateTime->text().isEmpty(), 2500);
    const QString text = f.w().labDateTime->text();
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                .match(text)
                .hasMatch());
    QTRY_VERIFY_WITH_TIMEOUT(f.w().labDateTime->text() != text, 2500);
}

void TestMainWindow::secondaryWindowsExistHidden()
{
    MainWindowFixture f;
    QVERIFY(f.w().frmAbout());
    QVERIFY(f.w().frmCommsSetup());
    QVERIFY(f.w().frmDataConvention());
    QVERIFY(!f.w().frmAbout()->isVisible());
    QVERIFY(!f.w().frmCommsSetup()->isVisible());
    QVERIFY(!f.w().frmDataConvention()->isVisible());
    QCOMPARE(f.w().frmCommsSetup()->objectName(), QStringLiteral("frmCommsSetup"));
}

void TestMainWindow::exitEndsWithoutQuestionOrWrite()
{
    MainWindowFixture f;
    QSignalSpy closed(&f.w(), &TfrmMain::closed);
    f.w().mnuFileExit->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!f.w().isVisible());
    QVERIFY(f.prompts->shown.isEmpty());
    QVERIFY(!QFile::exists(f.path(QStringLiteral("marvane.ini"))));
}

void TestMainWindow::exitDuringPauseIsDeferred()
{
    MainWindowFixture f;
    QSignalSpy closed(&f.w(), &TfrmMain::closed);
    QStringList order;
    QTimer::singleShot(50, &f.w(), [&] {
        f.w().mnuFileExit->trigger();
        order << QStringLiteral("exit chosen");
    });
    f.w().PauseProcessing(300);
    order << QStringLiteral("wait over");
    QCOMPARE(closed.count(), 0); // the handler runs to its end first
    QVERIFY(f.w().isVisible());
    order << QStringLiteral("handler finished");
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(!f.w().isVisible());
    QCOMPARE(order, (QStringList{QStringLiteral("exit chosen"), QStringLiteral("wait over"),
                                 QStringLiteral("handler finished")}));
}

void TestMainWindow::pauseDispatchesTimersAndMenuCommands()
{
    MainWindowFixture f;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, &timer, [&] { ++ticks; });
    timer.start();
    QTimer::singleShot(30, &f.w(), [&] { f.w().mnuHelpAbout->trigger(); });
    QElapsedTimer t;
    t.start();
    f.w().PauseProcessing(300);
    QVERIFY(t.elapsed() >= 300);
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(f.w().frmAbout()->isVisible()); // the command ran inside the wait
    QCOMPARE(f.w().pauseDepth(), 0);
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
    f.w().mnuCommsOptions->trigger();
    TfrmCommsSetup* d = f.w().frmCommsSetup();
    QVERIFY(d->isVisible());
    const QList<int> actual{d->grpDataDirection->itemIndex(), d->grpCommPort->itemIndex(),
                            d->grpOrientation->itemIndex(),   d->grpBaudRate->itemIndex(),
                            d->grpDataBits->itemIndex(),      d->grpParity->itemIndex(),
                            d->grpStopBits->itemIndex()};
    QCOMPARE(actual, shown);
}

void TestMainWindow::commsDialogOkStoresSavesApplies()
{
    MainWindowFixture f(
        QByteArray("; field laptop\n[Options]\nCommPort=7\nParity=-1\nDataBits=5\n"));
    TfrmMain& w = f.w();
    // At start-up an out-of-range port leaves the port name empty, and parity stays none.
    QCOMPARE(w.options().port.portName, QString());
    QCOMPARE(w.options().port.byteSizeValue, quint8(8));
    w.mnuCommsOptions->trigger();
    TfrmCommsSetup* d = w.frmCommsSetup();
    d->grpDataDirection->setItemIndex(1);
    d->grpBaudRate->setItemIndex(2);
    QTest::keyClick(d, Qt::Key_Return); // Enter presses OK
    QVERIFY(!d->isVisible());
    QCOMPARE(w.options().comms.commPort, 3);
    QCOMPARE(w.options().comms.parity, -1);
    QCOMPARE(w.options().comms.dataBits, 1);
    QCOMPARE(w.options().port.portName, QStringLiteral("COM4"));
    QCOMPARE(w.options().port.baudRateValue, quint32(9600));
    QCOMPARE(w.options().port.parityValue, quint8(0));
    QVERIFY(w.options().flags.scrollDown);
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")),
             QByteArray(
                 "; field laptop\n[Options]\nCommPort=3\nParity=-1\nDataBits=1\nScrollDirection=1\n"
                 "Orientation=0\nBaudRate=2\nStopBits=0\n"));
}

void TestMainWindow::commsDialogCancelChangesNothing()
{
    MainWindowFixture f(QByteArray("[Options]\nBaudRate=1\n"));
    TfrmMain& w = f.w();
    const QByteArray before = f.readFile(QStringLiteral("marvane.ini"));
    w.mnuCommsOptions->trigger();
    TfrmCommsSetup* d = w.frmCommsSetup();
    d->grpBaudRate->setItemIndex(6);
    d->grpCommPort->setItemIndex(0);
    d->grpOrientation->setItemIndex(1);
    QTest::keyClick(d, Qt::Key_Escape); // Esc is Cancel
    QVERIFY(!d->isVisible());
    QCOMPARE(w.options().port.baudRateValue, quint32(4800));
    QCOMPARE(w.options().port.portName, QStringLiteral("COM2"));
    QVERIFY(w.options().flags.faceUp);
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")), before);
    // The next showing shows the stored choices again.
    w.mnuCommsOptions->trigger();
    QCOMPARE(d->grpBaudRate->itemIndex(), 1);
    QCOMPARE(d->grpCommPort->itemIndex(), 1);
    d->close(); // the title-bar close is Cancel too
    QVERIFY(!d->isVisible());
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")), before);
}

void TestMainWindow::commsDialogUnwritableFileKeepsItOpen()
{
    MainWindowFixture f;
    // A settings path that is a directory cannot be written, whoever runs the test.
    QDir(f.dir.path()).mkdir(QStringLiteral("marvane.ini"));
    TfrmMain& w = f.w();
    w.mnuCommsOptions->trigger();
    TfrmCommsSetup* d = w.frmCommsSetup();
    d->grpBaudRate->setItemIndex(0);
    d->bitbtnOK->click();
    QCOMPARE(
        f.prompts->errors(),
        QStringList{
            QStringLiteral("Unable to write to %1.").arg(f.path(QStringLiteral("marvane.ini")))});
    QVERIFY(d->isVisible());
    QCOMPARE(w.options().comms.baudRate, 0);                  // stored
    QCOMPARE(w.options().port.baudRateValue, quint32(19200)); // not applied
}

void TestMainWindow::commsDialogPortTooltipsShowDevices()
{
    MainWindowFixture f(QByteArray("[Ports]\nCOM3=/dev/ttyUSB0\n"));
    f.w().mnuCommsOptions->trigger();
    TfrmCommsSetup* d = f.w().frmCommsSetup();
    QCOMPARE(d->grpCommPort->button(0)->toolTip(), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(d->grpCommPort->button(2)->toolTip(), QStringLiteral("/dev/ttyUSB0"));
    d->bitbtnOK->click();
    QVERIFY(f.readFile(QStringLiteral("marvane.ini")).startsWith("[Ports]\nCOM3=/dev/ttyUSB0\n"));
}

void TestMainWindow::commsDialogLayout()
{
    MainWindowFixture f;
    TfrmCommsSetup* d = f.w().frmCommsSetup();
    f.w().mnuCommsOptions->trigger();
    QCOMPARE(d->windowTitle(), QStringLiteral("Communications"));
    QCOMPARE(d->size(), QSize(342, 276));
    QVERIFY(d->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!d->isModal());
    QCOMPARE(d->grpBaudRate->geometry(), QRect(120, 10, 100, 231));
    QCOMPARE(d->grpOrientation->geometry(), QRect(10, 214, 100, 58));
    QCOMPARE(d->bitbtnOK->geometry(), QRect(120, 248, 100, 25));
    QCOMPARE(d->bitbtnCancel->geometry(), QRect(232, 248, 100, 25));
    QVERIFY(d->bitbtnOK->isDefault());
    QCOMPARE(d->grpBaudRate->title(), QStringLiteral("Baud Rate"));
    QCOMPARE(d->grpStopBits->button(1)->text(), QStringLiteral("1.5"));
    // Focus order: Data Direction, Comm Port, Baud Rate, Parity, Data Bits, Stop Bits, OK,
    // Cancel, Orientation (each group reached at its selected item).
    QStringList groups;
    QWidget* w = d->grpDataDirection->button(0);
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
    QCOMPARE(groups, (QStringList{QStringLiteral("grpDataDirection"), QStringLiteral("grpCommPort"),
                                  QStringLiteral("grpBaudRate"), QStringLiteral("grpParity"),
                                  QStringLiteral("grpDataBits"), QStringLiteral("grpStopBits"),
                                  QStringLiteral("bitbtnOK"), QStringLiteral("bitbtnCancel"),
                                  QStringLiteral("grpOrientation")}));
    // Showing it again while visible changes nothing.
    d->grpBaudRate->setItemIndex(5);
    f.w().mnuCommsOptions->trigger();
    QCOMPARE(d->grpBaudRate->itemIndex(), 5);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
