#pragma once
// A round dial that paints itself: the face drawn from its description at the widget's size and
// pixel density, kept until one of those changes, and the red needle laid over it at every
// paint. 190 x 190 is the dial's own size, where it looks as the dial pictures do; at any other
// size everything scales with it.

#include "app/Dial.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>

class DialWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DialWidget(DialFace face, QWidget* parent = nullptr);

    void setFace(DialFace face);
    DialFace face() const { return m_face; }

    // Degrees clockwise from the top, unlimited (a speed past full scale goes round into the
    // gap). The needle is drawn to the whole-pixel end point of needleEnd(), so a new angle that
    // leaves that point where it was changes nothing on screen and asks for no repaint.
    void setNeedleAngle(double degrees);
    double needleAngle() const { return m_needleAngle; }
    // End of the needle in the dial's own 190 x 190 coordinates; the centre for an angle that is
    // not a number.
    QPoint needleEnd() const { return m_needleEnd; }

    // The colour outside the dial's circle: the colour of the window it sits on.
    void setCornerColour(const QColor& colour);
    QColor cornerColour() const { return m_cornerColour; }

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

    // How often the dial has asked to be repainted, and how often it has drawn its face: what
    // moving the needle costs.
    int updatesScheduled() const { return m_updatesScheduled; }
    int faceRenders() const { return m_faceRenders; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void scheduleUpdate();
    QRect dialRect() const;
    void dropFace();
    const QPixmap& facePixmap(const QSize& pixels);

    DialFace m_face;
    double m_needleAngle = 0;
    QPoint m_needleEnd;
    QColor m_cornerColour;
    // The face as last drawn, at the size in device pixels it was drawn for; null when the face
    // or its corner colour has changed since.
    QPixmap m_facePixmap;
    int m_updatesScheduled = 0;
    int m_faceRenders = 0;
};
