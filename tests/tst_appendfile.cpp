// The append-only writer under the log and the data file, through a failing device: one write and
// one sync per batch, lines beyond the memory bound kept in a spill file, lines that find no
// place counted, waiting lines written in pieces as far as the disk takes them, a failed sync or
// open told once, what is left at the end kept for the operator, and a file moved or deleted
// under the writer made again at its path.

#include "recording/AppendFile.h"
#include "tests/support/FailingFileDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kHead("# head\r\n");

// Line i, 35 bytes with its line end, as long as a log's record line.
QByteArray line(int i)
{
    return QByteArray("record ") + QByteArray::number(i).rightJustified(8, '0') +
           QByteArray(18, '.') + "\r\n";
}

QByteArray lines(int from, int to)
{
    QByteArray all;
    for (int i = from; i <= to; ++i)
        all += line(i);
    return all;
}

const QByteArray kMarker("=units=\r\n");

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<cannot read>");
}

bool isMarker(QByteArrayView text)
{
    return text == QByteArrayView(kMarker);
}

} // namespace

class TestAppendFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void eachBatchIsOneWriteAndOneSync();
    void linesBeyondTheBoundGoToASpillFileAndComeBackInOrder();
    void spilledLinesFollowIntoANewFileAfterTheirMarker();
    void linesThatFindNoPlaceAreDroppedCountedAndTold_data();
    void linesThatFindNoPlaceAreDroppedCountedAndTold();
    void waitingLinesGoOutInPiecesAsFarAsTheDiskTakes();
    void failedSyncIsToldOnceAndNothingIsWrittenTwice();
    void refusedOpenKeepsTheLinesForTheFileAtThePath();
    void whatIsLeftAtTheEndStaysInTheSpillFile_data();
    void whatIsLeftAtTheEndStaysInTheSpillFile();
    void fileMovedOrDeletedIsMadeAgainAtItsPath_data();
    void fileMovedOrDeletedIsMadeAgainAtItsPath();
    void reopenMakesTheFileAgainAtOnce();
    void fileEmptiedBehindTheWriterGetsItsHeadAgain();

private:
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }

    std::unique_ptr<QTemporaryDir> m_dir;
    FailingFileDevice m_device;
};

void TestAppendFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_device = FailingFileDevice();
}

void TestAppendFile::cleanup()
{
    m_dir.reset();
}

void TestAppendFile::eachBatchIsOneWriteAndOneSync()
{
    const QString log = path("run.log");
    AppendFile file(100);
    file.setDevice(&m_device);
    QString error;
    QVERIFY2(file.create(log, kHead, &error), qPrintable(error));
    QCOMPARE(m_device.writes(log), 1); // the head
    QCOMPARE(m_device.syncs(log), 1);

    for (int batch = 0; batch < 3; ++batch) {
        for (int i = 1; i <= 100; ++i)
            file.queue(line(batch * 100 + i));
        QVERIFY2(file.flush(&error), qPrintable(error));
    }
    // Nothing waiting: nothing written, nothing synced.
    QVERIFY(file.flush(&error));
    QCOMPARE(m_device.opens(log), 1); // kept open from batch to batch
    QCOMPARE(m_device.writes(log), 1 + 3);
    QCOMPARE(m_device.syncs(log), 1 + 3);
    // Its size is known from what went in: looked at once, when it was opened, and its name
    // not at all within the second.
    QCOMPARE(m_device.fileLooks(log), 1);
    QCOMPARE(m_device.lookups(log), 0);
    QCOMPARE(contents(log), kHead + lines(1, 300));
    QCOMPARE(file.linesWritten(), qint64(300));
}

void TestAppendFile::linesBeyondTheBoundGoToASpillFileAndComeBackInOrder()
{
    const QString log = path("run.log");
    const QString spillFolder = path("state");
    AppendFile file(5);
    file.setDevice(&m_device);
    file.setSpillFolders({spillFolder});
    QSignalSpy failed(&file, &AppendFile::writeFailed);
    QSignalSpy spilling(&file, &AppendFile::spillStarted);
    QSignalSpy dropping(&file, &AppendFile::droppingStarted);
    QSignalSpy recovered(&file, &AppendFile::writeRecovered);
    QString error;
    QVERIFY(file.create(log, kHead, &error));

    // The disk is full: nothing more gets in, batch after batch.
    m_device.failWritesAfter(log, 0);
    for (int i = 1; i <= 12; ++i) {
        file.queue(line(i));
        QVERIFY(!file.flush(&error));
    }
    QCOMPARE(error, QStringLiteral("No space left on device"));
    QCOMPARE(file.linesInMemory(), 5);
    QCOMPARE(file.spilledLines(), qint64(7));
    QCOMPARE(file.waitingLines(), qint64(12));
    QCOMPARE(file.droppedLines(), qint64(0));
    QVERIFY2(file.spillPath().startsWith(spillFolder + QLatin1Char('/')),
             qPrintable(file.spillPath()));
    QCOMPARE(contents(file.spillPath()), lines(1, 7));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(spilling.count(), 1);
    QCOMPARE(spilling.at(0).at(1).toString(), file.spillPath());
    QCOMPARE(dropping.count(), 0);
    QCOMPARE(contents(log), kHead);

    // Space again: the spilled lines first, then those in memory, then the new one.
    m_device.heal(log);
    const QString spill = file.spillPath();
    file.queue(line(13));
    QVERIFY2(file.flush(&error), qPrintable(error));
    QCOMPARE(contents(log), kHead + lines(1, 13));
    QCOMPARE(file.waitingLines(), qint64(0));
    QVERIFY(!QFileInfo::exists(spill));
    QCOMPARE(file.spillPath(), QString());
    QCOMPARE(recovered.count(), 1);
    QCOMPARE(recovered.at(0).at(1).toLongLong(), 0);
    QCOMPARE(file.linesWritten(), qint64(13));
}

void TestAppendFile::spilledLinesFollowIntoANewFileAfterTheirMarker()
{
    AppendFile file(3);
    file.setDevice(&m_device);
    file.setMarkerTest(isMarker);
    file.setSpillFolders({path("state")});
    QString error;
    QVERIFY(file.create(path("one.log"), kHead, &error));
    file.queue(kMarker);
    file.queue(line(1));
    QVERIFY(file.flush(&error));
    m_device.failWritesAfter(path("one.log"), 0); // its disk is full
    for (int i = 2; i <= 7; ++i) {
        file.queue(line(i));
        QVERIFY(!file.flush(&error));
    }
    QCOMPARE(file.spilledLines(), qint64(3));

    // A new file: its head, the marker the waiting lines were recorded under, then the lines.
    QVERIFY2(file.create(path("two.log"), kHead, &error), qPrintable(error));
    QVERIFY(file.flush(&error));
    QCOMPARE(contents(path("two.log")), kHead + kMarker + lines(2, 7));
    QCOMPARE(file.linesWritten(), qint64(6));
    QVERIFY(QDir(path("state")).isEmpty());
}

void TestAppendFile::linesThatFindNoPlaceAreDroppedCountedAndTold_data()
{
    QTest::addColumn<QString>("fault"); // what keeps the spill file from taking them
    QTest::addColumn<QString>("told");
    QTest::newRow("no spill folder")
        << QStringLiteral("none") << QStringLiteral("no folder to keep them in");
    QTest::newRow("spill folder refused")
        << QStringLiteral("open") << QStringLiteral("Permission denied");
    QTest::newRow("spill disk full too")
        << QStringLiteral("write") << QStringLiteral("No space left on device");
}

void TestAppendFile::linesThatFindNoPlaceAreDroppedCountedAndTold()
{
    QFETCH(QString, fault);
    QFETCH(QString, told);
    const QString log = path("run.log");
    const QString spillFolder = path("state");
    AppendFile file(5);
    file.setDevice(&m_device);
    file.setMarkerTest(isMarker);
    if (fault != QLatin1String("none"))
        file.setSpillFolders({spillFolder});
    if (fault == QLatin1String("open"))
        m_device.failOpen(spillFolder);
    if (fault == QLatin1String("write"))
        m_device.failWritesAfter(spillFolder, 0);
    QSignalSpy dropping(&file, &AppendFile::droppingStarted);
    QSignalSpy recovered(&file, &AppendFile::writeRecovered);
    QSignalSpy counts(&file, &AppendFile::waitingChanged);
    QString error;
    QVERIFY(file.create(log, kHead, &error));

    m_device.failWritesAfter(log, 0);
    file.queue(kMarker);
    for (int i = 1; i <= 11; ++i) {
        file.queue(line(i));
        QVERIFY(!file.flush(&error));
    }
    // The oldest records went; the marker stays, as the records after it need it.
    QCOMPARE(file.droppedLines(), qint64(7));
    QCOMPARE(file.linesInMemory(), 5);
    QCOMPARE(dropping.count(), 1);
    QVERIFY2(dropping.at(0).at(1).toString().contains(told),
             qPrintable(dropping.at(0).at(1).toString()));
    QCOMPARE(counts.last().at(1).toLongLong(), 7);
    QVERIFY(!QFileInfo::exists(spillFolder) || QDir(spillFolder).isEmpty());

    m_device.heal(log);
    file.queue(line(12));
    QVERIFY2(file.flush(&error), qPrintable(error));
    QCOMPARE(contents(log), kHead + kMarker + lines(8, 12));
    // Told when the file takes writes again, and kept in the count.
    QCOMPARE(recovered.count(), 1);
    QCOMPARE(recovered.at(0).at(1).toLongLong(), 7);
    QCOMPARE(file.droppedLines(), qint64(7));
}

void TestAppendFile::waitingLinesGoOutInPiecesAsFarAsTheDiskTakes()
{
    // 100,000 lines (3.5 MB) wait; the disk then has 256 KiB free.
    const QString log = path("run.log");
    AppendFile file(200000);
    file.setDevice(&m_device);
    QString error;
    QVERIFY(file.create(log, kHead, &error));
    m_device.failWritesAfter(log, 0);
    for (int i = 1; i <= 100000; ++i)
        file.queue(line(i));
    QVERIFY(!file.flush(&error));
    QCOMPARE(file.waitingLines(), qint64(100000));

    m_device.failWritesAfter(log, 256 * 1024);
    const int syncsBefore = m_device.syncs(log);
    QVERIFY(!file.flush(&error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    // Every whole line that fitted is in, and synced; the line cut inside is not.
    const int fitted = 256 * 1024 / 35;
    QCOMPARE(contents(log), kHead + lines(1, fitted));
    QCOMPARE(file.waitingLines(), qint64(100000 - fitted));
    QCOMPARE(m_device.syncs(log), syncsBefore + 1);

    // Room again: the rest goes out in pieces of whole lines, with one sync.
    m_device.heal(log);
    const int writesBefore = m_device.writes(log);
    QVERIFY2(file.flush(&error), qPrintable(error));
    QCOMPARE(contents(log), kHead + lines(1, 100000));
    const qint64 rest = qint64(100000 - fitted) * 35;
    QCOMPARE(m_device.writes(log) - writesBefore,
             int((rest + AppendFile::kPieceBytes - 1) / AppendFile::kPieceBytes));
    QCOMPARE(m_device.syncs(log), syncsBefore + 2);
}

void TestAppendFile::failedSyncIsToldOnceAndNothingIsWrittenTwice()
{
    const QString log = path("run.log");
    AppendFile file(100);
    file.setDevice(&m_device);
    QSignalSpy failed(&file, &AppendFile::writeFailed);
    QSignalSpy recovered(&file, &AppendFile::writeRecovered);
    QString error;
    QVERIFY(file.create(log, kHead, &error));
    m_device.failSync(log);
    file.queue(line(1));
    QVERIFY(!file.flush(&error));
    QCOMPARE(error, QStringLiteral("Input/output error"));
    file.queue(line(2));
    QVERIFY(!file.flush(&error));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(file.waitingLines(), qint64(0)); // the file took them; only the sync failed

    m_device.heal(log);
    file.queue(line(3));
    QVERIFY2(file.flush(&error), qPrintable(error));
    QCOMPARE(contents(log), kHead + lines(1, 3));
    QCOMPARE(recovered.count(), 1);
}

void TestAppendFile::refusedOpenKeepsTheLinesForTheFileAtThePath()
{
    const QString log = path("run.log");
    AppendFile file(100);
    file.setDevice(&m_device);
    QString error;
    QVERIFY(file.create(log, kHead, &error));
    file.queue(line(1));
    QVERIFY(file.flush(&error));

    qint64 now = 0;
    file.setClock([&now] { return now; });

    // The file is replaced (as logrotate's `create` does), and opening the new one is refused
    // for a while; the path is looked at a second later.
    QVERIFY(QFile::rename(log, path("run.log.1")));
    QFile replaced(log);
    QVERIFY(replaced.open(QIODevice::WriteOnly));
    replaced.close();
    m_device.failOpen(log);
    now += AppendFile::kPathCheckMs;
    file.queue(line(2));
    QVERIFY(!file.flush(&error));
    QCOMPARE(error, QStringLiteral("Permission denied"));
    QCOMPARE(file.waitingLines(), qint64(1));

    // Opened at last: found empty, it gets its head before the lines.
    m_device.heal(log);
    file.queue(line(3));
    QVERIFY2(file.flush(&error), qPrintable(error));
    QCOMPARE(contents(log), kHead + lines(2, 3));
    QCOMPARE(m_device.opens(log), 1 + 2);
}

void TestAppendFile::whatIsLeftAtTheEndStaysInTheSpillFile_data()
{
    QTest::addColumn<bool>("spillFolder");
    QTest::newRow("kept in the spill file") << true;
    QTest::newRow("no place: dropped and counted") << false;
}

void TestAppendFile::whatIsLeftAtTheEndStaysInTheSpillFile()
{
    QFETCH(bool, spillFolder);
    const QString log = path("run.log");
    QString spill;
    {
        AppendFile file(100);
        file.setDevice(&m_device);
        if (spillFolder)
            file.setSpillFolders({path("state")});
        QString error;
        QVERIFY(file.create(log, kHead, &error));
        m_device.failWritesAfter(log, 0);
        for (int i = 1; i <= 3; ++i)
            file.queue(line(i));
        QVERIFY(!file.flush(&error));
        file.finish();
        QCOMPARE(file.linesInMemory(), 0);
        QCOMPARE(file.spilledLines(), qint64(spillFolder ? 3 : 0));
        QCOMPARE(file.droppedLines(), qint64(spillFolder ? 0 : 3));
        spill = file.spillPath();
        QCOMPARE(spill.isEmpty(), !spillFolder);
    }
    // The writer is gone; the lines it could not write are there for the operator.
    if (spillFolder)
        QCOMPARE(contents(spill), lines(1, 3));
    QCOMPARE(contents(log), kHead);
}

void TestAppendFile::fileMovedOrDeletedIsMadeAgainAtItsPath_data()
{
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<bool>("atTheEnd"); // the file is looked at by finish(), not a second later
    QTest::addColumn<QByteArray>("atThePath");
    QTest::addColumn<QByteArray>("movedAway");
    // Line 1 was found in the file at the path a second after it was written; lines 2 and 3
    // went in after that look, line 3 after the file had gone.
    QTest::newRow("moved, a second later")
        << false << false << kHead + kMarker + line(4) << kHead + kMarker + lines(1, 3);
    QTest::newRow("moved, at the end")
        << false << true << QByteArray("<cannot read>") << kHead + kMarker + lines(1, 3);
    // A deleted file's lines since the last look go again, under their marker.
    QTest::newRow("deleted, a second later")
        << true << false << kHead + kMarker + lines(2, 4) << QByteArray();
    QTest::newRow("deleted, at the end")
        << true << true << kHead + kMarker + lines(2, 3) << QByteArray();
}

void TestAppendFile::fileMovedOrDeletedIsMadeAgainAtItsPath()
{
    QFETCH(bool, deleted);
    QFETCH(bool, atTheEnd);
    QFETCH(QByteArray, atThePath);
    QFETCH(QByteArray, movedAway);
    const QString log = path("flow.log");
    const QString moved = path("flow.log.1");
    AppendFile file(100);
    file.setDevice(&m_device);
    file.setMarkerTest(isMarker);
    qint64 now = 0;
    file.setClock([&now] { return now; });
    QSignalSpy madeAgain(&file, &AppendFile::madeAgain);
    QString error;
    QVERIFY(file.create(log, kHead, &error));
    file.queue(kMarker);
    file.queue(line(1));
    QVERIFY(file.flush(&error));
    now += AppendFile::kPathCheckMs;
    file.queue(line(2));
    QVERIFY(file.flush(&error)); // looked at first: still there
    QCOMPARE(m_device.lookups(log), 1);

    // Under the writer: logrotate without `create`, or a tidy-up script.
    QVERIFY(deleted ? QFile::remove(log) : QFile::rename(log, moved));
    now += 500;
    file.queue(line(3));
    QVERIFY(file.flush(&error)); // not looked at within the second: into the file that went
    QCOMPARE(m_device.lookups(log), 1);
    QVERIFY(!QFileInfo::exists(log));

    if (atTheEnd) {
        file.finish();
    } else {
        now += AppendFile::kPathCheckMs;
        file.queue(line(4));
        QVERIFY2(file.flush(&error), qPrintable(error));
    }
    QCOMPARE(m_device.lookups(log), 2);
    QCOMPARE(contents(log), atThePath);
    if (!deleted)
        QCOMPARE(contents(moved), movedAway);
    QCOMPARE(madeAgain.count(), QFileInfo::exists(log) ? 1 : 0);
    QCOMPARE(file.waitingLines(), qint64(0));
    QCOMPARE(file.droppedLines(), qint64(0));
}

void TestAppendFile::reopenMakesTheFileAgainAtOnce()
{
    const QString log = path("flow.log");
    AppendFile file(100);
    file.setDevice(&m_device);
    file.setMarkerTest(isMarker);
    QString error;
    QVERIFY(file.create(log, kHead, &error));
    file.queue(kMarker);
    file.queue(line(1));
    QVERIFY(file.flush(&error));

    // Still at its path: a reopen changes nothing.
    QVERIFY(file.reopen(&error));
    QCOMPARE(m_device.opens(log), 1);
    QCOMPARE(contents(log), kHead + kMarker + line(1));

    // logrotate moves it, then its postrotate asks: the file is back at once, whole, before
    // any line waits for it.
    QVERIFY(QFile::rename(log, path("flow.log.1")));
    QVERIFY2(file.reopen(&error), qPrintable(error));
    QCOMPARE(contents(log), kHead + kMarker);
    file.queue(line(2));
    QVERIFY(file.flush(&error));
    QCOMPARE(contents(log), kHead + kMarker + line(2));
    QCOMPARE(contents(path("flow.log.1")), kHead + kMarker + line(1));

    // A path that cannot take a file is told, and the lines wait for it.
    QVERIFY(QFile::rename(log, path("flow.log.2")));
    m_device.failOpen(log);
    QSignalSpy failed(&file, &AppendFile::writeFailed);
    QVERIFY(!file.reopen(&error));
    QCOMPARE(error, QStringLiteral("Permission denied"));
    QCOMPARE(failed.count(), 1);
    file.queue(line(3));
    QVERIFY(!file.flush(&error));
    m_device.heal(log);
    QVERIFY(file.reopen(&error));
    QCOMPARE(contents(log), kHead + kMarker + line(3));
}

QTEST_GUILESS_MAIN(TestAppendFile)
#include "tst_appendfile.moc"

void TestAppendFile::fileEmptiedBehindTheWriterGetsItsHeadAgain()
{
    const QString log = path("flow.log");
    AppendFile file(100);
    file.setDevice(&m_device);
    file.setMarkerTest(isMarker);
    qint64 now = 0;
    file.setClock([&now] { return now; });
    QString error;
    QVERIFY(file.create(log, kHead, &error));
    file.queue(kMarker);
    file.queue(line(1));
    QVERIFY(file.flush(&error));

    // `: > flow.log` from a shell to make room: the file stays, empty. At the next look (a
    // second on) the writer finds it so, and what it writes next is whole again: the head and
    // the marker the lines were recorded under, then the lines.
    {
        QFile emptied(log);
        QVERIFY(emptied.open(QIODevice::WriteOnly | QIODevice::Truncate));
    }
    now += AppendFile::kPathCheckMs;
    file.queue(line(2));
    QVERIFY2(file.flush(&error), qPrintable(error));
    QCOMPARE(contents(log), kHead + kMarker + line(2));
    QCOMPARE(m_device.opens(log), 1); // the same file, kept open
    QCOMPARE(file.fileSize(), qint64((kHead + kMarker + line(2)).size()));

    // Cut short, not emptied: the lines go on after what is left, and the writer's idea of the
    // file's size follows (a failed write is cut back to the file's real end, not beyond it).
    {
        QFile cut(log);
        QVERIFY(cut.resize(kHead.size()));
    }
    now += AppendFile::kPathCheckMs;
    file.queue(line(3));
    QVERIFY(file.flush(&error));
    QCOMPARE(contents(log), kHead + line(3));
    QCOMPARE(file.fileSize(), qint64((kHead + line(3)).size()));
}
