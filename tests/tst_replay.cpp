// Replay of log files through the main window: Open, the record step, Play, Stop, View First
// Record and Close, files the recorder wrote in every units, and files no recorder wrote.

#include "app/DataGrid.h"
#include "app/DialWidget.h"
#include "app/MainWindow.h"
#include "sources/SerialSource.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "app/Dial.h"
#include "sensor/FlowPipeline.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Texts.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

const QByteArray kHeader("\"Speed\",\"Bearing\",\"Date-Time\"\r\n");

QByteArray units(const char* word)
{
    return "\"" + QByteArray(word) + "\",\"Degrees\",\"24 Hour UTC\"\r\n";
}

QByteArray record(const char* speed, const char* bearing, const char* stamp)
{
    return "\"" + QByteArray(speed) + "\",\"" + bearing + "\",\"" + stamp + "\"\r\n";
}

QColor textColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

struct Replay
{
    MainWindowFixture f;
    explicit Replay(const QByteArray& file, const QByteArray& ini = {}) : f(ini)
    {
        f.writeFile(QStringLiteral("replay.log"), file);
        f.w()->setTimeScaleForTests(0.01);
    }
    WindowProbe& w() { return f.w(); }
    QString path() const { return f.path(QStringLiteral("replay.log")); }
    void open()
    {
        f.prompts->fileAnswers << path();
        f.w().openLogAction->trigger();
    }
};

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT
private slots:
    void openShowsFirstRecord();
    void replayClockSaysItsClockAsTheLiveOneDoes_data();
    void replayClockSaysItsClockAsTheLiveOneDoes();
    void openUnitsWord_data();
    void openUnitsWord();
    void openLeavesLiveStateAlone();
    void recordsOfRecorderFiles_data();
    void recordsOfRecorderFiles();
    void endOfFileStopsPlayback();
    void playStopSequence();
    void playDuringStopWait();
    void viewFirstRecordKeepsPlaying();
    void closeEndsPlaybackWithoutNotice();
    void openSecondFileReplacesFirst();
    void newDuringReplay();
    void failedOpenKeepsCurrentReplay();
    void fileThatIsNoLogIsRefused_data();
    void fileThatIsNoLogIsRefused();
    void vanishedFileReportsOnceAndStops();
    void badFiles_data();
    void badFiles();
    void oneBoxPerPlaybackRunNamingTheFirstBadLine_data();
    void oneBoxPerPlaybackRunNamingTheFirstBadLine();
    void errorBoxesNeverPileUp();
    void fileGrowingWhileReplayed();
    void tornLastLineWaitsForItsLineEnd();
};

void TestReplay::openShowsFirstRecord()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    WindowProbe& w = r.w();
    r.open();
    QCOMPARE(r.f.prompts->shown.first().text, QStringLiteral("Open Log File"));
    QCOMPARE(r.f.prompts->lastFilter, QStringLiteral("Tessmoor Marvane Files (*.log)"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessmoor Marvane - ") + r.path());
    QCOMPARE(w->statusPanel(0), QStringLiteral("Source: File"));
    QVERIFY(!w.connectAction->isEnabled());
    QVERIFY(w.closeLogAction->isEnabled());
    QVERIFY(w.replayBar->isVisible());
    QVERIFY(!w.clockLabel->isVisible());
    QVERIFY(w.replayTimeLabel->isVisible());
    QCOMPARE(w.replayTimeLabel->text(), QStringLiteral("24/05/2009 14:03:07 UTC"));
    QCOMPARE(w.computedTable->cell(0, LastDataRow), QStringLiteral("    0.515"));
    QCOMPARE(w.computedTable->cell(1, LastDataRow), QStringLiteral("    088"));
    QCOMPARE(w.computedTable->cell(0, LastDataRow - 1), QString());
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.515"));
    QCOMPARE(w.bearingReadout->text(), QStringLiteral("088"));
    QCOMPARE(textColour(w.bearingReadout), QColor(0, 255, 0));
    QVERIFY(!w->replay().playing());
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReplay::replayClockSaysItsClockAsTheLiveOneDoes_data()
{
    QTest::addColumn<QByteArray>("clock"); // of the log's units line
    QTest::addColumn<QByteArray>("ini");   // the live clock's time base
    QTest::addColumn<QString>("shown");
    QTest::newRow("UTC log, UTC clock")
        << QByteArray("24 Hour UTC") << QByteArray() << QStringLiteral("24/05/2009 14:03:07 UTC");
    QTest::newRow("UTC log, local clock")
        << QByteArray("24 Hour UTC") << QByteArray("[Options]\nLocalTime=1\n")
        << QStringLiteral("24/05/2009 14:03:07 UTC");
    QTest::newRow("local log, UTC clock")
        << QByteArray("24 Hour Local") << QByteArray() << QStringLiteral("24/05/2009 14:03:07");
}

void TestReplay::replayClockSaysItsClockAsTheLiveOneDoes()
{
    QFETCH(QByteArray, clock);
    QFETCH(QByteArray, ini);
    QFETCH(QString, shown);
    // The record's time is on the clock its file names, whatever the live clock is on; the live
    // clock's own rule says which: " UTC" after a UTC time, nothing after a local one.
    Replay r(kHeader + "\"m/s\",\"Degrees\",\"" + clock + "\"\r\n" +
                 record("0.515", "088", "24/05/2009 14:03:07"),
             ini);
    WindowProbe& w = r.w();
    w.clockTimer->setInterval(1);
    QTRY_VERIFY(!w.clockLabel->text().isEmpty());
    QCOMPARE(w.clockLabel->text().endsWith(QStringLiteral(" UTC")), ini.isEmpty());
    r.open();
    QVERIFY(w.replayTimeLabel->isVisible());
    QCOMPARE(w.replayTimeLabel->text(), shown);
}

void TestReplay::openUnitsWord_data()
{
    QTest::addColumn<QByteArray>("unitsLine");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("caption");
    QTest::newRow("knots") << units("Knots") << "    Knots"
                           << "Kts";
    QTest::newRow("m/s") << units("m/s") << "     m/s"
                         << "m/s";
    QTest::newRow("mm/s") << units("mm/s") << "     mm/s"
                          << "mm/s";
    QTest::newRow("no units line") << QByteArray() << "     mm/s"
                                   << "mm/s";
    QTest::newRow("empty units line") << QByteArray("\r\n") << "     mm/s"
                                      << "mm/s";
}

void TestReplay::openUnitsWord()
{
    QFETCH(QByteArray, unitsLine);
    QFETCH(QString, cell);
    QFETCH(QString, caption);
    Replay r(kHeader + unitsLine);
    r.open();
    QCOMPARE(r.w().computedUnits->cell(0, 0), cell);
    QCOMPARE(r.w().speedUnitsLabel->text(), caption);
    QVERIFY(r.f.prompts->errors().isEmpty());
    QVERIFY(r.w().replayBar->isVisible());
}

void TestReplay::openLeavesLiveStateAlone()
{
    Replay r(kHeader + units("Knots") + record("05.15", "002", "24/05/2009 14:03:07"));
    WindowProbe& w = r.w();
    w->session().receiveRecord(QStringLiteral("+00015 +00515"), SampleSource::Live);
    QCOMPARE(w.speedDial->face(), DialFace::MetricX1000);
    r.open();
    QCOMPARE(w->pipeline().liveUnitsWord(), QStringLiteral("mm/s"));
    QCOMPARE(liveSpeedFormat(w->pipeline()), QStringLiteral("0000"));
    QCOMPARE(w.rawUnits->cell(0, 0), QStringLiteral("     mm/s"));
    QCOMPARE(w.speedUnitsLabel->text(), QStringLiteral("Kts"));
}

void TestReplay::recordsOfRecorderFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("speeds");
    QTest::addColumn<QStringList>("bearings");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QList<double>>("speedAngles");
    QTest::newRow("knots") << kHeader + units("Knots") +
                                  record("05.15", "358", "01/01/2025 00:00:00") +
                                  record("00.00", "180", "01/01/2025 00:00:01")
                           << texts({"05.15", "00.00"}) << texts({"358", "180"})
                           << texts({"Kts", "Kts"}) << QList<double>{313.0, 210.0};
    QTest::newRow("mm/s") << kHeader + units("mm/s") +
                                 record("0515", "002", "01/01/2025 00:00:00") +
                                 record("7500", "000", "01/01/2025 00:00:01")
                          << texts({"0515", "7500"}) << texts({"002", "000"})
                          << texts({"mm/s", "mm/s"}) << QList<double>{230.6, 510.0};
    // The needle of a speed above full scale stops at the end of the scale.
    QTest::newRow("10 m/s and more")
        << kHeader + units("m/s") + record("0.515", "088", "01/01/2025 00:00:00") +
               record("10.296", "299", "01/01/2025 00:00:01") +
               record("0.528", "013", "01/01/2025 00:00:02")
        << texts({"0.515", "10.296", "0.528"}) << texts({"088", "299", "013"})
        << texts({"m/s", "m/s", "m/s"}) << QList<double>{230.6, 510.0, 231.12};
    QTest::newRow("units changed while recording")
        << kHeader + units("mm/s") + record("1050", "061", "01/01/2025 00:00:00") +
               record("0.515", "002", "01/01/2025 00:00:01") +
               record("10.50", "061", "01/01/2025 00:00:02")
        << texts({"1050", "0.515", "10.50"}) << texts({"061", "002", "061"})
        << texts({"mm/s", "m/s", "Kts"}) << QList<double>{252.0, 230.6, 420.0};
}

void TestReplay::recordsOfRecorderFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, speeds);
    QFETCH(QStringList, bearings);
    QFETCH(QStringList, captions);
    QFETCH(QList<double>, speedAngles);
    Replay r(file);
    WindowProbe& w = r.w();
    r.open();
    for (int i = 0; i < speeds.size(); ++i) {
        if (i > 0)
            w->replay().step();
        QCOMPARE(w.speedReadout->text(), speeds.at(i));
        QCOMPARE(w.bearingReadout->text(), bearings.at(i));
        QCOMPARE(w.computedTable->cell(0, LastDataRow), QStringLiteral("    ") + speeds.at(i));
        QCOMPARE(w.computedTable->cell(1, LastDataRow), QStringLiteral("    ") + bearings.at(i));
        QCOMPARE(w.speedUnitsLabel->text(), captions.at(i));
        QCOMPARE(w.replayTimeLabel->text(), QStringLiteral("01/01/2025 00:00:0%1 UTC").arg(i));
        QCOMPARE((w.bearingDial->needleEnd() - kDialCentre), needleOffset(bearings.at(i).toInt()));
        QCOMPARE((w.speedDial->needleEnd() - kDialCentre), needleOffset(speedAngles.at(i)));
        const int d = bearings.at(i).toInt();
        const QColor expected = (d == 0 || d == 180) ? QColor(0, 0, 0)
                                : d < 180            ? QColor(0, 255, 0)
                                                     : QColor(255, 0, 0);
        QCOMPARE(textColour(w.bearingReadout), expected);
        QCOMPARE(textColour(w.degreeSign), expected);
    }
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReplay::endOfFileStopsPlayback()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    QVERIFY(!w.replayPlayButton->isEnabled());
    QTRY_COMPARE(w->statusPanel(2), QStringLiteral("End of file"));
    QVERIFY(!w->replay().playing());
    QVERIFY(w.replayPlayButton->isEnabled());
    QVERIFY(!w.replayStopButton->isEnabled());
    // The last record stays on display.
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.516"));
    QCOMPARE(w.computedTable->cell(0, LastDataRow), QStringLiteral("    0.516"));
    QCOMPARE(w.computedTable->cell(0, LastDataRow - 2), QString()); // nothing more pushed
    QCOMPARE(w->replay().position(), 1);
    QVERIFY(r.f.prompts->errors().isEmpty());
    // Close takes the notice away.
    w->closeReplay();
    QCOMPARE(w->statusPanel(2), QString());
}

void TestReplay::playStopSequence()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
                 record("0.516", "089", "24/05/2009 14:03:08"),
             QByteArray("[Options]\nScrollDirection=1\n"));
    WindowProbe& w = r.w();
    r.open();
    QVERIFY(w->options().flags().scrollDown);
    w.replayPlayButton->click();
    QVERIFY(w.replayStopButton->isEnabled());
    QVERIFY(w->replay().playing());
    QCOMPARE(ReplaySession(&w->pipeline()).playTimer().interval(), 1000); // one record a second
    QCOMPARE(w->statusPanel(2), QStringLiteral("Play >"));
    QVERIFY(!w->tablesScrollDown()); // grids scroll up until the replay is closed
    QVERIFY(w->options().flags().scrollDown);
    QCOMPARE(w->options().comms().scrollDirection, 1);
    w->replay().step();
    QCOMPARE(w.computedTable->cell(0, LastDataRow), QStringLiteral("    0.516"));
    w->setTimeScaleForTests(0.05);
    QElapsedTimer notice;
    notice.start();
    w.replayStopButton->click();
    QCOMPARE(w->statusPanel(2), QStringLiteral("Stopped"));
    QTRY_COMPARE(w->statusPanel(2), QString());
    QVERIFY(notice.elapsed() >= 1500 * 0.05); // the notice stays its time
    QVERIFY(!w.replayStopButton->isEnabled());
    QVERIFY(!w->replay().playing());
    // Close after Play: live data scrolls as the options say again.
    w->closeReplay();
    QVERIFY(w->tablesScrollDown());
}

void TestReplay::playDuringStopWait()
{
    // Enough records that playback does not reach the end of the file during the test.
    QByteArray file = kHeader + units("m/s");
    for (int i = 0; i < 200; ++i)
        file += record("0.515", "088", "24/05/2009 14:03:07");
    Replay r(file);
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    w->setTimeScaleForTests(0.05);
    QTimer::singleShot(10, w.window(), [&] { w.replayPlayButton->click(); });
    w->stopReplay();
    // Play pressed while "Stopped" shows: once the notice is over, playback still runs with its
    // Stop button and its "Play >".
    QTRY_COMPARE(w->statusPanel(2), QStringLiteral("Play >"));
    QTest::qWait(150);
    QVERIFY(w->replay().playing());
    QVERIFY(w.replayStopButton->isEnabled());
    QCOMPARE(w->statusPanel(2), QStringLiteral("Play >"));
}

void TestReplay::viewFirstRecordKeepsPlaying()
{
    Replay r(kHeader + units("Knots") + record("05.15", "002", "24/05/2009 14:03:07") +
             record("06.04", "031", "24/05/2009 14:03:08"));
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    w->replay().step();
    QCOMPARE(w.speedReadout->text(), QStringLiteral("06.04"));
    w.replayFirstButton->click();
    QVERIFY(w->replay().playing());
    QCOMPARE(w.speedReadout->text(), QStringLiteral("05.15"));
    QCOMPARE(w.computedTable->cell(0, LastDataRow - 1), QString()); // cleared before
    w->replay().step();
    QCOMPARE(w.speedReadout->text(), QStringLiteral("06.04"));
}

void TestReplay::closeEndsPlaybackWithoutNotice()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    QElapsedTimer t;
    t.start();
    w.closeLogAction->trigger();
    QVERIFY(t.elapsed() < 500); // no "Stopped" wait
    QVERIFY(!w->replay().playing());
    QCOMPARE(w->statusPanel(2), QString());
    QVERIFY(!w.replayStopButton->isEnabled());
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessmoor Marvane"));
    QCOMPARE(w->statusPanel(0), QString());
    QVERIFY(w.clockLabel->isVisible());
    QVERIFY(!w.replayTimeLabel->isVisible());
    QVERIFY(w.connectAction->isEnabled());
    QCOMPARE(w.speedReadout->text(), QString());
    QVERIFY(!w.replayBar->isVisible());
    QVERIFY(!w.closeLogAction->isEnabled());
    QVERIFY(!w->replay().isOpen());
    w->replay().step(); // no record is read after Close
    QCOMPARE(w.speedReadout->text(), QString());
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReplay::openSecondFileReplacesFirst()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07"));
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    r.f.writeFile(QStringLiteral("second.log"),
                  kHeader + units("Knots") + record("05.15", "270", "25/05/2009 09:00:00"));
    r.f.prompts->fileAnswers << r.f.path(QStringLiteral("second.log"));
    w->openReplay();
    QCOMPARE(w.speedUnitsLabel->text(), QStringLiteral("Kts"));
    QCOMPARE(w.speedReadout->text(), QStringLiteral("05.15"));
    QCOMPARE(w->windowTitle(),
             QStringLiteral("Tessmoor Marvane - ") + r.f.path(QStringLiteral("second.log")));
    QVERIFY(w->replay().playing()); // the playing state is kept
}

void TestReplay::newDuringReplay()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    r.f.prompts->fileAnswers << r.f.path(QStringLiteral("new.log"));
    w->newLogFile();
    QVERIFY(w.clockLabel->isVisible());
    QVERIFY(!w.replayBar->isVisible());
    QVERIFY(!w->replay().playing()); // no playback runs on without the bar to stop it
    QCOMPARE(w->statusPanel(2), QString());
    QVERIFY(w.closeLogAction->isEnabled());
    QVERIFY(w->replay().isOpen());
}

void TestReplay::failedOpenKeepsCurrentReplay()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    WindowProbe& w = r.w();
    r.open();
    const QString title = w->windowTitle();
    r.f.prompts->fileAnswers << r.f.path(QStringLiteral("typed-but-missing.log"));
    w->openReplay();
    QCOMPARE(r.f.prompts->errors().size(), 1);
    QVERIFY(r.f.prompts->errors().first().contains(QStringLiteral("typed-but-missing.log")));
    QCOMPARE(w->windowTitle(), title);
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.515"));
    QVERIFY(w->replay().isOpen());
    w->replay().step(); // still open and playable
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.516"));
    QCOMPARE(r.f.prompts->errors().size(), 1);
}

void TestReplay::fileThatIsNoLogIsRefused_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray aRecord = record("0.515", "088", "01/01/2025 00:00:00");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("an empty line") << QByteArray("\r\n");
    QTest::newRow("binary junk") << QByteArray("\x00\xff\x01\x02\r\n\x7f\x80", 8) +
                                        QByteArray(5000, '\x01') + "\r\n\x01\x02\x03junk";
    QTest::newRow("records without header") << units("m/s") + aRecord;
    QTest::newRow("header of another program")
        << QByteArray("\"Time\",\"Speed\",\"Bearing\"\r\n") + units("m/s") + aRecord;
    QTest::newRow("header without quotes")
        << QByteArray("Speed,Bearing,Date-Time\r\n") + units("m/s") + aRecord;
    QTest::newRow("units word in other case") << kHeader + units("knots") + aRecord;
    QTest::newRow("units word unknown") << kHeader + units("ft/s") + aRecord;
    QTest::newRow("units line without quotes") << kHeader + "Knots\r\n" + aRecord;
    QTest::newRow("record where the units line belongs") << kHeader + aRecord;
}

void TestReplay::fileThatIsNoLogIsRefused()
{
    QFETCH(QByteArray, file);
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    const QString title = w->windowTitle();
    const QString other = r.f.path(QStringLiteral("other.log"));
    r.f.writeFile(QStringLiteral("other.log"), file);
    r.f.prompts->fileAnswers << other;
    w->openReplay();

    QCOMPARE(r.f.prompts->errors(),
             QStringList{QStringLiteral("Unable to open the log file %1: not a Marvane log file")
                             .arg(QDir::toNativeSeparators(other))});
    // The replay that was running goes on as it was.
    QCOMPARE(w->windowTitle(), title);
    QCOMPARE(w.speedUnitsLabel->text(), QStringLiteral("m/s"));
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.515"));
    QVERIFY(w->replay().isOpen());
    QVERIFY(w->replay().playing());
    QCOMPARE(w->replay().path(), r.path());
    w->replay().step();
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.516"));
    QCOMPARE(r.f.prompts->errors().size(), 1);
}

void TestReplay::vanishedFileReportsOnceAndStops()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07"));
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    QVERIFY(QFile::remove(r.path()));
    w->viewFirstRecord();
    QCOMPARE(r.f.prompts->errors().size(), 1);
    QVERIFY(!w->replay().playing());
    for (int i = 0; i < 3; ++i)
        w->replay().step();
    w.replayPlayButton->click();
    w->replay().step();
    QCOMPARE(r.f.prompts->errors().size(), 1); // no tick reports about a file that is not open
    w->closeReplay();
    QCOMPARE(r.f.prompts->errors().size(), 1);
    QVERIFY(!w.closeLogAction->isEnabled());
}

void TestReplay::badFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("errors"); // over the first record and three ticks
    const QString bearingBlank = QStringLiteral("'' is not a valid integer value");
    QTest::newRow("header only") << kHeader << QStringList();
    QTest::newRow("blank lines") << kHeader + units("m/s") + "\r\n\r\n" +
                                        record("0.515", "088", "01/01/2025 00:00:00")
                                 << QStringList{bearingBlank}; // the second is counted
    QTest::newRow("bad bearing") << kHeader + units("m/s") +
                                        record("0.515", "08x", "01/01/2025 00:00:00")
                                 << QStringList{
                                        QStringLiteral("'08x' is not a valid integer value")};
    QTest::newRow("bad speed")
        << kHeader + units("m/s") + record("0.5.5", "088", "01/01/2025 00:00:00")
        << QStringList{QStringLiteral("'0.5.5' is not a valid floating point value")};
    QTest::newRow("very long line")
        << kHeader + units("m/s") + QByteArray(1 << 20, 'x') + "\r\n" +
               record("0.515", "088", "01/01/2025 00:00:00")
        << QStringList{QStringLiteral("'xxx' is not a valid integer value")};
}

void TestReplay::badFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, errors);
    Replay r(file);
    WindowProbe& w = r.w();
    r.open();
    QVERIFY(w->replay().isOpen());
    for (int i = 0; i < 3; ++i)
        w->replay().step();
    QCOMPARE(r.f.prompts->errors(), errors);
}

void TestReplay::oneBoxPerPlaybackRunNamingTheFirstBadLine_data()
{
    QTest::addColumn<QByteArray>("before"); // lines between the units line and the bad lines
    QTest::addColumn<int>("line");          // of the first bad line, 1 for the header
    QTest::newRow("bad from the first record") << QByteArray() << 3;
    // A recording resumed into the file: its units line is a line of its own too.
    QTest::newRow("after a resumed recording")
        << QByteArray("\"0.515\",\"088\",\"01/01/2025 00:00:00\"\r\n") + units("m/s") +
               QByteArray("\"0.516\",\"089\",\"01/01/2025 00:00:01\"\r\n")
        << 6;
}

void TestReplay::oneBoxPerPlaybackRunNamingTheFirstBadLine()
{
    // A log saved again without its quotes: every line is bad. One box, naming the file and the
    // first bad line; the rest are counted and playback goes on to the end.
    QFETCH(QByteArray, before);
    QFETCH(int, line);
    QByteArray file = kHeader + units("m/s") + before;
    for (int i = 0; i < 20; ++i)
        file += "0.515,088,01/01/2025 00:00:00\r\n";
    Replay r(file);
    WindowProbe& w = r.w();
    w->setTimeScaleForTests(0.001);
    r.open();
    w.replayPlayButton->click();
    QTRY_COMPARE(w->statusPanel(2), QStringLiteral("End of file"));
    QCOMPARE(r.f.prompts->errors().size(), 1);
    const QString informative = r.f.prompts->shown.last().informative;
    QVERIFY2(informative.startsWith(r.f.path(QStringLiteral("replay.log")) +
                                    QStringLiteral(", line %1.").arg(line)),
             qPrintable(informative));
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("backlogLabel"))->text(),
             QStringLiteral("Bad lines: 19"));
    // A new playback run tells its first bad line again, once.
    w.replayFirstButton->click();
    w.replayPlayButton->click();
    QTRY_COMPARE(r.f.prompts->errors().size(), 2);
    QTRY_COMPARE(w->statusPanel(2), QStringLiteral("End of file"));
    QCOMPARE(r.f.prompts->errors().size(), 2);
}

void TestReplay::errorBoxesNeverPileUp()
{
    QByteArray file = kHeader + units("m/s");
    for (int i = 0; i < 5; ++i)
        file += "\r\n";
    Replay r(file);
    WindowProbe& w = r.w();
    int nested = 0;
    r.f.prompts->whileShowing = [&] {
        if (nested++ == 0)
            for (int i = 0; i < 3; ++i)
                w->replay().step(); // ticks keep coming while the box is open
    };
    r.open();
    QCOMPARE(r.f.prompts->errors().size(), 1);
    r.f.prompts->whileShowing = nullptr;
    w->replay().step(); // the next blank line is counted, not boxed
    QCOMPARE(r.f.prompts->errors().size(), 1);
}

void TestReplay::fileGrowingWhileReplayed()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07"));
    WindowProbe& w = r.w();
    r.open();
    w.replayPlayButton->click();
    w->replay().step(); // at the end
    QFile f(r.path());
    QVERIFY(f.open(QIODevice::Append));
    f.write(record("0.600", "100", "24/05/2009 14:03:09"));
    f.close();
    w->replay().step();
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.600"));
    QCOMPARE(w.replayTimeLabel->text(), QStringLiteral("24/05/2009 14:03:09 UTC"));
}

void TestReplay::tornLastLineWaitsForItsLineEnd()
{
    // A crash (or a recording still writing) leaves the last line without its end: replay stops
    // before it without an error box, and shows it once the line is whole.
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             QByteArray("\"0.6"));
    WindowProbe& w = r.w();
    r.open();
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.515"));
    QVERIFY(!w->replay().step());
    QVERIFY(!w->replay().step());
    QVERIFY(r.f.prompts->errors().isEmpty());
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.515"));
    QFile f(r.path());
    QVERIFY(f.open(QIODevice::Append));
    f.write("00\",\"100\",\"24/05/2009 14:03:09\"\r\n");
    f.close();
    QVERIFY(w->replay().step());
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.600"));
    QCOMPARE(w.replayTimeLabel->text(), QStringLiteral("24/05/2009 14:03:09 UTC"));
    QVERIFY(r.f.prompts->errors().isEmpty());
}

QTEST_MAIN(TestReplay)
#include "tst_replay.moc"
