#pragma once
// The two round dials: their faces (drawn once at start), the corner fill that blends a face into
// the window, and the red needle redrawn over a saved clean copy of the face. The faces and the
// needle can also be painted on any painter, at any scale, for a dial that is not a fixed picture.

#include <QColor>
#include <QImage>
#include <QPoint>

class QPainter;

inline constexpr int kDialSize = 190;
inline constexpr QPoint kDialCentre(kDialSize / 2, kDialSize / 2);

// The faces a dial can show: the compass card, the two speed scales, and the metric scale with
// its "x1000" mark, which stands for millimetres per second.
enum class DialFace
{
    Bearing,
    Knots,
    Metric,
    MetricX1000
};

// The three faces, 190 x 190: a black circle touching the four edges, white inside and outside,
// scale marks along the rim and black numbers. Bearing: compass card, marks every 2 degrees.
// Knots: 0..15 over 300 degrees of arc clockwise from 210 degrees. Metric: 0, 0.5, .. 7.5.
QImage drawBearingFace();
QImage drawKnotsFace();
QImage drawMetricFace();

// Flood-fills every pixel of exactly white (255, 255, 255) connected to (1, 1), (1, h-2),
// (w-2, 1) and (w-2, h-2), in that order, with fill (4-way connection, alpha ignored). A start
// point that is not white fills nothing; a white fill colour changes nothing. An image that is
// not 32-bit RGB is converted to it first. The white inside of the circle is enclosed by the
// black rim and stays white.
void fillDialCorners(QImage& image, const QColor& fill);

// Draws "x1000" in black in the painter's default font on a copy of the metric face, at
// x = (face width - text width) / 2 (truncated) and y = face height - text height - 50.
void drawX1000Mark(QImage& face);

// End of an 80-pixel needle at angle degrees clockwise from the top, relative to the dial
// centre: 80 cos and 80 sin of (angle - 90) degrees, each rounded to the nearest integer with
// halves going to the even neighbour. An angle that is not finite gives (0, 0).
QPoint needleOffset(double angle);

// Where that needle ends on a 190 x 190 dial: the centre (95, 95) plus needleOffset(angle).
QPoint needleEnd(double angle);

// Painting in the 190 x 190 coordinates of a dial; scale the painter to paint a dial of another
// size. The pictures above are made of the same marks, numbers, "x1000" mark and needle.
//
// The whole face: the outside of the circle in corners (the window's colour, as fillDialCorners
// leaves it), the white inside, the marks and numbers, the "x1000" mark for MetricX1000 (in the
// application's default font) and the rim, all antialiased. The rim is a ring between radii 92
// and 95 painted after the corners, so its outer edge blends into them at any scale; the
// pictures set it pixel by pixel with a hard outer edge instead, which the corner flood fill
// needs. The two agree everywhere but on the rim's two edges.
void paintDialFace(QPainter& painter, DialFace face, const QColor& corners);

// The needle: a 2-pixel red line from centre to end, in the painter's current render hints.
void paintNeedle(QPainter& painter, QPoint centre, QPoint end);
