#include "app/PanelParts.h"

#include "app/Look.h"

#include <QLabel>
#include <QPainter>

RoundedShape::RoundedShape(const QString& name, const QRect& geometry, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(name);
    setGeometry(geometry);
}

void RoundedShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(inactiveCaptionColour());
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

QLabel* makeLabel(const QString& name, const QString& text, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    return label;
}

QFrame* makeFrame(const QString& name, const QRect& geometry, QFrame::Shape shape,
                  QFrame::Shadow shadow, QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setGeometry(geometry);
    frame->setFrameShape(shape);
    frame->setFrameShadow(shadow);
    return frame;
}
