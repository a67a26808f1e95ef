// Faults and hostile files at window level: a log file that stops taking writes mid-recording, a
// settings file that cannot be read, and replay of a file with an enormous line. Each ends with
// one clear message, nothing lost that was already written, and no crash or hang.

#include "app/DataGrid.h"
#include "app/MainWindow.h"
#include "sources/SerialSource.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "tests/support/InodeFlag.h"
#include "tests/support/MainWindowFixture.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

void sample(WindowProbe& w, const QString& record)
{
    w.setClockText(QStringLiteral("10/12/2026 08:00:00"));
    w->session().receiveRecord(record, SampleSource::Live);
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
private slots:
    void logFileMadeReadOnlyMidRecording();
    void settingsFileThatIsADirectory();
    void settingsFileThatCannotBeRead();
    void replayOfHundredMegabyteLineWithoutLineEnd();
    void hugeLineIsPassedOverInSlices();
};

void TestHostile::logFileMadeReadOnlyMidRecording()
{
    MainWindowFixture f(QByteArray("[Options]\nOrientation=1\n"));
    WindowProbe& w = f.w();
    const QString path = f.path(QStringLiteral("survey.log"));
    f.prompts->fileAnswers << path;
    w->newLogFile();
    w->startLogging();
    sample(w, QStringLiteral("+00015 +00515"));
    const QByteArray written = f.readFile(QStringLiteral("survey.log"));

    std::unique_ptr<InodeFlag> immutable;
    if (::geteuid() == 0) {
        immutable = std::make_unique<InodeFlag>(path, FS_IMMUTABLE_FL);
        if (!immutable->isSet())
            QSKIP("running as root, and the immutable flag cannot be set on this file system");
    } else {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    }
    sample(w, QStringLiteral("+00115 +00515"));
    sample(w, QStringLiteral("+00215 +00515"));
    // One box for the episode: the second failed sample joins the kept ones silently.
    QCOMPARE(f.prompts->errors().size(), 1);
    QVERIFY(f.prompts->errors().first().contains(QStringLiteral("survey.log")));
    QCOMPARE(f.readFile(QStringLiteral("survey.log")), written); // what was written stays

    if (immutable)
        immutable->release();
    else
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    sample(w, QStringLiteral("+00315 +00515"));
    const QByteArray after = f.readFile(QStringLiteral("survey.log"));
    QVERIFY(after.startsWith(written));
    const QList<QByteArray> added = after.mid(written.size()).split('\n');
    QCOMPARE(added.size(), 4); // three samples kept and written in order, then the end
    QVERIFY(added.at(0).startsWith("\"0528\",\"013\""));
    QVERIFY(added.at(1).startsWith("\"0558\",\"023\""));
    QVERIFY(added.at(2).startsWith("\"0604\",\"031\""));
    QCOMPARE(f.prompts->errors().size(), 1); // nothing new to report once written again
}

void TestHostile::settingsFileThatIsADirectory()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("marvane.ini")));
    // A window started on it works with the defaults, without a message.
    auto prompts = std::make_unique<ScriptedPrompts>();
    ScriptedPrompts* shown = prompts.get();
    MainWindow w(dir.filePath(QStringLiteral("marvane.ini")), std::move(prompts));
    QVERIFY(shown->shown.isEmpty());
    QCOMPARE(w.options().port().portName, QStringLiteral("COM2"));
    QCOMPARE(w.options().port().baudRateValue, quint32(19200));
    QVERIFY(w.options().flags().faceUp);
}

void TestHostile::settingsFileThatCannotBeRead()
{
    if (::geteuid() == 0)
        QSKIP("root reads any file; the unreadable case is covered by the settings tests run as "
              "another user");
    MainWindowFixture f({}, false);
    f.writeFile(QStringLiteral("marvane.ini"), "[Options]\nBaudRate=0\n");
    QVERIFY(QFile::setPermissions(f.path(QStringLiteral("marvane.ini")), QFileDevice::WriteOwner));
    MainWindow w(f.path(QStringLiteral("marvane.ini")), std::make_unique<ScriptedPrompts>());
    QCOMPARE(w.options().port().baudRateValue, quint32(19200));
}

void TestHostile::replayOfHundredMegabyteLineWithoutLineEnd()
{
    MainWindowFixture f;
    WindowProbe& w = f.w();
    const QString path = f.path(QStringLiteral("huge.log"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "\"Speed\",\"Bearing\",\"Date-Time\"\r\n\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n");
        const QByteArray block(1 << 20, 'x');
        for (int i = 0; i < 100; ++i)
            QVERIFY(file.write(block) == block.size());
    }
    const qint64 before = residentKiB();
    QElapsedTimer t;
    t.start();
    f.prompts->fileAnswers << path;
    w->openReplay();
    for (int i = 0; i < 3; ++i)
        w->replay().step();
    const qint64 grown = residentKiB() - before;
    QVERIFY2(grown < 30 * 1024,
             qPrintable(QStringLiteral("resident memory grew by %1 KiB").arg(grown)));
    QVERIFY2(t.elapsed() < 20000, "reading past the line took too long");
    // The line reads as one bad record: its bearing is not a number.
    QCOMPARE(f.prompts->errors(),
             QStringList{QStringLiteral("'xxx' is not a valid integer value")});
    QVERIFY(w->replay().isOpen());
    QCOMPARE(w.speedReadout->text(), QString()); // a bad line shows nothing of itself
}

void TestHostile::hugeLineIsPassedOverInSlices()
{
    // A line of 100 MB in the middle of a log: each step passes over a slice of it, so the
    // window is never held for long, and the record after it is shown in the end.
    MainWindowFixture f;
    WindowProbe& w = f.w();
    const QString path = f.path(QStringLiteral("huge.log"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\"Speed\",\"Bearing\",\"Date-Time\"\r\n\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n"
                   "\"0.515\",\"088\",\"24/05/2009 14:03:07\"\r\n");
        const QByteArray block(1 << 20, 'x');
        for (int i = 0; i < 100; ++i)
            QVERIFY(file.write(block) == block.size());
        file.write("\r\n\"0.600\",\"100\",\"24/05/2009 14:03:09\"\r\n");
    }
    f.prompts->fileAnswers << path;
    w->openReplay();
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.515"));
    int steps = 0;
    qint64 longest = 0;
    while (w.speedReadout->text() != QStringLiteral("0.600") && steps < 50) {
        QElapsedTimer t;
        t.start();
        w->replay().step();
        longest = qMax(longest, t.elapsed());
        ++steps;
    }
    QCOMPARE(w.speedReadout->text(), QStringLiteral("0.600"));
    // The cut first part of the line, then at most two slices of 32 MB a step (one passed by
    // the end-of-file check, one by the read): never the whole line at once.
    QVERIFY2(steps >= 3, qPrintable(QString::number(steps)));
    QCOMPARE(f.prompts->errors().size(), 1); // the line itself, once, as a bad record
    qInfo("longest step over the line: %lld ms", longest);
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
