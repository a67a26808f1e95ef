#include "app/DialView.h"

#include <QPainter>

DialView::DialView(const QString& objectName, QWidget* parent) : QWidget(parent)
{
    setObjectName(objectName);
}

void DialView::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void DialView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}
