// The data file written beside the log: its exact head and rows, RFC 4180 quoting, a change of
// bearing convention and face mid-run, continuing a file, and writes that fail and recover.

#include "logformat/DataFileFormat.h"
#include "recording/DataFileWriter.h"
#include "tests/support/CsvReaders.h"
#include "tests/support/FailingFileDevice.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cmath>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<cannot read>");
    return file.readAll();
}

qint64 utcMs(int h, int m, int s, int ms)
{
    return QDateTime(QDate(2009, 5, 24), QTime(h, m, s, ms), QTimeZone::utc()).toMSecsSinceEpoch();
}

Sample live(const char* x, const char* y, SpeedUnitsKind units, double xMs, double yMs,
            double speedMs, double bearing, bool to, bool faceUp, qint64 timeMs)
{
    Sample s;
    s.source = SampleSource::Live;
    s.units = units;
    s.hasRecord = true;
    s.rawX = QString::fromLatin1(x);
    s.rawY = QString::fromLatin1(y);
    s.xMs = xMs;
    s.yMs = yMs;
    s.computed = true;
    s.speedMs = speedMs;
    s.bearing = bearing;
    s.bearingTo = to;
    s.faceUp = faceUp;
    s.timeMs = timeMs;
    return s;
}

DataFileHeader header()
{
    DataFileHeader h;
    h.portName = QStringLiteral("COM1");
    h.portDevice = QStringLiteral("/dev/ttyS0");
    h.baudRate = 9600;
    h.dataBits = 8;
    h.parity = QStringLiteral("none");
    h.stopBits = QStringLiteral("1");
    h.bearingTo = false;
    h.faceUp = false;
    h.headingOffset = 12.5;
    h.logLocalTime = false;
    h.logFile = QStringLiteral("/data/survey.log");
    return h;
}

const QByteArray kComments = "# Marvane " MARVANE_VERSION " data file\r\n"
                             "# Port: COM1 (/dev/ttyS0), 9600 baud, 8 data bits, parity none, "
                             "1 stop bit\r\n"
                             "# Bearing convention: from (where the flow comes from)\r\n"
                             "# Face: down\r\n"
                             "# Heading: 12.5 degrees true, added to every bearing\r\n"
                             "# Log time stamps: UTC\r\n"
                             "# Log file: /data/survey.log\r\n"
                             "# Times below: UTC; convention and face: in force for each row\r\n";
const QByteArray kHeaderRow =
    "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face,note\r\n";
// An earlier version's header row, without the note column.
const QByteArray kOldHeaderRow =
    "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face\r\n";

} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT

private slots:
    void headAndRowsAreExact()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        DataFileWriter writer;
        QString error;
        QVERIFY2(writer.open(path, header(), &error), qPrintable(error));
        QCOMPARE(contents(path), kComments + kHeaderRow);

        // A knots record: 0.15 kn is 0.0771666 m/s, written to six decimals.
        Sample replayed = live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1,
                               270, false, false, utcMs(14, 3, 9, 0));
        replayed.source = SampleSource::Replay;
        Sample failed = live("+0.1x0", "+0.000", SpeedUnitsKind::MetresPerSecond, 0, 0, 0, 0, false,
                             false, utcMs(14, 3, 9, 0));
        failed.computed = false;
        writer.takeBatch({live("+0.515", "-0.020", SpeedUnitsKind::MetresPerSecond, 0.515, -0.02,
                               0.5153882, 92.2240123, false, false, utcMs(14, 3, 7, 250)),
                          replayed, failed,
                          live("+00.15", "+00.00", SpeedUnitsKind::Knots, 0.0771666, 0, 0.0771666,
                               270, false, false, utcMs(14, 3, 8, 5))});
        QCOMPARE(contents(path),
                 kComments + kHeaderRow +
                     "2009-05-24T14:03:07.250Z,+0.515,-0.020,m/s,0.515,-0.02,0.515388,92.224,"
                     "from,down,\r\n"
                     "2009-05-24T14:03:08.005Z,+00.15,+00.00,Knots,0.077167,0,0.077167,270,"
                     "from,down,\r\n");
    }

    void conventionAndFaceChangesShowInTheRows()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        DataFileWriter writer;
        QVERIFY(writer.open(path, header(), nullptr));
        // The same flow before and after the operator chose To and Face Up.
        writer.takeBatch({live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1,
                               270, false, false, utcMs(14, 3, 7, 0))});
        writer.takeBatch({live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1,
                               270, true, true, utcMs(14, 3, 8, 0))});
        QCOMPARE(contents(path), kComments + kHeaderRow +
                                     "2009-05-24T14:03:07.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,"
                                     "from,down,\r\n"
                                     "2009-05-24T14:03:08.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,"
                                     "to,up,\r\n");
    }

    void fieldsAreQuotedAsRfc4180Wants_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << QStringLiteral("+0.515") << QByteArray("+0.515");
        QTest::newRow("empty") << QString() << QByteArray("");
        QTest::newRow("comma") << QStringLiteral("a,b") << QByteArray("\"a,b\"");
        QTest::newRow("quote") << QStringLiteral("say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("line break") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
    }
    void fieldsAreQuotedAsRfc4180Wants()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, field);
        QCOMPARE(csvField(text), field);
        QList<QString> back;
        QVERIFY(splitCsvLine(QByteArray(field + ",x"), &back));
        QCOMPARE(back, (QList<QString>{text, QStringLiteral("x")}));
    }

    void isoTimesAgreeWithQt_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("epoch") << 0LL << QStringLiteral("1970-01-01T00:00:00.000Z");
        QTest::newRow("before it") << -1LL << QStringLiteral("1969-12-31T23:59:59.999Z");
        QTest::newRow("leap day") << 951782400123LL << QStringLiteral("2000-02-29T00:00:00.123Z");
        QTest::newRow("end of a year")
            << 1798761599999LL << QStringLiteral("2026-12-31T23:59:59.999Z");
        QTest::newRow("2100 is not leap")
            << 4107542400000LL << QStringLiteral("2100-03-01T00:00:00.000Z");
    }
    void isoTimesAgreeWithQt()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(isoUtcText(ms), text);
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs), text);
        qint64 back = 0;
        QVERIFY(parseIsoTime(text, &back));
        QCOMPARE(back, ms);
    }

    void rowWithQuotedFieldsReadsBack()
    {
        DataFileRow row;
        row.timeMs = utcMs(14, 3, 7, 1);
        row.rawX = QStringLiteral("+0,515");
        row.rawY = QStringLiteral("\"-0.020");
        row.units = SpeedUnitsKind::MetresPerSecond;
        row.speedMs = 0.5;
        row.bearing = 359.9996;
        row.bearingTo = true;
        const QByteArray line = dataFileRowLine(row);
        QCOMPARE(line, QByteArray("2009-05-24T14:03:07.001Z,\"+0,515\",\"\"\"-0.020\",m/s,,,0.5,0,"
                                  "to,,\r\n"));
        DataFileRow back;
        QVERIFY(parseDataFileRow(line.chopped(2), &back));
        QCOMPARE(back.timeMs, row.timeMs);
        QCOMPARE(back.rawX, row.rawX);
        QCOMPARE(back.rawY, row.rawY);
        QVERIFY(!back.xMs && !back.faceUp);
        QCOMPARE(back.bearingTo, true);
        QCOMPARE(back.units, SpeedUnitsKind::MetresPerSecond);
    }

    // The units column holds the log file's units words; read back, a word becomes the units it
    // names, and a row of any other word (the readout's caption "Kts" included) is not read.
    void unitsWordsReadBackAsUnits_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("units"); // SpeedUnitsKind
        QTest::newRow("m/s") << QStringLiteral("m/s") << true
                             << int(SpeedUnitsKind::MetresPerSecond);
        QTest::newRow("Knots") << QStringLiteral("Knots") << true << int(SpeedUnitsKind::Knots);
        QTest::newRow("mm/s") << QStringLiteral("mm/s") << true
                              << int(SpeedUnitsKind::MillimetresPerSecond);
        QTest::newRow("the caption Kts") << QStringLiteral("Kts") << false << -1;
        QTest::newRow("knots in lower case") << QStringLiteral("knots") << false << -1;
        QTest::newRow("a blank before") << QStringLiteral(" m/s") << false << -1;
        QTest::newRow("empty") << QString() << false << -1;
    }

    void unitsWordsReadBackAsUnits()
    {
        QFETCH(QString, word);
        QFETCH(bool, read);
        QFETCH(int, units);
        const QByteArray line = "2009-05-24T14:03:07.001Z,+0.515,-0.020," + word.toUtf8() +
                                ",0.515,-0.02,0.515388,92.224,from,down";
        DataFileRow row;
        QCOMPARE(parseDataFileRow(line, &row), read);
        if (!read)
            return;
        QCOMPARE(int(row.units), units);
        // Written again, the row says the same word (in the columns it was read in: an earlier
        // version's, without the note; in today's it ends in an empty note).
        QCOMPARE(dataFileRowLine(row, false), line + "\r\n");
        QCOMPARE(dataFileRowLine(row), line + ",\r\n");
    }

    // Numbers are rounded (six decimals for m/s, three for degrees) and written with no more
    // digits than the rounded value needs: the shortest text that reads back as it, as
    // QString::number gives it, however the row is made.
    void rowNumbersAreTheShortestTextOfTheRoundedValue_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("bearing");
        QTest::addColumn<QByteArray>("speedText");
        QTest::addColumn<QByteArray>("bearingText");
        QTest::newRow("plain") << 0.515 << 92.224 << QByteArray("0.515") << QByteArray("92.224");
        QTest::newRow("knots in m/s")
            << 0.15 * 1852.0 / 3600.0 << 0.0 << QByteArray("0.077167") << QByteArray("0");
        QTest::newRow("whole") << 2.0 << 180.0 << QByteArray("2") << QByteArray("180");
        QTest::newRow("rounds up to a whole")
            << 0.9999996 << 89.9996 << QByteArray("1") << QByteArray("90");
        QTest::newRow("below the last decimal")
            << 0.0000004 << 0.0004 << QByteArray("0") << QByteArray("0");
        QTest::newRow("rounds to north")
            << 1e-6 << 359.9996 << QByteArray("0.000001") << QByteArray("0");
        QTest::newRow("negative, never -0")
            << -0.0000004 << -0.0001 << QByteArray("0") << QByteArray("0");
        QTest::newRow("negative") << -1.5 << -12.5 << QByteArray("-1.5") << QByteArray("-12.5");
        QTest::newRow("half a last decimal")
            << 0.0000005 << 0.0005 << QByteArray("0.000001") << QByteArray("0.001");
        QTest::newRow("many digits") << 123456789.123456 << 359.999
                                     << QByteArray("123456789.123456") << QByteArray("359.999");
        QTest::newRow("too many for the short way")
            << 1.5e12 << 1e14 << QByteArray("1500000000000") << QByteArray("99999999999640");
    }
    void rowNumbersAreTheShortestTextOfTheRoundedValue()
    {
        QFETCH(double, speed);
        QFETCH(double, bearing);
        QFETCH(QByteArray, speedText);
        QFETCH(QByteArray, bearingText);
        DataFileRow row;
        row.units = SpeedUnitsKind::MetresPerSecond;
        row.speedMs = speed;
        row.xMs = speed;
        row.yMs = -speed;
        row.bearing = bearing;
        const QList<QByteArray> fields = dataFileRowLine(row).chopped(2).split(',');
        QCOMPARE(fields.size(), 11); // the note last, empty
        QCOMPARE(fields.at(10), QByteArray());
        QCOMPARE(fields.at(4), speedText);
        const QByteArray negated = speedText == "0"            ? speedText
                                   : speedText.startsWith('-') ? speedText.mid(1)
                                                               : "-" + speedText;
        QCOMPARE(fields.at(5), negated);
        QCOMPARE(fields.at(6), speedText);
        QCOMPARE(fields.at(7), bearingText);
        // The long way, for the same value.
        const auto longWay = [](double value, int decimals) {
            const double scale = std::pow(10.0, decimals);
            double rounded = std::round(value * scale) / scale;
            if (rounded == 0)
                rounded = 0;
            return QString::number(rounded, 'f', QLocale::FloatingPointShortest).toLatin1();
        };
        QCOMPARE(fields.at(6), longWay(speed, 6));
    }

    // Rows whose fields need quotes, or are long, or are not ASCII, come out whole and in order.
    void rowsOfEveryKindOfFieldComeOutWhole()
    {
        DataFileRow row;
        row.timeMs = utcMs(14, 3, 7, 250);
        row.rawX = QString(100, QLatin1Char('x'));
        row.rawY = QStringLiteral("caf\u00e9");
        row.units = SpeedUnitsKind::MetresPerSecond;
        row.speedMs = 0.25;
        row.bearing = 90;
        row.faceUp = false;
        QCOMPARE(dataFileRowLine(row), "2009-05-24T14:03:07.250Z," + QByteArray(100, 'x') +
                                           ",caf\xc3\xa9,m/s,,,0.25,90,from,down,\r\n");
        QByteArray rows = "head\r\n";
        appendDataFileRowLine(&rows, row);
        row.rawX = QStringLiteral("a,b");
        appendDataFileRowLine(&rows, row);
        // An event's row: its note quoted as it needs, on one line.
        DataFileRow mark;
        mark.timeMs = utcMs(14, 3, 8, 0);
        mark.event = true;
        mark.note = QStringLiteral("mark: diver \"Ann\", north\nladder");
        appendDataFileRowLine(&rows, mark);
        // In an earlier version's columns an event has no place, and a sample no note.
        appendDataFileRowLine(&rows, mark, false);
        appendDataFileRowLine(&rows, row, false);
        QCOMPARE(rows, "head\r\n2009-05-24T14:03:07.250Z," + QByteArray(100, 'x') +
                           ",caf\xc3\xa9,m/s,,,0.25,90,from,down,\r\n"
                           "2009-05-24T14:03:07.250Z,\"a,b\",caf\xc3\xa9,m/s,,,0.25,90,from,"
                           "down,\r\n"
                           "2009-05-24T14:03:08.000Z,,,,,,,,,,\"mark: diver \"\"Ann\"\", north "
                           "ladder\"\r\n"
                           "2009-05-24T14:03:07.250Z,\"a,b\",caf\xc3\xa9,m/s,,,0.25,90,from,"
                           "down\r\n");
    }

    void failedWritesKeepRowsAndReportOncePerEpisode()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        FailingFileDevice device; // outlives the writer, which closes its file through it
        DataFileWriter writer;
        writer.setFileDevice(&device);
        qint64 now = 0;
        writer.setClock([&now] { return now; });
        QVERIFY(writer.open(path, header(), nullptr));
        QSignalSpy failed(&writer, &DataFileWriter::writeFailed);
        QSignalSpy recovered(&writer, &DataFileWriter::writeRecovered);
        const auto sampleAt = [](int s) {
            return live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1, 270,
                        false, false, utcMs(14, 3, s, 0));
        };

        // Moved away, and no file can be made at its path for a while (found a second later).
        QVERIFY(QFile::rename(path, path + QStringLiteral(".1")));
        device.failOpen(path, ENOENT);
        now += AppendFile::kPathCheckMs;
        writer.takeBatch({sampleAt(1)});
        writer.takeBatch({sampleAt(2)});
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("No such file or directory"));
        QCOMPARE(writer.backlogRows(), 2);
        QVERIFY(!QFile::exists(path));

        // Made empty by hand: the head comes back before the rows kept, in order.
        QFile empty(path);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        device.heal(path);
        writer.takeBatch({sampleAt(3)});
        QCOMPARE(recovered.count(), 1);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(writer.backlogRows(), 0);
        QCOMPARE(contents(path), kComments + kHeaderRow +
                                     "2009-05-24T14:03:01.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,"
                                     "from,down,\r\n"
                                     "2009-05-24T14:03:02.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,"
                                     "from,down,\r\n"
                                     "2009-05-24T14:03:03.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,"
                                     "from,down,\r\n");
    }

    void eachPollIsOneWriteAndOneSyncOnAFileKeptOpen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        FailingFileDevice device;
        DataFileWriter writer;
        writer.setFileDevice(&device);
        QVERIFY(writer.open(path, header(), nullptr));
        for (int poll = 1; poll <= 3; ++poll) {
            SampleBatch batch;
            for (int i = 0; i < 50; ++i)
                batch << live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1, 270,
                              false, false, utcMs(14, 3, poll, i));
            writer.takeBatch(batch);
        }
        QCOMPARE(device.opens(path), 1);
        QCOMPARE(device.writes(path), 1 + 3); // the head, then one per poll
        QCOMPARE(device.syncs(path), 1 + 3);
        QCOMPARE(contents(path).count('\n'), 9 + 150);
    }

    void failedSyncIsToldOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        FailingFileDevice device;
        DataFileWriter writer;
        writer.setFileDevice(&device);
        QVERIFY(writer.open(path, header(), nullptr));
        QSignalSpy failed(&writer, &DataFileWriter::writeFailed);
        QSignalSpy recovered(&writer, &DataFileWriter::writeRecovered);
        const Sample sample = live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1,
                                   270, false, false, utcMs(14, 3, 7, 0));
        device.failSync(path);
        writer.takeBatch({sample});
        writer.takeBatch({sample});
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("Input/output error"));
        device.heal(path);
        writer.takeBatch({sample});
        QCOMPARE(recovered.count(), 1);
        QCOMPARE(recovered.at(0).at(1).toLongLong(), 0);
        QCOMPARE(contents(path).count('\n'), 9 + 3);
    }

    void secondWriterOfOneDataFileIsRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        DataFileWriter first;
        QVERIFY(first.open(path, header(), nullptr));
        // Two recordings interleaving their rows would make one file of two instruments.
        DataFileWriter second;
        QString error;
        QVERIFY(!second.open(path, header(), &error, DataFileWriter::Mode::Append));
        QVERIFY2(error.startsWith(QStringLiteral("The file is being recorded by another program")),
                 qPrintable(error));
        QVERIFY(!second.open(path, header(), &error));
        QCOMPARE(contents(path), kComments + kHeaderRow);
    }

    // Marks, the device's loss and return and alarms: rows of their own, the time and the note,
    // every other field empty; the note quoted as RFC 4180 wants, on one line.
    void eventsAreRowsOfTheirOwn_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("note");
        const auto row = [](const char* name, SessionEvent::Kind kind, const QString& reason,
                            const char* note, const QString& readBack) {
            QTest::newRow(name) << int(kind) << reason
                                << QByteArray("2009-05-24T14:03:07.912Z,,,,,,,,,," +
                                              QByteArray(note) + "\r\n")
                                << readBack;
        };
        row("mark without a note", SessionEvent::Kind::Mark, QString(), "mark",
            QStringLiteral("mark"));
        row("mark with a note", SessionEvent::Kind::Mark, QStringLiteral("diver in the water"),
            "mark: diver in the water", QStringLiteral("mark: diver in the water"));
        row("note with a comma", SessionEvent::Kind::Mark, QStringLiteral("diver in, north"),
            "\"mark: diver in, north\"", QStringLiteral("mark: diver in, north"));
        row("note with quotes", SessionEvent::Kind::Mark, QStringLiteral("buoy \"B7\" moved"),
            "\"mark: buoy \"\"B7\"\" moved\"", QStringLiteral("mark: buoy \"B7\" moved"));
        row("note with a line break", SessionEvent::Kind::Mark, QStringLiteral("one\ntwo"),
            "mark: one two", QStringLiteral("mark: one two"));
        row("device lost", SessionEvent::Kind::Reconnecting, QStringLiteral("No such device"),
            "device lost", QStringLiteral("device lost"));
        row("device back", SessionEvent::Kind::Reconnected, QString(), "device back",
            QStringLiteral("device back"));
        row("alarm raised", SessionEvent::Kind::AlarmRaised,
            QStringLiteral("speed above 1.500 m/s"), "alarm raised: speed above 1.500 m/s",
            QStringLiteral("alarm raised: speed above 1.500 m/s"));
        row("alarm cleared", SessionEvent::Kind::AlarmCleared,
            QStringLiteral("speed above 1.500 m/s"), "alarm cleared: speed above 1.500 m/s",
            QStringLiteral("alarm cleared: speed above 1.500 m/s"));
    }

    void eventsAreRowsOfTheirOwn()
    {
        QFETCH(int, kind);
        QFETCH(QString, reason);
        QFETCH(QByteArray, line);
        QFETCH(QString, note);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        DataFileWriter writer;
        QVERIFY(writer.open(path, header(), nullptr));
        SessionEvent event{SessionEvent::Kind(kind), QStringLiteral("COM1"), reason};
        event.timeMs = utcMs(14, 3, 7, 912);
        writer.takeEvent(event);
        QCOMPARE(contents(path), kComments + kHeaderRow + line);

        DataFileRow back;
        QVERIFY(parseDataFileRow(line.chopped(2), &back));
        QVERIFY(back.event);
        QCOMPARE(back.timeMs, event.timeMs);
        QCOMPARE(back.note, note);
        // Every row has the header row's columns.
        QList<QString> fields, columns;
        QVERIFY(splitCsvLine(line.chopped(2), &fields));
        QVERIFY(splitCsvLine(kHeaderRow.chopped(2), &columns));
        QCOMPARE(fields.size(), columns.size());
    }

    // Waited for, then given up: one loss, one return; the events that are no happening of the
    // measurement (no data, the clock, the end) give no row.
    void aLossIsOneRowUntilTheDeviceIsBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        DataFileWriter writer;
        QVERIFY(writer.open(path, header(), nullptr));
        qint64 at = utcMs(14, 0, 0, 0);
        for (const SessionEvent::Kind kind :
             {SessionEvent::Kind::Connected, SessionEvent::Kind::Reconnecting,
              SessionEvent::Kind::NoData, SessionEvent::Kind::DeviceLost,
              SessionEvent::Kind::Reconnected, SessionEvent::Kind::ClockState,
              SessionEvent::Kind::Reconnecting, SessionEvent::Kind::Finishing}) {
            SessionEvent event{kind, QStringLiteral("COM1"), QString()};
            event.timeMs = at += 1000;
            writer.takeEvent(event);
        }
        QCOMPARE(contents(path), kComments + kHeaderRow +
                                     "2009-05-24T14:00:02.000Z,,,,,,,,,,device lost\r\n"
                                     "2009-05-24T14:00:05.000Z,,,,,,,,,,device back\r\n"
                                     "2009-05-24T14:00:07.000Z,,,,,,,,,,device lost\r\n");
    }

    // Rows of this version and of earlier ones (no note column) are read; an event's row is
    // never a sample, and a row that is neither is refused.
    void rowsOfEitherVersionAreRead_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("event");
        QTest::addColumn<QString>("note");
        QTest::newRow("sample") << QByteArray("2009-05-24T14:03:07.250Z,+0.515,-0.020,m/s,0.515,"
                                              "-0.02,0.515388,92.224,from,down,")
                                << true << false << QString();
        QTest::newRow("earlier sample") << QByteArray("2009-05-24T14:03:07.250Z,+0.515,-0.020,m/s,"
                                                      "0.515,-0.02,0.515388,92.224,from,down")
                                        << true << false << QString();
        QTest::newRow("mark") << QByteArray("2009-05-24T14:03:07.250Z,,,,,,,,,,\"mark: a, b\"")
                              << true << true << QStringLiteral("mark: a, b");
        QTest::newRow("mark, earlier columns")
            << QByteArray("2009-05-24T14:03:07.250Z,,,,,,,,,mark") << false << false << QString();
        QTest::newRow("half a sample") << QByteArray("2009-05-24T14:03:07.250Z,,,m/s,,,,,,,mark")
                                       << false << false << QString();
        QTest::newRow("too many columns") << QByteArray("2009-05-24T14:03:07.250Z,,,,,,,,,,mark,x")
                                          << false << false << QString();
    }

    void rowsOfEitherVersionAreRead()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, ok);
        QFETCH(bool, event);
        QFETCH(QString, note);
        DataFileRow row;
        QCOMPARE(parseDataFileRow(line, &row), ok);
        if (!ok)
            return;
        QCOMPARE(row.event, event);
        QCOMPARE(row.note, note);
        QCOMPARE(row.timeMs, utcMs(14, 3, 7, 250));
        if (!event)
            QCOMPARE(row.speedMs, 0.515388);
    }

    // A recording continued at the end of an earlier version's data file keeps its ten columns:
    // samples go on in them and events are left out, so no row differs from the header row.
    void continuingAnEarlierFileKeepsItsColumns()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("old.csv"));
        const QByteArray oldRow =
            "2009-05-24T14:03:01.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down\r\n";
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(kComments + kOldHeaderRow + oldRow);
        }
        bool withNote = true;
        QVERIFY(isDataFileHeaderRow(kOldHeaderRow.chopped(2), &withNote));
        QVERIFY(!withNote);

        DataFileWriter writer;
        QString error;
        QVERIFY2(writer.open(path, header(), &error, DataFileWriter::Mode::Append),
                 qPrintable(error));
        QVERIFY(!writer.writesNotes());
        SessionEvent mark{SessionEvent::Kind::Mark, QStringLiteral("COM1"), QStringLiteral("x")};
        mark.timeMs = utcMs(14, 3, 1, 500);
        writer.takeEvent(mark);
        writer.takeBatch({live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1, 90,
                               true, false, utcMs(14, 3, 2, 0))});
        QCOMPARE(contents(path),
                 kComments + kOldHeaderRow + oldRow +
                     "2009-05-24T14:03:02.000Z,+0.100,+0.000,m/s,0.1,0,0.1,90,to,down\r\n");

        // A file of this version continued takes events.
        const QString current = dir.filePath(QStringLiteral("new.csv"));
        {
            DataFileWriter first;
            QVERIFY(first.open(current, header(), nullptr));
        }
        QVERIFY(writer.open(current, header(), &error, DataFileWriter::Mode::Append));
        QVERIFY(writer.writesNotes());
        writer.takeEvent(mark);
        QCOMPARE(contents(current),
                 kComments + kHeaderRow + "2009-05-24T14:03:01.500Z,,,,,,,,,,mark: x\r\n");
    }

    // Rows waiting for a file keep the columns they were made with: a file of the other columns is
    // not continued while they wait, and a new file made meanwhile takes their columns.
    void waitingRowsKeepTheirColumns()
    {
        QTemporaryDir dir;
        const QString old = dir.filePath(QStringLiteral("old.csv"));
        {
            QFile file(old);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(kComments + kOldHeaderRow);
        }
        const QString current = dir.filePath(QStringLiteral("current.csv"));
        FailingFileDevice device;
        DataFileWriter writer;
        writer.setFileDevice(&device);
        QVERIFY(writer.open(current, header(), nullptr));
        device.failWritesAfter(current, 0);
        writer.takeBatch({live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1,
                               270, false, false, utcMs(14, 3, 1, 0))});
        QCOMPARE(writer.waitingRows(), qint64(1));

        QString error;
        QVERIFY(!writer.open(old, header(), &error, DataFileWriter::Mode::Append));
        QVERIFY2(error.startsWith(QStringLiteral("Its columns are not those of the rows waiting")),
                 qPrintable(error));
        QCOMPARE(contents(old), kComments + kOldHeaderRow);

        const QString next = dir.filePath(QStringLiteral("next.csv"));
        QVERIFY2(writer.open(next, header(), &error), qPrintable(error));
        QVERIFY(writer.writesNotes());
        QCOMPARE(contents(next),
                 kComments + kHeaderRow +
                     "2009-05-24T14:03:01.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down,\r\n");

        // The other way round: rows waiting in an earlier version's columns make a new file of
        // those columns.
        DataFileWriter legacy;
        legacy.setFileDevice(&device);
        QVERIFY2(legacy.open(old, header(), &error, DataFileWriter::Mode::Append),
                 qPrintable(error));
        device.failWritesAfter(old, 0);
        legacy.takeBatch({live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1,
                               270, false, false, utcMs(14, 3, 2, 0))});
        QCOMPARE(legacy.waitingRows(), qint64(1));
        const QString made = dir.filePath(QStringLiteral("made.csv"));
        QVERIFY2(legacy.open(made, header(), &error), qPrintable(error));
        QVERIFY(!legacy.writesNotes());
        QCOMPARE(contents(made),
                 kComments + kOldHeaderRow +
                     "2009-05-24T14:03:02.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down\r\n");
    }

    // A recording continued later goes on with rows only: a "#" line between rows is a row to a
    // reader that skips comments only at the head (Kst draws it at 1970). The row's convention
    // column carries the change.
    void appendingAddsNoCommentLineAndRefusesOtherFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        const QByteArray firstRow =
            "2009-05-24T14:03:01.000Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down,";
        const QByteArray laterRow =
            "2009-05-24T14:03:02.000Z,+0.100,+0.000,m/s,0.1,0,0.1,90,to,down,";
        {
            DataFileWriter writer;
            QVERIFY(writer.open(path, header(), nullptr));
            writer.takeBatch({live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1,
                                   270, false, false, utcMs(14, 3, 1, 0))});
        }
        DataFileHeader later = header();
        later.bearingTo = true;
        DataFileWriter writer;
        QString error;
        QVERIFY2(writer.open(path, later, &error, DataFileWriter::Mode::Append), qPrintable(error));
        writer.takeBatch({live("+0.100", "+0.000", SpeedUnitsKind::MetresPerSecond, 0.1, 0, 0.1, 90,
                               true, false, utcMs(14, 3, 2, 0))});
        QCOMPARE(contents(path), kComments + kHeaderRow + firstRow + "\r\n" + laterRow + "\r\n");
        const QList<QByteArray> rows{firstRow, laterRow};
        QCOMPARE(rowsSkippingComments(contents(path)), rows);
        QCOMPARE(rowsAfterColumnLine(contents(path), kHeaderRow.trimmed()), rows);

        const QString other = dir.filePath(QStringLiteral("other.csv"));
        QFile file(other);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("a,b\r\n1,2\r\n");
        file.close();
        QVERIFY(!writer.open(other, later, &error, DataFileWriter::Mode::Append));
        QVERIFY2(error.startsWith(QStringLiteral("Not a data file of this program")),
                 qPrintable(error));
        QCOMPARE(writer.path(), path);
        QCOMPARE(contents(other), QByteArray("a,b\r\n1,2\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
