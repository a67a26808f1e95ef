// The dial widget: at its own size it shows what the dial pictures show (face, corners, "x1000"
// mark, needle end points); at other sizes and pixel densities everything scales; moving the
// needle repaints only when the needle's end point moves, and the face is drawn again only when
// the face, the size or the corner colour changes.

#include "app/DialWidget.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

constexpr QRgb kRed = 0xff0000;
constexpr QRgb kBlack = 0x000000;
const QColor kButtonFace(212, 208, 200);

QRgb rgbAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0x00ffffff;
}

QRgb rgbAt(const QImage& image, QPoint p)
{
    return rgbAt(image, p.x(), p.y());
}

// Distance of a pixel's middle from the middle of the 190-pixel dial.
double distanceFromCentre(int x, int y)
{
    return std::hypot(x + 0.5 - 95.0, y + 0.5 - 95.0);
}

// The dial as the pictures make it: the face, its corners filled, the "x1000" mark on the marked
// face, and the needle drawn once.
QImage pictureDial(DialFace face, double angle)
{
    QImage picture = face == DialFace::Bearing ? drawBearingFace()
                     : face == DialFace::Knots ? drawKnotsFace()
                                               : drawMetricFace();
    fillDialCorners(picture, kButtonFace);
    if (face == DialFace::MetricX1000)
        drawX1000Mark(picture);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPoint centre(picture.width() / 2, picture.height() / 2);
    paintNeedle(painter, centre, centre + needleOffset(angle));
    painter.end();
    return picture;
}

// The widget as it paints itself into an image of its size times pixelRatio device pixels.
QImage rendered(DialWidget& dial, qreal pixelRatio)
{
    QImage image(dial.size() * pixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::blue);
    // Only what the dial paints: no window background around it.
    dial.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

class CountingDial : public DialWidget
{
public:
    using DialWidget::DialWidget;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        DialWidget::paintEvent(event);
    }
};

} // namespace

Q_DECLARE_METATYPE(DialFace)

class TestDialWidget : public QObject
{
    Q_OBJECT

private slots:
    void looksLikeThePictureAtItsOwnSize_data();
    void looksLikeThePictureAtItsOwnSize();
    void scalesWithSizeAndPixelRatio_data();
    void scalesWithSizeAndPixelRatio();
    void doublePixelRatioIsTheDoubleSizeDial();
    void angleThatIsNotANumberLeavesTheNeedleAtTheCentre_data();
    void angleThatIsNotANumberLeavesTheNeedleAtTheCentre();
    void repaintsOnlyWhenSomethingVisibleChanges();
    void faceIsDrawnAgainOnlyWhenItChanges();
    void staysSquare();
};

void TestDialWidget::looksLikeThePictureAtItsOwnSize_data()
{
    QTest::addColumn<DialFace>("face");
    QTest::addColumn<double>("angle");
    QTest::addColumn<QPoint>("end");

    QTest::newRow("bearing 0") << DialFace::Bearing << 0.0 << QPoint(95, 15);
    QTest::newRow("bearing 45") << DialFace::Bearing << 45.0 << QPoint(152, 38);
    QTest::newRow("bearing 90") << DialFace::Bearing << 90.0 << QPoint(175, 95);
    QTest::newRow("bearing 180") << DialFace::Bearing << 180.0 << QPoint(95, 175);
    QTest::newRow("bearing 270") << DialFace::Bearing << 270.0 << QPoint(15, 95);
    QTest::newRow("bearing -90") << DialFace::Bearing << -90.0 << QPoint(15, 95);
    QTest::newRow("knots zero 210") << DialFace::Knots << 210.0 << QPoint(55, 164);
    QTest::newRow("knots 5.15 at 313") << DialFace::Knots << 313.0 << QPoint(36, 40);
    QTest::newRow("knots full scale 510") << DialFace::Knots << 510.0 << QPoint(135, 164);
    QTest::newRow("knots past full scale 610") << DialFace::Knots << 610.0 << QPoint(20, 122);
    QTest::newRow("metric 42.5 half to even")
        << DialFace::Metric << 147.9100487437197 << QPoint(137, 163);
    QTest::newRow("metric 230.6") << DialFace::Metric << 230.6 << QPoint(33, 146);
    QTest::newRow("x1000 zero 210") << DialFace::MetricX1000 << 210.0 << QPoint(55, 164);
    QTest::newRow("x1000 400") << DialFace::MetricX1000 << 400.0 << QPoint(146, 34);
}

void TestDialWidget::looksLikeThePictureAtItsOwnSize()
{
    QFETCH(DialFace, face);
    QFETCH(double, angle);
    QFETCH(QPoint, end);

    DialWidget dial(face);
    dial.resize(kDialSize, kDialSize);
    dial.setCornerColour(kButtonFace);
    dial.setNeedleAngle(angle);
    QCOMPARE(dial.needleEnd(), end);

    const QImage shown = dial.grab().toImage();
    QCOMPARE(shown.size(), QSize(kDialSize, kDialSize));
    const QImage picture = pictureDial(face, angle);
    QCOMPARE(rgbAt(picture, end), kRed);
    QCOMPARE(rgbAt(shown, end), kRed);
    QCOMPARE(rgbAt(shown, kDialCentre), kRed);

    // Everywhere but on the two edges of the rim the two are the same pixel for pixel: corners,
    // scale, numbers, mark and needle. The picture's rim is set pixel by pixel, shaded by the
    // distance of each pixel's middle on its inside and hard on its outside (the flood fill of
    // the corners needs that); the widget paints a ring whose two edges are smoothed by the
    // area each pixel has inside it. The inner edges therefore differ by little; on the outer
    // edge the picture has pure black or pure corner colour where the widget has a blend of the
    // two. A circle passes through about 4/pi pixels per pixel of its length, so at most
    // 4/pi (2 pi 92 + 2 pi 95), some 1500 pixels, may differ, and no pixel anywhere else.
    int differing = 0;
    long inkPicture = 0;
    long inkShown = 0;
    for (int y = 0; y < kDialSize; ++y) {
        for (int x = 0; x < kDialSize; ++x) {
            const double d = distanceFromCentre(x, y);
            const bool innerEdge = std::abs(d - 92) < 1.25;
            const bool outerEdge = std::abs(d - 95) < 1.25;
            if (innerEdge || outerEdge) {
                inkPicture += 255 - qGray(picture.pixel(x, y));
                inkShown += 255 - qGray(shown.pixel(x, y));
            }
            const QRgb was = rgbAt(picture, x, y);
            const QRgb is = rgbAt(shown, x, y);
            if (is == was)
                continue;
            ++differing;
            const QString where = QStringLiteral("%1,%2 is %3, the picture has %4")
                                      .arg(x)
                                      .arg(y)
                                      .arg(is, 6, 16, QLatin1Char('0'))
                                      .arg(was, 6, 16, QLatin1Char('0'));
            QVERIFY2(innerEdge || outerEdge, qPrintable(where));
            if (innerEdge) {
                QVERIFY2(std::abs(qRed(is) - qRed(was)) <= 48, qPrintable(where));
            } else {
                QVERIFY2(qRed(is) <= kButtonFace.red() && qGreen(is) <= kButtonFace.green() &&
                             qBlue(is) <= kButtonFace.blue(),
                         qPrintable(where));
            }
        }
    }
    QVERIFY2(differing < 1500, qPrintable(QString::number(differing)));
    // The rim is as heavy as the picture's, give or take a fiftieth.
    QVERIFY2(std::abs(inkShown - inkPicture) < inkPicture / 50,
             qPrintable(QStringLiteral("%1 against %2").arg(inkShown).arg(inkPicture)));
}

void TestDialWidget::scalesWithSizeAndPixelRatio_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qreal>("pixelRatio");
    QTest::addColumn<double>("angle");

    QTest::newRow("190 at 2, 45") << QSize(190, 190) << 2.0 << 45.0;
    QTest::newRow("190 at 2, 313") << QSize(190, 190) << 2.0 << 313.0;
    QTest::newRow("380 at 1, 45") << QSize(380, 380) << 1.0 << 45.0;
    QTest::newRow("380 at 1, 210") << QSize(380, 380) << 1.0 << 210.0;
    QTest::newRow("190 at 1.5, 510") << QSize(190, 190) << 1.5 << 510.0;
    QTest::newRow("285 at 1, 180") << QSize(285, 285) << 1.0 << 180.0;
    QTest::newRow("wide 380 x 190 at 1, 90") << QSize(380, 190) << 1.0 << 90.0;
    QTest::newRow("tall 300 x 400 at 2, 270") << QSize(300, 400) << 2.0 << 270.0;
}

void TestDialWidget::scalesWithSizeAndPixelRatio()
{
    QFETCH(QSize, size);
    QFETCH(qreal, pixelRatio);
    QFETCH(double, angle);

    DialWidget dial(DialFace::Knots);
    dial.resize(size);
    dial.setCornerColour(kButtonFace);
    dial.setNeedleAngle(angle);
    const QPoint end = needleEnd(angle);
    QCOMPARE(dial.needleEnd(), end); // always in the dial's own coordinates

    const QImage image = rendered(dial, pixelRatio);
    QCOMPARE(image.size(), size * pixelRatio);

    // The dial is the largest square that fits, centred; one dial pixel is k device pixels.
    const int side = qMin(size.width(), size.height());
    const QPointF origin =
        QPointF((size.width() - side) / 2, (size.height() - side) / 2) * pixelRatio;
    const double k = side * pixelRatio / kDialSize;
    const auto device = [&](QPointF p) {
        const QPointF at = origin + p * k;
        return QPoint(int(std::floor(at.x())), int(std::floor(at.y())));
    };
    QCOMPARE(rgbAt(image, device(end)), kRed);
    QCOMPARE(rgbAt(image, device(kDialCentre)), kRed);
    // Halfway along, the needle is k times its 2-pixel width: the pixels across it are red.
    const QPointF middle = (QPointF(kDialCentre) + QPointF(end)) / 2;
    QCOMPARE(rgbAt(image, device(middle)), kRed);
    // Just past the end (the pen's square cap reaches one dial pixel beyond it) the face shows.
    const QPointF beyond = QPointF(end) + (QPointF(end) - QPointF(kDialCentre)) / 80 * 2.5;
    QVERIFY(rgbAt(image, device(beyond)) != kRed);

    // The rim keeps its place and weight: black in its middle, and also a quarter of a dial
    // pixel from its inner edge once that is half a device pixel or more; the corner colour
    // outside the circle; nothing drawn beside the square.
    for (const double angleOnRim : {0.0, 30.0, 135.0, 250.0}) {
        const double a = angleOnRim * M_PI / 180;
        const auto onCircle = [&](double radius) {
            return device(QPointF(95 + radius * std::sin(a), 95 - radius * std::cos(a)));
        };
        QCOMPARE(rgbAt(image, onCircle(93.5)), kBlack);
        if (k >= 2)
            QCOMPARE(rgbAt(image, onCircle(92.75)), kBlack);
    }
    QCOMPARE(rgbAt(image, device(QPointF(2, 2))), kButtonFace.rgb() & 0xffffff);
    QCOMPARE(rgbAt(image, device(QPointF(188, 187))), kButtonFace.rgb() & 0xffffff);
    const QRgb untouched = QColor(Qt::blue).rgb() & 0xffffff;
    if (size.width() > size.height())
        QCOMPARE(rgbAt(image, 0, image.height() / 2), untouched);
    if (size.height() > size.width())
        QCOMPARE(rgbAt(image, image.width() / 2, 0), untouched);
}

void TestDialWidget::doublePixelRatioIsTheDoubleSizeDial()
{
    // A 190 dial on a screen of two device pixels per pixel is made of the same device pixels
    // as a 380 dial on an ordinary screen: the face is drawn at that resolution, not enlarged.
    DialWidget dense(DialFace::MetricX1000);
    dense.resize(190, 190);
    dense.setNeedleAngle(313);
    DialWidget large(DialFace::MetricX1000);
    large.resize(380, 380);
    large.setNeedleAngle(313);

    QImage denseImage = rendered(dense, 2);
    const QImage largeImage = rendered(large, 1);
    QCOMPARE(denseImage.size(), QSize(380, 380));
    denseImage.setDevicePixelRatio(1);
    QCOMPARE(denseImage, largeImage);
}

void TestDialWidget::angleThatIsNotANumberLeavesTheNeedleAtTheCentre_data()
{
    QTest::addColumn<double>("angle");
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
}

void TestDialWidget::angleThatIsNotANumberLeavesTheNeedleAtTheCentre()
{
    QFETCH(double, angle);
    DialWidget dial(DialFace::Bearing);
    dial.resize(kDialSize, kDialSize);
    dial.setCornerColour(kButtonFace);
    dial.setNeedleAngle(45);
    dial.setNeedleAngle(angle);
    QCOMPARE(dial.needleEnd(), kDialCentre);

    // What remains of the needle is its square cap at the centre: the 2 x 2 pixels the picture
    // also shows for such an angle.
    QImage face(kDialSize, kDialSize, QImage::Format_RGB32);
    {
        QPainter painter(&face);
        paintDialFace(painter, DialFace::Bearing, kButtonFace);
    }
    const QImage shown = dial.grab().toImage();
    QRect needle;
    for (int y = 0; y < kDialSize; ++y)
        for (int x = 0; x < kDialSize; ++x)
            if (rgbAt(shown, x, y) != rgbAt(face, x, y))
                needle |= QRect(x, y, 1, 1);
    QCOMPARE(needle, QRect(94, 94, 2, 2));
    QCOMPARE(rgbAt(pictureDial(DialFace::Bearing, angle), 94, 94), kRed);

    // Scaled, the same: nothing but a dot at the centre.
    dial.resize(380, 380);
    const QImage large = dial.grab().toImage();
    QCOMPARE(rgbAt(large, 190, 190), kRed);
    QVERIFY(rgbAt(large, 190, 182) != kRed);
}

void TestDialWidget::repaintsOnlyWhenSomethingVisibleChanges()
{
    CountingDial dial(DialFace::Bearing);
    dial.resize(kDialSize, kDialSize);
    dial.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dial));
    QTRY_VERIFY(dial.paints > 0);

    // The needle starts straight up.
    dial.setNeedleAngle(0);
    QCOMPARE(dial.updatesScheduled(), 0);
    dial.setNeedleAngle(90);
    QCOMPARE(dial.updatesScheduled(), 1);
    const int paintsBefore = dial.paints;
    QTRY_VERIFY(dial.paints > paintsBefore);

    // The same angle, and a nearby angle whose end rounds to the same pixel, change nothing on
    // screen; nor do the face and corner colour it already has.
    const int paints = dial.paints;
    dial.setNeedleAngle(90);
    dial.setNeedleAngle(90.3);
    QCOMPARE(dial.needleAngle(), 90.3);
    QCOMPARE(dial.needleEnd(), QPoint(175, 95));
    dial.setFace(DialFace::Bearing);
    dial.setCornerColour(dial.cornerColour());
    QCOMPARE(dial.updatesScheduled(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(dial.paints, paints);

    // A needle that moves, another face and another corner colour each ask for one repaint.
    dial.setNeedleAngle(46);
    QCOMPARE(dial.updatesScheduled(), 2);
    dial.setFace(DialFace::Knots);
    QCOMPARE(dial.updatesScheduled(), 3);
    dial.setCornerColour(Qt::darkGray);
    QCOMPARE(dial.updatesScheduled(), 4);
    QTRY_VERIFY(dial.paints > paints);
}

void TestDialWidget::faceIsDrawnAgainOnlyWhenItChanges()
{
    DialWidget dial(DialFace::Knots);
    dial.resize(kDialSize, kDialSize);
    QCOMPARE(dial.faceRenders(), 0);
    dial.grab();
    QCOMPARE(dial.faceRenders(), 1);

    // Needle moves reuse the face.
    for (const double angle : {210.0, 260.0, 313.0, 510.0}) {
        dial.setNeedleAngle(angle);
        dial.grab();
    }
    QCOMPARE(dial.faceRenders(), 1);

    dial.setFace(DialFace::Metric);
    dial.grab();
    QCOMPARE(dial.faceRenders(), 2);
    dial.setCornerColour(Qt::darkGray);
    dial.grab();
    QCOMPARE(dial.faceRenders(), 3);
    dial.resize(300, 300);
    dial.grab();
    QCOMPARE(dial.faceRenders(), 4);
    rendered(dial, 2);
    QCOMPARE(dial.faceRenders(), 5);
    rendered(dial, 2);
    QCOMPARE(dial.faceRenders(), 5);
}

void TestDialWidget::staysSquare()
{
    const DialWidget dial(DialFace::Bearing);
    QCOMPARE(dial.sizeHint(), QSize(kDialSize, kDialSize));
    QVERIFY(dial.hasHeightForWidth());
    QVERIFY(dial.sizePolicy().hasHeightForWidth());
    QCOMPARE(dial.heightForWidth(190), 190);
    QCOMPARE(dial.heightForWidth(285), 285);
}

QTEST_MAIN(TestDialWidget)
#include "tst_dialwidget.moc"
