// The demonstration feed through the main window: its records and units changes, its end state,
// its log file, Stop Log during the run, and a window that stays alive while it runs.

#include "app/AboutDialog.h"
#include "app/DataGrid.h"
#include "app/DialWidget.h"
#include "app/MainWindow.h"
#include "sources/SerialSource.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "app/Dial.h"
#include "logformat/LogFormat.h"
#include "sensor/FlowPipeline.h"
#include "sources/DemoFeed.h"
#include "sources/DemoSource.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Texts.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <time.h>

namespace {

const QStringList kSpeeds = texts(
    {"0515",  "0528",  "0558",  "0604",  "0661",  "0728",  "0802",  "0881",  "0964",  "1050",
     "0.515", "0.528", "0.558", "0.604", "0.661", "0.728", "0.802", "0.881", "0.964", "1.050",
     "05.15", "05.28", "05.58", "06.04", "06.61", "07.28", "08.02", "08.81", "09.64", "10.50"});

// Watches the window while the demonstration runs and notes every new record shown.
class Watcher : public QObject
{
public:
    explicit Watcher(WindowProbe& w, std::function<void(int)> onRecord = nullptr)
        : m_w(w), m_onRecord(std::move(onRecord))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start(2);
    }
    QStringList speeds, captions, cells;
    QList<DialFace> faces;

private:
    void look()
    {
        const QString newest = m_w.rawTable->cell(0, LastDataRow);
        if (newest.isEmpty() || newest == m_lastRaw)
            return;
        m_lastRaw = newest;
        speeds << m_w.speedReadout->text();
        captions << m_w.speedUnitsLabel->text();
        cells << m_w.computedUnits->cell(0, 0);
        faces << m_w.speedDial->face();
        if (m_onRecord)
            m_onRecord(int(speeds.size()));
    }
    WindowProbe& m_w;
    std::function<void(int)> m_onRecord;
    QTimer m_timer;
    QString m_lastRaw;
};

// Starts the demonstration as Help > Demonstration does and returns once it has finished.
void runToEnd(WindowProbe& w)
{
    w.demonstrationAction->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!w->demonstration().running(), 60000);
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT
private slots:
    void recordsAreTheThirtyOfTheTable();
    void recordsAndUnitsChanges();
    void endStateIsClearWithKnotsKept();
    void logFileByteForByte();
    void stopLogDuringRunLeavesRestUnlogged();
    void windowStaysAliveDuringRun();
    void demonstrationWhileLoggingAsksFirst();
};

void TestDemo::recordsAreTheThirtyOfTheTable()
{
    QCOMPARE(kDemoRecordCount, 30);
    QCOMPARE(demoRecord(0), QStringLiteral("+00015 +00515"));
    QCOMPARE(demoRecord(9), QStringLiteral("+00915 +00515"));
    QCOMPARE(demoRecord(10), QStringLiteral("+0.015 +0.515"));
    QCOMPARE(demoRecord(19), QStringLiteral("+0.915 +0.515"));
    QCOMPARE(demoRecord(20), QStringLiteral("+00.15 +05.15"));
    QCOMPARE(demoRecord(29), QStringLiteral("+09.15 +05.15"));
    for (int i = 0; i < kDemoRecordCount; ++i)
        QCOMPARE(demoRecord(i).size(), 13);
}

void TestDemo::recordsAndUnitsChanges()
{
    for (const QByteArray& ini : {QByteArray(), QByteArray("[Options]\nOrientation=1\n")}) {
        MainWindowFixture f(ini); // speeds are the same face up and face down
        WindowProbe& w = f.w();
        w->setTimeScaleForTests(0.03);
        Watcher watch(w);
        runToEnd(w);
        QCOMPARE(watch.speeds, kSpeeds);
        for (int i = 0; i < 30; ++i) {
            const char* caption = i < 10 ? "mm/s" : i < 20 ? "m/s" : "Kts";
            const char* cell = i < 10 ? "     mm/s" : i < 20 ? "     m/s" : "    Knots";
            QCOMPARE(watch.captions.at(i), QString::fromLatin1(caption));
            QCOMPARE(watch.cells.at(i), QString::fromLatin1(cell));
            QCOMPARE(watch.faces.at(i), i < 10   ? DialFace::MetricX1000
                                        : i < 20 ? DialFace::Metric
                                                 : DialFace::Knots);
        }
        QVERIFY(f.prompts->shown.isEmpty());
    }
}

void TestDemo::endStateIsClearWithKnotsKept()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.005);
    runToEnd(w);
    for (const DataGrid* g : {w.computedTable, w.rawTable})
        for (int r = 0; r <= LastDataRow; ++r)
            QVERIFY(g->cell(0, r).isEmpty() && g->cell(1, r).isEmpty());
    QCOMPARE(w.speedReadout->text(), QString());
    QCOMPARE(w.bearingReadout->text(), QString());
    QCOMPARE((w.bearingDial->needleEnd() - kDialCentre), needleOffset(0));
    QCOMPARE((w.speedDial->needleEnd() - kDialCentre), needleOffset(210));
    QCOMPARE(w.speedUnitsLabel->text(), QStringLiteral("Kts"));
    QCOMPARE(w.computedUnits->cell(0, 0), QStringLiteral("    Knots"));
    QCOMPARE(w->pipeline().liveUnitsWord(), QStringLiteral("Knots"));
    QCOMPARE(w.speedDial->face(), DialFace::Knots);
}

void TestDemo::logFileByteForByte()
{
    MainWindowFixture f(QByteArray("[Options]\nOrientation=1\n"));
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.005);
    w.clockTimer->stop();
    w.setClockText(QStringLiteral("10/12/2026 08:15:00"));
    f.prompts->fileAnswers << f.path(QStringLiteral("demo.log"));
    w->newLogFile();
    w->startLogging();
    f.prompts->confirmAnswers << true; // yes, log the demonstration
    runToEnd(w);
    // X rises 0..9 units on a fixed Y: the bearings, face down and "from", are those of the
    // X/Y ratio, the same in each run.
    const QStringList bearings =
        texts({"002", "013", "023", "031", "039", "045", "050", "054", "058", "061"});
    // A units line stands before the first record and before each record in other units.
    QByteArray expected = "\"Speed\",\"Bearing\",\"Date-Time\"\r\n";
    QString lastWord;
    for (int i = 0; i < 30; ++i) {
        const QString word = unitsInfo(*unitsOfSpeedText(kSpeeds.at(i))).speedUnits;
        if (word != lastWord)
            expected += "\"" + word.toLatin1() + "\",\"Degrees\",\"24 Hour UTC\"\r\n";
        lastWord = word;
        expected += "\"" + kSpeeds.at(i).toLatin1() + "\",\"" + bearings.at(i % 10).toLatin1() +
                    "\",\"10/12/2026 08:15:00\"\r\n";
    }
    QCOMPARE(f.readFile(QStringLiteral("demo.log")), expected);
}

void TestDemo::stopLogDuringRunLeavesRestUnlogged()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.02);
    f.prompts->fileAnswers << f.path(QStringLiteral("demo.log"));
    w->newLogFile();
    w->startLogging();
    Watcher watch(w, [&](int shown) {
        if (shown == 5)
            w->stopLogging(); // Stop Log is chosen from the menu in the real run
    });
    f.prompts->confirmAnswers << true;
    runToEnd(w);
    QCOMPARE(watch.speeds.size(), 30); // the display ran on to the end
    const QList<QByteArray> lines = f.readFile(QStringLiteral("demo.log")).split('\n');
    QCOMPARE(lines.size(), 2 + 5 + 1);
    QVERIFY(lines.at(6).startsWith("\"0661\""));
}

void TestDemo::windowStaysAliveDuringRun()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.1); // three seconds in all
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, [&] { ++ticks; });
    timer.start(100);
    QTimer::singleShot(500, w.window(), [&] { w.aboutAction->trigger(); });
    bool innerDemoRan = false;
    QTimer::singleShot(700, w.window(), [&] {
        // Another demonstration beside this one.
        WindowProbe& ww = w;
        ww->setTimeScaleForTests(0.001);
        ww->runDemonstration();
        ww->setTimeScaleForTests(0.1);
        innerDemoRan = true;
    });
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runToEnd(w);
    const double cpu = cpuSeconds() - cpu0;
    const double seconds = double(wall.elapsed()) / 1000.0;
    QVERIFY(seconds >= 2.9);
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
    QVERIFY(w->aboutDialog()->isVisible());
    QVERIFY(innerDemoRan);
    // The waits block rather than spin: the run costs a small part of one core.
    QVERIFY2(cpu < 0.25 * seconds,
             qPrintable(QStringLiteral("%1 s CPU in %2 s").arg(cpu).arg(seconds)));
}

void TestDemo::demonstrationWhileLoggingAsksFirst()
{
    // With No (the default answer), the invented samples are shown but stay out of the real
    // log; the status bar says a demonstration runs.
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->setTimeScaleForTests(0.005);
    f.prompts->fileAnswers << f.path(QStringLiteral("survey.log"));
    w->newLogFile();
    w->startLogging();
    w.demonstrationAction->trigger();
    QCOMPARE(f.prompts->shown.last().kind, QStringLiteral("confirm"));
    QVERIFY(!f.prompts->lastYesByDefault); // Return does not put invented samples in a log
    QCOMPARE(w->statusPanel(3), QStringLiteral("DEMONSTRATION"));
    QCOMPARE(w->statusPanel(0), QStringLiteral("LOGGING"));
    QTRY_VERIFY_WITH_TIMEOUT(!w->demonstration().running(), 60000);
    QCOMPARE(w->statusPanel(3), QString());
    QCOMPARE(f.readFile(QStringLiteral("survey.log")),
             QByteArray("\"Speed\",\"Bearing\",\"Date-Time\"\r\n"));
    // Without logging nothing is asked.
    f.prompts->clear();
    w->stopLogging();
    runToEnd(w);
    QVERIFY(f.prompts->shown.isEmpty());
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
