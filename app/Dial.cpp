#include "app/Dial.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QStringList>

#include <cmath>
#include <utility>
#include <vector>

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr int kNeedleLength = 80;

// Face geometry, in pixels from the centre of the 190-pixel square.
constexpr double kFaceCentre = kDialSize / 2.0;
constexpr double kRimOuter = kDialSize / 2.0; // the rim touches all four edges
constexpr double kRimInner = 92.0;
constexpr double kMarkOuter = 92.5; // marks start under the rim so they join it cleanly

const QRgb kWhite = qRgb(255, 255, 255);

QImage blankFace()
{
    QImage face(kDialSize, kDialSize, QImage::Format_RGB32);
    face.fill(kWhite);
    return face;
}

// The rim is set pixel by pixel rather than painted: its outer edge must be hard (no grey
// fringe outside the circle, where the corner fill would stop short of it and leave a halo) and
// closed, so that the fill of the four corners can never leak into the face. Its inner edge is
// shaded into the white of the face.
void drawRim(QImage& face)
{
    for (int y = 0; y < face.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(face.scanLine(y));
        for (int x = 0; x < face.width(); ++x) {
            const double d = std::hypot(x + 0.5 - kFaceCentre, y + 0.5 - kFaceCentre);
            if (d > kRimOuter)
                continue;
            const double ink = qBound(0.0, d - (kRimInner - 0.5), 1.0);
            if (ink <= 0.0)
                continue;
            const auto keep = [ink](int channel) {
                return int(std::lround(channel * (1.0 - ink)));
            };
            line[x] = qRgb(keep(qRed(line[x])), keep(qGreen(line[x])), keep(qBlue(line[x])));
        }
    }
}

QPointF pointAt(double angle, double radius)
{
    const double a = angle * kDegreesToRadians;
    return {kFaceCentre + radius * std::sin(a), kFaceCentre - radius * std::cos(a)};
}

void drawMark(QPainter& painter, double angle, double length, double width)
{
    painter.setPen(QPen(Qt::black, width, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(pointAt(angle, kMarkOuter), pointAt(angle, kMarkOuter - length));
}

void drawLabel(QPainter& painter, double angle, double radius, const QString& text)
{
    const QPointF at = pointAt(angle, radius);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(at.x() - 25, at.y() - 12, 50, 24), Qt::AlignCenter, text);
}

QFont faceFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void beginFace(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
}

// Speed scales: 300 degrees of arc clockwise from 210 (lower left) over the top to 150 (lower
// right), a number every 20 degrees; marks every 2 degrees, longer at the half and whole steps.
void paintSpeedScale(QPainter& painter, const QStringList& numbers, int numberPixelSize,
                     double numberRadius)
{
    beginFace(painter);
    for (int arc = 0; arc <= 300; arc += 2) {
        const double angle = 210 + arc;
        if (arc % 20 == 0)
            drawMark(painter, angle, 11, 2);
        else if (arc % 10 == 0)
            drawMark(painter, angle, 7, 1.2);
        else
            drawMark(painter, angle, 4, 1);
    }
    painter.setFont(faceFont(numberPixelSize, true));
    for (int i = 0; i < numbers.size(); ++i)
        drawLabel(painter, 210 + 20 * i, numberRadius, numbers.at(i));
}

void paintKnotsScale(QPainter& painter)
{
    QStringList numbers;
    for (int knots = 0; knots <= 15; ++knots)
        numbers << QString::number(knots);
    paintSpeedScale(painter, numbers, 13, 68);
}

void paintMetricScale(QPainter& painter)
{
    QStringList numbers{QStringLiteral("0")};
    for (int halves = 1; halves <= 15; ++halves)
        numbers << QStringLiteral("%1.%2").arg(halves / 2).arg(halves % 2 == 0 ? 0 : 5);
    paintSpeedScale(painter, numbers, 11, 65);
}

// Compass card: marks every 2 degrees, longer every 10 and 30; numbers every 30, the four
// cardinal ones larger.
void paintBearingScale(QPainter& painter)
{
    beginFace(painter);
    for (int angle = 0; angle < 360; angle += 2) {
        if (angle % 30 == 0)
            drawMark(painter, angle, 11, 2);
        else if (angle % 10 == 0)
            drawMark(painter, angle, 7, 1.2);
        else
            drawMark(painter, angle, 4, 1);
    }
    for (int angle = 0; angle < 360; angle += 30) {
        const bool cardinal = angle % 90 == 0;
        painter.setFont(faceFont(cardinal ? 17 : 12, true));
        drawLabel(painter, angle, cardinal ? 64 : 68, QString::number(angle));
    }
}

// A face picture: the scale painted on white, then the rim set pixel by pixel.
QImage faceImage(void (*paintScale)(QPainter&))
{
    QImage face = blankFace();
    {
        QPainter painter(&face);
        paintScale(painter);
    }
    drawRim(face);
    return face;
}

// "x1000" in the painter's font, centred across a face of faceSize (truncated) with its top 50
// pixels above the text's own height from the bottom.
void paintX1000Mark(QPainter& painter, QSize faceSize)
{
    const QString text = QStringLiteral("x1000");
    const QFontMetrics metrics(painter.font());
    const int textWidth = metrics.horizontalAdvance(text);
    const int textHeight = metrics.height();
    const int left = (faceSize.width() - textWidth) / 2;
    const int top = faceSize.height() - textHeight - 50;
    painter.setPen(Qt::black);
    painter.drawText(left, top + metrics.ascent(), text);
}

// Halves go to the even neighbour, as the needle end points always have; written out rather
// than left to the floating-point environment's rounding mode.
int roundHalfToEven(double value)
{
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0))
        whole += 1;
    return static_cast<int>(whole);
}

} // namespace

QImage drawBearingFace()
{
    return faceImage(paintBearingScale);
}

QImage drawKnotsFace()
{
    return faceImage(paintKnotsScale);
}

QImage drawMetricFace()
{
    return faceImage(paintMetricScale);
}

void fillDialCorners(QImage& image, const QColor& fill)
{
    const QRgb fillRgb = qRgb(fill.red(), fill.green(), fill.blue());
    // Filling white with white would change nothing, and the fill below relies on every
    // repainted pixel no longer being white.
    if (image.isNull() || fillRgb == kWhite)
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);

    const int w = image.width();
    const int h = image.height();
    // Alpha plays no part: a pixel is white when its red, green and blue are all 255.
    const auto isWhite = [&image](int x, int y) {
        return (reinterpret_cast<const QRgb*>(image.constScanLine(y))[x] & 0x00ffffff) ==
               0x00ffffff;
    };
    const auto paint = [&image](int x, int y, QRgb rgb) {
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = rgb;
    };

    const QPoint starts[] = {{1, 1}, {1, h - 2}, {w - 2, 1}, {w - 2, h - 2}};
    std::vector<QPoint> pending;
    for (const QPoint& start : starts) {
        if (start.x() < 0 || start.y() < 0 || start.x() >= w || start.y() >= h ||
            !isWhite(start.x(), start.y()))
            continue;
        // Scanline fill: each popped point is widened to its whole white run on that line, and
        // the lines above and below get one pending point per white run that touches it.
        pending.push_back(start);
        while (!pending.empty()) {
            const QPoint p = pending.back();
            pending.pop_back();
            const int y = p.y();
            if (!isWhite(p.x(), y))
                continue;
            int left = p.x();
            while (left > 0 && isWhite(left - 1, y))
                --left;
            int right = p.x();
            while (right < w - 1 && isWhite(right + 1, y))
                ++right;
            for (int x = left; x <= right; ++x)
                paint(x, y, fillRgb);
            for (const int ny : {y - 1, y + 1}) {
                if (ny < 0 || ny >= h)
                    continue;
                bool inRun = false;
                for (int x = left; x <= right; ++x) {
                    const bool white = isWhite(x, ny);
                    if (white && !inRun)
                        pending.emplace_back(x, ny);
                    inRun = white;
                }
            }
        }
    }
}

void drawX1000Mark(QImage& face)
{
    QPainter painter(&face);
    paintX1000Mark(painter, face.size());
}

QPoint needleOffset(double angle)
{
    // A needle angle that is not a number has no direction; leave the needle at the centre.
    if (!std::isfinite(angle))
        return {0, 0};
    const double phi = (angle - 90) * kDegreesToRadians;
    return {roundHalfToEven(kNeedleLength * std::cos(phi)),
            roundHalfToEven(kNeedleLength * std::sin(phi))};
}

QPoint needleEnd(double angle)
{
    return kDialCentre + needleOffset(angle);
}

void paintDialFace(QPainter& painter, DialFace face, const QColor& corners)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF square(0, 0, kDialSize, kDialSize);
    const QPointF centre(kFaceCentre, kFaceCentre);
    // The corners first and the circle over them, rather than the corners cut out afterwards:
    // two antialiased edges laid on the same circle would let the white show through between
    // them as a pale ring.
    painter.fillRect(square, corners);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(kWhite));
    // The white reaches under the rim, clear of its inner edge, so that edge blends into white.
    painter.drawEllipse(centre, kRimInner + 1.5, kRimInner + 1.5);

    switch (face) {
    case DialFace::Bearing:
        paintBearingScale(painter);
        break;
    case DialFace::Knots:
        paintKnotsScale(painter);
        break;
    case DialFace::Metric:
    case DialFace::MetricX1000:
        paintMetricScale(painter);
        break;
    }
    if (face == DialFace::MetricX1000) {
        // The application's default font, as on the picture.
        painter.setFont(QFont());
        paintX1000Mark(painter, QSize(kDialSize, kDialSize));
    }

    QPainterPath rim;
    rim.addEllipse(centre, kRimOuter, kRimOuter);
    rim.addEllipse(centre, kRimInner, kRimInner);
    painter.fillPath(rim, Qt::black); // odd-even fill: the ring between the two circles
    painter.restore();
}

void paintNeedle(QPainter& painter, QPoint centre, QPoint end)
{
    painter.setPen(QPen(QColor(255, 0, 0), 2));
    painter.drawLine(centre, end);
}
