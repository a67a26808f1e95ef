// Framing of the serial byte stream into records: every line whose first 13 characters are a
// record gives that record, once, in order, when its line end arrives, whatever way the polls cut
// the stream; what follows the record on its line is ignored, and nothing else comes out.

#include "sources/RecordFramer.h"
#include "sensor/FlowPipeline.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

using Records = QList<QByteArray>;

// The rule stated on whole lines, independently of the framer: each line (text ended by CR or LF)
// gives its first 13 bytes when they have the record shape, and nothing otherwise.
bool hasRecordShape(const QByteArray& line, qsizetype at)
{
    if (line.size() - at < 13)
        return false;
    const auto sign = [](char c) { return c == '+' || c == '-'; };
    const auto body = [](char c) { return c == '.' || (c >= '0' && c <= '9'); };
    if (!sign(line[at]) || !sign(line[at + 7]))
        return false;
    for (int i = 1; i <= 5; ++i) {
        if (!body(line[at + i]) || !body(line[at + 7 + i]))
            return false;
    }
    return true;
}

Records recordsByLine(const QByteArray& stream)
{
    Records records;
    QByteArray normalised = stream;
    normalised.replace('\r', '\n');
    QList<QByteArray> lines = normalised.split('\n');
    lines.removeLast(); // not ended yet: its record is decided when its line end comes
    for (const QByteArray& line : lines) {
        if (hasRecordShape(line, 0))
            records.append(line.left(13));
    }
    return records;
}

Records feedInChunks(const QByteArray& stream, const QList<qsizetype>& cuts)
{
    RecordFramer framer;
    Records records;
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        records += framer.feed(QByteArrayView(stream).sliced(from, cut - from));
        from = cut;
    }
    records += framer.feed(QByteArrayView(stream).sliced(from));
    return records;
}

// A stream as the line brings it: records with CR LF, a connection that started in the middle
// of a record, line noise before a record, a record cut short and glued to the next, empty lines,
// two records on one line, a record with a field appended.
const QByteArray kStream = QByteArrayLiteral("0515\r\n"
                                             "+00015 +00515\r\n"
                                             "+0.015 +0.515\r\n"
                                             "\x7f#\xff+00.15 +05.15\r\n"
                                             "+00015 +005"
                                             "-0.250 -1.000\r\n"
                                             "\r\n"
                                             "+00016 +00516 +00017 +00517\r\n"
                                             "+0 015 +00515\r\n"
                                             "+00018x+00518\n"
                                             "+00019 +00519\r"
                                             "+00020 +00520\r\n"
                                             "+00022 +00522 +00023\r\n"
                                             "+00021 +00521");

const Records kStreamRecords = {"+00015 +00515", "+0.015 +0.515", "+00016 +00516", "+00018x+00518",
                                "+00019 +00519", "+00020 +00520", "+00022 +00522"};

} // namespace

class TestFramer : public QObject
{
    Q_OBJECT
private slots:
    void onePollWithOneRecordGivesThatRecord();
    void recordSplitAcrossPollsIsDecodedOnce_data();
    void recordSplitAcrossPollsIsDecodedOnce();
    void severalRecordsInOnePollAllComeOut();
    void textAfterTheRecordIsIgnored_data();
    void textAfterTheRecordIsIgnored();
    void appendedFieldsNeverChangeTheValuesLogged_data();
    void appendedFieldsNeverChangeTheValuesLogged();
    void textBeforeTheRecordRejectsItsLine_data();
    void textBeforeTheRecordRejectsItsLine();
    void aFragmentSpoilsOnlyItsOwnLine_data();
    void aFragmentSpoilsOnlyItsOwnLine();
    void recordWaitsForItsLineEnd();
    void textThatIsNoRecordNeverComesOut_data();
    void textThatIsNoRecordNeverComesOut();
    void eitherLineEndEndsALine();
    void resetForgetsTheFragment();
    void carryStaysBounded();
    void theModelAgreesWithTheExpectedRecords();
    void everyChunkingGivesSameRecords();
    void randomStreamsInRandomChunksGiveTheLineRecords();
};

void TestFramer::onePollWithOneRecordGivesThatRecord()
{
    RecordFramer framer;
    QCOMPARE(framer.feed("+00015 +00515\r\n"), Records{"+00015 +00515"});
    QCOMPARE(framer.feed(""), Records{});
    QCOMPARE(framer.carried(), 0);
}

void TestFramer::recordSplitAcrossPollsIsDecodedOnce_data()
{
    QTest::addColumn<int>("cut");
    for (int cut = 1; cut < 15; ++cut)
        QTest::addRow("cut after %d", cut) << cut;
}

void TestFramer::recordSplitAcrossPollsIsDecodedOnce()
{
    QFETCH(int, cut);
    const QByteArray line = "+00015 +00515\r\n";
    RecordFramer framer;
    const Records first = framer.feed(line.left(cut));
    const Records second = framer.feed(line.mid(cut));
    QCOMPARE(first + second, Records{"+00015 +00515"});
    // Complete as soon as its line end (the CR) is there, not one poll later.
    QCOMPARE(first.size(), cut >= 14 ? 1 : 0);
}

void TestFramer::severalRecordsInOnePollAllComeOut()
{
    RecordFramer framer;
    const Records records =
        framer.feed("+00015 +00515\r\n+0.015 +0.515\r\n+00.15 +05.15\r\n-0.250 -1.000\r\n");
    QCOMPARE(records,
             (Records{"+00015 +00515", "+0.015 +0.515", "+00.15 +05.15", "-0.250 -1.000"}));
}

// Whatever follows the 13 characters of a record on its line (a field the sensor appends, a
// second record, rubbish) is no part of it: the record is the line's start.
void TestFramer::textAfterTheRecordIsIgnored_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<Records>("expected");
    QTest::addColumn<int>("noise");

    QTest::newRow("record alone") << QByteArray("+00015 +00515\r\n") << Records{"+00015 +00515"}
                                  << 0;
    QTest::newRow("a signed field appended")
        << QByteArray("+00015 +00515 +00021\r\n") << Records{"+00015 +00515"} << 7;
    QTest::newRow("a signed field appended, m/s")
        << QByteArray("+0.015 +0.515 +0.021\r\n") << Records{"+0.015 +0.515"} << 7;
    QTest::newRow("a record glued on")
        << QByteArray("+00015 +00515+00300 +00400\r\n") << Records{"+00015 +00515"} << 13;
    QTest::newRow("a second record after a blank")
        << QByteArray("+00015 +00515 +00016 +00516\r\n") << Records{"+00015 +00515"} << 14;
    QTest::newRow("a cut record after it")
        << QByteArray("+00015 +00515 +00016 +0051\r\n") << Records{"+00015 +00515"} << 13;
    QTest::newRow("words after it")
        << QByteArray("+00015 +00515 tail\r\n") << Records{"+00015 +00515"} << 5;
    QTest::newRow("a long tail") << QByteArray("+00015 +00515" + QByteArray(500, '~') + "\n")
                                 << Records{"+00015 +00515"} << 500;
    QTest::newRow("each line decided on its own")
        << QByteArray("+00000 +00000 +00102\r+00015 +00515 tail\n\n ab\r\n")
        << Records{"+00000 +00000", "+00015 +00515"} << 15;
}

void TestFramer::textAfterTheRecordIsIgnored()
{
    QFETCH(QByteArray, stream);
    QFETCH(Records, expected);
    QFETCH(int, noise);

    RecordFramer whole;
    QCOMPARE(whole.feed(stream), expected);
    QCOMPARE(whole.noiseBytes(), qint64(noise));

    // The same stream one byte per poll, and cut after its first seven bytes.
    RecordFramer single;
    Records records;
    for (qsizetype i = 0; i < stream.size(); ++i)
        records += single.feed(stream.mid(i, 1));
    QCOMPARE(records, expected);
    QCOMPARE(single.noiseBytes(), qint64(noise));
    QCOMPARE(feedInChunks(stream, {qMin<qsizetype>(7, stream.size())}), expected);
    QCOMPARE(recordsByLine(stream), expected);
}

// From the line to the texts logged, with the sensor face up and the bearing where the flow comes
// from: what a sensor appends to its record never changes the speed or the bearing, and a line
// that does not start with a record logs nothing.
void TestFramer::appendedFieldsNeverChangeTheValuesLogged_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("logged"); // speed and bearing; empty: rejected

    const QStringList mm = {QStringLiteral("0515"), QStringLiteral("358")};
    QTest::newRow("record alone") << QByteArray("+00015 +00515") << mm;
    QTest::newRow("a signed field appended") << QByteArray("+00015 +00515 +00021") << mm;
    QTest::newRow("a signed field appended, m/s")
        << QByteArray("+0.015 +0.515 +0.021")
        << QStringList{QStringLiteral("0.515"), QStringLiteral("358")};
    QTest::newRow("two fields appended, the first glued")
        << QByteArray("+00015 +00515+00300 +00400") << mm;
    QTest::newRow("a leading blank") << QByteArray(" +00015 +00515") << QStringList();
    QTest::newRow("two letters before") << QByteArray("xx+00015 +00515") << QStringList();
}

void TestFramer::appendedFieldsNeverChangeTheValuesLogged()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, logged);

    FlowPipeline pipeline;
    pipeline.setFaceUp(true);
    pipeline.setBearingTo(false);
    RecordFramer framer;
    const SampleBatch batch =
        pipeline.decodeRecords(framer.feed(line + "\r\n"), SampleSource::Live);
    if (logged.isEmpty()) {
        QCOMPARE(batch.size(), 0);
        return;
    }
    QCOMPARE(batch.size(), 1);
    QVERIFY(batch.first().computed);
    QCOMPARE(batch.first().speedText, logged[0]);
    QCOMPARE(batch.first().bearingText, logged[1]);
}

// A line is judged by its first 13 characters: anything before the record (line noise, a
// fragment of a record cut by a connection that started mid-record) makes the line no record.
// The next line is judged afresh.
void TestFramer::textBeforeTheRecordRejectsItsLine_data()
{
    QTest::addColumn<QByteArray>("noise");
    QTest::newRow("one blank") << QByteArray(" ");
    QTest::newRow("letters") << QByteArray("xx");
    QTest::newRow("high bytes") << QByteArray("\xff\xfe\x80");
    QTest::newRow("lone sign") << QByteArray("+");
    QTest::newRow("signs") << QByteArray("+-+-");
    QTest::newRow("start of a record") << QByteArray("+0001");
    QTest::newRow("record missing its last digit") << QByteArray("+00015 +0051");
    QTest::newRow("points") << QByteArray("......");
    QTest::newRow("long noise") << QByteArray(300, '~');
}

void TestFramer::textBeforeTheRecordRejectsItsLine()
{
    QFETCH(QByteArray, noise);
    RecordFramer framer;
    QCOMPARE(framer.feed(noise + "+00.15 +05.15\r\n"), Records{});
    QCOMPARE(framer.noiseBytes(), qint64(noise.size() + 13));
    QCOMPARE(framer.feed("+00.16 +05.16\r\n"), Records{"+00.16 +05.16"});
    // The same noise arriving in a poll of its own is still the start of the record's line.
    RecordFramer split;
    QCOMPARE(split.feed(noise), Records{});
    QCOMPARE(split.feed("+00.15 +05.15\r\n"), Records{});
    // Ended by a line end of its own, it spoils nothing.
    RecordFramer ended;
    QCOMPARE(ended.feed(noise + "\r\n"), Records{});
    QCOMPARE(ended.feed("+00.15 +05.15\r\n"), Records{"+00.15 +05.15"});
}

void TestFramer::aFragmentSpoilsOnlyItsOwnLine_data()
{
    QTest::addColumn<QByteArray>("firstPoll");
    QTest::addColumn<QByteArray>("secondPoll");
    QTest::addColumn<Records>("expected");
    QTest::newRow("connected in the middle of a record")
        << QByteArray("0515\r\n") << QByteArray("+00016 +00516\r\n") << Records{"+00016 +00516"};
    QTest::newRow("fragment ended by its line end")
        << QByteArray("+00015 +005\r\n") << QByteArray("+00016 +00516\r\n")
        << Records{"+00016 +00516"};
    QTest::newRow("fragment without line end starts the record's line")
        << QByteArray("+00015 +005") << QByteArray("+00016 +00516\r\n+00017 +00517\r\n")
        << Records{"+00017 +00517"};
    QTest::newRow("fragment and record in one poll")
        << QByteArray("+00015 +005+00016 +00516\r\n+00017 +00517\r\n") << QByteArray()
        << Records{"+00017 +00517"};
    QTest::newRow("only line ends")
        << QByteArray("\r\n\r\n") << QByteArray("+00016 +00516\r\n") << Records{"+00016 +00516"};
}

void TestFramer::aFragmentSpoilsOnlyItsOwnLine()
{
    QFETCH(QByteArray, firstPoll);
    QFETCH(QByteArray, secondPoll);
    QFETCH(Records, expected);
    RecordFramer framer;
    Records records = framer.feed(firstPoll);
    records += framer.feed(secondPoll);
    QCOMPARE(records, expected);
}

void TestFramer::recordWaitsForItsLineEnd()
{
    RecordFramer framer;
    // A record is stamped when its line end arrives: until then it is not handed on, however
    // complete it looks, and a line that never ends gives nothing.
    QCOMPARE(framer.feed("+0.015 +0.515"), Records{});
    QCOMPARE(framer.feed(" +0.021"), Records{});
    QCOMPARE(framer.feed("\r\n"), Records{"+0.015 +0.515"});
    QCOMPARE(framer.feed("+0.016 +0.516\r\n"), Records{"+0.016 +0.516"});
    QCOMPARE(framer.carried(), 0);
}

void TestFramer::textThatIsNoRecordNeverComesOut_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("twelve characters") << QByteArray("+00015 +0051\r\n");
    QTest::newRow("blank inside X") << QByteArray("+0 015 +00515\r\n");
    QTest::newRow("letter inside Y") << QByteArray("+00015 +005a5\r\n");
    QTest::newRow("X without sign") << QByteArray("000015 +00515\r\n");
    QTest::newRow("Y without sign") << QByteArray("+00015 000515\r\n");
    QTest::newRow("sign inside Y") << QByteArray("+00015 +00+15\r\n");
    QTest::newRow("line end inside") << QByteArray("+00015 +00\r\n515\r\n");
    QTest::newRow("empty") << QByteArray();
}

void TestFramer::textThatIsNoRecordNeverComesOut()
{
    QFETCH(QByteArray, text);
    RecordFramer framer;
    QCOMPARE(framer.feed(text), Records{});
}

void TestFramer::eitherLineEndEndsALine()
{
    RecordFramer framer;
    QCOMPARE(framer.feed("+00015 +00515 tail\r+00016 +00516 tail\n+00017 +00517\r"),
             (Records{"+00015 +00515", "+00016 +00516", "+00017 +00517"}));
}

void TestFramer::resetForgetsTheFragment()
{
    RecordFramer framer;
    QCOMPARE(framer.feed("+00015 +00"), Records{});
    QVERIFY(framer.carried() > 0);
    framer.reset();
    QCOMPARE(framer.carried(), 0);
    QCOMPARE(framer.feed("515\r\n"), Records{});

    // A record of the old connection's unfinished line is forgotten with it.
    QCOMPARE(framer.feed("+00015 +00515"), Records{});
    framer.reset();
    QCOMPARE(framer.feed("+00016 +00516\r\n"), Records{"+00016 +00516"});
}

void TestFramer::carryStaysBounded()
{
    RecordFramer framer;
    QByteArray noise(1000, 'x');
    for (int poll = 0; poll < 100; ++poll) {
        QCOMPARE(framer.feed(noise), Records{});
        QVERIFY2(framer.carried() <= RecordFramer::kMaxCarry,
                 qPrintable(QString::number(framer.carried())));
    }
    // A record at the end of an endless line of noise is not the line's start: nothing.
    QCOMPARE(framer.feed("+00015 +00515\r\n"), Records{});
    QCOMPARE(framer.noiseBytes(), qint64(100 * 1000 + 13));

    // A record that starts an endless line is kept until its line end.
    QCOMPARE(framer.feed("+00016 +00516"), Records{});
    for (int poll = 0; poll < 100; ++poll) {
        QCOMPARE(framer.feed(noise), Records{});
        QVERIFY(framer.carried() <= RecordFramer::kMaxCarry);
    }
    QCOMPARE(framer.feed("\n"), Records{"+00016 +00516"});
    QCOMPARE(framer.carried(), 0);
}

void TestFramer::theModelAgreesWithTheExpectedRecords()
{
    QCOMPARE(recordsByLine(kStream), kStreamRecords);
    RecordFramer framer;
    QCOMPARE(framer.feed(kStream), kStreamRecords);
}

void TestFramer::everyChunkingGivesSameRecords()
{
    const qsizetype n = kStream.size();
    for (qsizetype a = 0; a <= n; ++a) {
        QCOMPARE(feedInChunks(kStream, {a}), kStreamRecords);
        for (qsizetype b = a; b <= n; ++b) {
            const Records records = feedInChunks(kStream, {a, b});
            if (records != kStreamRecords)
                QFAIL(qPrintable(QStringLiteral("cuts at %1 and %2").arg(a).arg(b)));
        }
    }
    QList<qsizetype> byteByByte;
    for (qsizetype i = 1; i < n; ++i)
        byteByByte.append(i);
    QCOMPARE(feedInChunks(kStream, byteByByte), kStreamRecords);
}

void TestFramer::randomStreamsInRandomChunksGiveTheLineRecords()
{
    // Streams built from pieces that mix into records and near-records; the expected records
    // come from the whole-line model, the chunking from a fixed generator.
    const QList<QByteArray> pieces = {"+00015 +00515",
                                      "+0.015 +0.515",
                                      "-00.15 -05.15",
                                      "+001",
                                      " ",
                                      "\r\n",
                                      "\n",
                                      "\r",
                                      "+",
                                      "-",
                                      "5",
                                      ".",
                                      "x",
                                      "+00015 ",
                                      "\xff"};
    QRandomGenerator random(20240611);
    for (int round = 0; round < 300; ++round) {
        QByteArray stream;
        const int count = int(random.bounded(1, 40));
        for (int i = 0; i < count; ++i)
            stream += pieces[random.bounded(pieces.size())];
        QList<qsizetype> cuts;
        for (qsizetype at = 0; at < stream.size(); at += random.bounded(1, 8))
            cuts.append(at);
        const Records expected = recordsByLine(stream);
        const Records records = feedInChunks(stream, cuts);
        if (records != expected)
            QFAIL(qPrintable(QStringLiteral("stream %1").arg(QString::fromLatin1(stream.toHex()))));
        for (const QByteArray& record : records)
            QVERIFY(record.size() == 13 && hasRecordShape(record, 0));
    }
}

QTEST_GUILESS_MAIN(TestFramer)
#include "tst_framer.moc"
