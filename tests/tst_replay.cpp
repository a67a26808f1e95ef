// Replay of log files through the main window: Open, the record step, Play, Stop, View First
// Record and Close, files the recorder wrote in every units, and files no recorder wrote.

#include "app/MainWindow.h"
#include "app/DataGrid.h"
#include "processing/Dial.h"
#include "app/DialView.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Texts.h"

#include <QAction>
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
        f.w().setWaitScaleForTests(0.01);
    }
    TfrmMain& w() { return f.w(); }
    QString path() const { return f.path(QStringLiteral("replay.log")); }
    void open()
    {
        f.prompts->fileAnswers << path();
        f.w().mnuFileOpen->trigger();
    }
};

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT
private slots:
    void openShowsFirstRecord();
    void openUnitsWord_data();
    void openUnitsWord();
    void openLeavesLiveStateAlone();
    void recordsOfRecorderFiles_data();
    void recordsOfRecorderFiles();
    void endOfFileKeepsLastRecord();
    void playStopSequence();
    void playDuringStopWait();
    void viewFirstRecordKeepsPlaying();
    void closeEndsPlaybackWithoutNotice();
    void openSecondFileReplacesFirst();
    void newDuringReplay();
    void failedOpenKeepsCurrentReplay();
    void vanishedFileReportsOnceAndStops();
    void badFiles_data();
    void badFiles();
    void errorBoxesNeverPileUp();
    void fileGrowingWhileReplayed();
};

void TestReplay::openShowsFirstRecord()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    TfrmMain& w = r.w();
    r.open();
    QCOMPARE(r.f.prompts->shown.first().text, QStringLiteral("Open Log File"));
    QCOMPARE(r.f.prompts->lastFilter, QStringLiteral("Tessmoor Marvane Files (*.log)"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessmoor Marvane - ") + r.path());
    QCOMPARE(w.statusPanel(0), QStringLiteral("Source: File"));
    QVERIFY(!w.mnuCommsConnect->isEnabled());
    QVERIFY(w.mnuFileClose->isEnabled());
    QVERIFY(w.fraVideo->isVisible());
    QVERIFY(!w.labDateTime->isVisible());
    QVERIFY(w.labDateTimeFile->isVisible());
    QCOMPARE(w.labDateTimeFile->text(), QStringLiteral("24/05/2009 14:03:07"));
    QCOMPARE(w.grdstrComputed->cell(0, LastDataRow), QStringLiteral("    0.515"));
    QCOMPARE(w.grdstrComputed->cell(1, LastDataRow), QStringLiteral("    088"));
    QCOMPARE(w.grdstrComputed->cell(0, LastDataRow - 1), QString());
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("0.515"));
    QCOMPARE(w.labBearingReadoutValue->text(), QStringLiteral("088"));
    QCOMPARE(textColour(w.labBearingReadoutValue), QColor(0, 255, 0));
    QVERIFY(!w.playing());
    QVERIFY(r.f.prompts->errors().isEmpty());
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
    QTest::newRow("other case") << units("knots") << "     mm/s"
                                << "mm/s";
    QTest::newRow("no units line") << QByteArray() << "     mm/s"
                                   << "mm/s";
    QTest::newRow("no quote") << QByteArray("Knots\r\n") << "     mm/s"
                              << "mm/s";
}

void TestReplay::openUnitsWord()
{
    QFETCH(QByteArray, unitsLine);
    QFETCH(QString, cell);
    QFETCH(QString, caption);
    Replay r(kHeader + unitsLine);
    r.open();
    QCOMPARE(r.w().grdstrComputedUnits->cell(0, 0), cell);
    QCOMPARE(r.w().labFlowSpeedReadoutUnits->text(), caption);
    QVERIFY(r.f.prompts->errors().isEmpty());
    QVERIFY(r.w().fraVideo->isVisible());
}

void TestReplay::openLeavesLiveStateAlone()
{
    Replay r(kHeader + units("Knots") + record("05.15", "002", "24/05/2009 14:03:07"));
    TfrmMain& w = r.w();
    w.DecodeRawRecord(QStringLiteral("+00015 +00515"));
    const QImage face = w.SpeedDialFace();
    r.open();
    QCOMPARE(w.SpeedDialFace(), face);
    QCOMPARE(w.SpeedUnits(), QStringLiteral("mm/s"));
    QCOMPARE(w.SpeedFormat(), QStringLiteral("0000"));
    QCOMPARE(w.grdstrRawDataUnits->cell(0, 0), QStringLiteral("     mm/s"));
    QCOMPARE(w.labFlowSpeedReadoutUnits->text(), QStringLiteral("Kts"));
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
    QTest::newRow("10 m/s and more")
        << kHeader + units("m/s") + record("0.515", "088", "01/01/2025 00:00:00") +
               record("10.296", "299", "01/01/2025 00:00:01") +
               record("0.528", "013", "01/01/2025 00:00:02")
        << texts({"0.515", "10.296", "0.528"}) << texts({"088", "299", "013"})
        << texts({"m/s", "m/s", "m/s"}) << QList<double>{230.6, 621.84, 231.12};
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
    TfrmMain& w = r.w();
    r.open();
    for (int i = 0; i < speeds.size(); ++i) {
        if (i > 0)
            w.timPlayTimer();
        QCOMPARE(w.labFlowSpeedValue->text(), speeds.at(i));
        QCOMPARE(w.labBearingReadoutValue->text(), bearings.at(i));
        QCOMPARE(w.grdstrComputed->cell(0, LastDataRow), QStringLiteral("    ") + speeds.at(i));
        QCOMPARE(w.grdstrComputed->cell(1, LastDataRow), QStringLiteral("    ") + bearings.at(i));
        QCOMPARE(w.labFlowSpeedReadoutUnits->text(), captions.at(i));
        QCOMPARE(w.labDateTimeFile->text(), QStringLiteral("01/01/2025 00:00:0%1").arg(i));
        QCOMPARE(w.bearingDial().lastOffset(), needleOffset(bearings.at(i).toInt()));
        QCOMPARE(w.speedDial().lastOffset(), needleOffset(speedAngles.at(i)));
        const int d = bearings.at(i).toInt();
        const QColor expected = (d == 0 || d == 180) ? QColor(0, 0, 0)
                                : d < 180            ? QColor(0, 255, 0)
                                                     : QColor(255, 0, 0);
        QCOMPARE(textColour(w.labBearingReadoutValue), expected);
        QCOMPARE(textColour(w.labBearingReadoutUnits), expected);
    }
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReplay::endOfFileKeepsLastRecord()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07"));
    TfrmMain& w = r.w();
    r.open();
    w.btnVideoPlay->click();
    w.timPlayTimer();
    w.timPlayTimer();
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("0.515"));
    QCOMPARE(w.grdstrComputed->cell(0, LastDataRow - 1), QString()); // nothing more pushed
    QVERIFY(w.playing());
    QCOMPARE(w.statusPanel(2), QStringLiteral("Play >"));
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReplay::playStopSequence()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
                 record("0.516", "089", "24/05/2009 14:03:08"),
             QByteArray("[Options]\nScrollDirection=1\n"));
    TfrmMain& w = r.w();
    r.open();
    QVERIFY(w.options().flags.scrollDown);
    w.btnVideoPlay->click();
    QVERIFY(w.btnVideoStop->isEnabled());
    QVERIFY(w.playing());
    QCOMPARE(w.timPlay->interval(), 1000);
    QCOMPARE(w.statusPanel(2), QStringLiteral("Play >"));
    QVERIFY(!w.options().flags.scrollDown); // grids scroll up until the options are applied again
    QCOMPARE(w.options().comms.scrollDirection, 1);
    w.timPlayTimer();
    QCOMPARE(w.grdstrComputed->cell(0, LastDataRow), QStringLiteral("    0.516"));
    QString duringWait;
    QTimer::singleShot(5, &w, [&] { duringWait = w.statusPanel(2); });
    w.setWaitScaleForTests(0.05);
    w.btnVideoStop->click();
    QCOMPARE(duringWait, QStringLiteral("Stopped"));
    QCOMPARE(w.statusPanel(2), QString());
    QVERIFY(!w.btnVideoStop->isEnabled());
    QVERIFY(!w.playing());
    // Close after Play: the grids keep scrolling up.
    w.mnuFileCloseClick();
    QVERIFY(!w.options().flags.scrollDown);
}

void TestReplay::playDuringStopWait()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07"));
    TfrmMain& w = r.w();
    r.open();
    w.btnVideoPlay->click();
    w.setWaitScaleForTests(0.05);
    QTimer::singleShot(10, &w, [&] { w.btnVideoPlay->click(); });
    w.btnVideoStopClick();
    // Playback runs on with Stop disabled and the panel empty until Close or another Play.
    QVERIFY(w.playing());
    QVERIFY(!w.btnVideoStop->isEnabled());
    QCOMPARE(w.statusPanel(2), QString());
}

void TestReplay::viewFirstRecordKeepsPlaying()
{
    Replay r(kHeader + units("Knots") + record("05.15", "002", "24/05/2009 14:03:07") +
             record("06.04", "031", "24/05/2009 14:03:08"));
    TfrmMain& w = r.w();
    r.open();
    w.btnVideoPlay->click();
    w.timPlayTimer();
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("06.04"));
    w.btnVideoStart->click();
    QVERIFY(w.playing());
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("05.15"));
    QCOMPARE(w.grdstrComputed->cell(0, LastDataRow - 1), QString()); // cleared before
    w.timPlayTimer();
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("06.04"));
}

void TestReplay::closeEndsPlaybackWithoutNotice()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    TfrmMain& w = r.w();
    r.open();
    w.btnVideoPlay->click();
    QElapsedTimer t;
    t.start();
    w.mnuFileClose->trigger();
    QVERIFY(t.elapsed() < 500); // no "Stopped" wait
    QVERIFY(!w.playing());
    QCOMPARE(w.statusPanel(2), QString());
    QVERIFY(!w.btnVideoStop->isEnabled());
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessmoor Marvane"));
    QCOMPARE(w.statusPanel(0), QString());
    QVERIFY(w.labDateTime->isVisible());
    QVERIFY(!w.labDateTimeFile->isVisible());
    QVERIFY(w.mnuCommsConnect->isEnabled());
    QCOMPARE(w.labFlowSpeedValue->text(), QString());
    QVERIFY(!w.fraVideo->isVisible());
    QVERIFY(!w.mnuFileClose->isEnabled());
    QVERIFY(!w.replayOpen());
    w.timPlayTimer(); // no record is read after Close
    QCOMPARE(w.labFlowSpeedValue->text(), QString());
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReplay::openSecondFileReplacesFirst()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07"));
    TfrmMain& w = r.w();
    r.open();
    w.btnVideoPlay->click();
    r.f.writeFile(QStringLiteral("second.log"),
                  kHeader + units("Knots") + record("05.15", "270", "25/05/2009 09:00:00"));
    r.f.prompts->fileAnswers << r.f.path(QStringLiteral("second.log"));
    w.mnuFileOpenClick();
    QCOMPARE(w.labFlowSpeedReadoutUnits->text(), QStringLiteral("Kts"));
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("05.15"));
    QCOMPARE(w.windowTitle(),
             QStringLiteral("Tessmoor Marvane - ") + r.f.path(QStringLiteral("second.log")));
    QVERIFY(w.playing()); // the playing state is kept
}

void TestReplay::newDuringReplay()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    TfrmMain& w = r.w();
    r.open();
    w.btnVideoPlay->click();
    r.f.prompts->fileAnswers << r.f.path(QStringLiteral("new.log"));
    w.mnuFileNewClick();
    QVERIFY(w.labDateTime->isVisible());
    QVERIFY(!w.fraVideo->isVisible());
    QVERIFY(w.playing());
    QVERIFY(w.mnuFileClose->isEnabled());
    QVERIFY(w.replayOpen());
}

void TestReplay::failedOpenKeepsCurrentReplay()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07") +
             record("0.516", "089", "24/05/2009 14:03:08"));
    TfrmMain& w = r.w();
    r.open();
    const QString title = w.windowTitle();
    r.f.prompts->fileAnswers << r.f.path(QStringLiteral("typed-but-missing.log"));
    w.mnuFileOpenClick();
    QCOMPARE(r.f.prompts->errors().size(), 1);
    QVERIFY(r.f.prompts->errors().first().contains(QStringLiteral("typed-but-missing.log")));
    QCOMPARE(w.windowTitle(), title);
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("0.515"));
    QVERIFY(w.replayOpen());
    w.timPlayTimer(); // still open and playable
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("0.516"));
    QCOMPARE(r.f.prompts->errors().size(), 1);
}

void TestReplay::vanishedFileReportsOnceAndStops()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07"));
    TfrmMain& w = r.w();
    r.open();
    w.btnVideoPlay->click();
    QVERIFY(QFile::remove(r.path()));
    w.btnVideoStartClick();
    QCOMPARE(r.f.prompts->errors().size(), 1);
    QVERIFY(!w.playing());
    for (int i = 0; i < 3; ++i)
        w.timPlayTimer();
    w.btnVideoPlay->click();
    w.timPlayTimer();
    QCOMPARE(r.f.prompts->errors().size(), 1); // no tick reports about a file that is not open
    w.mnuFileCloseClick();
    QCOMPARE(r.f.prompts->errors().size(), 1);
    QVERIFY(!w.mnuFileClose->isEnabled());
}

void TestReplay::badFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("errors"); // over the first record and three ticks
    const QString bearingBlank = QStringLiteral("'' is not a valid integer value");
    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("header only") << kHeader << QStringList();
    QTest::newRow("blank lines") << kHeader + units("m/s") + "\r\n\r\n" +
                                        record("0.515", "088", "01/01/2025 00:00:00")
                                 << QStringList{bearingBlank, bearingBlank};
    QTest::newRow("bad bearing") << kHeader + units("m/s") +
                                        record("0.515", "08x", "01/01/2025 00:00:00")
                                 << QStringList{
                                        QStringLiteral("'08x' is not a valid integer value")};
    QTest::newRow("bad speed")
        << kHeader + units("m/s") + record("0.5.5", "088", "01/01/2025 00:00:00")
        << QStringList{QStringLiteral("'0.5.5' is not a valid floating point value")};
    QTest::newRow("binary junk") << QByteArray("\x00\xff\x01\x02\r\n\x7f\x80", 8) +
                                        QByteArray(5000, '\x01') + "\r\n\x01\x02\x03junk"
                                 << QStringList{bearingBlank};
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
    TfrmMain& w = r.w();
    r.open();
    QVERIFY(w.replayOpen());
    for (int i = 0; i < 3; ++i)
        w.timPlayTimer();
    QCOMPARE(r.f.prompts->errors(), errors);
}

void TestReplay::errorBoxesNeverPileUp()
{
    QByteArray file = kHeader + units("m/s");
    for (int i = 0; i < 5; ++i)
        file += "\r\n";
    Replay r(file);
    TfrmMain& w = r.w();
    int nested = 0;
    r.f.prompts->whileShowing = [&] {
        if (nested++ == 0)
            for (int i = 0; i < 3; ++i)
                w.timPlayTimer(); // ticks keep coming while the box is open
    };
    r.open();
    QCOMPARE(r.f.prompts->errors().size(), 1);
    r.f.prompts->whileShowing = nullptr;
    w.timPlayTimer(); // the ticks waited: the next line is the second blank one
    QCOMPARE(r.f.prompts->errors().size(), 2);
}

void TestReplay::fileGrowingWhileReplayed()
{
    Replay r(kHeader + units("m/s") + record("0.515", "088", "24/05/2009 14:03:07"));
    TfrmMain& w = r.w();
    r.open();
    w.btnVideoPlay->click();
    w.timPlayTimer(); // at the end
    QFile f(r.path());
    QVERIFY(f.open(QIODevice::Append));
    f.write(record("0.600", "100", "24/05/2009 14:03:09"));
    f.close();
    w.timPlayTimer();
    QCOMPARE(w.labFlowSpeedValue->text(), QStringLiteral("0.600"));
    QCOMPARE(w.labDateTimeFile->text(), QStringLiteral("24/05/2009 14:03:09"));
}

QTEST_MAIN(TestReplay)
#include "tst_replay.moc"
