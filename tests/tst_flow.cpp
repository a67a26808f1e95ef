// Flow speed and bearing from the raw X and Y cell texts: formats, the sensor orientation, the
// from/to convention, the colour rule and the speed needle scale.

#include "app/Dial.h"
#include "base/MarvaneError.h"
#include "base/NumberText.h"
#include "sensor/FlowComputation.h"
#include "sensor/FlowPipeline.h"

#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(BearingColour)
Q_DECLARE_METATYPE(SpeedUnitsKind)

namespace {
constexpr auto MS = SpeedUnitsKind::MetresPerSecond;
constexpr auto KN = SpeedUnitsKind::Knots;
constexpr auto MM = SpeedUnitsKind::MillimetresPerSecond;
} // namespace

namespace QTest {
template <> char* toString(const BearingColour& colour)
{
    switch (colour) {
    case BearingColour::Unchanged:
        return qstrdup("Unchanged");
    case BearingColour::Green:
        return qstrdup("Green");
    case BearingColour::Red:
        return qstrdup("Red");
    case BearingColour::Black:
        return qstrdup("Black");
    }
    return qstrdup("?");
}
} // namespace QTest

class TestFlow : public QObject
{
    Q_OBJECT

private slots:
    void wholeDegreesAsTheReadoutShows_data();
    void wholeDegreesAsTheReadoutShows();
    void computesSample_data();
    void computesSample();
    void colourRule_data();
    void colourRule();
    void speedNeedleScale_data();
    void speedNeedleScale();
    void speedBeyondFullScaleKeepsItsText_data();
    void speedBeyondFullScaleKeepsItsText();
    void knotsExampleDrivesNeedleToFive();
    void badCellTextStopsTheSample_data();
    void badCellTextStopsTheSample();
};

namespace {

const QString kBlanks = QStringLiteral("    ");

QString cell(const char* field)
{
    return kBlanks + QString::fromLatin1(field);
}

} // namespace

void TestFlow::computesSample_data()
{
    QTest::addColumn<QString>("xText");
    QTest::addColumn<QString>("yText");
    QTest::addColumn<bool>("faceUp");
    QTest::addColumn<int>("bearingTo");
    QTest::addColumn<QString>("speedFormat");
    QTest::addColumn<QString>("speedText");
    QTest::addColumn<double>("bearing");
    QTest::addColumn<QString>("bearingText");
    QTest::addColumn<BearingColour>("colour");

    const auto row = [](const char* name, const char* x, const char* y, bool faceUp, int bearingTo,
                        const char* format, const char* speed, double bearing,
                        const char* bearingText, BearingColour colour) {
        QTest::newRow(name) << cell(x) << cell(y) << faceUp << bearingTo
                            << QString::fromLatin1(format) << QString::fromLatin1(speed) << bearing
                            << QString::fromLatin1(bearingText) << colour;
    };
    using C = BearingColour;
    // The worked example and its two variations.
    row("mm/s example", "+00015", "+00515", false, 0, "0000", "0515", 1.66833, "002", C::Green);
    row("mm/s face up", "+00015", "+00515", true, 0, "0000", "0515", 358.33167, "358", C::Red);
    row("mm/s bearing to", "+00015", "+00515", false, 1, "0000", "0515", 181.66833, "182", C::Red);
    // Face up turns X only; Y keeps its sign.
    row("face up keeps Y", "+00015", "-00515", true, 0, "0000", "0515", 181.66833, "182", C::Red);
    row("face down negative Y", "+00015", "-00515", false, 0, "0000", "0515", 178.33167, "178",
        C::Green);
    // On the axes.
    row("straight back", "+00000", "-00515", false, 0, "0000", "0515", 180, "180", C::Black);
    // 180 reversed is north: 0, as the text says, never 360.
    row("straight back, to", "+00000", "-00515", false, 1, "0000", "0515", 0, "000", C::Black);
    row("straight ahead", "+00000", "+00515", false, 0, "0000", "0515", 0, "000", C::Black);
    row("straight ahead, to", "+00000", "+00515", false, 1, "0000", "0515", 180, "180", C::Black);
    row("from the right", "+00515", "+00000", false, 0, "0000", "0515", 90, "090", C::Green);
    row("from the right, to", "+00515", "+00000", false, 1, "0000", "0515", 270, "270", C::Red);
    row("from the left", "-00515", "+00000", false, 0, "0000", "0515", 270, "270", C::Red);
    row("from the left, to", "-00515", "+00000", false, 1, "0000", "0515", 90, "090", C::Green);
    row("face up on the X axis", "+00515", "+00000", true, 0, "0000", "0515", 270, "270", C::Red);
    // Still water: speed zero in each format, bearing 90.
    row("still mm/s", "+00000", "+00000", false, 0, "0000", "0000", 90, "090", C::Green);
    row("still m/s", "+0.000", "+0.000", false, 0, "0.000", "0.000", 90, "090", C::Green);
    row("still knots", "+00.00", "+00.00", false, 0, "00.00", "00.00", 90, "090", C::Green);
    row("still face up", "+00000", "+00000", true, 0, "0000", "0000", 90, "090", C::Green);
    row("still, to", "+00000", "+00000", false, 1, "0000", "0000", 270, "270", C::Red);
    // The other two units.
    row("m/s", "+0.015", "+0.515", false, 0, "0.000", "0.515", 1.66833, "002", C::Green);
    row("m/s both negative", "-0.250", "-1.000", false, 0, "0.000", "1.031", 194.03624, "194",
        C::Red);
    row("knots", "+00.15", "+05.15", false, 0, "00.00", "05.15", 1.66833, "002", C::Green);
    row("knots above 99", "+99.99", "+99.99", false, 0, "00.00", "141.41", 45, "045", C::Green);
    // Odd fields that still convert.
    row("point at the end", "+0001.", "+00001", false, 0, "0000", "0001", 45, "045", C::Green);
    row("point first", "+.0015", "+.0015", false, 0, "0000", "0000", 45, "045", C::Green);
}

void TestFlow::computesSample()
{
    QFETCH(QString, xText);
    QFETCH(QString, yText);
    QFETCH(bool, faceUp);
    QFETCH(int, bearingTo);
    QFETCH(QString, speedFormat);
    QFETCH(double, bearing);

    const FlowSample sample = computeFlowSample(xText, yText, faceUp, bearingTo, speedFormat);
    QTEST(sample.speedText, "speedText");
    QTEST(sample.bearingText, "bearingText");
    QTEST(sample.colour, "colour");
    QVERIFY2(std::abs(sample.bearing - bearing) < 1e-4,
             qPrintable(QStringLiteral("bearing %1, expected %2")
                            .arg(sample.bearing, 0, 'g', 17)
                            .arg(bearing)));
}

void TestFlow::colourRule_data()
{
    QTest::addColumn<double>("bearing");
    QTest::addColumn<BearingColour>("colour");

    using C = BearingColour;
    QTest::newRow("359.6 shows 000") << 359.6 << C::Black;
    QTest::newRow("0.4 shows 000") << 0.4 << C::Black;
    QTest::newRow("179.7 shows 180") << 179.7 << C::Black;
    QTest::newRow("180.3 shows 180") << 180.3 << C::Black;
    QTest::newRow("0") << 0.0 << C::Black;
    QTest::newRow("180") << 180.0 << C::Black;
    QTest::newRow("360") << 360.0 << C::Black;
    QTest::newRow("0.5 shows 001") << 0.5 << C::Green;
    QTest::newRow("1.668") << 1.668 << C::Green;
    QTest::newRow("90") << 90.0 << C::Green;
    QTest::newRow("179.4") << 179.4 << C::Green;
    QTest::newRow("180.6") << 180.6 << C::Red;
    QTest::newRow("270") << 270.0 << C::Red;
    QTest::newRow("358.332") << 358.332 << C::Red;
    QTest::newRow("359.4") << 359.4 << C::Red;
    // Outside 0..360 no rule applies and the readout keeps its colour.
    QTest::newRow("400") << 400.0 << C::Unchanged;
    QTest::newRow("-5") << -5.0 << C::Unchanged;
}

void TestFlow::colourRule()
{
    QFETCH(double, bearing);
    // The text as the readout shows it.
    QString text = formatNumber(bearing, QStringLiteral("000"));
    if (text == QLatin1String("360"))
        text = QStringLiteral("000");
    QTEST(bearingColour(bearing, text), "colour");
}

void TestFlow::speedNeedleScale_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<SpeedUnitsKind>("units");
    QTest::addColumn<double>("angle");

    QTest::newRow("knots 5.15") << 5.15 << KN << 313.0;
    QTest::newRow("knots zero") << 0.0 << KN << 210.0;
    QTest::newRow("knots full scale") << 15.0 << KN << 510.0;
    // Beyond full scale the needle stops at the end of the scale instead of wrapping round.
    QTest::newRow("knots beyond full scale") << 20.0 << KN << 510.0;
    QTest::newRow("m/s 9.000") << 9.0 << MS << 510.0;
    QTest::newRow("m/s 14.14") << 14.14 << MS << 510.0;
    QTest::newRow("m/s just beyond full scale") << 7.501 << MS << 510.0;
    QTest::newRow("m/s just below full scale") << 7.499 << MS << 509.96;
    QTest::newRow("mm/s 9999") << 9999.0 << MM << 510.0;
    QTest::newRow("m/s below zero") << -1.0 << MS << 210.0;
    QTest::newRow("m/s not a number") << std::numeric_limits<double>::quiet_NaN() << MS << 210.0;
    QTest::newRow("knots infinite") << std::numeric_limits<double>::infinity() << KN << 510.0;
    QTest::newRow("m/s 0.515") << 0.515 << MS << 230.6;
    QTest::newRow("m/s full scale") << 7.5 << MS << 510.0;
    QTest::newRow("mm/s 515") << 515.0 << MM << 230.6;
    QTest::newRow("mm/s full scale") << 7500.0 << MM << 510.0;
    QTest::newRow("mm/s zero") << 0.0 << MM << 210.0;
}

void TestFlow::speedNeedleScale()
{
    QFETCH(double, speed);
    QFETCH(SpeedUnitsKind, units);
    QFETCH(double, angle);

    const double result = speedNeedleAngle(speed, units);
    QVERIFY2(std::abs(result - angle) < 1e-9, qPrintable(QString::number(result, 'g', 17)));
}

void TestFlow::speedBeyondFullScaleKeepsItsText_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("speedText");
    QTest::addColumn<double>("angle");

    QTest::newRow("9 m/s") << QStringLiteral("+9.000 +0.000") << QStringLiteral("9.000") << 510.0;
    QTest::newRow("14.14 m/s") << QStringLiteral("+9.999 +9.999") << QStringLiteral("14.141")
                               << 510.0;
    QTest::newRow("20 knots") << QStringLiteral("+20.00 +00.00") << QStringLiteral("20.00")
                              << 510.0;
    QTest::newRow("7.5 m/s") << QStringLiteral("+7.500 +0.000") << QStringLiteral("7.500") << 510.0;
    QTest::newRow("5.15 knots") << QStringLiteral("+00.00 +05.15") << QStringLiteral("05.15")
                                << 313.0;
}

void TestFlow::speedBeyondFullScaleKeepsItsText()
{
    QFETCH(QString, record);
    QFETCH(QString, speedText);
    QFETCH(double, angle);

    // The needle stops at the end of the scale; what is shown and logged is the speed itself.
    FlowPipeline pipeline;
    const std::optional<Sample> sample =
        pipeline.decodeRecord(record, SampleSource::Live, 0, QString());
    QVERIFY(sample && sample->computed);
    QCOMPARE(sample->speedText, speedText);
    QVERIFY(sample->speedNeedleAngle.has_value());
    QVERIFY2(std::abs(*sample->speedNeedleAngle - angle) < 1e-9,
             qPrintable(QString::number(*sample->speedNeedleAngle, 'g', 17)));
}

void TestFlow::knotsExampleDrivesNeedleToFive()
{
    const FlowSample sample =
        computeFlowSample(cell("+00.15"), cell("+05.15"), false, 0, QStringLiteral("00.00"));
    QCOMPARE(sample.speedText, QStringLiteral("05.15"));
    // The needle follows the displayed text, not the unrounded speed.
    const double angle =
        speedNeedleAngle(static_cast<double>(textToFloat(sample.speedText)), SpeedUnitsKind::Knots);
    QVERIFY(std::abs(angle - 313.0) < 1e-9);
    QCOMPARE(QPoint(95, 95) + needleOffset(angle), QPoint(36, 40));
}

void TestFlow::badCellTextStopsTheSample_data()
{
    QTest::addColumn<QString>("xText");
    QTest::addColumn<QString>("yText");
    QTest::addColumn<QString>("message");

    QTest::newRow("two points in X")
        << cell("+0..15") << cell("+00515")
        << QStringLiteral("'    +0..15' is not a valid floating point value");
    QTest::newRow("points only in Y")
        << cell("+00015") << cell("+.....")
        << QStringLiteral("'    +.....' is not a valid floating point value");
    QTest::newRow("X is converted first")
        << cell("+0..15") << cell("+.....")
        << QStringLiteral("'    +0..15' is not a valid floating point value");
    QTest::newRow("empty cell") << QString() << cell("+00515")
                                << QStringLiteral("'' is not a valid floating point value");
}

void TestFlow::badCellTextStopsTheSample()
{
    QFETCH(QString, xText);
    QFETCH(QString, yText);
    QFETCH(QString, message);

    for (const bool faceUp : {false, true}) {
        QString thrown;
        try {
            computeFlowSample(xText, yText, faceUp, 0, QStringLiteral("0000"));
        } catch (const MarvaneError& error) {
            thrown = error.text();
        }
        QCOMPARE(thrown, message);
    }
}

void TestFlow::wholeDegreesAsTheReadoutShows_data()
{
    // The number the bearing readout's "000" shows, with whole turns taken off.
    QTest::addColumn<double>("degrees");
    QTest::addColumn<int>("whole");
    QTest::newRow("just short of north") << 359.6 << 0;
    QTest::newRow("still 359") << 359.4 << 359;
    QTest::newRow("half up") << 90.5 << 91;
    QTest::newRow("a turn and a bit") << 720.2 << 0;
    QTest::newRow("just west of north, negative") << -0.6 << 359;
    QTest::newRow("north") << 0.0 << 0;
}

void TestFlow::wholeDegreesAsTheReadoutShows()
{
    QFETCH(double, degrees);
    QFETCH(int, whole);
    QCOMPARE(wholeDegrees(degrees), whole);
    if (degrees >= 0 && degrees < 360) {
        const QString shown = formatNumber(degrees, QStringLiteral("000"));
        QCOMPARE(shown == QStringLiteral("360") ? 0 : shown.toInt(), whole);
    }
}

QTEST_GUILESS_MAIN(TestFlow)
#include "tst_flow.moc"
