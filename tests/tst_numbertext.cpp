// Numbers as text: the speed and bearing patterns with their rounding, and the two conversions
// with their exact error texts, all independent of the process's regional settings.

#include "base/MarvaneError.h"
#include "base/NumberText.h"

#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

Q_DECLARE_METATYPE(long double)

namespace QTest {
template <> char* toString(const long double& value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.21Lg", value);
    return qstrdup(buffer);
}
} // namespace QTest

namespace {

// The message of the MarvaneError thrown by call, or a null string when nothing was thrown.
template <typename Call> QString errorText(Call call)
{
    try {
        call();
    } catch (const MarvaneError& error) {
        return error.text();
    }
    return QString();
}

// What must come out the same whatever the locale: the point in both directions.
void checkPointIsTheSeparator()
{
    QCOMPARE(formatNumber(2.675, QStringLiteral("0.000")), QStringLiteral("2.675"));
    QCOMPARE(formatNumber(2.675, QStringLiteral("00.00")), QStringLiteral("02.67"));
    QCOMPARE(formatNumber(0.0005, QStringLiteral("0.000")), QStringLiteral("0.001"));
    QCOMPARE(formatNumber(515.218, QStringLiteral("0000")), QStringLiteral("0515"));
    QCOMPARE(textToFloat(QStringLiteral("    +0.515")), 0.515L);
    QCOMPARE(textToFloat(QStringLiteral("2.5E-2")), 0.025L);
    QCOMPARE(errorText([] { textToFloat(QStringLiteral("1,5")); }),
             QStringLiteral("'1,5' is not a valid floating point value"));
    QCOMPARE(textToInt(QStringLiteral(" -7 ")), -7);
}

} // namespace

class TestNumberText : public QObject
{
    Q_OBJECT

private slots:
    void formatsByPattern_data();
    void formatsByPattern();
    void halvesAreJudgedOnEighteenDigits();
    void unsupportedPatternIsAProgrammingError_data();
    void unsupportedPatternIsAProgrammingError();
    void nonFiniteValues();

    void acceptsFloatText_data();
    void acceptsFloatText();
    void rejectsFloatText_data();
    void rejectsFloatText();

    void acceptsIntegerText_data();
    void acceptsIntegerText();
    void rejectsIntegerText_data();
    void rejectsIntegerText();

    void germanQLocaleChangesNothing();
    void commaCLocaleChangesNothing();
};

void TestNumberText::formatsByPattern_data()
{
    QTest::addColumn<long double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* name, long double value, const char* pattern,
                        const char* expected) {
        QTest::newRow(name) << value << QString::fromLatin1(pattern)
                            << QString::fromLatin1(expected);
    };
    // The double 2.675 is 2.67499999999999982...: below the half for two decimals.
    row("2.675 two decimals", 2.675, "00.00", "02.67");
    row("2.675 three decimals", 2.675, "0.000", "2.675");
    row("0.0005 exact half up", 0.0005, "0.000", "0.001");
    row("0.0004 down", 0.0004, "0.000", "0.000");
    row("1.005 just below half", 1.005, "00.00", "01.00");
    row("0.125 half away not even", 0.125, "00.00", "00.13");
    row("0.5 whole", 0.5, "0000", "0001");
    row("1.5 whole", 1.5, "0000", "0002");
    row("2.5 whole away not even", 2.5, "0000", "0003");
    row("0.4 degrees", 0.4, "000", "000");
    row("1.668 degrees", 1.668, "000", "002");
    row("359.6 degrees", 359.6, "000", "360");
    row("179.7 degrees", 179.7, "000", "180");
    row("180.3 degrees", 180.3, "000", "180");
    row("90 degrees", 90.0, "000", "090");
    row("358.332 degrees", 358.332, "000", "358");
    row("mm/s speed", 515.218, "0000", "0515");
    row("m/s speed", 0.515218, "0.000", "0.515");
    row("knots speed", 5.152184, "00.00", "05.15");
    row("zero m/s", 0.0, "0.000", "0.000");
    row("zero knots", 0.0, "00.00", "00.00");
    row("zero mm/s", 0.0, "0000", "0000");
    row("zero degrees", 0.0, "000", "000");
    row("wider than pattern", 10.0, "0.000", "10.000");
    row("rounds up to wider", 9.9996, "0.000", "10.000");
    row("knots above 99", 123.456, "00.00", "123.46");
    row("mm/s above 9999", 12345.6, "0000", "12346");
    row("carry through nines", 999.9995, "0.000", "1000.000");
    row("very large", 1e20, "0000", "100000000000000000000");
    row("tiny", 1e-30, "0.000", "0.000");
    row("negative", -1.5, "0000", "-0002");
    row("negative decimals", -2.675, "00.00", "-02.67");
    row("negative half", -0.0005, "0.000", "-0.001");
    // A value that rounds to zero carries no sign.
    row("negative to zero", -0.0004, "0.000", "0.000");
    row("negative zero", -0.0, "0000", "0000");
    row("extended precision value", std::sqrt(15.0L * 15.0L + 515.0L * 515.0L), "0000", "0515");
}

void TestNumberText::formatsByPattern()
{
    QFETCH(long double, value);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(formatNumber(value, pattern), expected);
}

void TestNumberText::halvesAreJudgedOnEighteenDigits()
{
    // Just below one half by far less than the 18th digit: its 18-digit form reads
    // 5.00000000000000000e-1, so it rounds up although the value itself is below the half.
    const long double justBelowHalf = std::nextafter(0.5L, 0.0L);
    QVERIFY(justBelowHalf < 0.5L);
    QCOMPARE(formatNumber(justBelowHalf, QStringLiteral("0000")), QStringLiteral("0001"));
    // Far enough below the half to show in the 18 digits: rounds down.
    QCOMPARE(formatNumber(0.49999999999999990L, QStringLiteral("0000")), QStringLiteral("0000"));
}

void TestNumberText::unsupportedPatternIsAProgrammingError_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::newRow("empty") << QString();
    QTest::newRow("hash") << QStringLiteral("#.##");
    QTest::newRow("trailing point") << QStringLiteral("0.");
    QTest::newRow("leading point") << QStringLiteral(".00");
    QTest::newRow("comma") << QStringLiteral("0,000");
    QTest::newRow("two points") << QStringLiteral("0.0.0");
}

void TestNumberText::unsupportedPatternIsAProgrammingError()
{
    QFETCH(QString, pattern);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, formatNumber(1.0, pattern));
}

void TestNumberText::nonFiniteValues()
{
    QCOMPARE(formatNumber(std::numeric_limits<long double>::infinity(), QStringLiteral("0000")),
             QStringLiteral("INF"));
    QCOMPARE(formatNumber(-std::numeric_limits<long double>::infinity(), QStringLiteral("0000")),
             QStringLiteral("-INF"));
    QCOMPARE(formatNumber(std::numeric_limits<long double>::quiet_NaN(), QStringLiteral("0000")),
             QStringLiteral("NAN"));
}

void TestNumberText::acceptsFloatText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<long double>("expected");

    const auto row = [](const char* text, long double expected) {
        QTest::newRow(text) << QString::fromLatin1(text) << expected;
    };
    row("    +.0015", 0.0015L);
    row("    +00515", 515.0L);
    row("    -0.015", -0.015L);
    row("    +0.515", 0.515L);
    row("    +05.15", 5.15L);
    row("    +0001.", 1.0L);
    row("    +.0015", 0.0015L);
    row("0.015", 0.015L);
    row("+5", 5.0L);
    row("-5", -5.0L);
    row("5.", 5.0L);
    row(".5", 0.5L);
    row("-.5", -0.5L);
    row("007", 7.0L);
    row("0", 0.0L);
    row("  1.5  ", 1.5L);
    row("\t2\t", 2.0L);
    row(" \t 3 \t ", 3.0L);
    row("1e3", 1000.0L);
    row("1E+2", 100.0L);
    row("2.5E-2", 0.025L);
    row("-1.5e1", -15.0L);
    row("5.e1", 50.0L);
    row(".5e1", 5.0L);
    row("1e0005", 100000.0L);
    row("0515.218", 515.218L);
}

void TestNumberText::acceptsFloatText()
{
    QFETCH(QString, text);
    QFETCH(long double, expected);
    QCOMPARE(textToFloat(text), expected);
}

void TestNumberText::rejectsFloatText_data()
{
    QTest::addColumn<QString>("text");

    const auto row = [](const char* name, const QString& text) { QTest::newRow(name) << text; };
    row("two points", QStringLiteral("+0..15"));
    row("two points in a cell", QStringLiteral("    +0..15"));
    row("points only", QStringLiteral("    +....."));
    row("empty", QString());
    row("blanks only", QStringLiteral("  "));
    row("point only", QStringLiteral("."));
    row("sign only", QStringLiteral("+"));
    row("sign and point", QStringLiteral("-."));
    row("three parts", QStringLiteral("1.2.3"));
    row("letters", QStringLiteral("abc"));
    row("comma", QStringLiteral("1,5"));
    row("exponent without digits", QStringLiteral("1e"));
    row("exponent sign without digits", QStringLiteral("1e+"));
    row("exponent only", QStringLiteral("e5"));
    row("point before exponent only", QStringLiteral(".e5"));
    row("two signs", QStringLiteral("+-1"));
    row("double plus", QStringLiteral("++1"));
    row("blank inside", QStringLiteral("1 5"));
    row("blank after sign", QStringLiteral("- 1"));
    row("hexadecimal", QStringLiteral("0x10"));
    row("infinity word", QStringLiteral("inf"));
    row("not a number word", QStringLiteral("nan"));
    row("suffix", QStringLiteral("1.5f"));
    row("line end", QStringLiteral("1.5\r\n"));
    row("fractional exponent", QStringLiteral("1e2.5"));
    row("out of range", QStringLiteral("1e99999"));
    row("non-ASCII digit", QString(QChar(0x0661)));
}

void TestNumberText::rejectsFloatText()
{
    QFETCH(QString, text);
    QCOMPARE(errorText([&] { textToFloat(text); }),
             QStringLiteral("'") + text + QStringLiteral("' is not a valid floating point value"));
}

void TestNumberText::acceptsIntegerText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    const auto row = [](const char* text, int expected) {
        QTest::newRow(text) << QString::fromLatin1(text) << expected;
    };
    row("42", 42);
    row("0", 0);
    row("+0", 0);
    row("-0", 0);
    row("007", 7);
    row(" -7 ", -7);
    row("\t12\t", 12);
    row("2147483647", 2147483647);
    row("-2147483648", std::numeric_limits<int>::min());
    row("008", 8);
    row("360", 360);
}

void TestNumberText::acceptsIntegerText()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(textToInt(text), expected);
}

void TestNumberText::rejectsIntegerText_data()
{
    QTest::addColumn<QString>("text");

    const auto row = [](const char* text) { QTest::newRow(text) << QString::fromLatin1(text); };
    row("");
    row("   ");
    row("+");
    row("1.5");
    row("1e3");
    row("12a");
    row("abc");
    row("1 2");
    row("$");
    row("0x");
    row("$G");
    row("2147483648");
    row("-2147483649");
    row("99999999999999999999");
    row("--1");
    // Decimal only: no hexadecimal form, whatever its prefix or sign.
    row("0x8");
    row("0X8");
    row("$08");
    row("$FF");
    row("$ff");
    row("0x1f");
    row("-$10");
    row("$7FFFFFFF");
    row("$FFFFFFFF");
    row("00A");
}

void TestNumberText::rejectsIntegerText()
{
    QFETCH(QString, text);
    QCOMPARE(errorText([&] { textToInt(text); }),
             QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value"));
}

void TestNumberText::germanQLocaleChangesNothing()
{
    const QLocale previous;
    const auto restore = qScopeGuard([previous] { QLocale::setDefault(previous); });
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(QLocale().decimalPoint(), QStringLiteral(","));
    checkPointIsTheSeparator();
}

void TestNumberText::commaCLocaleChangesNothing()
{
    const auto isCommaLocale = [] {
        const lconv* conventions = std::localeconv();
        return std::strcmp(conventions->decimal_point, ",") == 0;
    };
    // Declared before the guard so the C library has left the built locale before it goes.
    QTemporaryDir localeDir;
    const QByteArray previousLocale = std::setlocale(LC_ALL, nullptr);
    const QByteArray previousLocPath = qgetenv("LOCPATH");
    const auto restore = qScopeGuard([previousLocale, previousLocPath] {
        std::setlocale(LC_ALL, previousLocale.constData());
        if (previousLocPath.isNull())
            qunsetenv("LOCPATH");
        else
            qputenv("LOCPATH", previousLocPath);
    });

    bool found = false;
    for (const char* name :
         {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr && isCommaLocale()) {
            found = true;
            break;
        }
    }

    // Most build machines carry only the C locales; build a German one from the locale sources
    // into a temporary directory when the tools for that are there.
    if (!found) {
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (!localedef.isEmpty() && localeDir.isValid()) {
            QProcess process;
            process.start(localedef, {QStringLiteral("-i"), QStringLiteral("de_DE"),
                                      QStringLiteral("-f"), QStringLiteral("ISO-8859-1"),
                                      localeDir.filePath(QStringLiteral("de_DE.ISO-8859-1"))});
            if (process.waitForFinished(60000)) {
                qputenv("LOCPATH", QFile::encodeName(localeDir.path()));
                found = std::setlocale(LC_ALL, "de_DE.ISO-8859-1") != nullptr && isCommaLocale();
            }
        }
    }
    if (!found)
        QSKIP("No locale with a decimal comma is installed and none could be built with localedef");

    // The locale is live for the C library: its own conversions now read and write a comma.
    QCOMPARE(std::strtod("1,5", nullptr), 1.5);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
    QCOMPARE(QByteArray(buffer), QByteArray("1,5"));

    checkPointIsTheSeparator();
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
