// Framing of the serial byte stream into records: whatever way the polls cut the stream, every
// record comes out once, in order, and nothing that is not a record comes out.

#include "comms/RecordFramer.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

using Records = QList<QByteArray>;

// The rule stated on whole lines, independently of the framer: each line (text ended by CR or LF)
// gives its last 13 bytes when it is longer than 13 and they have the record shape, else the first
// place where 13 bytes have the record shape (which is its start when a record starts it).
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
        if (line.size() > 13 && hasRecordShape(line, line.size() - 13)) {
            records.append(line.right(13));
            continue;
        }
        for (qsizetype at = 0; at + 13 <= line.size(); ++at) {
            if (hasRecordShape(line, at)) {
                records.append(line.mid(at, 13));
                break;
            }
        }
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
// of a record, line noise, a record cut short, a record with a glued tail, empty lines.
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
                                             "+00021 +00521");

const Records kStreamRecords = {"+00015 +00515", "+0.015 +0.515", "+00.15 +05.15", "-0.250 -1.000",
                                "+00017 +00517", "+00018x+00518", "+00019 +00519", "+00020 +00520"};

} // namespace

class TestFramer : public QObject
{
    Q_OBJECT
private slots:
    void onePollWithOneRecordGivesThatRecord();
    void recordSplitAcrossPollsIsDecodedOnce_data();
    void recordSplitAcrossPollsIsDecodedOnce();
    void severalRecordsInOnePollAllComeOut();
    void noiseBeforeRecordDoesNotLoseIt_data();
    void noiseBeforeRecordDoesNotLoseIt();
    void partialFragmentThenRecord_data();
    void partialFragmentThenRecord();
    void recordWaitsForItsLineEnd();
    void lineGivesTheRecordTheRuleChooses_data();
    void lineGivesTheRecordTheRuleChooses();
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

void TestFramer::noiseBeforeRecordDoesNotLoseIt_data()
{
    QTest::addColumn<QByteArray>("noise");
    QTest::newRow("one blank") << QByteArray(" ");
    QTest::newRow("letters") << QByteArray("abc");
    QTest::newRow("high bytes") << QByteArray("\xff\xfe\x80");
    QTest::newRow("lone sign") << QByteArray("+");
    QTest::newRow("signs") << QByteArray("+-+-");
    QTest::newRow("start of a record") << QByteArray("+0001");
    QTest::newRow("record missing its last digit") << QByteArray("+00015 +0051");
    QTest::newRow("points") << QByteArray("......");
    QTest::newRow("long noise") << QByteArray(300, '~');
}

void TestFramer::noiseBeforeRecordDoesNotLoseIt()
{
    QFETCH(QByteArray, noise);
    RecordFramer framer;
    QCOMPARE(framer.feed(noise + "+00.15 +05.15\r\n"), Records{"+00.15 +05.15"});
    // The same noise arriving in a poll of its own.
    RecordFramer split;
    QCOMPARE(split.feed(noise), Records{});
    QCOMPARE(split.feed("+00.15 +05.15\r\n"), Records{"+00.15 +05.15"});
}

void TestFramer::partialFragmentThenRecord_data()
{
    QTest::addColumn<QByteArray>("firstPoll");
    QTest::addColumn<QByteArray>("secondPoll");
    QTest::addColumn<Records>("expected");
    QTest::newRow("connected in the middle of a record")
        << QByteArray("0515\r\n") << QByteArray("+00016 +00516\r\n") << Records{"+00016 +00516"};
    QTest::newRow("fragment ended by its line end")
        << QByteArray("+00015 +005\r\n") << QByteArray("+00016 +00516\r\n")
        << Records{"+00016 +00516"};
    QTest::newRow("fragment without line end")
        << QByteArray("+00015 +005") << QByteArray("+00016 +00516\r\n") << Records{"+00016 +00516"};
    QTest::newRow("fragment and record in one poll")
        << QByteArray("+00015 +005+00016 +00516\r\n") << QByteArray() << Records{"+00016 +00516"};
    QTest::newRow("only line ends")
        << QByteArray("\r\n\r\n") << QByteArray("+00016 +00516\r\n") << Records{"+00016 +00516"};
}

void TestFramer::partialFragmentThenRecord()
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
    // Until the line ends, what looks like a record could be the end of a record's X field
    // followed by a whole record.
    QCOMPARE(framer.feed("+0.015 +0.515"), Records{});
    QCOMPARE(framer.feed("\r\n"), Records{"+0.015 +0.515"});
    QCOMPARE(framer.feed("+0.016 +0.516\r\n"), Records{"+0.016 +0.516"});
    QCOMPARE(framer.carried(), 0);
}

void TestFramer::lineGivesTheRecordTheRuleChooses_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<Records>("expected");
    QTest::addColumn<int>("noise");

    QTest::newRow("fragment glued to a record")
        << QByteArray("+00000 +00000 +00102\r\n") << Records{"+00000 +00102"} << 7;
    QTest::newRow("record after a stray blank")
        << QByteArray(" +00104 +00102\r\n") << Records{"+00104 +00102"} << 1;
    QTest::newRow("record alone") << QByteArray("+00015 +00515\r\n") << Records{"+00015 +00515"}
                                  << 0;
    QTest::newRow("record with trailing characters")
        << QByteArray("+00015 +00515 tail\r\n") << Records{"+00015 +00515"} << 5;
    QTest::newRow("record followed by a cut record")
        << QByteArray("+00015 +00515 +00016 +0051\r\n") << Records{"+00015 +00515"} << 13;
    QTest::newRow("two records glued, the last is whole")
        << QByteArray("+00015 +00515 +00016 +00516\r\n") << Records{"+00016 +00516"} << 14;
    QTest::newRow("record inside noise")
        << QByteArray("ab+00015 +00515yz\r\n") << Records{"+00015 +00515"} << 4;
    QTest::newRow("first of two records inside noise")
        << QByteArray("ab+00015 +00515 -0.250 -1.000z\r\n") << Records{"+00015 +00515"} << 17;
    QTest::newRow("no record") << QByteArray("+00015 +0051\r\n") << Records{} << 12;
    QTest::newRow("line not ended") << QByteArray("x+00015 +00515") << Records{} << 0;
    QTest::newRow("each line decided on its own")
        << QByteArray("+00000 +00000 +00102\r+00015 +00515 tail\n\n ab\r\n")
        << Records{"+00000 +00102", "+00015 +00515"} << 15;
}

void TestFramer::lineGivesTheRecordTheRuleChooses()
{
    QFETCH(QByteArray, stream);
    QFETCH(Records, expected);
    QFETCH(int, noise);

    RecordFramer whole;
    QCOMPARE(whole.feed(stream), expected);
    QCOMPARE(whole.noiseBytes(), qint64(noise));

    // The same stream one byte per poll, and cut after its first seven bytes (the fragment of
    // the first case arriving in a poll of its own).
    RecordFramer single;
    Records records;
    for (qsizetype i = 0; i < stream.size(); ++i)
        records += single.feed(stream.mid(i, 1));
    QCOMPARE(records, expected);
    QCOMPARE(single.noiseBytes(), qint64(noise));
    QCOMPARE(feedInChunks(stream, {qMin<qsizetype>(7, stream.size())}), expected);
    QCOMPARE(recordsByLine(stream), expected);
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
    // A record can still end an endless line.
    QCOMPARE(framer.feed("+00015 +00515\r\n"), Records{"+00015 +00515"});
    QCOMPARE(framer.noiseBytes(), qint64(100 * 1000));

    // And one found in the middle of an endless line is kept until its line end.
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
