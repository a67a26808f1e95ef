// The fuzz checks of every reader of outside input, replayed over the committed examples (every
// input that ever found a fault among them) and over generated inputs, in every build and with
// any compiler; and the independent statements of the rules those checks rest on, tested on
// their own so that a check cannot pass because its oracle agrees with anything.

#include "fuzz/FuzzChecks.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <functional>

namespace {

using Check = std::function<QString(QByteArrayView)>;
using Values = std::array<qint32, 7>;

const QStringList kTargets = {QStringLiteral("serial_stream"), QStringLiteral("replay_file"),
                              QStringLiteral("settings_file")};

Check checkOf(const QString& target)
{
    if (target == QLatin1String("serial_stream"))
        return checkSerialStream;
    if (target == QLatin1String("replay_file"))
        return checkReplayFile;
    return checkSettingsFile;
}

QDir corpusDir(const QString& target)
{
    return QDir(QStringLiteral(MARVANE_CORPUS_DIR "/") + target);
}

QByteArray bytes(const char* text)
{
    return QByteArray(text);
}

} // namespace

Q_DECLARE_METATYPE(Values)

class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void everyTargetHasExamples_data();
    void everyTargetHasExamples();
    void examplesKeepEveryRule_data();
    void examplesKeepEveryRule();
    void generatedInputsKeepEveryRule_data();
    void generatedInputsKeepEveryRule();

    void recordsOfStream_data();
    void recordsOfStream();
    void replayLinesOf_data();
    void replayLinesOf();
    void settingsChangeAccepted_data();
    void settingsChangeAccepted();
    void settingsChangeRejected_data();
    void settingsChangeRejected();
};

void TestFuzzCorpus::everyTargetHasExamples_data()
{
    QTest::addColumn<QString>("target");
    for (const QString& target : kTargets)
        QTest::newRow(qPrintable(target)) << target;
}

void TestFuzzCorpus::everyTargetHasExamples()
{
    QFETCH(QString, target);
    const QDir dir = corpusDir(target);
    QVERIFY2(dir.exists(), qPrintable(dir.path()));
    QVERIFY(dir.entryList(QDir::Files).size() >= 5);
}

void TestFuzzCorpus::examplesKeepEveryRule_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");
    for (const QString& target : kTargets) {
        const QDir dir = corpusDir(target);
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(target + QLatin1Char('/') + name))
                << target << dir.filePath(name);
    }
}

void TestFuzzCorpus::examplesKeepEveryRule()
{
    QFETCH(QString, target);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray input = file.readAll();
    const QString problem = checkOf(target)(input);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestFuzzCorpus::generatedInputsKeepEveryRule_data()
{
    QTest::addColumn<QString>("target");
    for (const QString& target : kTargets)
        QTest::newRow(qPrintable(target)) << target;
}

void TestFuzzCorpus::generatedInputsKeepEveryRule()
{
    // Inputs drawn from the characters the readers care about, so that most of them hold
    // records, recorder lines and key lines among the rubbish. The generator starts the same way
    // every run, so a failure repeats.
    QFETCH(QString, target);
    const Check check = checkOf(target);
    const QByteArray alphabet("+-.0123456789 \r\n\0\"=[];#xOptionsCommPortBaudRate\xC5\xBF", 48);
    QRandomGenerator generator(20240501);
    for (int i = 0; i < 300; ++i) {
        QByteArray input;
        const int size = generator.bounded(400);
        for (int n = 0; n < size; ++n) {
            input += generator.bounded(4) == 0 ? char(generator.bounded(256))
                                               : alphabet[generator.bounded(int(alphabet.size()))];
        }
        const QString problem = check(input);
        QVERIFY2(problem.isEmpty(),
                 qPrintable(QStringLiteral("input %1 (%2): %3")
                                .arg(i)
                                .arg(QString::fromLatin1(input.toHex()), problem)));
    }
}

void TestFuzzCorpus::recordsOfStream_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("records");

    QTest::newRow("nothing") << QByteArray() << QList<QByteArray>{};
    QTest::newRow("one record without line end") << bytes("+00015 +00515") << QList<QByteArray>{};
    QTest::newRow("one record and its line end")
        << bytes("+00015 +00515\r") << QList<QByteArray>{"+00015 +00515"};
    QTest::newRow("one short of a record") << bytes("+00015 +0051") << QList<QByteArray>{};
    QTest::newRow("records on lines of every line end")
        << bytes("+00015 +00515\r\n-0.250 -1.000\r+00.15 +05.15\n")
        << QList<QByteArray>{"+00015 +00515", "-0.250 -1.000", "+00.15 +05.15"};
    QTest::newRow("the record starting the line wins")
        << bytes("+00016 +00516 +00017 +00517\r\n") << QList<QByteArray>{"+00016 +00516"};
    QTest::newRow("a signed field appended is ignored")
        << bytes("+00015 +00515 +00021\r\n") << QList<QByteArray>{"+00015 +00515"};
    QTest::newRow("a record glued on is ignored")
        << bytes("+00015 +00515+00300 +00400\r\n") << QList<QByteArray>{"+00015 +00515"};
    QTest::newRow("record after a stray blank")
        << bytes(" +00104 +00102\r\n") << QList<QByteArray>{};
    QTest::newRow("record with trailing characters")
        << bytes("+00015 +00515 tail\r\n") << QList<QByteArray>{"+00015 +00515"};
    QTest::newRow("record inside noise")
        << bytes("ab+00015 +00515 -0.250 -1.000z\n") << QList<QByteArray>{};
    QTest::newRow("noise and a fragment before the record, then a record")
        << bytes("\x7f#+00015 +005-0.250 -1.000\r\n+00.15 +05.15\r\n")
        << QList<QByteArray>{"+00.15 +05.15"};
    QTest::newRow("separator not examined, blank inside a field is")
        << bytes("+00018x+00518\r\n+0 015 +00515\r\n") << QList<QByteArray>{"+00018x+00518"};
    QTest::newRow("a line end inside a record breaks it")
        << bytes("+00015\r\n +00515\r\n") << QList<QByteArray>{};
    QTest::newRow("wrong sign characters")
        << bytes("*00015 +00515\r\n+00015 *00515\r\n") << QList<QByteArray>{};
}

void TestFuzzCorpus::recordsOfStream()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, records);
    QCOMPARE(FuzzOracle::recordsOfStream(stream), records);
}

void TestFuzzCorpus::replayLinesOf_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<QByteArray>>("lines");

    const QByteArray longest(4096, 'a');
    QTest::newRow("empty file") << QByteArray() << QList<QByteArray>{};
    QTest::newRow("CR LF and LF") << bytes("a\r\nb\nc\r\n") << QList<QByteArray>{"a", "b", "c"};
    QTest::newRow("last line without line end") << bytes("a\r\nb") << QList<QByteArray>{"a", "b"};
    QTest::newRow("CR before the end of the file") << bytes("a\r") << QList<QByteArray>{"a"};
    QTest::newRow("only one CR before LF goes") << bytes("a\r\r\n") << QList<QByteArray>{"a\r"};
    QTest::newRow("CR alone does not end a line") << bytes("a\rb\n") << QList<QByteArray>{"a\rb"};
    QTest::newRow("empty lines") << bytes("\n\r\n\n") << QList<QByteArray>{"", "", ""};
    QTest::newRow("longest line kept") << longest + "\r\nb" << QList<QByteArray>{longest, "b"};
    QTest::newRow("longer line cut") << longest + "bbb\r\nc" << QList<QByteArray>{longest, "c"};
    QTest::newRow("CR after the longest line") << longest + "\r" << QList<QByteArray>{longest};
}

void TestFuzzCorpus::replayLinesOf()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<QByteArray>, lines);
    QCOMPARE(FuzzOracle::replayLinesOf(file), lines);
}

void TestFuzzCorpus::settingsChangeAccepted_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<Values>("values");

    const Values chosen{1, 2, 1, 5, 0, 2, 1};
    const QByteArray keys("ScrollDirection=1\nCommPort=2\nOrientation=1\nBaudRate=5\n"
                          "DataBits=0\nParity=2\nStopBits=1\n");
    QTest::newRow("new file") << QByteArray() << "[Options]\n" + keys << chosen;
    QTest::newRow("section added after a blank line")
        << bytes("; notes") << "; notes\n\n[Options]\n" + keys << chosen;
    QTest::newRow("keys rewritten in place, spelling and line end kept, the rest as it was")
        << bytes("; top\r\n[Options]\r\n  commport = 7\n# note\r\nScrollDirection=0\r\n[Ports]\r\n")
        << bytes(
               "; top\r\n[Options]\r\ncommport=2\n# note\r\nScrollDirection=1\r\nOrientation=1\r\n"
               "BaudRate=5\r\nDataBits=0\r\nParity=2\r\nStopBits=1\r\n[Ports]\r\n")
        << chosen;
    QTest::newRow("only the first of a repeated key, only in section Options")
        << bytes("[Other]\nParity=9\n[Options]\nParity=8\nParity=7\n")
        << bytes("[Other]\nParity=9\n[Options]\nParity=2\nScrollDirection=1\nCommPort=2\n"
                 "Orientation=1\nBaudRate=5\nDataBits=0\nStopBits=1\nParity=7\n")
        << chosen;
    QTest::newRow("added blank line after a lone CR ends in CR LF")
        << bytes("; a\nb\r") << "; a\nb\r\r\n[Options]\n" + keys << chosen;
    QTest::newRow("byte order mark kept")
        << bytes("\xEF\xBB\xBF[Options]\n") << "\xEF\xBB\xBF[Options]\n" + keys << chosen;
}

void TestFuzzCorpus::settingsChangeAccepted()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(Values, values);
    const QString problem = FuzzOracle::settingsChangeProblem(before, after, values);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestFuzzCorpus::settingsChangeRejected_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<Values>("values");

    const Values chosen{1, 2, 1, 5, 0, 2, 1};
    const QByteArray keys("ScrollDirection=1\nCommPort=2\nOrientation=1\nBaudRate=5\n"
                          "DataBits=0\nParity=2\nStopBits=1\n");
    const QByteArray before("; notes\n[Options]\nCommPort=3\n[Ports]\nCOM1=/dev/ttyS0\n");
    QTest::newRow("a comment dropped")
        << before << "[Options]\n" + keys + "[Ports]\nCOM1=/dev/ttyS0\n"
        << chosen;
    QTest::newRow("another section's line changed")
        << before << "; notes\n[Options]\n" + keys + "[Ports]\nCOM1=/dev/ttyS1\n"
        << chosen;
    QTest::newRow("lines of the file reordered")
        << before << "[Options]\n; notes\n" + keys + "[Ports]\nCOM1=/dev/ttyS0\n"
        << chosen;
    QTest::newRow("a line end changed")
        << before << "; notes\r\n[Options]\n" + keys + "[Ports]\nCOM1=/dev/ttyS0\n"
        << chosen;
    QTest::newRow("a value not saved")
        << before
        << bytes("; notes\n[Options]\nCommPort=3\nScrollDirection=1\nOrientation=1\nBaudRate=5\n"
                 "DataBits=0\nParity=2\nStopBits=1\n[Ports]\nCOM1=/dev/ttyS0\n")
        << chosen;
    QTest::newRow("a key missing")
        << before
        << bytes("; notes\n[Options]\nCommPort=2\nScrollDirection=1\nOrientation=1\nBaudRate=5\n"
                 "DataBits=0\nParity=2\n[Ports]\nCOM1=/dev/ttyS0\n")
        << chosen;
    QTest::newRow("a key saved into another section")
        << before << "; notes\n[Options]\n" + keys + "[Ports]\nCOM1=/dev/ttyS0\nStopBits=1\n"
        << chosen;
    QTest::newRow("a key of another section rewritten")
        << bytes("[Ports]\nParity=9\n") << "[Ports]\nParity=2\n\n[Options]\n" + keys << chosen;
    QTest::newRow("a line that is no key added")
        << before << "; notes\n[Options]\n" + keys + "junk\n[Ports]\nCOM1=/dev/ttyS0\n"
        << chosen;
    QTest::newRow("byte order mark dropped")
        << bytes("\xEF\xBB\xBF[Options]\n") << "[Options]\n" + keys << chosen;
    QTest::newRow("added lines in another line-end style")
        << bytes("[Options]\r\n") << "[Options]\r\n" + keys << chosen;
    QTest::newRow("look-alike key rewritten")
        << bytes("[Options]\n\xC5\xBF"
                 "crollDirection=0\n")
        << bytes("[Options]\n\xC5\xBF"
                 "crollDirection=1\nCommPort=2\nOrientation=1\nBaudRate=5\n"
                 "DataBits=0\nParity=2\nStopBits=1\n")
        << chosen;
}

void TestFuzzCorpus::settingsChangeRejected()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(Values, values);
    QVERIFY(!FuzzOracle::settingsChangeProblem(before, after, values).isEmpty());
}

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
