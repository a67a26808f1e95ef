// Recording through the main window: File > New, Start Log and Stop Log, the append step for
// every computed sample, and what the operator sees when the log file cannot be written.

#include "app/DataGrid.h"
#include "app/MainWindow.h"
#include "app/NoteLabel.h"
#include "sources/SerialSource.h"
#include "logformat/LogFormat.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Texts.h"

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QTest>

namespace {

const QByteArray kHeader("\"Speed\",\"Bearing\",\"Date-Time\"\r\n");
const QString kStamp = QStringLiteral("24/05/2009 14:03:07");
const QByteArray kFaceDown("[Options]\nOrientation=1\n");

// A sample at a fixed clock text, so the logged line is known to the byte.
void sample(WindowProbe& w, const QString& record, const QString& stamp = kStamp)
{
    w.setClockText(stamp);
    w->session().receiveRecord(record, SampleSource::Live);
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT
private slots:
    void newCreatesFileWithHeaderOnly();
    void newAsksBeforeReplacing();
    void newReplaceAnsweredNoLeavesFileAlone();
    void newCancelledKeepsPreviousLogFile();
    void newThatCannotCreateKeepsPreviousLogFile();
    void loggedFileByteForByte();
    void startStopStartWritesOneUnitsLine();
    void newWhileLoggingMovesToTheNewFile();
    void unitsChangingMidFileKeepTheirWidths();
    void nothingWrittenWhileLoggingIsOff();
    void failingAppendShowsOneBoxAndResumes();
    void deletedLogFileIsNotRecreated();
    void keptSamplesGoIntoTheNextLogFile();
    void droppedSamplesAreCountedAndToldWhenTheFileIsBack();
    void loggingStaysShownDuringReplay();
    void samplesDuringSaveDialogGoToPreviousFile();
};

void TestRecording::newCreatesFileWithHeaderOnly()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w.replayBar->show();
    w->session().receiveRecord(QStringLiteral("+00015 +00515"), SampleSource::Live);
    const QString path = f.path(QStringLiteral("survey.log"));
    f.prompts->fileAnswers << path;
    w.newLogAction->trigger();
    QCOMPARE(f.prompts->shown.first().kind, QStringLiteral("save"));
    QCOMPARE(f.prompts->shown.first().text, QStringLiteral("New Log File"));
    QCOMPARE(f.prompts->lastPreset, QStringLiteral("Tessmoor.log"));
    QCOMPARE(f.prompts->lastFilter, QStringLiteral("Tessmoor Marvane Files (*.log)"));
    QCOMPARE(f.readFile(QStringLiteral("survey.log")), kHeader);
    QVERIFY(w->recording().headerPending());
    QCOMPARE(w->recording().currentFile(), path);
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessmoor Marvane - ") + path);
    QVERIFY(w.connectAction->isEnabled());
    QVERIFY(!w.startLogAction->isEnabled()); // not connected
    QVERIFY(!w.replayBar->isVisible());
    QCOMPARE(w.speedReadout->text(), QString()); // cleared
    QVERIFY(!w->recording().logging());
}

void TestRecording::newAsksBeforeReplacing()
{
    MainWindowFixture f;
    f.writeFile(QStringLiteral("survey.log"), "old contents\r\n");
    f.prompts->fileAnswers << f.path(QStringLiteral("survey.log"));
    f.prompts->confirmAnswers << true;
    f.w()->newLogFile();
    QCOMPARE(f.prompts->shown.at(1).kind, QStringLiteral("confirm"));
    QCOMPARE(f.prompts->shown.at(1).text,
             QStringLiteral("File survey.log already exists. Replace?"));
    QCOMPARE(f.readFile(QStringLiteral("survey.log")), kHeader);
}

void TestRecording::newReplaceAnsweredNoLeavesFileAlone()
{
    MainWindowFixture f;
    f.writeFile(QStringLiteral("survey.log"), "old contents\r\n");
    f.prompts->fileAnswers << f.path(QStringLiteral("survey.log"));
    f.prompts->confirmAnswers << false;
    f.w()->newLogFile();
    QCOMPARE(f.readFile(QStringLiteral("survey.log")), QByteArray("old contents\r\n"));
    QCOMPARE(f.w()->recording().currentFile(), QString());
    QCOMPARE(f.w()->windowTitle(), QStringLiteral("Tessmoor Marvane"));
}

void TestRecording::newCancelledKeepsPreviousLogFile()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    w->newLogFile(); // cancelled at once: no name at all
    QCOMPARE(w->recording().currentFile(), QString());
    QVERIFY(!QFile::exists(QStringLiteral("Tessmoor.log")));
    f.prompts->fileAnswers << f.path(QStringLiteral("a.log"));
    w->newLogFile();
    w->newLogFile(); // cancelled
    QCOMPARE(w->recording().currentFile(), f.path(QStringLiteral("a.log")));
    QCOMPARE(w->windowTitle(),
             QStringLiteral("Tessmoor Marvane - ") + f.path(QStringLiteral("a.log")));
}

void TestRecording::newThatCannotCreateKeepsPreviousLogFile()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("a.log"))
                           << f.path(QStringLiteral("missing/b.log"));
    w->newLogFile();
    w->startLogging();
    w->newLogFile();
    QCOMPARE(f.prompts->errors().size(), 1);
    QVERIFY(f.prompts->errors().first().contains(f.path(QStringLiteral("missing/b.log"))));
    QCOMPARE(w->recording().currentFile(), f.path(QStringLiteral("a.log")));
    QCOMPARE(w->windowTitle(),
             QStringLiteral("Tessmoor Marvane - ") + f.path(QStringLiteral("a.log")));
    sample(w, QStringLiteral("+00015 +00515"));
    QVERIFY(f.readFile(QStringLiteral("a.log")).endsWith("\"24/05/2009 14:03:07\"\r\n"));
}

void TestRecording::loggedFileByteForByte()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    w->startLogging();
    QCOMPARE(w->statusPanel(0), QStringLiteral("LOGGING"));
    sample(w, QStringLiteral("+0.015 +0.515"), QStringLiteral("24/05/2009 14:03:07"));
    sample(w, QStringLiteral("+0.115 +0.515"),
           QStringLiteral("24/05/2009 14:03:07")); // same second
    sample(w, QStringLiteral("-9.000 +5.000"), QStringLiteral("24/05/2009 14:03:08"));
    QCOMPARE(f.readFile(QStringLiteral("run.log")),
             kHeader + QByteArray("\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n"
                                  "\"0.515\",\"002\",\"24/05/2009 14:03:07\"\r\n"
                                  "\"0.528\",\"013\",\"24/05/2009 14:03:07\"\r\n"
                                  "\"10.296\",\"299\",\"24/05/2009 14:03:08\"\r\n"));
    QVERIFY(!w->recording().headerPending());
}

void TestRecording::startStopStartWritesOneUnitsLine()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    w->startLogging();
    sample(w, QStringLiteral("+00015 +00515"));
    w->stopLogging();
    QCOMPARE(w->statusPanel(0), QString());
    sample(w, QStringLiteral("+00016 +00515")); // shown, not written
    w->startLogging();
    sample(w, QStringLiteral("+00017 +00515"));
    QCOMPARE(f.readFile(QStringLiteral("run.log")),
             kHeader + QByteArray("\"mm/s\",\"Degrees\",\"24 Hour UTC\"\r\n"
                                  "\"0515\",\"002\",\"24/05/2009 14:03:07\"\r\n"
                                  "\"0515\",\"002\",\"24/05/2009 14:03:07\"\r\n"));
}

void TestRecording::newWhileLoggingMovesToTheNewFile()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("one.log"))
                           << f.path(QStringLiteral("two.log"));
    w->newLogFile();
    w->startLogging();
    sample(w, QStringLiteral("+00015 +00515"));
    w->newLogFile();
    QVERIFY(w->recording().logging()); // a running recording continues into the new file
    sample(w, QStringLiteral("+00.15 +05.15"));
    const QByteArray first =
        kHeader +
        "\"mm/s\",\"Degrees\",\"24 Hour UTC\"\r\n\"0515\",\"002\",\"24/05/2009 14:03:07\"\r\n";
    QCOMPARE(f.readFile(QStringLiteral("one.log")), first);
    QCOMPARE(f.readFile(QStringLiteral("two.log")),
             kHeader + QByteArray("\"Knots\",\"Degrees\",\"24 Hour "
                                  "UTC\"\r\n\"05.15\",\"002\",\"24/05/2009 14:03:07\"\r\n"));
}

void TestRecording::unitsChangingMidFileKeepTheirWidths()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("mixed.log"));
    w->newLogFile();
    w->startLogging();
    sample(w, QStringLiteral("+00015 +00515"));
    sample(w, QStringLiteral("+0.015 +0.515"));
    sample(w, QStringLiteral("+00.15 +05.15"));
    const QList<QByteArray> lines = f.readFile(QStringLiteral("mixed.log")).split('\n');
    // Seven lines and the empty rest after the last line end: each record under a units line of
    // its own units.
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines.at(1), QByteArray("\"mm/s\",\"Degrees\",\"24 Hour UTC\"\r"));
    QCOMPARE(lines.at(2).size(), 35); // 34 characters and the CR
    QCOMPARE(lines.at(3), QByteArray("\"m/s\",\"Degrees\",\"24 Hour UTC\"\r"));
    QCOMPARE(lines.at(4).size(), 36);
    QCOMPARE(lines.at(5), QByteArray("\"Knots\",\"Degrees\",\"24 Hour UTC\"\r"));
    QCOMPARE(lines.at(6), QByteArray("\"05.15\",\"002\",\"24/05/2009 14:03:07\"\r"));
}

void TestRecording::nothingWrittenWhileLoggingIsOff()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("quiet.log"));
    w->newLogFile();
    sample(w, QStringLiteral("+00015 +00515"));
    QCOMPARE(f.readFile(QStringLiteral("quiet.log")), kHeader);
    QVERIFY(w->recording().headerPending());
}

void TestRecording::failingAppendShowsOneBoxAndResumes()
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("This system has no /dev/full to fill a disk with");
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    const QString path = f.path(QStringLiteral("full.log"));
    f.prompts->fileAnswers << path;
    w->newLogFile();
    w->startLogging();
    sample(w, QStringLiteral("+00001 +00515"));
    // The disk fills up: the log file now leads to a device that is always full.
    const QByteArray written = f.readFile(QStringLiteral("full.log"));
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));
    int nested = 0;
    f.prompts->whileShowing = [&] {
        // Samples keep coming while the box is open: no second box on top of it.
        if (nested++ == 0) {
            sample(w, QStringLiteral("+00003 +00515"));
            sample(w, QStringLiteral("+00004 +00515"));
        }
    };
    sample(w, QStringLiteral("+00002 +00515"));
    QCOMPARE(f.prompts->errors().size(), 1);
    QVERIFY(f.prompts->errors().first().contains(QStringLiteral("full.log")));
    f.prompts->whileShowing = nullptr;
    // Space again: the file is writable, and the samples kept meanwhile go out first, in order.
    QVERIFY(QFile::remove(path));
    f.writeFile(QStringLiteral("full.log"), written);
    sample(w, QStringLiteral("+00005 +00515"));
    const QList<QByteArray> lines = f.readFile(QStringLiteral("full.log")).split('\n');
    QStringList bearings;
    for (const QByteArray& line : lines.mid(2))
        if (!line.isEmpty())
            bearings << QString::fromLatin1(line.mid(8, 3));
    // Samples 1..5 have X 1..5 with Y 515: bearings 000, 000, 000, 000, 001.
    QCOMPARE(lines.size(), 2 + 5 + 1);
    QCOMPARE(bearings, (texts({"000", "000", "000", "000", "001"})));
    QCOMPARE(f.prompts->errors().size(), 1);
}

void TestRecording::deletedLogFileIsNotRecreated()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    const QString path = f.path(QStringLiteral("gone.log"));
    f.prompts->fileAnswers << path;
    w->newLogFile();
    w->startLogging();
    QVERIFY(QFile::remove(path));
    sample(w, QStringLiteral("+00015 +00515"));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(f.prompts->errors().size(), 1);
    QVERIFY(w->recording().logging()); // recording goes on trying
    sample(w, QStringLiteral("+00015 +00515"));
    // One box for the whole episode; the waiting samples are counted in the status bar.
    QCOMPARE(f.prompts->errors().size(), 1);
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("backlogLabel"))->text(),
             QStringLiteral("Not yet written: 3")); // the units line and two records
}

void TestRecording::keptSamplesGoIntoTheNextLogFile()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("gone.log"));
    w->newLogFile();
    w->startLogging();
    QVERIFY(QFile::remove(f.path(QStringLiteral("gone.log"))));
    sample(w, QStringLiteral("+0.015 +0.515"), QStringLiteral("24/05/2009 14:03:07"));
    sample(w, QStringLiteral("+0.115 +0.515"), QStringLiteral("24/05/2009 14:03:08"));
    QCOMPARE(f.prompts->errors().size(), 1);
    QVERIFY(f.prompts->errors().first().contains(QStringLiteral("gone.log")));
    // File > New, as the box suggests: the kept samples are the new file's first records.
    f.prompts->fileAnswers << f.path(QStringLiteral("next.log"));
    w->newLogFile();
    sample(w, QStringLiteral("+0.215 +0.515"), QStringLiteral("24/05/2009 14:03:09"));
    QCOMPARE(f.readFile(QStringLiteral("next.log")),
             kHeader + QByteArray("\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n"
                                  "\"0.515\",\"002\",\"24/05/2009 14:03:07\"\r\n"
                                  "\"0.528\",\"013\",\"24/05/2009 14:03:08\"\r\n"
                                  "\"0.558\",\"023\",\"24/05/2009 14:03:09\"\r\n"));
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("backlogLabel"))->text(), QString());
    QCOMPARE(f.prompts->errors().size(), 1);
}

void TestRecording::droppedSamplesAreCountedAndToldWhenTheFileIsBack()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    const QString path = f.path(QStringLiteral("away.log"));
    f.prompts->fileAnswers << path;
    w->newLogFile();
    w->startLogging();
    // Room for three waiting samples, and no spill file to take more: the oldest go.
    w->recording().setMaxBacklogLines(3);
    w->recording().setSpillFolders({});
    sample(w, QStringLiteral("+00015 +00515"));
    const QByteArray written = f.readFile(QStringLiteral("away.log"));
    QVERIFY(QFile::remove(path));
    for (const char* record :
         {"+00001 +00515", "+00002 +00515", "+00003 +00515", "+00004 +00515", "+00005 +00515"})
        sample(w, QString::fromLatin1(record));
    QLabel* counts = w->findChild<QLabel*>(QStringLiteral("backlogLabel"));
    QCOMPARE(counts->text(), QStringLiteral("Not yet written: 3  Dropped: 2"));
    QCOMPARE(f.prompts->errors().size(), 1);

    // The file is back: the three kept are written, and the two lost are said.
    f.writeFile(QStringLiteral("away.log"), written);
    sample(w, QStringLiteral("+00006 +00515"));
    QCOMPARE(f.readFile(QStringLiteral("away.log")).count('\n'), 2 + 1 + 3 + 1);
    QCOMPARE(counts->text(), QStringLiteral("Dropped: 2"));
    NoteLabel* note = w->findChild<NoteLabel*>(QStringLiteral("statusNote"));
    QCOMPARE(note->note(), QStringLiteral("Kept samples written, 2 dropped"));
    QVERIFY2(note->toolTip().contains(QStringLiteral("2 could not be kept and were dropped")),
             qPrintable(note->toolTip()));
}

void TestRecording::loggingStaysShownDuringReplay()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("run.log"));
    w->newLogFile();
    w->startLogging();
    f.writeFile(QStringLiteral("old.log"), kHeader);
    f.prompts->fileAnswers << f.path(QStringLiteral("old.log"));
    w->openReplay();
    QCOMPARE(w->statusPanel(0), QStringLiteral("LOGGING"));
    w->closeReplay();
    QCOMPARE(w->statusPanel(0), QStringLiteral("LOGGING"));
    w->stopLogging();
    f.prompts->fileAnswers << f.path(QStringLiteral("old.log"));
    w->openReplay();
    QCOMPARE(w->statusPanel(0), QStringLiteral("Source: File"));
}

void TestRecording::samplesDuringSaveDialogGoToPreviousFile()
{
    MainWindowFixture f(kFaceDown);
    WindowProbe& w = f.w();
    f.prompts->fileAnswers << f.path(QStringLiteral("first.log"));
    w->newLogFile();
    w->startLogging();
    f.prompts->whileShowing = [&] { sample(w, QStringLiteral("+00015 +00515")); };
    f.prompts->fileAnswers << std::nullopt; // the operator looks, then cancels
    w->newLogFile();
    f.prompts->whileShowing = nullptr;
    QVERIFY(f.readFile(QStringLiteral("first.log"))
                .endsWith("\"0515\",\"002\",\"24/05/2009 14:03:07\"\r\n"));
    QVERIFY(!QFile::exists(QStringLiteral("Tessmoor.log")));
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
