// The log line layouts, the units word of a units line and how record lines are split again.

#include "logformat/LogFormat.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QString s(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

// The standard layout's fixed character positions, worked out here independently of the
// program: speed from the second character for w characters, bearing 3 characters from w + 5,
// date-time 19 characters from w + 11 (first character = 1), each cut at the line's end.
LogRecordFields fixedPositions(const QByteArray& line, int w)
{
    auto cut = [&](int first, int length) {
        return QString::fromLatin1(line.mid(first - 1, length));
    };
    return {cut(2, w), cut(w + 5, 3), cut(w + 11, 19)};
}

// True when the fixed positions read the line correctly: putting their three texts back into
// the record layout gives the line exactly.
bool fixedPositionsReadCorrectly(const QByteArray& line, int w)
{
    const LogRecordFields f = fixedPositions(line, w);
    return logRecordLine(f.speed, f.bearing, f.dateTime) == line + "\r\n";
}

} // namespace

class TestLogFormat : public QObject
{
    Q_OBJECT

private slots:
    void headerLineIsExact();
    void unitsLineIsExact_data();
    void unitsLineIsExact();
    void recordLineIsExact_data();
    void recordLineIsExact();
    void textIsWrittenAsSingleBytes();
    void unitsWordIsTakenFromTheLine_data();
    void unitsWordIsTakenFromTheLine();
    void splitRecordLine_data();
    void splitRecordLine();
    void everyStandardLineSplitsAsTheFixedPositionsCutIt_data();
    void everyStandardLineSplitsAsTheFixedPositionsCutIt();
    void splitAgreesWithFixedPositionsWheneverTheyReadCorrectly();
    void speedTextTellsItsUnits_data();
    void speedTextTellsItsUnits();
    void headerAndUnitsLinesAreRecognised_data();
    void headerAndUnitsLinesAreRecognised();
};

void TestLogFormat::headerLineIsExact()
{
    const QByteArray line = logHeaderLine();
    QCOMPARE(line, QByteArray("\"Speed\",\"Bearing\",\"Date-Time\"\r\n"));
    QCOMPARE(line.size() - 2, 29);
}

void TestLogFormat::unitsLineIsExact_data()
{
    QTest::addColumn<QString>("units");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("length");
    QTest::newRow("m/s") << s("m/s") << QByteArray("\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n") << 29;
    QTest::newRow("Knots") << s("Knots") << QByteArray("\"Knots\",\"Degrees\",\"24 Hour UTC\"\r\n")
                           << 31;
    QTest::newRow("mm/s") << s("mm/s") << QByteArray("\"mm/s\",\"Degrees\",\"24 Hour UTC\"\r\n")
                          << 30;
    // A recording started before any record was decoded has no units yet.
    QTest::newRow("no units yet") << QString() << QByteArray("\"\",\"Degrees\",\"24 Hour UTC\"\r\n")
                                  << 26;
}

void TestLogFormat::unitsLineIsExact()
{
    QFETCH(QString, units);
    QFETCH(QByteArray, expected);
    QFETCH(int, length);
    const QByteArray line = logUnitsLine(units);
    QCOMPARE(line, expected);
    QCOMPARE(line.size() - 2, length);
    QVERIFY(line.endsWith("\"\r\n"));
}

void TestLogFormat::recordLineIsExact_data()
{
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("bearing");
    QTest::addColumn<QString>("dateTime");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("length");
    QTest::newRow("m/s") << s("0.515") << s("088") << s("24/05/2009 14:03:07")
                         << QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07\"\r\n") << 35;
    QTest::newRow("Knots") << s("05.15") << s("271") << s("24/05/2009 14:03:08")
                           << QByteArray("\"05.15\",\"271\",\"24/05/2009 14:03:08\"\r\n") << 35;
    QTest::newRow("mm/s") << s("0515") << s("000") << s("24/05/2009 14:03:09")
                          << QByteArray("\"0515\",\"000\",\"24/05/2009 14:03:09\"\r\n") << 34;
    QTest::newRow("10 m/s, not clipped")
        << s("10.000") << s("359") << s("31/12/2009 23:59:59")
        << QByteArray("\"10.000\",\"359\",\"31/12/2009 23:59:59\"\r\n") << 36;
    QTest::newRow("100 knots") << s("100.00") << s("180") << s("01/01/2010 00:00:00")
                               << QByteArray("\"100.00\",\"180\",\"01/01/2010 00:00:00\"\r\n")
                               << 36;
    QTest::newRow("10000 mm/s") << s("10000") << s("090") << s("01/01/2010 00:00:01")
                                << QByteArray("\"10000\",\"090\",\"01/01/2010 00:00:01\"\r\n")
                                << 35;
    QTest::newRow("short texts, not padded")
        << s("1") << s("2") << s("3") << QByteArray("\"1\",\"2\",\"3\"\r\n") << 11;
}

void TestLogFormat::recordLineIsExact()
{
    QFETCH(QString, speed);
    QFETCH(QString, bearing);
    QFETCH(QString, dateTime);
    QFETCH(QByteArray, expected);
    QFETCH(int, length);
    const QByteArray line = logRecordLine(speed, bearing, dateTime);
    QCOMPARE(line, expected);
    QCOMPARE(line.size() - 2, length);
}

void TestLogFormat::textIsWrittenAsSingleBytes()
{
    // A character beyond ASCII is one byte in the file, its Latin-1 code.
    QCOMPARE(logRecordLine(QString(QChar(0xB5)), s("088"), s("x")),
             QByteArray("\"\xB5\",\"088\",\"x\"\r\n"));
    QCOMPARE(::unitsWordOfLine(QByteArray("\"\xB5m/s\",\"Degrees\"")),
             QString(QChar(0xB5)) + s("m/s"));
}

void TestLogFormat::unitsWordIsTakenFromTheLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("word");
    QTest::newRow("Knots") << QByteArray("\"Knots\",\"Degrees\",\"24 Hour UTC\"") << s("Knots");
    QTest::newRow("m/s") << QByteArray("\"m/s\",\"Degrees\",\"24 Hour UTC\"") << s("m/s");
    QTest::newRow("mm/s") << QByteArray("\"mm/s\",\"Degrees\",\"24 Hour UTC\"") << s("mm/s");
    QTest::newRow("empty line (no units line)") << QByteArray() << QString();
    QTest::newRow("one quote") << QByteArray("\"") << QString();
    QTest::newRow("empty word") << QByteArray("\"\",\"Degrees\"") << QString();
    QTest::newRow("no closing quote: rest of line") << QByteArray("\"Knots") << s("Knots");
    QTest::newRow("not quoted: first character dropped")
        << QByteArray("Knots,Degrees") << s("nots,Degrees");
    QTest::newRow("record line") << QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07\"")
                                 << s("0.515");
    QTest::newRow("header line") << QByteArray("\"Speed\",\"Bearing\",\"Date-Time\"") << s("Speed");
    QTest::newRow("lower case kept") << QByteArray("\"knots\",\"Degrees\"") << s("knots");
    QTest::newRow("blanks kept") << QByteArray("\" m/s \",\"Degrees\"") << s(" m/s ");
}

void TestLogFormat::unitsWordIsTakenFromTheLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, word);
    QCOMPARE(::unitsWordOfLine(line), word);
}

void TestLogFormat::splitRecordLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("hint");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("bearing");
    QTest::addColumn<QString>("dateTime");

    const QString dt = s("24/05/2009 14:03:07");
    // Lines the recorder writes.
    QTest::newRow("m/s") << QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07\"") << 5
                         << s("0.515") << s("088") << dt;
    QTest::newRow("Knots") << QByteArray("\"05.15\",\"271\",\"24/05/2009 14:03:07\"") << 5
                           << s("05.15") << s("271") << dt;
    QTest::newRow("mm/s") << QByteArray("\"0515\",\"180\",\"24/05/2009 14:03:07\"") << 4
                          << s("0515") << s("180") << dt;
    QTest::newRow("10 m/s") << QByteArray("\"10.000\",\"045\",\"24/05/2009 14:03:07\"") << 5
                            << s("10.000") << s("045") << dt;
    QTest::newRow("10000 mm/s in mm/s file")
        << QByteArray("\"10000\",\"045\",\"24/05/2009 14:03:07\"") << 4 << s("10000") << s("045")
        << dt;

    // A demonstration log: its units line said mm/s, later records came in m/s and knots, so the
    // hint does not fit their widths; their own quotes still give their texts.
    QTest::newRow("demo: mm/s record, mm/s hint")
        << QByteArray("\"0250\",\"135\",\"24/05/2009 14:03:07\"") << 4 << s("0250") << s("135")
        << dt;
    QTest::newRow("demo: m/s record, mm/s hint")
        << QByteArray("\"0.250\",\"225\",\"24/05/2009 14:03:08\"") << 4 << s("0.250") << s("225")
        << s("24/05/2009 14:03:08");
    QTest::newRow("demo: knots record, mm/s hint")
        << QByteArray("\"00.49\",\"315\",\"24/05/2009 14:03:09\"") << 4 << s("00.49") << s("315")
        << s("24/05/2009 14:03:09");
    QTest::newRow("demo: mm/s record, m/s hint")
        << QByteArray("\"0515\",\"088\",\"24/05/2009 14:03:07\"") << 5 << s("0515") << s("088")
        << dt;
    QTest::newRow("empty quoted fields")
        << QByteArray("\"\",\"\",\"\"") << 5 << QString() << QString() << QString();
    QTest::newRow("commas inside fields")
        << QByteArray("\"0,515\",\"0,8\",\"a,b\"") << 5 << s("0,515") << s("0,8") << s("a,b");
    QTest::newRow("date-time longer than usual")
        << QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07.5\"") << 5 << s("0.515") << s("088")
        << s("24/05/2009 14:03:07.5");

    // Not three quoted fields: cut at the fixed positions of the hinted width.
    QTest::newRow("blank line") << QByteArray() << 5 << QString() << QString() << QString();
    QTest::newRow("blank line, mm/s") << QByteArray() << 4 << QString() << QString() << QString();
    QTest::newRow("only a speed") << QByteArray("\"0.515\"") << 5 << s("0.515") << QString()
                                  << QString();
    QTest::newRow("two fields") << QByteArray("\"0.515\",\"088\"") << 5 << s("0.515") << s("088")
                                << QString();
    QTest::newRow("not quoted") << QByteArray("0.515,088,24/05/2009 14:03:07") << 5 << s(".515,")
                                << s(",24") << s("/2009 14:03:07");
    QTest::newRow("junk after the closing quote")
        << QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07\"xyz") << 5 << s("0.515") << s("088")
        << dt;
    QTest::newRow("no closing quote") << QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07") << 5
                                      << s("0.515") << s("088") << dt;
    QTest::newRow("no opening quote") << QByteArray("0.515\",\"088\",\"24/05/2009 14:03:07\"") << 5
                                      << s(".515\"") << s("88\"") << s("4/05/2009 14:03:07\"");
    QTest::newRow("blanks after the commas")
        << QByteArray("\"0.515\", \"088\", \"24/05/2009 14:03:07\"") << 5 << s("0.515") << s("\"08")
        << s(" \"24/05/2009 14:03:");
    QTest::newRow("four fields") << QByteArray("\"0.515\",\"088\",\"24/05/2009\",\"14:03:07\"") << 5
                                 << s("0.515") << s("088") << s("24/05/2009\",\"14:03:");
    QTest::newRow("quote inside a field")
        << QByteArray("\"0.5\"15\",\"088\",\"24/05/2009 14:03:07\"") << 5 << s("0.5\"1")
        << s("\"08") << s("\"24/05/2009 14:03:0");
    QTest::newRow("one quote") << QByteArray("\"") << 5 << QString() << QString() << QString();
    QTest::newRow("two quotes") << QByteArray("\"\"") << 5 << s("\"") << QString() << QString();
    QTest::newRow("10 m/s, no closing quote")
        << QByteArray("\"10.000\",\"045\",\"24/05/2009 14:03:10") << 5 << s("10.00") << s("\"04")
        << s("\"24/05/2009 14:03:1");
    QTest::newRow("hint other than 4 means 5")
        << QByteArray("x0.515xxx088xxx24/05/2009 14:03:07x") << 0 << s("0.515") << s("088") << dt;
    QTest::newRow("mm/s hint, not quoted")
        << QByteArray("x0515xxx088xxx24/05/2009 14:03:07x") << 4 << s("0515") << s("088") << dt;
    {
        const char junk[] = {'\x01', '\0', '\xff', '"',  ',', '\0',
                             'a',    'b',  '\x7f', '\0', 'c', 'd'};
        QTest::newRow("binary junk with NUL bytes")
            << QByteArray(junk, sizeof junk) << 5
            << QString::fromLatin1(QByteArray("\0\xff\",\0", 5))
            << QString::fromLatin1(QByteArray("\0cd", 3)) << QString();
    }
    QTest::newRow("longer than expected")
        << QByteArray(200, 'z') << 5 << s("zzzzz") << s("zzz") << QString(19, u'z');
}

void TestLogFormat::splitRecordLine()
{
    QFETCH(QByteArray, line);
    QFETCH(int, hint);
    QFETCH(QString, speed);
    QFETCH(QString, bearing);
    QFETCH(QString, dateTime);
    const LogRecordFields f = splitLogRecordLine(line, hint);
    QCOMPARE(f.speed, speed);
    QCOMPARE(f.bearing, bearing);
    QCOMPARE(f.dateTime, dateTime);

    const int w = hint == 4 ? 4 : 5;
    if (fixedPositionsReadCorrectly(line, w)) {
        const LogRecordFields fixed = fixedPositions(line, w);
        QCOMPARE(f.speed, fixed.speed);
        QCOMPARE(f.bearing, fixed.bearing);
        QCOMPARE(f.dateTime, fixed.dateTime);
    }
}

void TestLogFormat::everyStandardLineSplitsAsTheFixedPositionsCutIt_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("width");
    QTest::newRow("m/s") << s("%1.%2") << 5;
    QTest::newRow("Knots") << s("%1%2") << 5;
    QTest::newRow("mm/s") << s("%1") << 4;
}

void TestLogFormat::everyStandardLineSplitsAsTheFixedPositionsCutIt()
{
    QFETCH(QString, format);
    QFETCH(int, width);
    // Every speed text of the standard width, with bearings going round and seconds ticking.
    for (int v = 0; v < 10000; ++v) {
        const QString digits = QString::number(v).rightJustified(4, u'0');
        QString speed;
        if (width == 4)
            speed = digits;
        else if (format == s("%1.%2"))
            speed = digits.left(1) + u'.' + digits.mid(1);
        else
            speed = digits.left(2) + u'.' + digits.mid(2);
        const QString bearing = QString::number(v % 360).rightJustified(3, u'0');
        const QString dateTime = s("24/05/2009 14:%1:%2")
                                     .arg(v / 60 % 60, 2, 10, QChar(u'0'))
                                     .arg(v % 60, 2, 10, QChar(u'0'));
        const QByteArray line = logRecordLine(speed, bearing, dateTime).chopped(2);
        QVERIFY2(fixedPositionsReadCorrectly(line, width), line.constData());
        const LogRecordFields fixed = fixedPositions(line, width);
        const LogRecordFields split = splitLogRecordLine(line, width);
        QCOMPARE(split.speed, speed);
        QCOMPARE(split.bearing, bearing);
        QCOMPARE(split.dateTime, dateTime);
        QCOMPARE(split.speed, fixed.speed);
        QCOMPARE(split.bearing, fixed.bearing);
        QCOMPARE(split.dateTime, fixed.dateTime);
    }
}

void TestLogFormat::splitAgreesWithFixedPositionsWheneverTheyReadCorrectly()
{
    // Damaged copies of standard lines: characters replaced by quotes, commas, digits or junk,
    // dropped or doubled. Whatever the damage, where the fixed positions still read the line
    // correctly, or the line is no longer three quoted fields, both readings agree.
    const QByteArray standard[] = {
        "\"0.515\",\"088\",\"24/05/2009 14:03:07\"",
        "\"05.15\",\"271\",\"24/05/2009 14:03:08\"",
        "\"0515\",\"180\",\"24/05/2009 14:03:09\"",
    };
    const char replacements[] = {'"', ',', '0', '9', '.', ' ', '\0', '\xff'};
    QRandomGenerator random(20090524);
    int agreedAsFixed = 0;
    int fellBack = 0;
    for (int i = 0; i < 20000; ++i) {
        QByteArray line = standard[random.bounded(3)];
        const int changes = 1 + random.bounded(3);
        for (int c = 0; c < changes && !line.isEmpty(); ++c) {
            const int at = random.bounded(int(line.size()));
            switch (random.bounded(3)) {
            case 0:
                line[at] = replacements[random.bounded(int(sizeof replacements))];
                break;
            case 1:
                line.remove(at, 1);
                break;
            default:
                line.insert(at, line.at(at));
                break;
            }
        }
        for (const int w : {4, 5}) {
            const LogRecordFields split = splitLogRecordLine(line, w);
            const LogRecordFields fixed = fixedPositions(line, w);
            const bool threeQuotedFields = line.size() >= 2 && line.startsWith('"') &&
                                           line.endsWith('"') && line.count('"') == 6 &&
                                           line.count("\",\"") == 2;
            if (fixedPositionsReadCorrectly(line, w) || !threeQuotedFields) {
                QCOMPARE(split.speed, fixed.speed);
                QCOMPARE(split.bearing, fixed.bearing);
                QCOMPARE(split.dateTime, fixed.dateTime);
                ++(threeQuotedFields ? agreedAsFixed : fellBack);
            } else {
                // Three quoted fields the fixed positions cut wrongly: the quotes decide.
                QCOMPARE(logRecordLine(split.speed, split.bearing, split.dateTime), line + "\r\n");
            }
        }
    }
    // The damage must have produced both kinds of line, or this test proves little.
    QVERIFY(agreedAsFixed > 100);
    QVERIFY(fellBack > 100);
}

void TestLogFormat::speedTextTellsItsUnits_data()
{
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("caption");
    QTest::newRow("m/s") << s("0.515") << s("m/s");
    QTest::newRow("knots") << s("05.15") << s("Kts");
    QTest::newRow("mm/s") << s("0515") << s("mm/s");
    QTest::newRow("10 m/s") << s("10.000") << s("m/s");
    QTest::newRow("100 knots") << s("100.00") << s("Kts");
    QTest::newRow("10000 mm/s") << s("10000") << s("mm/s");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("no digit") << s("abc") << QString();
    QTest::newRow("point only") << s(".") << QString();
    QTest::newRow("one decimal") << s("1.5") << QString();
    QTest::newRow("four decimals") << s("0.5150") << QString();
    QTest::newRow("point at the end") << s("15.") << QString();
    QTest::newRow("junk among the decimals") << s("0.5x5") << QString();
}

void TestLogFormat::speedTextTellsItsUnits()
{
    QFETCH(QString, speed);
    QFETCH(QString, caption);
    QCOMPARE(::readoutCaptionForSpeedText(speed), caption);
}

void TestLogFormat::headerAndUnitsLinesAreRecognised_data()
{
    QTest::addColumn<QByteArray>("line"); // without its line end
    QTest::addColumn<bool>("header");
    QTest::addColumn<bool>("units");
    QTest::newRow("header") << QByteArray("\"Speed\",\"Bearing\",\"Date-Time\"") << true << false;
    QTest::newRow("m/s") << QByteArray("\"m/s\",\"Degrees\",\"24 Hour UTC\"") << false << true;
    QTest::newRow("knots") << QByteArray("\"Knots\",\"Degrees\",\"24 Hour UTC\"") << false
                           << true;
    QTest::newRow("mm/s") << QByteArray("\"mm/s\",\"Degrees\",\"24 Hour UTC\"") << false
                          << true;
    QTest::newRow("header with its line end")
        << QByteArray("\"Speed\",\"Bearing\",\"Date-Time\"\r\n") << false << false;
    QTest::newRow("header in other case")
        << QByteArray("\"speed\",\"bearing\",\"date-time\"") << false << false;
    QTest::newRow("header with a blank") << QByteArray("\"Speed\", \"Bearing\",\"Date-Time\"")
                                         << false << false;
    QTest::newRow("units word in other case")
        << QByteArray("\"knots\",\"Degrees\",\"24 Hour UTC\"") << false << false;
    QTest::newRow("units word unknown") << QByteArray("\"ft/s\",\"Degrees\",\"24 Hour UTC\"")
                                        << false << false;
    QTest::newRow("units line cut short") << QByteArray("\"m/s\",\"Degrees\"") << false << false;
    QTest::newRow("record") << QByteArray("\"0.515\",\"088\",\"24/05/2009 14:03:07\"") << false
                            << false;
    QTest::newRow("empty") << QByteArray() << false << false;
}

void TestLogFormat::headerAndUnitsLinesAreRecognised()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, header);
    QFETCH(bool, units);
    QCOMPARE(isLogHeaderLine(line), header);
    QCOMPARE(isLogUnitsLine(line), units);
}

QTEST_GUILESS_MAIN(TestLogFormat)
#include "tst_logformat.moc"
