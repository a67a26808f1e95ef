// Reading log files back line by line: line ends, files of any content and size, files that
// grow while they are read, and files that cannot be opened or read.

#include "logformat/LogFormat.h"
#include "recording/LogRecorder.h"
#include "replay/ReplayReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString s(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool appendToFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(bytes) == bytes.size();
}

// Every line until the reader says the end is reached.
QList<QByteArray> readAllLines(ReplayReader& reader)
{
    QList<QByteArray> lines;
    QByteArray line;
    QString error;
    while (!reader.atEnd() && lines.size() < 1000) {
        if (!reader.readLine(&line, &error)) {
            lines.append("<error: " + error.toLatin1() + ">");
            break;
        }
        lines.append(line);
    }
    return lines;
}

// The resident memory of this process, in kilobytes.
qint64 residentKilobytes()
{
    QFile status(s("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

class TestReplayReader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordedFileReadsBackInOrder();
    void lines_data();
    void lines();
    void readingPastTheEndGivesEmptyLines();
    void longLinesAreCutAndReadingResumesAfterThem_data();
    void longLinesAreCutAndReadingResumesAfterThem();
    void lineOfManyMegabytesKeepsMemoryBounded();
    void linesAppendedWhileReadingAreSeen();
    void runningRecordingIsFollowed();
    void lineStillGrowingAfterItsCutPartIsSkippedAsItComes();
    void failedOpenKeepsThePreviousFileAtItsPosition_data();
    void failedOpenKeepsThePreviousFileAtItsPosition();
    void unreadableFileIsRefused();
    void openingAgainStartsFromTheBeginning();
    void fileDeletedAfterOpenIsStillRead();
    void readErrorIsReported();
    void closedReaderReportsFileNotOpen();

private:
    QString path(const char* name) const { return m_dir->filePath(s(name)); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestReplayReader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestReplayReader::cleanup()
{
    m_dir.reset();
}

void TestReplayReader::recordedFileReadsBackInOrder()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("05.15"), s("271"), s("24/05/2009 14:03:07"), s("Knots"), &error));
    QVERIFY(recorder.append(s("05.16"), s("272"), s("24/05/2009 14:03:08"), s("Knots"), &error));
    QVERIFY(recorder.append(s("100.00"), s("000"), s("24/05/2009 14:03:09"), s("Knots"), &error));

    ReplayReader reader;
    QVERIFY(!reader.isOpen());
    QVERIFY2(reader.open(path("survey.log"), &error), qPrintable(error));
    QVERIFY(reader.isOpen());
    QCOMPARE(reader.fileName(), path("survey.log"));

    QByteArray line;
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, logHeaderLine().chopped(2));
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(unitsWordOfLine(line), s("Knots"));
    QVERIFY(!reader.atEnd());
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("\"05.15\",\"271\",\"24/05/2009 14:03:07\""));
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("\"05.16\",\"272\",\"24/05/2009 14:03:08\""));
    QVERIFY(!reader.atEnd());
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(splitLogRecordLine(line, 5).speed, s("100.00"));
    QVERIFY(reader.atEnd());
}

void TestReplayReader::lines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<QByteArray>>("lines");
    using Lines = QList<QByteArray>;
    QTest::newRow("empty file") << QByteArray() << Lines{};
    QTest::newRow("header only") << logHeaderLine() << Lines{logHeaderLine().chopped(2)};
    QTest::newRow("header and units, no records")
        << logHeaderLine() + logUnitsLine(s("m/s"))
        << Lines{logHeaderLine().chopped(2), logUnitsLine(s("m/s")).chopped(2)};
    QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\n") << Lines{"one", "two"};
    QTest::newRow("LF") << QByteArray("one\ntwo\n") << Lines{"one", "two"};
    QTest::newRow("mixed") << QByteArray("one\ntwo\r\nthree\n") << Lines{"one", "two", "three"};
    QTest::newRow("last line without line end") << QByteArray("one\r\ntwo") << Lines{"one", "two"};
    QTest::newRow("CR at the very end") << QByteArray("one\r\ntwo\r") << Lines{"one", "two"};
    QTest::newRow("blank lines") << QByteArray("one\r\n\r\n\n\r\ntwo\r\n")
                                 << Lines{"one", "", "", "", "two"};
    QTest::newRow("only a line end") << QByteArray("\r\n") << Lines{""};
    QTest::newRow("lone CR stays in the line") << QByteArray("one\rtwo\r\n") << Lines{"one\rtwo"};
    QTest::newRow("only the CR before LF goes") << QByteArray("one\r\r\n") << Lines{"one\r"};
    QTest::newRow("NUL bytes") << QByteArray("a\0b\r\n\0\0\r\nc\0", 11)
                               << Lines{QByteArray("a\0b", 3), QByteArray("\0\0", 2),
                                        QByteArray("c\0", 2)};
    {
        QByteArray junk;
        for (int i = 0; i < 256; ++i)
            junk += char(i == '\n' ? 0 : i);
        QTest::newRow("every byte but LF") << junk + "\n" + junk << Lines{junk, junk};
    }
}

void TestReplayReader::lines()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<QByteArray>, lines);
    QVERIFY(writeFile(path("test.log"), file));
    ReplayReader reader;
    QString error;
    QVERIFY2(reader.open(path("test.log"), &error), qPrintable(error));
    QCOMPARE(readAllLines(reader), lines);
}

void TestReplayReader::readingPastTheEndGivesEmptyLines()
{
    QVERIFY(writeFile(path("header.log"), logHeaderLine()));
    ReplayReader reader;
    QString error;
    QVERIFY(reader.open(path("header.log"), &error));
    QByteArray line;
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, logHeaderLine().chopped(2));
    for (int i = 0; i < 3; ++i) {
        line = "not read";
        error.clear();
        QVERIFY(reader.atEnd());
        QVERIFY(reader.readLine(&line, &error));
        QCOMPARE(line, QByteArray());
        QVERIFY(error.isEmpty());
    }
    // A file without a units line gives an empty units word.
    QCOMPARE(unitsWordOfLine(line), QString());
}

void TestReplayReader::longLinesAreCutAndReadingResumesAfterThem_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("lineEnd");
    const int max = int(ReplayReader::kMaxLineLength);
    for (const int length : {max - 1, max, max + 1, max + 2, 3 * max, 100000}) {
        QTest::addRow("%d, CR LF", length) << length << QByteArray("\r\n");
        QTest::addRow("%d, LF", length) << length << QByteArray("\n");
        QTest::addRow("%d, CR CR LF", length) << length << QByteArray("\r\r\n");
    }
}

void TestReplayReader::longLinesAreCutAndReadingResumesAfterThem()
{
    QFETCH(int, length);
    QFETCH(QByteArray, lineEnd);
    QByteArray longLine(length, 'x');
    for (int i = 0; i < length; i += 7)
        longLine[i] = char('a' + i % 26); // so a cut at the wrong place shows
    QVERIFY(writeFile(path("long.log"), "first\r\n" + longLine + lineEnd + "next\r\n" + longLine));

    // The line end's CR before LF is dropped, any other CR is part of the line.
    const QByteArray whole = longLine + lineEnd.chopped(lineEnd.endsWith("\r\n") ? 2 : 1);
    const QByteArray expected = whole.left(ReplayReader::kMaxLineLength);
    ReplayReader reader;
    QString error;
    QVERIFY(reader.open(path("long.log"), &error));
    const QList<QByteArray> lines = readAllLines(reader);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QByteArray("first"));
    QCOMPARE(lines[1].size(), expected.size());
    QCOMPARE(lines[1], expected);
    QCOMPARE(lines[2], QByteArray("next"));
    QCOMPARE(lines[3], longLine.left(ReplayReader::kMaxLineLength)); // at the end of the file
}

void TestReplayReader::lineOfManyMegabytesKeepsMemoryBounded()
{
    // 64 MB without a line end, then a record: the reader must neither hold the long line nor
    // lose the record after it.
    const qint64 megabytes = 64;
    {
        QFile file(path("huge.log"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray block(1024 * 1024, 'x');
        for (int i = 0; i < megabytes; ++i)
            QCOMPARE(file.write(block), block.size());
        QVERIFY(file.write("\r\n\"0.515\",\"088\",\"24/05/2009 14:03:07\"\r\n") > 0);
    }
    const qint64 before = residentKilobytes();
    if (before < 0)
        QSKIP("no /proc/self/status to read the process's memory from");

    ReplayReader reader;
    QString error;
    QVERIFY(reader.open(path("huge.log"), &error));
    QByteArray line;
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray(ReplayReader::kMaxLineLength, 'x'));
    QVERIFY(!reader.atEnd());
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07\""));
    QVERIFY(reader.atEnd());

    const qint64 grownKilobytes = residentKilobytes() - before;
    QVERIFY2(grownKilobytes < 16 * 1024, qPrintable(s("grew by %1 kB").arg(grownKilobytes)));
}

void TestReplayReader::linesAppendedWhileReadingAreSeen()
{
    QVERIFY(writeFile(path("growing.log"), logHeaderLine()));
    ReplayReader reader;
    QString error;
    QVERIFY(reader.open(path("growing.log"), &error));
    QByteArray line;
    QVERIFY(reader.readLine(&line, &error));
    QVERIFY(reader.atEnd());
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray());

    QVERIFY(appendToFile(path("growing.log"), logUnitsLine(s("m/s"))));
    QVERIFY(!reader.atEnd());
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, logUnitsLine(s("m/s")).chopped(2));
    QVERIFY(reader.atEnd());

    // Two lines at once, the second still without its line end.
    QVERIFY(appendToFile(path("growing.log"), "one\r\ntwo"));
    QVERIFY(!reader.atEnd());
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("one"));
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("two"));
    QVERIFY(reader.atEnd());
}

void TestReplayReader::runningRecordingIsFollowed()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));

    ReplayReader reader;
    QVERIFY(reader.open(path("survey.log"), &error));
    QCOMPARE(readAllLines(reader).size(), 3);
    QVERIFY(reader.atEnd());
    for (int i = 0; i < 5; ++i) {
        const QString bearing = QString::number(100 + i);
        QVERIFY(recorder.append(s("0.600"), bearing, s("24/05/2009 14:03:08"), s("m/s"), &error));
        QVERIFY(!reader.atEnd());
        QByteArray line;
        QVERIFY(reader.readLine(&line, &error));
        QCOMPARE(splitLogRecordLine(line, 5).bearing, bearing);
        QVERIFY(reader.atEnd());
    }
}

void TestReplayReader::lineStillGrowingAfterItsCutPartIsSkippedAsItComes()
{
    // An overlong line whose end is not yet in the file: the rest of it, when it comes, is still
    // part of the same bad line, and the next line after it reads normally.
    const qsizetype max = ReplayReader::kMaxLineLength;
    QVERIFY(writeFile(path("growing.log"), QByteArray(max + 10, 'x')));
    ReplayReader reader;
    QString error;
    QVERIFY(reader.open(path("growing.log"), &error));
    QByteArray line;
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray(max, 'x'));
    QVERIFY(reader.atEnd());

    QVERIFY(appendToFile(path("growing.log"), QByteArray(100, 'y')));
    QVERIFY(reader.atEnd());
    QVERIFY(appendToFile(path("growing.log"), "yyy\r\nafter\r\n"));
    QVERIFY(!reader.atEnd());
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("after"));
    QVERIFY(reader.atEnd());
}

void TestReplayReader::failedOpenKeepsThePreviousFileAtItsPosition_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing file") << s("missing.log") << s("No such file or directory");
    QTest::newRow("a folder") << s("folder") << s("Is a directory");
    QTest::newRow("empty name") << QString() << s("No file name specified");
    // Neither waits: a FIFO without writer would block the open, /dev/zero would never end.
    QTest::newRow("a FIFO") << s("fifo.log") << s("Not a regular file");
    QTest::newRow("a link to a FIFO") << s("link-to-fifo.log") << s("Not a regular file");
    QTest::newRow("a link to /dev/zero") << s("zero.log") << s("Not a regular file");
}

void TestReplayReader::failedOpenKeepsThePreviousFileAtItsPosition()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(QDir(m_dir->path()).mkdir(s("folder")));
    QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.log")).constData(), 0600), 0);
    QVERIFY(QFile::link(path("fifo.log"), path("link-to-fifo.log")));
    QVERIFY(QFile::link(s("/dev/zero"), path("zero.log")));
    QVERIFY(writeFile(path("first.log"), "one\r\ntwo\r\nthree\r\n"));
    ReplayReader reader;
    QString error;
    QVERIFY(reader.open(path("first.log"), &error));
    QByteArray line;
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("one"));

    QVERIFY(!reader.open(name.isEmpty() ? QString() : path(name.toLatin1().constData()), &error));
    QCOMPARE(error, reason);

    QVERIFY(reader.isOpen());
    QCOMPARE(reader.fileName(), path("first.log"));
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("two"));
    QVERIFY(reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray("three"));
    QVERIFY(reader.atEnd());
}

void TestReplayReader::unreadableFileIsRefused()
{
    if (::geteuid() == 0)
        QSKIP("running as root: permissions do not stop root from reading files");
    QVERIFY(writeFile(path("locked.log"), "one\r\n"));
    QVERIFY(QFile::setPermissions(path("locked.log"), QFileDevice::WriteOwner));
    ReplayReader reader;
    QString error;
    QVERIFY(!reader.open(path("locked.log"), &error));
    QCOMPARE(error, s("Permission denied"));
    QVERIFY(!reader.isOpen());
}

void TestReplayReader::openingAgainStartsFromTheBeginning()
{
    QVERIFY(writeFile(path("first.log"), "one\r\ntwo\r\n"));
    QVERIFY(writeFile(path("second.log"), "uno\r\ndos\r\n"));
    ReplayReader reader;
    QString error;
    QVERIFY(reader.open(path("first.log"), &error));
    QCOMPARE(readAllLines(reader), (QList<QByteArray>{"one", "two"}));
    QVERIFY(reader.open(path("first.log"), &error));
    QCOMPARE(readAllLines(reader), (QList<QByteArray>{"one", "two"}));

    // Another file replaces the first, even in the middle of a line.
    QVERIFY(reader.open(path("first.log"), &error));
    QByteArray line;
    QVERIFY(reader.readLine(&line, &error));
    QVERIFY(reader.open(path("second.log"), &error));
    QCOMPARE(reader.fileName(), path("second.log"));
    QCOMPARE(readAllLines(reader), (QList<QByteArray>{"uno", "dos"}));
}

void TestReplayReader::fileDeletedAfterOpenIsStillRead()
{
    // On Linux an open file outlives its name: the replay goes on to the file's end.
    QVERIFY(writeFile(path("gone.log"), "one\r\ntwo\r\n"));
    ReplayReader reader;
    QString error;
    QVERIFY(reader.open(path("gone.log"), &error));
    QVERIFY(QFile::remove(path("gone.log")));
    QCOMPARE(readAllLines(reader), (QList<QByteArray>{"one", "two"}));
    QVERIFY(reader.isOpen());

    // Opening it again by name fails, and the open file stays.
    QVERIFY(!reader.open(path("gone.log"), &error));
    QCOMPARE(error, s("No such file or directory"));
    QVERIFY(reader.isOpen());
}

void TestReplayReader::readErrorIsReported()
{
    // This process's memory file opens like a file but refuses to read at offset 0, where
    // nothing is mapped: a file that cannot be read.
    ReplayReader reader;
    QString error;
    if (!reader.open(s("/proc/self/mem"), &error))
        QSKIP("/proc/self/mem cannot be opened here");
    QVERIFY(!reader.atEnd()); // there is something to report
    QByteArray line = "not read";
    QVERIFY(!reader.readLine(&line, &error));
    QCOMPARE(line, QByteArray());
    QCOMPARE(error, s("Input/output error"));

    // Without atEnd first, too.
    QVERIFY(reader.open(s("/proc/self/mem"), &error));
    error.clear();
    QVERIFY(!reader.readLine(&line, &error));
    QCOMPARE(error, s("Input/output error"));
}

void TestReplayReader::closedReaderReportsFileNotOpen()
{
    ReplayReader reader;
    QByteArray line = "not read";
    QString error;
    QVERIFY(reader.atEnd());
    QVERIFY(!reader.readLine(&line, &error));
    QCOMPARE(error, s("File not open"));
    QCOMPARE(line, QByteArray());
    QCOMPARE(reader.fileName(), QString());

    QVERIFY(writeFile(path("survey.log"), "one\r\ntwo\r\n"));
    QVERIFY(reader.open(path("survey.log"), &error));
    QVERIFY(reader.readLine(&line, &error));
    reader.close();
    QVERIFY(!reader.isOpen());
    QCOMPARE(reader.fileName(), path("survey.log")); // kept for opening it again
    QVERIFY(reader.atEnd());
    error.clear();
    QVERIFY(!reader.readLine(&line, &error));
    QCOMPARE(error, s("File not open"));
    reader.close(); // closing twice is harmless
    QVERIFY(!reader.isOpen());
}

QTEST_GUILESS_MAIN(TestReplayReader)
#include "tst_replayreader.moc"
