// Sensor records: which texts are records, the two fields taken from them, and the units read
// from the position of the point in the X field. The byte check used for framing the serial
// stream must agree with the text check on every example.

#include "sensor/RawRecord.h"

#include <QTest>

Q_DECLARE_METATYPE(SpeedUnitsKind)

class TestRawRecord : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void byteCheckAgreesWithTextCheck_data();
    void byteCheckAgreesWithTextCheck();
    void byteCheckUsesOnlyTheGivenSize();
    void unitsTable_data();
    void unitsTable();
};

namespace {

constexpr auto MS = SpeedUnitsKind::MetresPerSecond;
constexpr auto KN = SpeedUnitsKind::Knots;
constexpr auto MM = SpeedUnitsKind::MillimetresPerSecond;

void addExamples()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<SpeedUnitsKind>("units");

    const auto accept = [](const char* name, const QString& text, const char* x, const char* y,
                           SpeedUnitsKind units) {
        QTest::newRow(name) << text << true << QString::fromLatin1(x) << QString::fromLatin1(y)
                            << units;
    };
    const auto reject = [](const char* name, const QString& text) {
        QTest::newRow(name) << text << false << QString() << QString() << MM;
    };
    const auto latin = [](const char* text) { return QString::fromLatin1(text); };

    accept("mm/s, exactly 13 characters", latin("+00015 +00515"), "+00015", "+00515", MM);
    accept("m/s", latin("+0.015 +0.515"), "+0.015", "+0.515", MS);
    accept("knots", latin("+00.15 +05.15"), "+00.15", "+05.15", KN);
    accept("both negative", latin("-0.250 -1.000"), "-0.250", "-1.000", MS);
    accept("negative mm/s", latin("-00015 -00515"), "-00015", "-00515", MM);
    accept("with CR LF", latin("+00015 +00515\r\n"), "+00015", "+00515", MM);
    accept("second record ignored", latin("+00015 +00515\r\n+0.015 +0.515\r\n"), "+00015", "+00515",
           MM);
    accept("trailing junk ignored", latin("+00015 +00515junk"), "+00015", "+00515", MM);
    accept("separator not examined", latin("+00015x+00515"), "+00015", "+00515", MM);
    accept("tab separator", latin("+00015\t+00515"), "+00015", "+00515", MM);
    accept("only X decides units", latin("+00015 +0.515"), "+00015", "+0.515", MM);
    accept("Y point ignored for knots", latin("+00.15 +00515"), "+00.15", "+00515", KN);
    accept("point at position 6", latin("+0001. +00515"), "+0001.", "+00515", MM);
    accept("point at position 2", latin("+.0015 +00515"), "+.0015", "+00515", MM);
    accept("point at position 5", latin("+000.5 +00515"), "+000.5", "+00515", MM);
    // Passes the shape check; the number conversion refuses it later.
    accept("two points", latin("+0..15 +00515"), "+0..15", "+00515", MS);
    accept("points only", latin("+..... +....."), "+.....", "+.....", MM);

    reject("empty", QString());
    reject("five characters", latin("+0001"));
    reject("X field only", latin("+00015"));
    reject("X field and separator", latin("+00015 "));
    reject("Y sign only", latin("+00015 +"));
    reject("twelve characters", latin("+00015 +0051"));
    reject("blank prefix", latin(" +00015 +00515"));
    reject("blank inside X", latin("+0 015 +00515"));
    reject("blank at end of Y", latin("+00015 +0051 "));
    reject("letter in X", latin("+0001a +00515"));
    reject("letter in Y", latin("+00015 +00a15"));
    reject("sign inside Y", latin("+00015 +005-5"));
    reject("wrong X sign", latin("*00015 +00515"));
    reject("wrong Y sign", latin("+00015 *00515"));
    reject("unsigned", latin("000015 000515"));
    reject("Y shifted", latin("+00015 00515+"));
    reject("CR LF first", latin("\r\n+00015 +00515"));
    reject("non-Latin digit", latin("+00015 +0051") + QChar(0x0665));
    reject("high byte", latin("+00015 +0051\xb5"));
}

} // namespace

void TestRawRecord::decodes_data()
{
    addExamples();
}

void TestRawRecord::decodes()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(SpeedUnitsKind, units);

    const std::optional<RawRecord> record = parseRawRecord(text);
    QCOMPARE(record.has_value(), accepted);
    if (!accepted)
        return;
    QCOMPARE(record->x, x);
    QCOMPARE(record->y, y);
    QCOMPARE(record->units, units);
}

void TestRawRecord::byteCheckAgreesWithTextCheck_data()
{
    addExamples();
}

void TestRawRecord::byteCheckAgreesWithTextCheck()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    // The sensor's text is single-byte; a character outside Latin-1 stands for a byte that is not
    // a digit either.
    const QByteArray bytes = text.toLatin1();
    QCOMPARE(isRawRecordAt(bytes.constData(), bytes.size()), accepted);
}

void TestRawRecord::byteCheckUsesOnlyTheGivenSize()
{
    const QByteArray bytes("+00015 +00515 +00015 +00515");
    QVERIFY(isRawRecordAt(bytes.constData(), 13));
    QVERIFY(!isRawRecordAt(bytes.constData(), 12));
    QVERIFY(!isRawRecordAt(bytes.constData(), 0));
    QVERIFY(!isRawRecordAt(nullptr, 0));
    // A record in the middle of a buffer: the framer asks at each offset.
    QVERIFY(isRawRecordAt(bytes.constData() + 14, bytes.size() - 14));
    QVERIFY(!isRawRecordAt(bytes.constData() + 1, bytes.size() - 1));
}

void TestRawRecord::unitsTable_data()
{
    QTest::addColumn<SpeedUnitsKind>("kind");
    QTest::addColumn<QString>("speedFormat");
    QTest::addColumn<QString>("speedUnits");
    QTest::addColumn<QString>("readoutCaption");
    QTest::addColumn<QString>("unitsCellText");
    QTest::addColumn<bool>("knotsFace");
    QTest::addColumn<bool>("x1000Mark");

    QTest::newRow("m/s") << MS << QStringLiteral("0.000") << QStringLiteral("m/s")
                         << QStringLiteral("m/s") << QStringLiteral("     m/s") << false << false;
    QTest::newRow("knots") << KN << QStringLiteral("00.00") << QStringLiteral("Knots")
                           << QStringLiteral("Kts") << QStringLiteral("    Knots") << true << false;
    QTest::newRow("mm/s") << MM << QStringLiteral("0000") << QStringLiteral("mm/s")
                          << QStringLiteral("mm/s") << QStringLiteral("     mm/s") << false << true;
}

void TestRawRecord::unitsTable()
{
    QFETCH(SpeedUnitsKind, kind);
    const UnitsInfo& info = unitsInfo(kind);
    QTEST(info.speedFormat, "speedFormat");
    QTEST(info.speedUnits, "speedUnits");
    QTEST(info.readoutCaption, "readoutCaption");
    QTEST(info.unitsCellText, "unitsCellText");
    QTEST(info.knotsFace, "knotsFace");
    QTEST(info.x1000Mark, "x1000Mark");
}

QTEST_GUILESS_MAIN(TestRawRecord)
#include "tst_rawrecord.moc"
