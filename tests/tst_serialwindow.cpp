// The serial connection end to end through the main window, with a pseudo-terminal mapped as the
// sensor's port: Connect and Disconnect, the logging question, records arriving in every shape,
// and ports that cannot be opened or go away.

#include "app/CommsOptionsDialog.h"
#include "app/DataGrid.h"
#include "app/Dial.h"
#include "app/DialWidget.h"
#include "app/MainWindow.h"
#include "app/RadioGroup.h"
#include "sources/SerialConnection.h"
#include "sources/SerialSource.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "session/NoDataWatch.h"
#include "sensor/SampleSink.h"
#include "sources/DemoSource.h"
#include "session/LiveSession.h"
#include "tests/support/Child.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Pty.h"
#include "tests/support/Texts.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The sensor's end of the cable.
class Sensor
{
public:
    Sensor()
    {
        char name[256] = {};
        struct termios raw;
        cfmakeraw(&raw);
        if (openpty(&m_master, &m_slave, name, &raw, nullptr) == 0)
            m_path = QString::fromLocal8Bit(name);
    }
    ~Sensor()
    {
        closeMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    QString path() const { return m_path; }
    // The line speed the terminal runs at now, as any end of it sees it.
    speed_t speed() const
    {
        struct termios t;
        return tcgetattr(m_slave, &t) == 0 ? cfgetispeed(&t) : speed_t(0);
    }
    void send(const QByteArray& bytes)
    {
        QVERIFY(::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size());
        tcdrain(m_master);
    }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    // Keeps the slave side open too, so the pseudo-terminal survives between opens; closing it
    // lets a hang-up reach the program when the master goes.
    void closeSlave()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

QByteArray iniFor(const Sensor& sensor, const QByteArray& extra = {})
{
    return "[Options]\nOrientation=1\n" + extra + "[Ports]\nCOM2=" + sensor.path().toLocal8Bit() +
           "\n";
}

QStringList speeds(const WindowProbe& w)
{
    QStringList out;
    for (int r = 0; r <= LastDataRow; ++r)
        if (!w.computedTable->cell(0, r).isEmpty())
            out << w.computedTable->cell(0, r).trimmed();
    return out;
}

// One poll, as the read timer runs it; the bytes sent before must have reached the port.
void poll(WindowProbe& w)
{
    QTest::qWait(20);
    w->source().poll();
}

} // namespace

class TestSerialWindow : public QObject
{
    Q_OBJECT
private slots:
    void connectAndDisconnect();
    void recordsInEveryShapeAreShownOnceInOrder();
    void connectWithoutLogFileAsksNothing();
    void connectWithLogFileAsksAndLogs_data();
    void connectWithLogFileAsksAndLogs();
    void disconnectWhileLoggingStopsLogFirst();
    void portThatCannotBeOpened();
    void portHeldElsewhere();
    void connectAgainWhileConnectedKeepsConnection();
    void deviceVanishingMidRun();
    void deviceVanishingWithReconnectionKeepsLogging();
    void samplesGoOnWhileABoxIsOpen();
    void recordsArrivingWhileTheQuestionIsOpenKeepTheirTimes();
    void firstPollWaitsOncePerRun();
    void exitWhileConnectedAndLogging();
    void optionsChangedWhileConnectedReachThePortAtOnce();
    void connectAgainToAnotherPortReleasesTheFirst();
    void newFileWhileConnectedAsksToLog_data();
    void newFileWhileConnectedAsksToLog();
    void replayIsRefusedWhileConnected();
    void demonstrationWhileConnectedHasTheDisplay();
    void readoutsGreyWhileReconnecting();
    void readoutsStayGreyUntilANewRecord_data();
    void readoutsStayGreyUntilANewRecord();
    void demonstrationCountsAsDataWhileItRuns();
    void bearingColourComesBackAtDisconnect();
    void dialFaceWaitsForTheNextNeedle();
    void dataFileBesideTheLogWhenChosen();
    void networkOutputsTakeLiveSamplesAndShowTheirState();
};

void TestSerialWindow::connectAndDisconnect()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->session().receiveRecord(QStringLiteral("+00015 +00515"), SampleSource::Live);
    w.connectAction->trigger();
    QVERIFY(f.prompts->shown.isEmpty());
    QVERIFY(w->connected());
    QCOMPARE(w->statusPanel(1), QStringLiteral("Connected: COM2"));
    QVERIFY(!w.connectAction->isEnabled());
    QVERIFY(w.disconnectAction->isEnabled());
    QVERIFY(!w.commsOptionsAction->isEnabled());
    QVERIFY(!w.startLogAction->isEnabled());
    QVERIFY(w.pollTimer->isActive());
    QCOMPARE(w.pollTimer->interval(), 900);
    QCOMPARE(w.speedReadout->text(), QString()); // Connect clears the display

    w->setTimeScaleForTests(0.01);
    sensor.send("+00015 +00515\r\n");
    poll(w);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0515"));

    w.disconnectAction->trigger();
    QVERIFY(!w->connected());
    QCOMPARE(w->statusPanel(1), QString());
    QVERIFY(w.connectAction->isEnabled());
    QVERIFY(!w.disconnectAction->isEnabled());
    QVERIFY(w.commsOptionsAction->isEnabled());
    QVERIFY(!w.pollTimer->isActive());
    QVERIFY(!w->source().isOpen());
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0515")); // the display keeps its values
}

void TestSerialWindow::recordsInEveryShapeAreShownOnceInOrder()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.01);
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    w.connectAction->trigger();
    QVERIFY(w->recording().logging());
    poll(w); // nothing waiting: nothing changes
    QCOMPARE(speeds(w), QStringList());

    sensor.send("+00001 +00000\r\n"); // whole
    poll(w);
    sensor.send("+00002 +000"); // cut by the poll...
    poll(w);
    sensor.send("00\r\n+00003 +00000\r\n+00004 +00000\r\n"); // ...completed, with two more
    poll(w);
    // A line of noise; a record after noise on its line (the line is no record); a record with
    // a field appended (ignored); a fragment.
    sensor.send("\x13\xff#noise\r\n#+00099 +00000\r\n+00005 +00000 +00021\r\n+000");
    poll(w);
    sensor.send(QByteArray("06 +0\0"
                           "0000\r\n",
                           12)); // the NUL byte is dropped
    poll(w);
    QCOMPARE(speeds(w), (texts({"0001", "0002", "0003", "0004", "0005", "0006"})));
    const QList<QByteArray> lines = f.readFile(QStringLiteral("run.log")).split('\n');
    QCOMPARE(lines.size(), 2 + 6 + 1);
    for (int i = 0; i < 6; ++i)
        QVERIFY2(lines.at(2 + i).startsWith("\"000" + QByteArray::number(i + 1) + "\",\"090\","),
                 lines.at(2 + i));
    QVERIFY(f.prompts->errors().isEmpty());
}

void TestSerialWindow::connectWithoutLogFileAsksNothing()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    f.w()->newLogFile(); // cancelled: no log file was created
    f.w()->connectPort();
    QVERIFY(f.w()->connected());
    QCOMPARE(f.prompts->shown.size(), 1); // the save dialog only, no question
    QVERIFY(!f.w().startLogAction->isEnabled());
    QVERIFY(!f.w().stopLogAction->isEnabled());
}

void TestSerialWindow::connectWithLogFileAsksAndLogs_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestSerialWindow::connectWithLogFileAsksAndLogs()
{
    QFETCH(bool, answer);
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << answer;
    bool timerRanDuringQuestion = true;
    f.prompts->whileShowing = [&] { timerRanDuringQuestion = w.pollTimer->isActive(); };
    w->connectPort();
    QCOMPARE(f.prompts->shown.last().kind, QStringLiteral("confirm"));
    QCOMPARE(f.prompts->shown.last().text, QStringLiteral("Start logging data?"));
    QVERIFY(!timerRanDuringQuestion); // no poll while the question is open
    QCOMPARE(w->recording().logging(), answer);
    QCOMPARE(w->statusPanel(0), answer ? QStringLiteral("LOGGING") : QString());
    QVERIFY(w.startLogAction->isEnabled());
    QVERIFY(w.stopLogAction->isEnabled());
}

void TestSerialWindow::disconnectWhileLoggingStopsLogFirst()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    w->connectPort();
    w->disconnectPort();
    QVERIFY(!w->recording().logging());
    QCOMPARE(w->statusPanel(0), QString());
    QVERIFY(!w.startLogAction->isEnabled());
    QVERIFY(!w.stopLogAction->isEnabled());
}

void TestSerialWindow::portThatCannotBeOpened()
{
    MainWindowFixture f(QByteArray("[Ports]\nCOM2=/dev/marvane-no-such-port\n"));
    WindowProbe& w = f.w();
    w->connectPort();
    QCOMPARE(f.prompts->messages(), QStringList{QStringLiteral("Unable to open COM2")});
    const QString informative = f.prompts->shown.last().informative;
    QVERIFY2(informative.contains(QStringLiteral("/dev/marvane-no-such-port")),
             qPrintable(informative));
    QVERIFY2(informative.contains(QStringLiteral("[Ports]")), qPrintable(informative));
    QVERIFY(!w->connected());
    QVERIFY(w.connectAction->isEnabled());
    QVERIFY(!w.pollTimer->isActive());
    QCOMPARE(w->statusPanel(1), QString());

    // An out-of-range port index at start-up leaves no port name at all.
    MainWindowFixture none(QByteArray("[Options]\nCommPort=7\n"));
    none.w()->connectPort();
    QCOMPARE(none.prompts->messages(), QStringList{QStringLiteral("Unable to open ")});
}

void TestSerialWindow::portHeldElsewhere()
{
    Sensor sensor;
    SerialConnection other;
    QString reason;
    QVERIFY(other.open(sensor.path(), &reason));
    MainWindowFixture f(iniFor(sensor));
    f.w()->connectPort();
    QCOMPARE(f.prompts->messages(), QStringList{QStringLiteral("Unable to open COM2")});
    QVERIFY(f.prompts->shown.last().informative.contains(sensor.path()));
    QVERIFY(!f.w()->connected());
}

void TestSerialWindow::connectAgainWhileConnectedKeepsConnection()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.01);
    w->connectPort();
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    f.prompts->confirmAnswers << false; // no logging into it yet
    w->newLogFile();                    // Connect stays off while connected
    QVERIFY(!w.connectAction->isEnabled());
    w->connectPort();
    QCOMPARE(f.prompts->messages(), QStringList{QStringLiteral("Unable to open COM2")});
    QVERIFY(w->connected());
    sensor.send("+00015 +00515\r\n");
    poll(w);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0515"));
    w->disconnectPort();
    QVERIFY(!w->source().isOpen());
    // Released: another program can open it now.
    SerialConnection other;
    QString reason;
    QVERIFY2(other.open(sensor.path(), &reason), qPrintable(reason));
}

void TestSerialWindow::deviceVanishingMidRun()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.01);
    OptionValues noReconnect = w->options().values(); // "Reconnect automatically" off:
    noReconnect.reconnect = false;                    // one box, disconnected
    w->options().setValues(noReconnect);
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    w->connectPort();
    sensor.send("+00015 +00515\r\n");
    poll(w);
    sensor.closeSlave();
    sensor.closeMaster(); // the adapter is pulled out
    QTRY_VERIFY_WITH_TIMEOUT(!f.prompts->messages().isEmpty() || !w->connected(), 3000);
    if (w->connected())
        poll(w); // newer Qt may stay silent: the next poll notices
    QTRY_COMPARE_WITH_TIMEOUT(f.prompts->messages().size(), 1, 3000);
    QCOMPARE(f.prompts->messages().first(), QStringLiteral("The connection to COM2 was lost."));
    QVERIFY(!w->connected());
    QVERIFY(!w->recording().logging());
    QVERIFY(!w.pollTimer->isActive());
    QVERIFY(w.connectAction->isEnabled());
    QVERIFY(w.commsOptionsAction->isEnabled());
    QCOMPARE(w->statusPanel(1), QString());
    QTest::qWait(300);
    QCOMPARE(f.prompts->messages().size(), 1); // once, never a storm
}

void TestSerialWindow::deviceVanishingWithReconnectionKeepsLogging()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.01);
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    w->connectPort();
    sensor.send("+00015 +00515\r\n");
    poll(w);
    const int shown = int(f.prompts->shown.size());
    sensor.closeSlave();
    sensor.closeMaster(); // the adapter is pulled out
    if (!w->source().isReconnecting())
        poll(w);
    QTRY_COMPARE_WITH_TIMEOUT(w->statusPanel(1), QStringLiteral("Reconnecting COM2..."), 3000);
    // No box stops an unattended logger: the connection and the recording stay on.
    QCOMPARE(int(f.prompts->shown.size()), shown);
    QVERIFY(w->connected());
    QVERIFY(w->recording().logging());
    QVERIFY(w.disconnectAction->isEnabled());
    QVERIFY(w->findChild<QLabel*>(QStringLiteral("statusNote"))
                ->toolTip()
                .contains(QStringLiteral("COM2 was lost")));
    QCOMPARE(w->statusPanel(1), QStringLiteral("Reconnecting COM2...")); // not covered by it
    // Disconnect ends the retries.
    w->disconnectPort();
    QVERIFY(!w->source().isReconnecting());
    QCOMPARE(w->statusPanel(1), QString());
}

void TestSerialWindow::recordsArrivingWhileTheQuestionIsOpenKeepTheirTimes()
{
    // The operator takes a while over "Start logging data?"; the sensor goes on sending. Its
    // records are read as they arrive (the box runs the event loop) and keep those times, though
    // no poll runs until the box is answered.
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    struct Samples : SampleSink
    {
        SampleBatch all;
        void takeBatch(const SampleBatch& batch) override { all += batch; }
    } samples;
    w->session().addSink(&samples);
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    QList<qint64> sent;
    f.prompts->whileShowing = [&] {
        for (int i = 0; i < 3; ++i) {
            QTimer::singleShot(300 * i, Qt::PreciseTimer, this, [&sensor, &sent, i] {
                sent << QDateTime::currentMSecsSinceEpoch();
                sensor.send(QStringLiteral("+0001%1 +00515\r\n").arg(i).toLatin1());
            });
        }
        QTRY_COMPARE_WITH_TIMEOUT(w->source().recordsWaiting(), 3, 5000);
    };
    w->connectPort();
    f.prompts->whileShowing = nullptr;
    QVERIFY(w->recording().logging());
    QTRY_COMPARE_WITH_TIMEOUT(samples.all.size(), 3, 5000);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(samples.all.at(i).rawX, QStringLiteral("+0001%1").arg(i));
        const qint64 delay = samples.all.at(i).timeMs - sent.at(i);
        QVERIFY2(delay >= 0 && delay <= 150, qPrintable(QString::number(delay)));
    }
    QTRY_COMPARE(f.readFile(QStringLiteral("run.log")).count('\n'), 2 + 3);
    w->session().removeSink(&samples);
}

void TestSerialWindow::samplesGoOnWhileABoxIsOpen()
{
    // A record whose X is not a number raises a box; while it is open, the next records are
    // shown and logged as they arrive, each with its own time stamp.
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.05); // a poll every 45 ms
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    w->connectPort();
    QVERIFY(w->recording().logging());
    QStringList shownUnderTheBox;
    f.prompts->whileShowing = [&] {
        for (int i = 1; i <= 3; ++i) {
            w.setClockText(QStringLiteral("24/05/2009 14:03:0%1").arg(i));
            const QString record = QStringLiteral("+0.%1").arg(i) + QStringLiteral("15 +0.515");
            sensor.send(record.toLatin1() + "\r\n");
            const QString expected =
                w->pipeline().decodeRecord(record, SampleSource::Live, 0, QString())->speedText;
            QTRY_COMPARE_WITH_TIMEOUT(w.speedReadout->text(), expected, 3000);
            shownUnderTheBox << w.speedReadout->text();
        }
    };
    sensor.send("+0..15 +0.515\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(f.prompts->errors().size(), 1, 3000);
    QCOMPARE(shownUnderTheBox.size(), 3);
    QTRY_COMPARE(f.readFile(QStringLiteral("run.log")).count('\n'), 2 + 3);
    const QList<QByteArray> lines = f.readFile(QStringLiteral("run.log")).split('\n');
    QVERIFY(lines.at(2).endsWith("\"24/05/2009 14:03:01\"\r"));
    QVERIFY(lines.at(3).endsWith("\"24/05/2009 14:03:02\"\r"));
    QVERIFY(lines.at(4).endsWith("\"24/05/2009 14:03:03\"\r"));
    QCOMPARE(f.prompts->errors().size(), 1); // boxes never stack
}

void TestSerialWindow::firstPollWaitsOncePerRun()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    const auto firstPollAfterConnect = [&] {
        QElapsedTimer t;
        t.start();
        QSignalSpy received(&w->source(), &LiveSource::recordsReceived);
        w->connectPort();
        sensor.send("+00015 +00515\r\n");
        if (!received.wait(5000))
            return qint64(-1);
        return t.elapsed();
    };
    // 900 ms to the first tick, then another 500 ms on the first connection of the run only.
    const qint64 first = firstPollAfterConnect();
    // Qt's coarse timers may fire up to 5 % early.
    QVERIFY2(first >= 1300, qPrintable(QString::number(first)));
    w->disconnectPort();
    const qint64 later = firstPollAfterConnect(); // a later Connect of the same run does not wait
    QVERIFY2(later >= 800 && later < 1300, qPrintable(QString::number(later)));
}

void TestSerialWindow::exitWhileConnectedAndLogging()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    const QByteArray ini = f.readFile(QStringLiteral("marvane.ini"));
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    w->connectPort();
    QSignalSpy closed(w.window(), &MainWindow::closed);
    // A recording never ends unnoticed: asked first, No by default.
    f.prompts->confirmAnswers << false;
    w.exitAction->trigger();
    QCOMPARE(closed.count(), 0);
    QCOMPARE(f.prompts->shown.last().text,
             QStringLiteral("Logging to run.log. Stop logging and exit?"));
    QVERIFY(w->recording().logging());
    f.prompts->confirmAnswers << true;
    w.exitAction->trigger();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(f.readFile(QStringLiteral("marvane.ini")), ini); // the settings file is not written

    // Not logging: exit at once, no question.
    MainWindowFixture quiet(iniFor(sensor));
    const int shown = int(quiet.prompts->shown.size());
    QSignalSpy quietClosed(quiet.w().window(), &MainWindow::closed);
    quiet.w().exitAction->trigger();
    QCOMPARE(quietClosed.count(), 1);
    QCOMPARE(int(quiet.prompts->shown.size()), shown);
}

void TestSerialWindow::optionsChangedWhileConnectedReachThePortAtOnce()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.01);
    w->showCommsOptions(); // opened before connecting, it stays open and usable
    w->connectPort();
    QVERIFY(w->connected());
    QVERIFY(!w.commsOptionsAction->isEnabled());
    poll(w);
    QCOMPARE(sensor.speed(), speed_t(B19200));
    CommsOptionsDialog* d = w->commsOptionsDialog();
    QVERIFY(d->isVisible());
    child<RadioGroup>(d, "baudRateGroup")->setItemIndex(2);
    child<RadioGroup>(d, "portGroup")
        ->setItemIndex(0); // another port: only after Disconnect and Connect
    child<QPushButton>(d, "okButton")->click();
    // Written when they change, not at every poll.
    QCOMPARE(sensor.speed(), speed_t(B9600));
    poll(w);
    QCOMPARE(sensor.speed(), speed_t(B9600));
    QCOMPARE(w->statusPanel(1), QStringLiteral("Connected: COM2"));
    sensor.send("+00015 +00515\r\n");
    poll(w);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0515"));
}

void TestSerialWindow::connectAgainToAnotherPortReleasesTheFirst()
{
    Sensor first, second;
    MainWindowFixture f(iniFor(first, QByteArray()) + "COM3=" + second.path().toLocal8Bit() + "\n");
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.01);
    w->showCommsOptions();
    w->connectPort();
    CommsOptionsDialog* d = w->commsOptionsDialog();
    child<RadioGroup>(d, "portGroup")->setItemIndex(2);
    child<QPushButton>(d, "okButton")->click();
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile(); // enables Connect again
    w->connectPort();
    QVERIFY(f.prompts->messages().isEmpty());
    QCOMPARE(w->statusPanel(1), QStringLiteral("Connected: COM3"));
    SerialConnection other;
    QString reason;
    QVERIFY2(other.open(first.path(), &reason), qPrintable(reason)); // the first port was released
    second.send("+00.15 +05.15\r\n");
    poll(w);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("05.15"));
}

namespace {

QColor textColour(const QWidget* widget)
{
    return widget->palette().color(QPalette::WindowText);
}

const QColor kGrey(128, 128, 128);

} // namespace

void TestSerialWindow::newFileWhileConnectedAsksToLog_data()
{
    QTest::addColumn<bool>("loggingBefore"); // the answer at Connect
    QTest::addColumn<bool>("answer");        // to a question about the new file, if one comes
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("loggingAfter");
    // A running recording goes on into the new file; a No it could have had changes nothing.
    QTest::newRow("logging: goes on, no question") << true << false << false << true;
    // A connected sensor that was not logged is asked about.
    QTest::newRow("not logging, yes: logging starts") << false << true << true << true;
    QTest::newRow("not logging, no: still not logging") << false << false << true << false;
}

void TestSerialWindow::newFileWhileConnectedAsksToLog()
{
    QFETCH(bool, loggingBefore);
    QFETCH(bool, answer);
    QFETCH(bool, asked);
    QFETCH(bool, loggingAfter);
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("first.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << loggingBefore;
    w->connectPort();
    QCOMPARE(w->recording().logging(), loggingBefore);
    sensor.send("+00015 +00515\r\n");
    poll(w);
    const int shownBefore = int(f.prompts->shown.size());
    f.prompts->fileAnswers << f.path(QStringLiteral("second.log"));
    f.prompts->confirmAnswers << answer;
    w->newLogFile();
    QStringList questions;
    for (qsizetype i = shownBefore; i < f.prompts->shown.size(); ++i) {
        if (f.prompts->shown.at(i).kind == QStringLiteral("confirm"))
            questions << f.prompts->shown.at(i).text;
    }
    QCOMPARE(questions, asked ? QStringList{QStringLiteral("Start logging data?")} : QStringList());
    QCOMPARE(w->recording().logging(), loggingAfter);
    QCOMPARE(w->statusPanel(0), loggingAfter ? QStringLiteral("LOGGING") : QString());
    QVERIFY(w->connected());
    QVERIFY(!w.connectAction->isEnabled()); // still connected: Connect stays off
    QVERIFY(w.disconnectAction->isEnabled());
    QVERIFY(w.startLogAction->isEnabled());
    sensor.send("+00000 +00025\r\n");
    poll(w);
    // The recording goes on into the new file: its units line and the next record.
    const QList<QByteArray> lines = f.readFile(QStringLiteral("second.log")).split('\n');
    QCOMPARE(lines.size(), loggingAfter ? 4 : 2);
    if (loggingAfter)
        QVERIFY2(lines.at(2).startsWith("\"0025\","), lines.at(2).constData());
    // The first file ends with what came before the new one.
    QCOMPARE(f.readFile(QStringLiteral("first.log")).count('\n'), loggingBefore ? 3 : 1);
}

void TestSerialWindow::replayIsRefusedWhileConnected()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    f.writeFile(QStringLiteral("old.log"),
                "\"Speed\",\"Bearing\",\"Date-Time\"\r\n\"m/s\",\"Degrees\",\"24 Hour "
                "UTC\"\r\n\"0.515\",\"088\",\"24/05/2009 14:03:07\"\r\n");
    w->connectPort();
    const QString title = w->windowTitle();
    // File > Open, Recent Files, a drop and a running instance's command line all come here.
    w->openReplayFile(f.path(QStringLiteral("old.log")));
    QCOMPARE(f.prompts->messages().last(),
             QStringLiteral("Disconnect before opening a log for replay"));
    QVERIFY(!w->replay().isOpen());
    QCOMPARE(w->windowTitle(), title);
    const int shown = int(f.prompts->shown.size());
    w->openReplay(); // refused before any dialog opens
    QCOMPARE(f.prompts->shown.at(shown).kind, QStringLiteral("message"));
    w->disconnectPort();
    w->openReplayFile(f.path(QStringLiteral("old.log")));
    QVERIFY(w->replay().isOpen());
}

void TestSerialWindow::demonstrationWhileConnectedHasTheDisplay()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    w->connectPort();
    w->demonstration().setTimeScale(1000); // its first record only, during the test
    f.prompts->confirmAnswers << false;    // not into the log
    w->runDemonstration();
    QVERIFY(!w.demonstrationAction->isEnabled()); // a second one is refused
    const QString demoSpeed = w.speedReadout->text();
    sensor.send("+00.15 +05.15\r\n");
    poll(w);
    // Logged, not shown.
    QCOMPARE(w.speedReadout->text(), demoSpeed);
    QVERIFY(!speeds(w).contains(QStringLiteral("05.15")));
    QTRY_VERIFY(f.readFile(QStringLiteral("run.log")).contains("\"05.15\""));
    QVERIFY(!f.readFile(QStringLiteral("run.log")).contains("\"" + demoSpeed.toLatin1() + "\""));
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("statusNote"))->toolTip(),
             QStringLiteral("Live samples are logged but not shown until the demonstration ends"));
    w->demonstration().stop();
    emit w->demonstration().finished();
    QVERIFY(w.demonstrationAction->isEnabled());
    sensor.send("+00.16 +05.15\r\n");
    poll(w);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("05.15"));
}

void TestSerialWindow::readoutsGreyWhileReconnecting()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.01);
    w->connectPort();
    sensor.send("+0.015 +0.515\r\n");
    poll(w);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.515"));
    QCOMPARE(textColour(w.speedReadout), QColor(Qt::black));
    sensor.closeSlave();
    sensor.closeMaster();
    if (!w->source().isReconnecting())
        poll(w);
    QTRY_VERIFY_WITH_TIMEOUT(w->source().isReconnecting(), 3000);
    // What is shown is from before the loss: it must not look live.
    QCOMPARE(textColour(w.speedReadout), kGrey);
    QCOMPARE(textColour(w.bearingReadout), kGrey);
    w->disconnectPort();
    QCOMPARE(textColour(w.speedReadout), QColor(Qt::black));
}

void TestSerialWindow::readoutsStayGreyUntilANewRecord_data()
{
    QTest::addColumn<bool>("deviceComesBack"); // else the sensor goes quiet
    QTest::addColumn<bool>("demonstration");   // the next record is the demonstration's
    QTest::newRow("device lost and back, then a record") << true << false;
    QTest::newRow("no data, then a record") << false << false;
    QTest::newRow("no data, then the demonstration") << false << true;
}

void TestSerialWindow::readoutsStayGreyUntilANewRecord()
{
    QFETCH(bool, deviceComesBack);
    QFETCH(bool, demonstration);
    // The device stands behind a link, as a by-id name does, so that it can come back.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    auto device = std::make_unique<Pty>();
    QVERIFY(device->ok());
    QVERIFY(QFile::link(device->path(), link));
    MainWindowFixture f("[Options]\nOrientation=1\n[Ports]\nCOM2=" + link.toLocal8Bit() + "\n");
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.01);
    w->connectPort();
    QVERIFY(w->connected());
    QVERIFY(device->send("+0.300 +0.400\r\n")); // 0.500 from 037, face down: green
    QTRY_COMPARE(w.speedReadout->text(), QStringLiteral("0.500"));
    QCOMPARE(textColour(w.bearingReadout), QColor(0, 255, 0));

    qint64 now = 0; // the no-data watch's clock, when the test moves it
    if (deviceComesBack) {
        device->closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(w->source().isReconnecting(), 3000);
        device = std::make_unique<Pty>();
        QVERIFY(device->ok());
        QFile::remove(link);
        QVERIFY(QFile::link(device->path(), link));
        QTRY_VERIFY_WITH_TIMEOUT(w->source().isOpen() && !w->source().isReconnecting(), 3000);
        QCOMPARE(w->statusPanel(1), QStringLiteral("Connected: COM2"));
    } else {
        w->noDataWatch().setClock([&now] { return now; });
        w->noDataWatch().start();
        now = 10000;
        w->noDataWatch().check();
        QCOMPARE(w->statusPanel(3), QStringLiteral("NO DATA 10 s"));
    }
    // What is shown is not current: grey, both readouts, until a record arrives.
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.500"));
    QCOMPARE(textColour(w.speedReadout), kGrey);
    QCOMPARE(textColour(w.bearingReadout), kGrey);
    QCOMPARE(textColour(w.degreeSign), kGrey);

    if (demonstration) {
        w->demonstration().setTimeScale(1000); // its first record only, during the test
        w->runDemonstration();
        QCOMPARE(w.speedReadout->text(), QStringLiteral("0515"));
    } else {
        QVERIFY(device->send("-0.300 +0.400\r\n")); // 0.500 from 323, face down: red
        QTRY_COMPARE(w.bearingReadout->text(), QStringLiteral("323"));
    }
    // Both current again, together.
    QCOMPARE(textColour(w.speedReadout), QColor(Qt::black));
    QCOMPARE(textColour(w.speedUnitsLabel), QColor(Qt::black));
    const QColor bearing = textColour(w.bearingReadout);
    QVERIFY2(bearing == QColor(255, 0, 0) || bearing == QColor(0, 255, 0),
             qPrintable(bearing.name()));
    QCOMPARE(textColour(w.degreeSign), bearing);
    w->demonstration().stop();
}

void TestSerialWindow::demonstrationCountsAsDataWhileItRuns()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->connectPort();
    w->demonstration().setTimeScale(1000);
    w->runDemonstration();
    // The port stays silent past the limit.
    qint64 now = 0;
    w->noDataWatch().setClock([&now] { return now; });
    w->noDataWatch().start();
    now = 10000;
    w->noDataWatch().check();
    QCOMPARE(w->statusPanel(3), QStringLiteral("DEMONSTRATION"));
    QCOMPARE(textColour(w.speedReadout), QColor(Qt::black));
    w->demonstration().stop();
}

void TestSerialWindow::bearingColourComesBackAtDisconnect()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->connectPort();
    sensor.send("+0.300 +0.400\r\n"); // from 037, face down: green
    poll(w);
    QCOMPARE(textColour(w.bearingReadout), QColor(0, 255, 0));
    qint64 now = 0;
    w->noDataWatch().setClock([&now] { return now; });
    w->noDataWatch().start();
    now = 10000;
    w->noDataWatch().check();
    QCOMPARE(textColour(w.bearingReadout), kGrey);
    w->disconnectPort();
    // Both readouts look as they did, not only the speed.
    QCOMPARE(textColour(w.speedReadout), QColor(Qt::black));
    QCOMPARE(textColour(w.bearingReadout), QColor(0, 255, 0));
}

void TestSerialWindow::dialFaceWaitsForTheNextNeedle()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor));
    WindowProbe& w = f.w();
    w->session().receiveRecord(QStringLiteral("+00.15 +05.15"));
    QCOMPARE(w.speedDial->face(), DialFace::Knots);
    // An m/s record that cannot be computed draws no needle: the knots face stays under the
    // knots needle.
    w->session().receiveRecord(QStringLiteral("+0..15 +0.515"));
    QCOMPARE(w.speedDial->face(), DialFace::Knots);
    QCOMPARE(w.speedUnitsLabel->text(), QStringLiteral("Kts"));
    w->session().receiveRecord(QStringLiteral("+0.015 +0.515"));
    QCOMPARE(w.speedDial->face(), DialFace::Metric);
}

void TestSerialWindow::dataFileBesideTheLogWhenChosen()
{
    Sensor sensor;
    MainWindowFixture f(iniFor(sensor, "DataFile=1\n"));
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("survey.log"));
    w->newLogFile();
    f.prompts->confirmAnswers << true;
    w->connectPort();
    sensor.send("+0.300 -0.400\r\n");
    poll(w);
    // The same sample in both: the log's texts, the data file's numbers, face down, from.
    QVERIFY(f.readFile(QStringLiteral("survey.log")).contains("\"0.500\",\"143\""));
    const QByteArray data = f.readFile(QStringLiteral("survey.csv"));
    QVERIFY2(data.startsWith("# Marvane "), data.constData());
    QVERIFY2(data.contains("# Log file: " + f.path(QStringLiteral("survey.log")).toUtf8()),
             data.constData());
    QVERIFY2(data.contains(",+0.300,-0.400,m/s,0.3,-0.4,0.5,143.13,from,down,\r\n"),
             data.constData());
    // Stop Log: neither file takes the next sample.
    w->stopLogging();
    sensor.send("+0.300 -0.300\r\n");
    poll(w);
    QCOMPARE(f.readFile(QStringLiteral("survey.csv")), data);
}

void TestSerialWindow::networkOutputsTakeLiveSamplesAndShowTheirState()
{
    Sensor sensor;
    QTcpServer probe; // a free port on loopback
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    // The sensor declared to face north: a VDR sentence goes out only with a heading.
    MainWindowFixture f(iniFor(sensor, "Heading=0\n") +
                        "[Outputs]\nNmeaTcp=1\nNmeaTcpPort=" + QByteArray::number(port) + "\n");
    WindowProbe& w = f.w();
    QLabel* counts = w->findChild<QLabel*>(QStringLiteral("backlogLabel"));
    QTRY_COMPARE(counts->text(), QStringLiteral("NMEA: 0 clients"));
    QTcpSocket plotter;
    plotter.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(plotter.waitForConnected(5000));
    QTRY_COMPARE(counts->text(), QStringLiteral("NMEA: 1 client"));
    w->connectPort();
    sensor.send("+0.300 -0.400\r\n");
    poll(w);
    QTRY_VERIFY(plotter.canReadLine());
    QCOMPARE(plotter.readLine(), QByteArray("$IIVDR,323.1,T,,M,0.97,N*2A\r\n"));
}

QTEST_MAIN(TestSerialWindow)
#include "tst_serialwindow.moc"
