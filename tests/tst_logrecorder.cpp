// Creating log files and recording samples into them, including appends that fail and recover.

#include "logformat/LogFormat.h"
#include "recording/LogRecorder.h"
#include "tests/support/InodeFlag.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QString s(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<cannot read ") + QFile::encodeName(path) + ">";
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

const QByteArray kHeader("\"Speed\",\"Bearing\",\"Date-Time\"\r\n");
const QByteArray kUnitsMs("\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n");
const QByteArray kUnitsKnots("\"Knots\",\"Degrees\",\"24 Hour UTC\"\r\n");
const QByteArray kUnitsMms("\"mm/s\",\"Degrees\",\"24 Hour UTC\"\r\n");

QByteArray record(const char* speed, const char* bearing, const char* dateTime)
{
    return QByteArray("\"") + speed + "\",\"" + bearing + "\",\"" + dateTime + "\"\r\n";
}

// Limits the size of files this process may write, so that a write crosses the limit half way:
// the kernel then takes the part below the limit and refuses the rest, as a disk filling up
// during the write would. SIGXFSZ is ignored meanwhile so the write fails with EFBIG instead.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
            return;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { release(); }
    bool isSet() const { return m_set; }
    void release()
    {
        if (!m_set)
            return;
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
        m_set = false;
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_set = false;
};

} // namespace

class TestLogRecorder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newFileHoldsTheHeaderOnly();
    void newFileEmptiesAnExistingFile();
    void completeFileByteForByte();
    void loggingOffWritesNothing();
    void startStopStartKeepsOneUnitsLine();
    void newFileWhileLoggingTakesTheNextSample();
    void unitsChangingMidFileKeepTheirOwnWidths();
    void appendWithoutAFileFails();
    void appendToADeletedFileFailsAndDoesNotCreateIt();
    void fullDiskIsReportedAndTheBacklogFollowsWhenWritable();
    void writeCutShortLeavesNoHalfLine();
    void writeCutShortOnAnAppendOnlyFileContinuesWhereItStopped();
    void wholeLinesThatFitAreKeptWhenTheDiskFillsDuringAWrite();
    void readOnlyFileIsReportedAndRecovers();
    void backlogIsBoundedAndKeepsTheUnitsLine();
    void failedNewFileKeepsThePreviousFile_data();
    void failedNewFileKeepsThePreviousFile();
    void newFileRefusedByPermissionsIsReported();
    void continuedFileKeepsItsLinesAndWritesNoSecondHeader_data();
    void continuedFileKeepsItsLinesAndWritesNoSecondHeader();
    void continuingAFileThatIsNotALogIsRefused_data();
    void continuingAFileThatIsNotALogIsRefused();

private:
    QString path(const char* name) const { return m_dir->filePath(s(name)); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLogRecorder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestLogRecorder::cleanup()
{
    m_dir.reset();
}

void TestLogRecorder::newFileHoldsTheHeaderOnly()
{
    LogRecorder recorder;
    QVERIFY(!recorder.hasFile());
    QVERIFY(!recorder.logging());
    QString error;
    QVERIFY2(recorder.createFile(path("survey.log"), &error), qPrintable(error));
    QCOMPARE(recorder.currentFile(), path("survey.log"));
    QVERIFY(recorder.hasFile());
    QVERIFY(recorder.headerPending());
    QCOMPARE(contents(path("survey.log")), kHeader);
}

void TestLogRecorder::newFileEmptiesAnExistingFile()
{
    QVERIFY(writeFile(path("old.log"), QByteArray("old contents\r\n").repeated(1000)));
    LogRecorder recorder;
    QString error;
    QVERIFY2(recorder.createFile(path("old.log"), &error), qPrintable(error));
    QCOMPARE(contents(path("old.log")), kHeader);
}

void TestLogRecorder::completeFileByteForByte()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY2(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error),
             qPrintable(error));
    QVERIFY(!recorder.headerPending());
    QVERIFY(recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    // Two samples within the same second, and one of 10 m/s, written as given.
    QVERIFY(recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    QVERIFY(recorder.append(s("10.000"), s("000"), s("24/05/2009 14:03:09"), s("m/s"), &error));

    const QByteArray expected = kHeader + kUnitsMs +
                                "\"0.515\",\"088\",\"24/05/2009 14:03:07\"\r\n" +
                                "\"0.516\",\"089\",\"24/05/2009 14:03:08\"\r\n" +
                                "\"0.516\",\"089\",\"24/05/2009 14:03:08\"\r\n" +
                                "\"10.000\",\"000\",\"24/05/2009 14:03:09\"\r\n";
    QCOMPARE(contents(path("survey.log")), expected);
    QCOMPARE(recorder.backlogLines(), 0);
}

void TestLogRecorder::loggingOffWritesNothing()
{
    LogRecorder recorder;
    QString error = s("untouched");
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));
    QCOMPARE(contents(path("survey.log")), kHeader);
    QVERIFY(recorder.headerPending());
    QCOMPARE(recorder.backlogLines(), 0);

    // Logging off does not even need the file.
    QVERIFY(QFile::remove(path("survey.log")));
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));
    QVERIFY(!QFile::exists(path("survey.log")));
}

void TestLogRecorder::startStopStartKeepsOneUnitsLine()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));
    recorder.setLogging(false);
    QVERIFY(recorder.append(s("0.600"), s("100"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0.700"), s("110"), s("24/05/2009 14:03:09"), s("m/s"), &error));
    QCOMPARE(contents(path("survey.log")), kHeader + kUnitsMs +
                                               record("0.515", "088", "24/05/2009 14:03:07") +
                                               record("0.700", "110", "24/05/2009 14:03:09"));
}

void TestLogRecorder::newFileWhileLoggingTakesTheNextSample()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("first.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));

    QVERIFY(recorder.createFile(path("second.log"), &error));
    QVERIFY(recorder.logging());
    QVERIFY(recorder.headerPending());
    QCOMPARE(recorder.currentFile(), path("second.log"));
    QVERIFY(recorder.append(s("05.15"), s("271"), s("24/05/2009 14:03:08"), s("Knots"), &error));

    QCOMPARE(contents(path("first.log")),
             kHeader + kUnitsMs + record("0.515", "088", "24/05/2009 14:03:07"));
    QCOMPARE(contents(path("second.log")),
             kHeader + kUnitsKnots + record("05.15", "271", "24/05/2009 14:03:08"));
}

void TestLogRecorder::unitsChangingMidFileKeepTheirOwnWidths()
{
    // The demonstration runs through mm/s, m/s and knots: a units line before each change, so the
    // file says what every record holds.
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("demo.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0250"), s("135"), s("24/05/2009 14:03:07"), s("mm/s"), &error));
    QVERIFY(recorder.append(s("0.250"), s("225"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    QVERIFY(recorder.append(s("00.49"), s("315"), s("24/05/2009 14:03:09"), s("Knots"), &error));

    const QByteArray file = contents(path("demo.log"));
    QCOMPARE(file, kHeader + kUnitsMms + record("0250", "135", "24/05/2009 14:03:07") + kUnitsMs +
                       record("0.250", "225", "24/05/2009 14:03:08") + kUnitsKnots +
                       record("00.49", "315", "24/05/2009 14:03:09"));
    const QList<QByteArray> lines = file.split('\n');
    QCOMPARE(lines.size(), 8); // seven lines and the empty rest after the last line end
    QCOMPARE(lines[2].size(), 34 + 1);
    QCOMPARE(lines[4].size(), 35 + 1);
    QCOMPARE(lines[6].size(), 35 + 1);
}

void TestLogRecorder::appendWithoutAFileFails()
{
    LogRecorder recorder;
    recorder.setLogging(true);
    QString error;
    QVERIFY(!recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));
    QCOMPARE(error, s("No file name specified"));
    QCOMPARE(recorder.backlogLines(), 2);
}

void TestLogRecorder::appendToADeletedFileFailsAndDoesNotCreateIt()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));
    QVERIFY(QFile::remove(path("survey.log")));

    QVERIFY(!recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    QCOMPARE(error, s("No such file or directory"));
    QVERIFY(!QFile::exists(path("survey.log")));
    QCOMPARE(recorder.backlogLines(), 1);
    error.clear();
    QVERIFY(!recorder.append(s("0.517"), s("090"), s("24/05/2009 14:03:09"), s("m/s"), &error));
    QCOMPARE(error, s("No such file or directory"));
    QVERIFY(!QFile::exists(path("survey.log")));
    QCOMPARE(recorder.backlogLines(), 2);
    QVERIFY(recorder.logging());

    // A new log file ends it: the kept samples go into it first, in order, once.
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    QCOMPARE(recorder.backlogLines(), 0);
    QVERIFY(recorder.append(s("0.518"), s("091"), s("24/05/2009 14:03:10"), s("m/s"), &error));
    QCOMPARE(contents(path("survey.log")), kHeader + kUnitsMs +
                                               record("0.516", "089", "24/05/2009 14:03:08") +
                                               record("0.517", "090", "24/05/2009 14:03:09") +
                                               record("0.518", "091", "24/05/2009 14:03:10"));
}

void TestLogRecorder::fullDiskIsReportedAndTheBacklogFollowsWhenWritable()
{
    if (!QFile::exists(s("/dev/full")))
        QSKIP("this system has no /dev/full");
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);

    // The log file's name now leads to a device that is always full.
    QVERIFY(QFile::remove(path("survey.log")));
    QVERIFY(QFile::link(s("/dev/full"), path("survey.log")));
    QVERIFY(!recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));
    QCOMPARE(error, s("No space left on device"));
    QCOMPARE(recorder.backlogLines(), 2); // the units line and the record
    error.clear();
    QVERIFY(!recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    QCOMPARE(error, s("No space left on device"));
    QCOMPARE(recorder.backlogLines(), 3);

    // Space again: the name leads to a file that holds the header.
    QVERIFY(writeFile(path("real.log"), kHeader));
    QVERIFY(QFile::remove(path("survey.log")));
    QVERIFY(QFile::link(path("real.log"), path("survey.log")));
    QVERIFY2(recorder.append(s("0.517"), s("090"), s("24/05/2009 14:03:09"), s("m/s"), &error),
             qPrintable(error));
    QCOMPARE(recorder.backlogLines(), 0);
    QCOMPARE(contents(path("real.log")), kHeader + kUnitsMs +
                                             record("0.515", "088", "24/05/2009 14:03:07") +
                                             record("0.516", "089", "24/05/2009 14:03:08") +
                                             record("0.517", "090", "24/05/2009 14:03:09"));
}

void TestLogRecorder::writeCutShortLeavesNoHalfLine()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    {
        // Room for ten more bytes: the units line is cut off inside, as on a disk filling up.
        FileSizeLimit limit(kHeader.size() + 10);
        if (!limit.isSet())
            QSKIP("the file size limit cannot be set here");
        const bool appended =
            recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error);
        limit.release();
        QVERIFY(!appended);
    }
    QCOMPARE(error, s("File too large"));
    QCOMPARE(contents(path("survey.log")), kHeader);
    QCOMPARE(recorder.backlogLines(), 2);

    QVERIFY2(recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error),
             qPrintable(error));
    QCOMPARE(contents(path("survey.log")), kHeader + kUnitsMs +
                                               record("0.515", "088", "24/05/2009 14:03:07") +
                                               record("0.516", "089", "24/05/2009 14:03:08"));
}

void TestLogRecorder::writeCutShortOnAnAppendOnlyFileContinuesWhereItStopped()
{
    // An append-only file cannot be cut back after a write that stopped half way; the next
    // append then carries on from the first byte that did not get in.
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));
    InodeFlag appendOnly(path("survey.log"), FS_APPEND_FL);
    if (!appendOnly.isSet())
        QSKIP("the append-only flag cannot be set here (file system or rights)");
    const qint64 sizeBefore = QFileInfo(path("survey.log")).size();
    {
        FileSizeLimit limit(sizeBefore + 20);
        if (!limit.isSet())
            QSKIP("the file size limit cannot be set here");
        const bool appended =
            recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error);
        limit.release();
        QVERIFY(!appended);
    }
    QCOMPARE(error, s("File too large"));
    QCOMPARE(QFileInfo(path("survey.log")).size(), sizeBefore + 20);
    QCOMPARE(recorder.backlogLines(), 1); // the rest of the record

    QVERIFY2(recorder.append(s("0.517"), s("090"), s("24/05/2009 14:03:09"), s("m/s"), &error),
             qPrintable(error));
    QCOMPARE(contents(path("survey.log")), kHeader + kUnitsMs +
                                               record("0.515", "088", "24/05/2009 14:03:07") +
                                               record("0.516", "089", "24/05/2009 14:03:08") +
                                               record("0.517", "090", "24/05/2009 14:03:09"));
}

void TestLogRecorder::wholeLinesThatFitAreKeptWhenTheDiskFillsDuringAWrite()
{
    // Samples wait while the file is away; it comes back with room for two of them only.
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(QFile::remove(path("survey.log")));
    QVERIFY(!recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));
    QVERIFY(!recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    QVERIFY(!recorder.append(s("0.517"), s("090"), s("24/05/2009 14:03:09"), s("m/s"), &error));
    QVERIFY(writeFile(path("survey.log"), kHeader));
    const QByteArray fits = kHeader + kUnitsMs + record("0.515", "088", "24/05/2009 14:03:07") +
                            record("0.516", "089", "24/05/2009 14:03:08");
    {
        FileSizeLimit limit(fits.size() + 20);
        if (!limit.isSet())
            QSKIP("the file size limit cannot be set here");
        const bool appended =
            recorder.append(s("0.518"), s("091"), s("24/05/2009 14:03:10"), s("m/s"), &error);
        limit.release();
        QVERIFY(!appended);
    }
    QCOMPARE(error, s("File too large"));
    // What fitted is in, whole lines only; the rest waits, in order.
    QCOMPARE(contents(path("survey.log")), fits);
    QCOMPARE(recorder.backlogLines(), 2);
    QCOMPARE(recorder.recordsWritten(), qint64(2));

    QVERIFY2(recorder.append(s("0.519"), s("092"), s("24/05/2009 14:03:11"), s("m/s"), &error),
             qPrintable(error));
    QCOMPARE(contents(path("survey.log")), fits + record("0.517", "090", "24/05/2009 14:03:09") +
                                               record("0.518", "091", "24/05/2009 14:03:10") +
                                               record("0.519", "092", "24/05/2009 14:03:11"));
}

void TestLogRecorder::readOnlyFileIsReportedAndRecovers()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));

    // Root writes to files whatever their permissions say; the immutable flag stops it.
    QString expectedError = s("Permission denied");
    std::unique_ptr<InodeFlag> immutable;
    const QFileDevice::Permissions permissions = QFile::permissions(path("survey.log"));
    if (::geteuid() == 0) {
        immutable = std::make_unique<InodeFlag>(path("survey.log"), FS_IMMUTABLE_FL);
        if (!immutable->isSet())
            QSKIP("running as root, and the immutable flag cannot be set here");
        expectedError = s("Operation not permitted");
    } else {
        QVERIFY(QFile::setPermissions(path("survey.log"), QFileDevice::ReadOwner));
    }

    QVERIFY(!recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    QCOMPARE(error, expectedError);
    QVERIFY(!recorder.append(s("0.517"), s("090"), s("24/05/2009 14:03:09"), s("m/s"), &error));
    QCOMPARE(recorder.backlogLines(), 2);

    if (immutable)
        immutable->release();
    else
        QVERIFY(QFile::setPermissions(path("survey.log"), permissions));
    QVERIFY2(recorder.append(s("0.518"), s("091"), s("24/05/2009 14:03:10"), s("m/s"), &error),
             qPrintable(error));
    QCOMPARE(contents(path("survey.log")), kHeader + kUnitsMs +
                                               record("0.515", "088", "24/05/2009 14:03:07") +
                                               record("0.516", "089", "24/05/2009 14:03:08") +
                                               record("0.517", "090", "24/05/2009 14:03:09") +
                                               record("0.518", "091", "24/05/2009 14:03:10"));
}

void TestLogRecorder::backlogIsBoundedAndKeepsTheUnitsLine()
{
    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(QFile::remove(path("survey.log")));

    const int samples = LogRecorder::kMaxBacklogLines + 5;
    auto bearing = [](int i) { return QString::number(i % 360).rightJustified(3, u'0'); };
    int failed = 0;
    for (int i = 0; i < samples; ++i) {
        failed += !recorder.append(QString::number(i), bearing(i), s("24/05/2009 14:03:07"),
                                   s("mm/s"), &error);
    }
    QCOMPARE(failed, samples);
    QCOMPARE(recorder.backlogLines(), LogRecorder::kMaxBacklogLines);
    // No spill folder here: the oldest records went, and are counted.
    QCOMPARE(recorder.droppedLines(), qint64(samples + 1 - LogRecorder::kMaxBacklogLines));

    // The file comes back (put back by the operator, header and all).
    QVERIFY(writeFile(path("survey.log"), kHeader));
    QVERIFY(recorder.append(QString::number(samples), bearing(samples), s("24/05/2009 14:03:07"),
                            s("mm/s"), &error));
    const QList<QByteArray> lines = contents(path("survey.log")).split('\n');
    // The header, then the backlog at its bound (the units line and the newest records), then
    // the last sample, which waited for nothing; after the last line end the split leaves an
    // empty rest.
    QCOMPARE(lines.size(), 1 + LogRecorder::kMaxBacklogLines + 1 + 1);
    QCOMPARE(lines[0] + '\n', kHeader);
    QCOMPARE(lines[1] + '\n', kUnitsMms);
    const int oldestKept = samples + 1 - LogRecorder::kMaxBacklogLines;
    QCOMPARE(lines[2] + '\n', logRecordLine(QString::number(oldestKept), bearing(oldestKept),
                                            s("24/05/2009 14:03:07")));
    QCOMPARE(lines[lines.size() - 2] + '\n',
             logRecordLine(QString::number(samples), bearing(samples), s("24/05/2009 14:03:07")));
    QVERIFY(lines.last().isEmpty());
}

void TestLogRecorder::failedNewFileKeepsThePreviousFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder")
        << s("no such folder/survey.log") << s("No such file or directory");
    QTest::newRow("a folder") << s("folder") << s("Is a directory");
    QTest::newRow("empty name") << QString() << s("No file name specified");
}

void TestLogRecorder::failedNewFileKeepsThePreviousFile()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(QDir(m_dir->path()).mkdir(s("folder")));

    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    recorder.setLogging(true);
    QVERIFY(recorder.append(s("0.515"), s("088"), s("24/05/2009 14:03:07"), s("m/s"), &error));

    error.clear();
    const QString target = name.isEmpty() ? QString() : m_dir->filePath(name);
    QVERIFY(!recorder.createFile(target, &error));
    QCOMPARE(error, reason);
    QCOMPARE(recorder.currentFile(), path("survey.log"));
    QVERIFY(!recorder.headerPending());
    QVERIFY(recorder.logging());

    QVERIFY(recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error));
    QCOMPARE(contents(path("survey.log")), kHeader + kUnitsMs +
                                               record("0.515", "088", "24/05/2009 14:03:07") +
                                               record("0.516", "089", "24/05/2009 14:03:08"));
}

void TestLogRecorder::newFileRefusedByPermissionsIsReported()
{
    QVERIFY(QDir(m_dir->path()).mkdir(s("locked")));
    const QString folder = m_dir->filePath(s("locked"));
    // Root creates files whatever the folder's permissions say; an immutable folder stops it.
    QString expectedError = s("Permission denied");
    std::unique_ptr<InodeFlag> immutable;
    if (::geteuid() == 0) {
        immutable = std::make_unique<InodeFlag>(folder, FS_IMMUTABLE_FL);
        if (!immutable->isSet())
            QSKIP("running as root, and the immutable flag cannot be set here");
        expectedError = s("Operation not permitted");
    } else {
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    LogRecorder recorder;
    QString error;
    const bool created = recorder.createFile(folder + s("/survey.log"), &error);
    if (immutable)
        immutable->release();
    else
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    QVERIFY(!created);
    QCOMPARE(error, expectedError);
    QVERIFY(!recorder.hasFile());
    QVERIFY(!QFile::exists(folder + s("/survey.log")));
}

void TestLogRecorder::continuedFileKeepsItsLinesAndWritesNoSecondHeader_data()
{
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<QByteArray>("added"); // what one m/s sample adds

    const QByteArray first = record("0.515", "088", "24/05/2009 14:03:07");
    const QByteArray next = record("0.516", "089", "24/05/2009 14:03:08");
    QTest::newRow("header only: units line comes") << kHeader << kUnitsMs + next;
    QTest::newRow("units line, no record yet") << kHeader + kUnitsMs << next;
    QTest::newRow("records: continue below them") << kHeader + kUnitsMs + first << next;
    // A knots file continued with m/s records says so before them.
    QTest::newRow("knots file: m/s marked") << kHeader + kUnitsKnots << kUnitsMs + next;
    // The recorder stopped in the middle of a line: the line is ended, never glued to.
    QTest::newRow("last line cut short")
        << kHeader + kUnitsMs + first.left(10) << QByteArray("\r\n") + next;
}

void TestLogRecorder::continuedFileKeepsItsLinesAndWritesNoSecondHeader()
{
    QFETCH(QByteArray, existing);
    QFETCH(QByteArray, added);
    QVERIFY(writeFile(path("flow.log"), existing));

    LogRecorder recorder;
    QString error;
    QVERIFY2(recorder.continueFile(path("flow.log"), &error), qPrintable(error));
    QCOMPARE(recorder.currentFile(), path("flow.log"));
    QCOMPARE(contents(path("flow.log")), existing); // continuing changes nothing yet
    recorder.setLogging(true);
    QVERIFY2(recorder.append(s("0.516"), s("089"), s("24/05/2009 14:03:08"), s("m/s"), &error),
             qPrintable(error));
    QCOMPARE(contents(path("flow.log")), existing + added);
    QVERIFY(!recorder.headerPending());
}

void TestLogRecorder::continuingAFileThatIsNotALogIsRefused_data()
{
    QTest::addColumn<QByteArray>("existing");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("other text") << QByteArray("notes of the survey\r\n");
    QTest::newRow("header without its line end") << kHeader.left(kHeader.size() - 2);
    QTest::newRow("header with a bare line feed") << kHeader.left(kHeader.size() - 2) + "\n";
    QTest::newRow("header not first") << kUnitsMs + kHeader;
}

void TestLogRecorder::continuingAFileThatIsNotALogIsRefused()
{
    QFETCH(QByteArray, existing);
    QVERIFY(writeFile(path("notes.txt"), existing));

    LogRecorder recorder;
    QString error;
    QVERIFY(recorder.createFile(path("survey.log"), &error));
    QVERIFY(!recorder.continueFile(path("notes.txt"), &error));
    QVERIFY2(error.contains(s("Not a log file")), qPrintable(error));
    // The previous file stays current; the refused one is untouched.
    QCOMPARE(recorder.currentFile(), path("survey.log"));
    QCOMPARE(contents(path("notes.txt")), existing);

    QVERIFY(!recorder.continueFile(path("missing.log"), &error));
    QCOMPARE(error, s("No such file or directory"));
}

QTEST_GUILESS_MAIN(TestLogRecorder)
#include "tst_logrecorder.moc"
