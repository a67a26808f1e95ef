#pragma once
// The two round dials: their faces (drawn once at start), the corner fill that blends a face into
// the window, and the red needle redrawn over a saved clean copy of the face.

#include <QColor>
#include <QImage>
#include <QPoint>

inline constexpr int kDialSize = 190;

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

// One dial on the window: the picture shown and the needle state.
class NeedleDial
{
public:
    // picture: the face as placed on the window (corners filled); it is the surface drawn on.
    void setPicture(const QImage& picture) { m_picture = picture; }
    const QImage& picture() const { return m_picture; }

    // The clean face restored before each later needle draw.
    void setFace(const QImage& face) { m_face = face; }
    const QImage& face() const { return m_face; }

    // Draws the needle at angle: on every draw but the first, first erases the previous needle
    // with a white line and restores the saved face; then a 2-pixel red line from the centre.
    void drawNeedle(double angle);

    bool firstDraw() const { return m_firstDraw; }
    QPoint lastOffset() const { return m_offset; }

private:
    QImage m_picture;
    QImage m_face;
    bool m_firstDraw = true;
    QPoint m_offset;
};
