#include "app/DialWidget.h"

#include "app/Look.h"

#include <QPainter>
#include <QSizePolicy>
#include <QTransform>

#include <cmath>

DialWidget::DialWidget(DialFace face, QWidget* parent)
    : QWidget(parent), m_face(face), m_needleEnd(::needleEnd(m_needleAngle)),
      m_cornerColour(buttonFaceColour())
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void DialWidget::setFace(DialFace face)
{
    if (face == m_face)
        return;
    m_face = face;
    dropFace();
    scheduleUpdate();
}

void DialWidget::setNeedleAngle(double degrees)
{
    m_needleAngle = degrees;
    const QPoint end = ::needleEnd(degrees);
    if (end == m_needleEnd)
        return;
    m_needleEnd = end;
    scheduleUpdate();
}

void DialWidget::setCornerColour(const QColor& colour)
{
    if (colour == m_cornerColour)
        return;
    m_cornerColour = colour;
    dropFace();
    scheduleUpdate();
}

QSize DialWidget::sizeHint() const
{
    return {kDialSize, kDialSize};
}

bool DialWidget::hasHeightForWidth() const
{
    return true;
}

int DialWidget::heightForWidth(int width) const
{
    return width;
}

void DialWidget::scheduleUpdate()
{
    ++m_updatesScheduled;
    update();
}

// The largest square that fits, centred; what lies beside it is left to the parent.
QRect DialWidget::dialRect() const
{
    const int side = qMin(width(), height());
    return {(width() - side) / 2, (height() - side) / 2, side, side};
}

void DialWidget::dropFace()
{
    m_facePixmap = QPixmap();
}

const QPixmap& DialWidget::facePixmap(const QSize& pixels)
{
    if (m_facePixmap.isNull() || m_facePixmap.size() != pixels) {
        QImage image(pixels, QImage::Format_RGB32);
        {
            QPainter painter(&image);
            painter.scale(pixels.width() / qreal(kDialSize), pixels.height() / qreal(kDialSize));
            paintDialFace(painter, m_face, m_cornerColour);
        }
        m_facePixmap = QPixmap::fromImage(image);
        ++m_faceRenders;
    }
    return m_facePixmap;
}

void DialWidget::paintEvent(QPaintEvent*)
{
    const QRect dial = dialRect();
    if (dial.isEmpty())
        return;
    QPainter painter(this);
    // Device pixels per widget pixel: the screen's pixel ratio, or whatever a render() into an
    // image or a scaled painter brings. The painter's device is the widget even then, so its
    // transform is the one thing that knows.
    const QTransform toDevice = painter.deviceTransform();
    const qreal deviceScale = std::hypot(toDevice.m11(), toDevice.m12());
    const int pixels = qRound(dial.width() * deviceScale);
    painter.drawPixmap(QRectF(dial), facePixmap(QSize(pixels, pixels)),
                       QRectF(0, 0, pixels, pixels));

    const qreal scale = dial.width() / qreal(kDialSize);
    painter.translate(dial.topLeft());
    painter.scale(scale, scale);
    // One dial pixel to one device pixel is how the needle has always looked: a hard-edged
    // line. Scaled, its slanted edges would turn into steps, so they are smoothed.
    painter.setRenderHint(QPainter::Antialiasing, scale * deviceScale != 1.0);
    paintNeedle(painter, kDialCentre, m_needleEnd);
}
