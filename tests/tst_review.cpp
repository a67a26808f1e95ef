// Reviewing a recording: going to any record of a replayed log (the session and the replay bar's
// slider and position text), play speeds, the end of the file, the History window with its plot
// and summary, and damaged files that still open, plot and summarise.

#include "app/DataGrid.h"
#include "app/HistoryPane.h"
#include "app/HistoryPlot.h"
#include "app/LivePlot.h"
#include "app/MainWindow.h"
#include "app/ReplayControls.h"
#include "history/LiveHistory.h"
#include "export/LogExport.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "session/LiveSession.h"
#include "tests/support/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

const QByteArray kHeader("\"Speed\",\"Bearing\",\"Date-Time\"\r\n");
const QByteArray kUnitsMs("\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n");

QByteArray record(const QByteArray& speed, const QByteArray& bearing, const QByteArray& stamp)
{
    return "\"" + speed + "\",\"" + bearing + "\",\"" + stamp + "\"\r\n";
}

// Record k of a long log: speed 0.kkk (k below 1000), bearing k mod 360, one second apart.
QByteArray numberedRecord(int k)
{
    const QByteArray speed = "0." + QByteArray::number(k % 1000).rightJustified(3, '0');
    const QByteArray bearing = QByteArray::number(k % 360).rightJustified(3, '0');
    const int s = k % 60, m = (k / 60) % 60, h = k / 3600;
    const QByteArray stamp = "01/06/2024 " + QByteArray::number(h).rightJustified(2, '0') + ':' +
                             QByteArray::number(m).rightJustified(2, '0') + ':' +
                             QByteArray::number(s).rightJustified(2, '0');
    return record(speed, bearing, stamp);
}

// Six records with two units lines among them (a recording resumed twice): lines 0 to 7 after the
// first units line are records 0, 1, 2, a units line, records 3, 4, a units line, record 5.
QByteArray resumedLog()
{
    return kHeader + kUnitsMs + numberedRecord(0) + numberedRecord(1) + numberedRecord(2) +
           kUnitsMs + numberedRecord(3) + numberedRecord(4) + kUnitsMs + numberedRecord(5);
}

QByteArray numberedLog(int records)
{
    QByteArray file = kHeader + kUnitsMs;
    for (int k = 0; k < records; ++k)
        file += numberedRecord(k);
    return file;
}

// A session on its own with the samples it hands to the pipeline.
struct Session
{
    QTemporaryDir dir;
    FlowPipeline pipeline;
    ReplaySession session{&pipeline};
    QList<Sample> samples;

    explicit Session(const QByteArray& file)
    {
        QObject::connect(&pipeline, &FlowPipeline::sampleReady,
                         [this](const Sample& s) { samples << s; });
        write(file);
    }
    QString path() const { return dir.filePath(QStringLiteral("run.log")); }
    void write(const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly) const
    {
        QFile f(path());
        QVERIFY(f.open(mode));
        f.write(bytes);
    }
    bool open()
    {
        QString reason;
        return session.open(path(), &reason);
    }
    QString last() const
    {
        if (samples.isEmpty())
            return QString();
        const Sample& s = samples.last();
        return s.speedText + QLatin1Char(' ') + s.bearingText + QLatin1Char(' ') + s.timeText;
    }
};

QString numberedText(int k)
{
    const QByteArray r = numberedRecord(k);
    return QString::fromLatin1(r.mid(1, 5) + ' ' + r.mid(9, 3) + ' ' + r.mid(15, 19));
}

struct Window
{
    MainWindowFixture f;
    explicit Window(const QByteArray& file)
    {
        f.writeFile(QStringLiteral("review.log"), file);
        f.w()->setTimeScaleForTests(0.01);
    }
    WindowProbe& w() { return f.w(); }
    ReplayControls& controls() { return *f.w()->replayControls(); }
    bool open()
    {
        f.prompts->fileAnswers << f.path(QStringLiteral("review.log"));
        f.w().openLogAction->trigger();
        return f.w()->replay().isOpen();
    }
    bool indexed() { return f.w()->replay().index().isFinished(); }
};

} // namespace

class TestReview : public QObject
{
    Q_OBJECT
private slots:
    void seekShowsThatRecordAndStepsOnFromIt_data();
    void seekShowsThatRecordAndStepsOnFromIt();
    void positionSignalsAndClamping();
    void tailBeyondTheIndexIsReadAfterSeeking();
    void growingFileGrowsTheCount();
    void maxSpeedShowsBatchesAndStopsAtTheEnd();
    void positionText_data();
    void positionText();
    void barShowsPositionAndSliderRange();
    void sliderSeeks();
    void speedChoiceSetsPlayInterval_data();
    void speedChoiceSetsPlayInterval();
    void historyWindowShowsPlotAndClickSeeks();
    void summaryOfSmallFileAndCopy();
    void exportSpanWritesTheSpanShown();
    void historyWindowOpensInsideTheScreenClearOfTheMenuBar();
    void historyChosenAgainIsRaisedNotClosed();
    void exitKeyWorksInTheHistoryWindow();
    void exportSpanNeedsSamples_data();
    void exportSpanNeedsSamples();
    void stripChartFollowsTheReplay();
    void damagedFileOpensPlotsAndSummarises();
    void seekingShowsTheRecordsBeforeAsIfPlayed_data();
    void seekingShowsTheRecordsBeforeAsIfPlayed();
    void liveSamplesFeedTheHistoryWithNoFileOpen();
    void liveHistoryTakesTheUnitsOfItsFirstRecord();
    void bearingIsReadInDecimalByEveryReader_data();
    void bearingIsReadInDecimalByEveryReader();
    void unitsLinesAreNotCountedAsRecords();
    void playGivesNoTickToAUnitsLine();
    void seekingAcrossAUnitsLine_data();
    void seekingAcrossAUnitsLine();
    void unitsLineBeyondTheIndexIsNotCounted();
};

void TestReview::seekShowsThatRecordAndStepsOnFromIt_data()
{
    QTest::addColumn<int>("record");
    QTest::newRow("first") << 0;
    QTest::newRow("inside the first index step") << 100;
    QTest::newRow("on an index step") << 512;
    QTest::newRow("after an index step") << 777;
    QTest::newRow("last") << 1999;
}

void TestReview::seekShowsThatRecordAndStepsOnFromIt()
{
    QFETCH(int, record);
    Session s(numberedLog(2000));
    QVERIFY(s.open());
    QTRY_VERIFY(s.session.index().isFinished());
    QVERIFY(s.session.seek(record));
    QCOMPARE(s.last(), numberedText(record));
    QCOMPARE(s.session.position(), qint64(record));
    const bool more = s.session.step();
    QCOMPARE(more, record < 1999);
    QCOMPARE(s.last(), numberedText(std::min(record + 1, 1999)));
    // Back to the first record and on from it, sequentially.
    QVERIFY(s.session.seek(0));
    QVERIFY(s.session.step());
    QCOMPARE(s.last(), numberedText(1));
}

void TestReview::positionSignalsAndClamping()
{
    Session s(numberedLog(10));
    QSignalSpy positions(&s.session, &ReplaySession::positionChanged);
    QVERIFY(s.open());
    QCOMPARE(s.session.position(), -1);
    QTRY_COMPARE(s.session.recordCount(), 10);
    QVERIFY(s.session.seek(25)); // beyond the end: the last record
    QCOMPARE(s.session.position(), 9);
    QCOMPARE(s.last(), numberedText(9));
    QVERIFY(s.session.seek(-3));
    QCOMPARE(s.last(), numberedText(0));
    QCOMPARE(positions.size(), 2);
    QCOMPARE(positions.at(0), (QVariantList{qint64(9), qint64(10)}));
    QCOMPARE(positions.at(1), (QVariantList{qint64(0), qint64(10)}));
    s.session.close();
    QVERIFY(!s.session.seek(0));
    QCOMPARE(s.session.recordCount(), 0);
}

void TestReview::tailBeyondTheIndexIsReadAfterSeeking()
{
    Session s(numberedLog(300));
    QVERIFY(s.open());
    s.session.index().setPollInterval(0); // the index stays where it is
    QTRY_VERIFY(s.session.index().isFinished());
    s.write(numberedRecord(300) + numberedRecord(301), QIODevice::Append);
    QVERIFY(s.session.seek(298)); // through the index, away from the reader
    QVERIFY(s.session.step());
    QCOMPARE(s.last(), numberedText(299));
    QVERIFY(s.session.step()); // not indexed: the reader goes on after the index
    QCOMPARE(s.last(), numberedText(300));
    QCOMPARE(s.session.recordCount(), 301);
    QVERIFY(s.session.seek(5));
    QVERIFY(s.session.seek(301)); // clamped to the records known
    QCOMPARE(s.last(), numberedText(300));
    QVERIFY(s.session.step());
    QCOMPARE(s.last(), numberedText(301));
    QVERIFY(!s.session.step()); // end of the file
}

void TestReview::growingFileGrowsTheCount()
{
    Session s(numberedLog(3));
    QVERIFY(s.open());
    s.session.index().setPollInterval(10);
    QTRY_COMPARE(s.session.recordCount(), 3);
    QSignalSpy counts(&s.session, &ReplaySession::countChanged);
    // A line being written is counted once its line end has arrived.
    s.write(numberedRecord(3) + numberedRecord(4).chopped(2), QIODevice::Append);
    QTRY_COMPARE(s.session.recordCount(), 4);
    s.write("\r\n", QIODevice::Append);
    QTRY_COMPARE(s.session.recordCount(), 5);
    QVERIFY(!counts.isEmpty());
    QVERIFY(s.session.seek(4));
    QCOMPARE(s.last(), numberedText(4));
}

void TestReview::maxSpeedShowsBatchesAndStopsAtTheEnd()
{
    const int records = 1000;
    Session s(numberedLog(records));
    QSignalSpy ends(&s.session, &ReplaySession::endReached);
    QVERIFY(s.open());
    QTRY_VERIFY(s.session.index().isFinished());
    s.session.setSpeed(ReplaySession::Speed::Max);
    QCOMPARE(s.session.playTimer().interval(), 0);
    QVERIFY(s.session.step());
    s.session.play();
    QTRY_COMPARE(ends.size(), 1);
    QVERIFY(!s.session.playing());
    QCOMPARE(s.session.position(), records - 1);
    QCOMPARE(s.last(), numberedText(records - 1));
    // Only the last record of each batch went to the display.
    QVERIFY(s.samples.size() <= 2 + records / (ReplaySession::kMaxBatch - 1));
    QVERIFY(s.samples.size() >= records / ReplaySession::kMaxBatch);
}

void TestReview::positionText_data()
{
    QTest::addColumn<qint64>("record");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("text");
    QTest::newRow("done") << qint64(1233) << qint64(56789) << -1
                          << QStringLiteral("record 1,234 of 56,789");
    QTest::newRow("indexing") << qint64(11) << qint64(1234567) << 45
                              << QStringLiteral("record 12 of 1,234,567+ (indexing 45 %)");
    QTest::newRow("nothing shown")
        << qint64(-1) << qint64(0) << -1 << QStringLiteral("record 0 of 0");
}

void TestReview::positionText()
{
    QFETCH(qint64, record);
    QFETCH(qint64, count);
    QFETCH(int, percent);
    QFETCH(QString, text);
    QCOMPARE(ReplayControls::positionText(record, count, percent), text);
}

void TestReview::barShowsPositionAndSliderRange()
{
    Window r(numberedLog(1500));
    QVERIFY(r.open());
    QVERIFY(r.controls().isVisible());
    QTRY_VERIFY(r.indexed());
    QTRY_COMPARE(r.controls().positionLabel()->text(), QStringLiteral("record 1 of 1,500"));
    QCOMPARE(r.controls().slider()->minimum(), 0);
    QCOMPARE(r.controls().slider()->maximum(), 1499);
    QCOMPARE(r.controls().slider()->value(), 0);
    r.w()->replay().step();
    QCOMPARE(r.controls().positionLabel()->text(), QStringLiteral("record 2 of 1,500"));
    QCOMPARE(r.controls().slider()->value(), 1);
    r.w()->closeReplay();
    QCOMPARE(r.controls().slider()->maximum(), 0);
}

void TestReview::sliderSeeks()
{
    Window r(numberedLog(1500));
    QVERIFY(r.open());
    QTRY_VERIFY(r.indexed());
    QSlider* slider = r.controls().slider();
    slider->setValue(1000); // a click in the groove or a key
    QCOMPARE(r.w().speedReadout->text(), QStringLiteral("0.000"));
    QCOMPARE(r.w().replayTimeLabel->text(), QStringLiteral("01/06/2024 00:16:40 UTC"));
    QCOMPARE(r.controls().positionLabel()->text(), QStringLiteral("record 1,001 of 1,500"));
    // Dragging: the records follow the handle, no more often than the throttle lets them.
    slider->setSliderDown(true);
    slider->setSliderPosition(1200);
    slider->setSliderPosition(1201);
    QCOMPARE(r.w()->replay().position(), 1000); // not yet
    QTRY_COMPARE(r.w()->replay().position(), 1201);
    slider->setSliderPosition(1400);
    slider->setSliderDown(false); // release goes there at once
    QCOMPARE(r.w()->replay().position(), 1400);
    QCOMPARE(r.w().speedReadout->text(), QStringLiteral("0.400"));
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReview::speedChoiceSetsPlayInterval_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("interval");
    QTest::newRow("1/s") << QStringLiteral("1/s") << 1000;
    QTest::newRow("10/s") << QStringLiteral("10/s") << 100;
    QTest::newRow("100/s") << QStringLiteral("100/s") << 10;
    QTest::newRow("Max") << QStringLiteral("Max") << 0;
}

void TestReview::speedChoiceSetsPlayInterval()
{
    QFETCH(QString, choice);
    QFETCH(int, interval);
    Window r(numberedLog(5));
    r.w()->setTimeScaleForTests(1);
    QVERIFY(r.open());
    QComboBox* box = r.controls().speedBox();
    QCOMPARE(box->currentText(), QStringLiteral("1/s")); // the default
    box->setCurrentIndex(box->findText(choice));
    QCOMPARE(r.w().playTimer->interval(), interval);
    r.w().replayPlayButton->click();
    QCOMPARE(r.w().playTimer->interval(), interval);
    QVERIFY(r.w()->replay().playing());
}

void TestReview::historyWindowShowsPlotAndClickSeeks()
{
    Window r(numberedLog(400));
    QVERIFY(r.open());
    HistoryPane* pane = r.w()->historyPane();
    QVERIFY(!pane->isVisible());
    QAction* history = r.w()->findChild<QAction*>(QStringLiteral("historyAction"));
    QVERIFY(history);
    history->trigger();
    QVERIFY(pane->isVisible());
    QVERIFY(history->isChecked());
    QVERIFY(r.w()->isVisible()); // a window of its own beside the main window
    QCOMPARE(r.w()->size().width(), 632);
    QVERIFY(QTest::qWaitForWindowExposed(pane));
    QTRY_VERIFY(r.indexed());
    HistoryPlot* plot = pane->plot();
    QCOMPARE(plot->series(), &r.w()->replay().index().history());
    QCOMPARE(plot->series()->recordCount(), 400);
    QCOMPARE(plot->position(), 0);
    r.w()->replay().step();
    QCOMPARE(plot->position(), 1);
    // A click on the plot goes to the record under the pointer.
    const int x = plot->xOfRecord(300);
    const qint64 target = plot->recordAt(x);
    QVERIFY(std::abs(target - 300) <= 1);
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(x, plot->speedPane().center().y()));
    QCOMPARE(r.w()->replay().position(), target);
    QCOMPARE(plot->position(), target);
    QCOMPARE(r.w().replayTimeLabel->text(),
             numberedText(int(target)).right(19) + QStringLiteral(" UTC"));
    // Closing the window takes the check mark away; the menu shows it again.
    pane->close();
    QVERIFY(!history->isChecked());
    history->trigger();
    QVERIFY(pane->isVisible());
}

void TestReview::summaryOfSmallFileAndCopy()
{
    Window r(kHeader + kUnitsMs + record("0.515", "090", "24/05/2009 14:03:07") +
             record("0.600", "090", "24/05/2009 14:03:08") +
             record("0.700", "090", "24/05/2009 14:03:10"));
    QVERIFY(r.open());
    HistoryPane* pane = r.w()->historyPane();
    pane->show();
    QTRY_VERIFY(r.indexed());
    // Worked by hand: mean (0.515 + 0.600 + 0.700) / 3 = 0.605; deviations -0.090, -0.005,
    // 0.095, population standard deviation sqrt(0.01715 / 3) = 0.0756; all from 090, so the
    // residual flow is the mean speed from 090; intervals 1 s and 2 s: no gap.
    const QString expected = QStringLiteral("Samples: 3\n"
                                            "First: 24/05/2009 14:03:07\n"
                                            "Last: 24/05/2009 14:03:10\n"
                                            "Duration: 3 s\n"
                                            "Times: UTC\n"
                                            "Gaps: 0\n"
                                            "Mean speed: 0.605 m/s\n"
                                            "Minimum speed: 0.515 m/s at 24/05/2009 14:03:07\n"
                                            "Maximum speed: 0.700 m/s at 24/05/2009 14:03:10\n"
                                            "Standard deviation of speed: 0.076 m/s\n"
                                            "Residual speed: 0.605 m/s\n"
                                            "Residual bearing: 090 (flow from)\n"
                                            "Bad lines: 0\n");
    QTRY_COMPARE(pane->summaryText()->toPlainText(), expected);
    QVERIFY(pane->summaryText()->isReadOnly());
    QGuiApplication::clipboard()->clear();
    pane->copyButton()->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
}

void TestReview::damagedFileOpensPlotsAndSummarises()
{
    // Bad lines among good ones, and a last line torn off in the middle of its writing.
    QByteArray file = kHeader + kUnitsMs;
    for (int k = 0; k < 50; ++k)
        file += numberedRecord(k);
    file += "garbage\r\n";
    file += record("0.5.5", "088", "01/06/2024 00:01:00");
    file += "\r\n";
    for (int k = 50; k < 60; ++k)
        file += numberedRecord(k);
    file += "\"0.51";
    Window r(file);
    QVERIFY(r.open());
    r.w()->historyPane()->show();
    QTRY_VERIFY(r.indexed());
    const HistorySeries& history = r.w()->replay().index().history();
    QCOMPARE(history.recordCount(), 63);
    QCOMPARE(history.badCount(), 3);
    QTRY_VERIFY(r.w()->historyPane()->summaryText()->toPlainText().contains(
        QStringLiteral("Samples: 60\n")));
    QVERIFY(r.w()->historyPane()->summaryText()->toPlainText().endsWith(
        QStringLiteral("Bad lines: 3\n")));
    QVERIFY(!r.w()->historyPane()->plot()->grab().isNull());
    QVERIFY(r.f.prompts->errors().isEmpty()); // nothing reported per line while indexing
    // Going past the bad lines to a good record shows it without a box.
    QVERIFY(r.w()->replay().seek(55));
    QCOMPARE(r.w().replayTimeLabel->text(), numberedText(52).right(19) + QStringLiteral(" UTC"));
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReview::seekingShowsTheRecordsBeforeAsIfPlayed_data()
{
    QTest::addColumn<bool>("large");
    QTest::newRow("default size, eight rows") << false;
    QTest::newRow("large window, more rows") << true;
}

void TestReview::seekingShowsTheRecordsBeforeAsIfPlayed()
{
    QFETCH(bool, large);
    QByteArray file = kHeader + kUnitsMs;
    for (int k = 0; k < 60; ++k)
        file += numberedRecord(k);
    Window r(file);
    if (large) {
        r.w()->resize(r.w()->width() * 2, r.w()->height() * 2);
        QCoreApplication::processEvents();
    }
    const int rows = r.w().computedTable->rows().rowCount();
    QCOMPARE(rows > 8, large);
    QVERIFY(r.open());
    QTRY_VERIFY(r.indexed());
    // Forward, back, and near the start where fewer records come before.
    for (const int target : {50, 12, 3}) {
        QVERIFY(r.w()->replay().seek(target));
        QCOMPARE(r.w()->replay().position(), qint64(target));
        // Newest at the bottom: the record sought, and above it those before it, blank above
        // the first record of the file.
        QStringList expected;
        for (int k = target - (rows - 1); k <= target; ++k)
            expected << (k < 0 ? QString() : QStringLiteral("    ") + numberedText(k).left(5));
        QStringList shown;
        for (int row = 0; row < rows; ++row)
            shown << r.w().computedTable->cell(0, row);
        QCOMPARE(shown, expected);
    }
}

void TestReview::liveSamplesFeedTheHistoryWithNoFileOpen()
{
    MainWindowFixture f;
    f.w().setClockText(QStringLiteral("24/05/2009 14:03:07"));
    // The window is built when first opened; the session's history is kept from the start.
    f.w()->session().receiveRecord(QStringLiteral("+0.100 +0.000"), SampleSource::Live);
    for (QWidget* top : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<HistoryPane*>(top));
    f.w()->findChild<QAction*>(QStringLiteral("historyAction"))->setChecked(true);
    HistoryPane* pane = f.w()->historyPane();
    QVERIFY(pane->isVisible());
    QCOMPARE(pane->plot()->series(), &pane->liveHistory());
    QCOMPARE(pane->liveHistory().recordCount(), 1);
    f.w()->session().receiveRecord(QStringLiteral("+0.300 +0.000"), SampleSource::Live);
    f.w()->session().receiveRecord(QStringLiteral("+0.300 +0.000"), SampleSource::Demonstration);
    QCOMPARE(pane->liveHistory().recordCount(), 2);
    QCOMPARE(pane->liveHistory().sampleCount(), 2);
    const QString text = pane->summaryTextNow();
    QVERIFY2(text.startsWith(QStringLiteral("Samples: 2\nFirst: 24/05/2009 14:03:07\n")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Maximum speed: 0.300 m/s")), qPrintable(text));
}

// The live history keeps the units of the session's first record and converts later records into
// them; the demonstration's invented samples are left out.
void TestReview::liveHistoryTakesTheUnitsOfItsFirstRecord()
{
    // The session's own road: each poll one batch to its destinations.
    LiveSession session(nullptr);
    LiveHistory& live = session.history();
    QSignalSpy grew(&live, &LiveHistory::grew);
    session.receiveRecord(QStringLiteral("+00150 +00000"));
    session.receiveRecord(QStringLiteral("+00.15 +00.00"));
    session.startDemonstration(true);
    session.receiveRecord(QStringLiteral("+00900 +00000"), SampleSource::Demonstration);
    session.stopDemonstration();
    QCOMPARE(grew.count(), 2);
    QCOMPARE(live.series().recordCount(), 2);
    QCOMPARE(live.series().badCount(), 0);
    QCOMPARE(live.series().units(), SpeedUnitsKind::MillimetresPerSecond);
    // 0.15 kn is 77.17 mm/s, beside the 150 mm/s record.
    const HistoryTotals totals = live.series().totals();
    const double mean = totals.sumSpeed / double(totals.samples);
    QVERIFY2(qAbs(mean - (150 + 77.17) / 2) < 0.05, qPrintable(QString::number(mean)));
}

void TestReview::exportSpanWritesTheSpanShown()
{
    Window r(kHeader + kUnitsMs + record("0.515", "090", "24/05/2009 14:03:07") +
             record("0.600", "180", "24/05/2009 14:03:08") +
             record("0.700", "270", "24/05/2009 14:03:10"));
    QVERIFY(r.open());
    HistoryPane* pane = r.w()->historyPane();
    pane->show();
    QTRY_VERIFY(r.indexed());
    const QString out = r.f.path(QStringLiteral("span.csv"));
    r.f.prompts->fileAnswers << out;
    pane->exportButton()->click();
    // The whole file is shown: its three samples, in UTC, as from-bearings in m/s.
    const QList<QByteArray> rows = r.f.readFile(QStringLiteral("span.csv")).split('\n');
    QStringList data;
    for (const QByteArray& row : rows) {
        if (row.startsWith("2009-"))
            data << QString::fromLatin1(row.trimmed());
    }
    QCOMPARE(data, (QStringList{QStringLiteral("2009-05-24T14:03:07.000Z,,,m/s,,,0.515,90,from,,"),
                                QStringLiteral("2009-05-24T14:03:08.000Z,,,m/s,,,0.6,180,from,,"),
                                QStringLiteral("2009-05-24T14:03:10.000Z,,,m/s,,,0.7,270,from,,")}));
    // A name that is neither .csv nor .nc is refused with a message.
    r.f.prompts->fileAnswers << r.f.path(QStringLiteral("span.txt"));
    pane->exportButton()->click();
    QVERIFY(r.f.prompts->errors().last().contains(QStringLiteral(".csv or .nc")));
}

// Replay, the index (and so the history) and export read a log's bearing the same way: decimal
// digits. A bearing in any other form makes its line bad for all of them.
void TestReview::bearingIsReadInDecimalByEveryReader_data()
{
    QTest::addColumn<QByteArray>("bearing");
    QTest::addColumn<int>("degrees"); // -1: a bad line
    QTest::newRow("decimal") << QByteArray("008") << 8;
    QTest::newRow("decimal, south-west") << QByteArray("225") << 225;
    QTest::newRow("0x prefix") << QByteArray("0x8") << -1;
    QTest::newRow("0X prefix") << QByteArray("0X8") << -1;
    QTest::newRow("dollar prefix") << QByteArray("$08") << -1;
    QTest::newRow("hexadecimal digits after dollar") << QByteArray("$FF") << -1;
    QTest::newRow("hexadecimal digit") << QByteArray("00A") << -1;
}

void TestReview::bearingIsReadInDecimalByEveryReader()
{
    QFETCH(QByteArray, bearing);
    QFETCH(int, degrees);
    const bool good = degrees >= 0;
    Session s(kHeader + kUnitsMs + record("0.515", bearing, "24/05/2009 14:03:07"));
    QVERIFY(s.open());
    QTRY_VERIFY(s.session.index().isFinished());

    // Replay: shown in colour with its needle, or the conversion message and nothing shown.
    QVERIFY(s.session.step());
    QCOMPARE(s.samples.size(), 1);
    const Sample& replayed = s.samples.first();
    QCOMPARE(replayed.computed, good);
    if (good) {
        QCOMPARE(replayed.bearing, double(degrees));
    } else {
        QCOMPARE(replayed.error,
                 QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(bearing)));
    }

    // The index and the history made from it.
    const HistorySeries& history = s.session.index().history();
    QCOMPARE(history.recordCount(), 1);
    QCOMPARE(history.badCount(), good ? 0 : 1);
    if (good)
        QCOMPARE(history.sampleAt(0).bearing, degrees);

    // Export.
    const ExportResult exported = spanStatisticsOfFile(s.path());
    QCOMPARE(exported.samples, good ? 1 : 0);
    QCOMPARE(exported.skippedLines, good ? 0 : 1);
    QCOMPARE(exported.ok(), good);
}

void TestReview::unitsLinesAreNotCountedAsRecords()
{
    Window r(resumedLog());
    QVERIFY(r.open());
    QTRY_VERIFY(r.indexed());
    QLabel* label = r.controls().positionLabel();
    QCOMPARE(label->text(), QStringLiteral("record 1 of 6"));
    QCOMPARE(r.w().replayTimeLabel->text(), numberedText(0).right(19) + QStringLiteral(" UTC"));
    // Each step shows the next record, over the units lines.
    for (int k = 1; k < 6; ++k) {
        QVERIFY(r.w()->replay().step());
        QCOMPARE(label->text(), QStringLiteral("record %1 of 6").arg(k + 1));
        QCOMPARE(r.w().replayTimeLabel->text(), numberedText(k).right(19) + QStringLiteral(" UTC"));
    }
    QVERIFY(!r.w()->replay().step());
    QCOMPARE(label->text(), QStringLiteral("record 6 of 6"));
    QVERIFY(r.f.prompts->errors().isEmpty());
}

void TestReview::playGivesNoTickToAUnitsLine()
{
    Session s(resumedLog());
    QSignalSpy ends(&s.session, &ReplaySession::endReached);
    QVERIFY(s.open());
    QTRY_VERIFY(s.session.index().isFinished());
    QList<int> shownAtTick; // records shown when each tick ended
    QObject::connect(&s.session.playTimer(), &QTimer::timeout, &s.session,
                     [&] { shownAtTick << int(s.samples.size()); });
    s.session.setTimeScale(0.01);
    s.session.play();
    QTRY_COMPARE(ends.size(), 1);
    // One record a tick, then the tick that finds the end.
    QCOMPARE(shownAtTick, (QList<int>{1, 2, 3, 4, 5, 6, 6}));
    QStringList shown;
    for (const Sample& sample : std::as_const(s.samples))
        shown << sample.speedText + QLatin1Char(' ') + sample.bearingText + QLatin1Char(' ') +
                     sample.timeText;
    QStringList expected;
    for (int k = 0; k < 6; ++k)
        expected << numberedText(k);
    QCOMPARE(shown, expected);
}

void TestReview::seekingAcrossAUnitsLine_data()
{
    QTest::addColumn<int>("line");           // sought
    QTest::addColumn<int>("rows");           // shown at once
    QTest::addColumn<QList<int>>("records"); // the records handed to the display
    QTest::addColumn<int>("number");         // of the record shown, from 1
    QTest::newRow("a units line: the record after it") << 3 << 1 << QList<int>{3} << 4;
    QTest::newRow("the record after a units line") << 4 << 1 << QList<int>{3} << 4;
    QTest::newRow("a units line among the rows before") << 4 << 3 << QList<int>{2, 3} << 4;
    QTest::newRow("the last record") << 7 << 4 << QList<int>{3, 4, 5} << 6;
}

void TestReview::seekingAcrossAUnitsLine()
{
    QFETCH(int, line);
    QFETCH(int, rows);
    QFETCH(QList<int>, records);
    QFETCH(int, number);
    Session s(resumedLog());
    QVERIFY(s.open());
    QTRY_VERIFY(s.session.index().isFinished());
    s.session.setRowsShown(rows);
    QVERIFY(s.session.seek(line));
    QStringList shown;
    for (const Sample& sample : std::as_const(s.samples))
        shown << sample.speedText + QLatin1Char(' ') + sample.bearingText + QLatin1Char(' ') +
                     sample.timeText;
    QStringList expected;
    for (const int k : records)
        expected << numberedText(k);
    QCOMPARE(shown, expected);
    QCOMPARE(s.session.recordsThrough(s.session.position()), qint64(number));
    QCOMPARE(s.session.recordsKnown(), qint64(6));
}

void TestReview::unitsLineBeyondTheIndexIsNotCounted()
{
    Session s(resumedLog());
    QVERIFY(s.open());
    s.session.index().setPollInterval(0); // the index stays where it is
    QTRY_VERIFY(s.session.index().isFinished());
    s.write(kUnitsMs + numberedRecord(6), QIODevice::Append);
    QVERIFY(s.session.seek(7));
    QVERIFY(s.session.step()); // read beyond the index, over the new units line
    QCOMPARE(s.last(), numberedText(6));
    QCOMPARE(s.session.position(), qint64(9));
    QCOMPARE(s.session.recordsThrough(9), qint64(7));
    QCOMPARE(s.session.recordsKnown(), qint64(7));
    QVERIFY(!s.session.step());
    QCOMPARE(s.session.recordsKnown(), qint64(7));
}

void TestReview::historyWindowOpensInsideTheScreenClearOfTheMenuBar()
{
    MainWindowFixture f;
    QAction* history = f.w()->findChild<QAction*>(QStringLiteral("historyAction"));
    history->trigger();
    HistoryPane* pane = f.w()->historyPane();
    QVERIFY(QTest::qWaitForWindowExposed(pane));
    const QRect place = pane->frameGeometry();
    QVERIFY2(pane->screen()->availableGeometry().contains(place),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(place.x())
                            .arg(place.y())
                            .arg(place.width())
                            .arg(place.height())));
    // Beside the main window, or over it with the main window's menu bar left in view.
    QWidget* menuBar = f.w()->findChild<QWidget*>(QStringLiteral("menuBar"));
    const int belowMenuBar = menuBar->mapToGlobal(QPoint(0, menuBar->height())).y();
    QVERIFY2(!place.intersects(f.w()->frameGeometry()) || place.top() >= belowMenuBar,
             qPrintable(QString::number(place.top())));
}

void TestReview::historyChosenAgainIsRaisedNotClosed()
{
    MainWindowFixture f;
    QAction* history = f.w()->findChild<QAction*>(QStringLiteral("historyAction"));
    history->trigger();
    HistoryPane* pane = f.w()->historyPane();
    QVERIFY(QTest::qWaitForWindowActive(pane));
    // The main window comes to the front, over the History window; the menu brings it back.
    QApplication::setActiveWindow(f.window.get());
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    history->trigger();
    QVERIFY(pane->isVisible());
    QVERIFY(history->isChecked());
    QVERIFY(QTest::qWaitForWindowActive(pane));
    // Its own close button still closes it, and takes the check mark away.
    pane->close();
    QVERIFY(!pane->isVisible());
    QVERIFY(!history->isChecked());
}

void TestReview::exitKeyWorksInTheHistoryWindow()
{
    MainWindowFixture f;
    QSignalSpy closed(f.window.get(), &MainWindow::closed);
    f.w()->findChild<QAction*>(QStringLiteral("historyAction"))->trigger();
    HistoryPane* pane = f.w()->historyPane();
    QApplication::setActiveWindow(pane);
    QVERIFY(QTest::qWaitForWindowActive(pane));
    QTest::keyClick(pane, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!f.window->isVisible());
}

void TestReview::exportSpanNeedsSamples_data()
{
    QTest::addColumn<QByteArray>("file"); // replayed; empty: the live session's samples
    QTest::addColumn<int>("liveSamples");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("live, none yet") << QByteArray() << 0 << false;
    QTest::newRow("live, one") << QByteArray() << 1 << true;
    QTest::newRow("log with its header only") << kHeader << 0 << false;
    QTest::newRow("log with bad lines only") << kHeader + kUnitsMs + "garbage\r\n" << 0 << false;
    QTest::newRow("log with samples")
        << kHeader + kUnitsMs + record("0.515", "090", "24/05/2009 14:03:07") << 0 << true;
}

void TestReview::exportSpanNeedsSamples()
{
    QFETCH(QByteArray, file);
    QFETCH(int, liveSamples);
    QFETCH(bool, enabled);
    Window r(file);
    if (!file.isEmpty()) {
        QVERIFY(r.open());
        QTRY_VERIFY(r.indexed());
    }
    HistoryPane* pane = r.w()->historyPane();
    pane->show();
    // "Export span..." is greyed while there is nothing to export, and comes on with a sample.
    for (int k = 0; k < liveSamples; ++k)
        r.w()->session().receiveRecord(QStringLiteral("+0.100 +0.000"), SampleSource::Live);
    QCOMPARE(pane->exportButton()->isEnabled(), enabled);
    const qsizetype shown = r.f.prompts->shown.size();
    r.f.prompts->fileAnswers << std::nullopt; // a save dialog, if one came, is cancelled
    pane->exportButton()->click();
    QCOMPARE(r.f.prompts->shown.size() > shown, enabled);
}

void TestReview::stripChartFollowsTheReplay()
{
    Window r(numberedLog(400));
    // A live sample first, so that the live session has something the chart could show.
    r.w()->session().receiveRecord(QStringLiteral("+0.100 +0.000"), SampleSource::Live);
    r.w()->resize(r.w()->width() * 2, r.w()->height() * 2);
    QCoreApplication::processEvents();
    LivePlot* plot = r.w()->livePlotIfBuilt();
    QVERIFY(plot && plot->isVisible());
    QCOMPARE(plot->series(), &r.w()->session().history().series());
    QVERIFY(r.open());
    QTRY_VERIFY(r.indexed());
    // The replayed file, its minutes up to the record shown.
    const HistorySeries& file = r.w()->replay().index().history();
    QCOMPARE(plot->series(), &file);
    QCOMPARE(plot->spanEndMs(), file.timeMsAt(0));
    QVERIFY(r.w()->replay().seek(300));
    QCOMPARE(plot->spanEndMs(), file.timeMsAt(300));
    r.w()->replay().step();
    QCOMPARE(plot->spanEndMs(), file.timeMsAt(301));
    // Closed: the live session again, up to its newest sample.
    r.w().closeLogAction->trigger();
    QCOMPARE(plot->series(), &r.w()->session().history().series());
    QCOMPARE(plot->spanEndMs(), r.w()->session().history().series().lastTimeMs());
}

QTEST_MAIN(TestReview)
#include "tst_review.moc"
