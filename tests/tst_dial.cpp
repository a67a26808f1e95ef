// The two dials: the faces' geometry, the corner fill that blends them into the window, the
// "x1000" mark, the needle end points and the needle redraw over the saved clean face.

#include "app/Dial.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <functional>

namespace {

// Colours compared without alpha, as rgbAt() reads them.
constexpr QRgb kWhite = 0xffffff;
constexpr QRgb kBlack = 0x000000;
constexpr QRgb kRed = 0xff0000;
constexpr QRgb kBlue = 0x0000ff;
const QColor kButtonFace(212, 208, 200);
const QPoint kCentre(95, 95);

using FaceMaker = std::function<QImage()>;

// Distance of a pixel's middle from the middle of the 190-pixel square.
double distanceFromCentre(int x, int y)
{
    return std::hypot(x + 0.5 - 95.0, y + 0.5 - 95.0);
}

// Angle of a pixel's middle in degrees clockwise from the top, 0 up to 360.
double angleOf(int x, int y)
{
    const double a = std::atan2(x + 0.5 - 95.0, -(y + 0.5 - 95.0)) * 180.0 / M_PI;
    return a < 0 ? a + 360 : a;
}

QImage filledFace(const QImage& face)
{
    QImage image = face;
    fillDialCorners(image, kButtonFace);
    return image;
}

QRgb rgbAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0x00ffffff;
}

QRgb rgbAt(const QImage& image, QPoint p)
{
    return rgbAt(image, p.x(), p.y());
}

// Bounding box of the pixels that differ between two images of the same size.
QRect changedArea(const QImage& before, const QImage& after)
{
    QRect area;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (rgbAt(before, x, y) != rgbAt(after, x, y))
                area |= QRect(x, y, 1, 1);
    return area;
}

void addFaces()
{
    QTest::addColumn<FaceMaker>("makeFace");
    QTest::newRow("bearing") << FaceMaker(drawBearingFace);
    QTest::newRow("knots") << FaceMaker(drawKnotsFace);
    QTest::newRow("metric") << FaceMaker(drawMetricFace);
}

// A white square for the fill tests; an 8 x 8 one has its start points at 1 and 6.
QImage whiteSquare(int size, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, size, format);
    image.fill(qRgb(255, 255, 255));
    return image;
}

} // namespace

Q_DECLARE_METATYPE(FaceMaker)

class TestDial : public QObject
{
    Q_OBJECT

private slots:
    void needleEnds_data();
    void needleEnds();
    void needleHalvesGoToTheEvenNeighbour_data();
    void needleHalvesGoToTheEvenNeighbour();

    void faceIsACircleTouchingTheEdges_data();
    void faceIsACircleTouchingTheEdges();
    void speedFacesLeaveTheBottomGapUnmarked_data();
    void speedFacesLeaveTheBottomGapUnmarked();

    void cornerFillReachesOnlyTheCorners_data();
    void cornerFillReachesOnlyTheCorners();
    void cornerFillIsFourWay();
    void cornerFillFromANonWhiteStartFillsNothing();
    void cornerFillIgnoresAlpha();
    void cornerFillTakesOtherFormats();
    void cornerFillWithWhiteChangesNothing();

    void x1000MarkFollowsThePositionRule();

};

void TestDial::needleEnds_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<QPoint>("end");

    QTest::newRow("0 up") << 0.0 << QPoint(95, 15);
    QTest::newRow("90 right") << 90.0 << QPoint(175, 95);
    QTest::newRow("180 down") << 180.0 << QPoint(95, 175);
    QTest::newRow("270 left") << 270.0 << QPoint(15, 95);
    QTest::newRow("45") << 45.0 << QPoint(152, 38);
    QTest::newRow("360 as 0") << 360.0 << QPoint(95, 15);
    QTest::newRow("zero speed 210") << 210.0 << QPoint(55, 164);
    QTest::newRow("full scale 510") << 510.0 << QPoint(135, 164);
    QTest::newRow("5.15 knots 313") << 313.0 << QPoint(36, 40);
    QTest::newRow("beyond full scale 610") << 610.0 << QPoint(20, 122);
    QTest::newRow("negative -90") << -90.0 << QPoint(15, 95);
    QTest::newRow("not a number stays at the centre") << std::nan("") << QPoint(95, 95);
}

void TestDial::needleEnds()
{
    QFETCH(double, angle);
    QFETCH(QPoint, end);
    QCOMPARE(kCentre + needleOffset(angle), end);
}

void TestDial::needleHalvesGoToTheEvenNeighbour_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("exactDx");
    QTest::addColumn<QPoint>("offset");

    // Angles at which 80 cos(angle - 90 degrees) comes out as exactly n + 0.5 in doubles.
    QTest::newRow("42.5 to 42") << 147.9100487437197 << 42.5 << QPoint(42, 68);
    QTest::newRow("-78.5 to -78") << 258.8873100833145 << -78.5 << QPoint(-78, 15);
    QTest::newRow("11.5 to 12") << 171.7350988418207 << 11.5 << QPoint(12, 79);
}

void TestDial::needleHalvesGoToTheEvenNeighbour()
{
    QFETCH(double, angle);
    QFETCH(double, exactDx);
    QFETCH(QPoint, offset);
    // The case only means something if the product really is a half on this machine.
    QCOMPARE(80 * std::cos((angle - 90) * 0.017453292519943295), exactDx);
    QCOMPARE(needleOffset(angle), offset);
}

void TestDial::faceIsACircleTouchingTheEdges_data()
{
    addFaces();
}

void TestDial::faceIsACircleTouchingTheEdges()
{
    QFETCH(FaceMaker, makeFace);
    const QImage face = makeFace();
    QCOMPARE(face.size(), QSize(kDialSize, kDialSize));

    for (int y = 0; y < kDialSize; ++y) {
        for (int x = 0; x < kDialSize; ++x) {
            const double d = distanceFromCentre(x, y);
            if (d > 95.0)
                QVERIFY2(rgbAt(face, x, y) == kWhite,
                         qPrintable(QStringLiteral("outside at %1,%2").arg(x).arg(y)));
            else if (d >= 92.5)
                QVERIFY2(rgbAt(face, x, y) == kBlack,
                         qPrintable(QStringLiteral("rim at %1,%2").arg(x).arg(y)));
        }
    }
    // The rim reaches each edge, splitting the outside into four corners.
    QCOMPARE(rgbAt(face, 94, 0), kBlack);
    QCOMPARE(rgbAt(face, 0, 94), kBlack);
    QCOMPARE(rgbAt(face, 189, 95), kBlack);
    QCOMPARE(rgbAt(face, 95, 189), kBlack);
    QCOMPARE(rgbAt(face, kCentre), kWhite);
}

void TestDial::speedFacesLeaveTheBottomGapUnmarked_data()
{
    QTest::addColumn<FaceMaker>("makeFace");
    QTest::addColumn<bool>("gapIsBlank");
    QTest::newRow("bearing") << FaceMaker(drawBearingFace) << false;
    QTest::newRow("knots") << FaceMaker(drawKnotsFace) << true;
    QTest::newRow("metric") << FaceMaker(drawMetricFace) << true;
}

void TestDial::speedFacesLeaveTheBottomGapUnmarked()
{
    QFETCH(FaceMaker, makeFace);
    QFETCH(bool, gapIsBlank);
    const QImage face = makeFace();

    // The band of the scale marks just inside the rim between 150 and 210 degrees (the bottom of
    // the dial), clear of the two end numbers.
    int inked = 0;
    for (int y = 95; y < kDialSize; ++y) {
        for (int x = 0; x < kDialSize; ++x) {
            const double d = distanceFromCentre(x, y);
            const double a = angleOf(x, y);
            if (d > 78 && d < 91 && a > 153 && a < 207 && rgbAt(face, x, y) != kWhite)
                ++inked;
        }
    }
    QCOMPARE(inked == 0, gapIsBlank);

    // Every face is marked at both ends of the speed arc (the bearing card all round).
    for (const double angle : {210.0, 150.0}) {
        const double a = angle * M_PI / 180.0;
        const int x = int(95 + 88 * std::sin(a));
        const int y = int(95 - 88 * std::cos(a));
        QVERIFY2(qGray(face.pixel(x, y)) < 128,
                 qPrintable(QStringLiteral("no mark at %1").arg(angle)));
    }
}

void TestDial::cornerFillReachesOnlyTheCorners_data()
{
    addFaces();
}

void TestDial::cornerFillReachesOnlyTheCorners()
{
    QFETCH(FaceMaker, makeFace);
    const QImage face = makeFace();
    const QImage filled = filledFace(face);
    const QRgb fill = kButtonFace.rgb() & 0x00ffffff;

    for (int y = 0; y < kDialSize; ++y) {
        for (int x = 0; x < kDialSize; ++x) {
            const QRgb expected = distanceFromCentre(x, y) > 95.0 ? fill : rgbAt(face, x, y);
            if (rgbAt(filled, x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(rgbAt(filled, x, y), 6, 16)
                                     .arg(expected, 6, 16)));
        }
    }
    for (const QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(188, 2), QPoint(189, 189),
                           QPoint(0, 189), QPoint(2, 150)})
        QCOMPARE(rgbAt(filled, p), fill);
    QCOMPARE(rgbAt(filled, kCentre), kWhite);
}

void TestDial::cornerFillIsFourWay()
{
    // A white pixel at (4, 4) walled in on its four sides but touching white corners diagonally.
    QImage image = whiteSquare(8);
    for (const QPoint p : {QPoint(3, 4), QPoint(5, 4), QPoint(4, 3), QPoint(4, 5)})
        image.setPixel(p, qRgb(0, 0, 0));
    fillDialCorners(image, kButtonFace);

    QCOMPARE(rgbAt(image, 4, 4), kWhite);
    QCOMPARE(rgbAt(image, 3, 3), kButtonFace.rgb() & 0x00ffffff);
    QCOMPARE(rgbAt(image, 5, 5), kButtonFace.rgb() & 0x00ffffff);
    QCOMPARE(rgbAt(image, 3, 4), kBlack);
}

void TestDial::cornerFillFromANonWhiteStartFillsNothing()
{
    // All four start points dark: nothing is filled, though the rest is one white area.
    QImage image = whiteSquare(8);
    for (const QPoint p : {QPoint(1, 1), QPoint(1, 6), QPoint(6, 1), QPoint(6, 6)})
        image.setPixel(p, qRgb(254, 255, 255));
    const QImage before = image;
    fillDialCorners(image, kButtonFace);
    QCOMPARE(image, before);

    // Only the first start point dark: the others still fill the white around it.
    image = whiteSquare(8);
    image.setPixel(1, 1, qRgb(0, 0, 0));
    fillDialCorners(image, kButtonFace);
    QCOMPARE(rgbAt(image, 1, 1), kBlack);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (QPoint(x, y) != QPoint(1, 1))
                QCOMPARE(rgbAt(image, x, y), kButtonFace.rgb() & 0x00ffffff);
}

void TestDial::cornerFillIgnoresAlpha()
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(qRgba(255, 255, 255, 0));
    image.setPixel(4, 4, qRgba(255, 255, 254, 255));
    fillDialCorners(image, kButtonFace);
    QCOMPARE(image.pixel(0, 0), kButtonFace.rgb());
    QCOMPARE(image.pixel(7, 7), kButtonFace.rgb());
    QCOMPARE(image.pixel(4, 4), qRgba(255, 255, 254, 255));
}

void TestDial::cornerFillTakesOtherFormats()
{
    QImage image = whiteSquare(8, QImage::Format_RGB888);
    for (int i = 0; i < 8; ++i)
        image.setPixel(i, 4, qRgb(0, 0, 0));
    fillDialCorners(image, kButtonFace);
    QCOMPARE(rgbAt(image, 0, 0), kButtonFace.rgb() & 0x00ffffff);
    QCOMPARE(rgbAt(image, 7, 7), kButtonFace.rgb() & 0x00ffffff);
    QCOMPARE(rgbAt(image, 3, 4), kBlack);
}

void TestDial::cornerFillWithWhiteChangesNothing()
{
    QImage image = drawBearingFace();
    const QImage before = image;
    fillDialCorners(image, Qt::white);
    QCOMPARE(image, before);
}

void TestDial::x1000MarkFollowsThePositionRule()
{
    const QImage clean = filledFace(drawMetricFace());
    QImage marked = clean;
    drawX1000Mark(marked);

    // The rule: the painter's default font, centred horizontally (truncated), its top at
    // height - text height - 50.
    QImage scratch = clean;
    QPainter probe(&scratch);
    const QFontMetrics metrics(probe.font());
    probe.end();
    const int width = metrics.horizontalAdvance(QStringLiteral("x1000"));
    const int height = metrics.height();
    const QRect expected((kDialSize - width) / 2, kDialSize - height - 50, width, height);
    QVERIFY(expected.top() > kCentre.y());

    const QRect changed = changedArea(clean, marked);
    QVERIFY(!changed.isEmpty());
    QVERIFY2(expected.contains(changed),
             qPrintable(QStringLiteral("mark drawn in (%1,%2 %3x%4), allowed (%5,%6 %7x%8)")
                            .arg(changed.x())
                            .arg(changed.y())
                            .arg(changed.width())
                            .arg(changed.height())
                            .arg(expected.x())
                            .arg(expected.y())
                            .arg(expected.width())
                            .arg(expected.height())));
    // Black ink, spread over most of the box: it is text, not a speck.
    int dark = 0;
    for (int y = changed.top(); y <= changed.bottom(); ++y)
        for (int x = changed.left(); x <= changed.right(); ++x)
            dark += qGray(marked.pixel(x, y)) < 96 ? 1 : 0;
    QVERIFY(dark > 10);
    QVERIFY(changed.width() > width / 2);

    // Drawn on a fresh copy each time: marking a copy never touches the original.
    QCOMPARE(changedArea(clean, filledFace(drawMetricFace())), QRect());
}

QTEST_MAIN(TestDial)
#include "tst_dial.moc"
