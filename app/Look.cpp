#include "app/Look.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

QFont marvaneFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QColor buttonFaceColour()
{
    return QApplication::palette().color(QPalette::Button);
}

QColor windowColour()
{
    return QApplication::palette().color(QPalette::Base);
}

QColor windowTextColour()
{
    return QApplication::palette().color(QPalette::Text);
}

QColor inactiveCaptionColour()
{
    // Qt has no inactive-caption role; this is the classic desktop's inactive title colour.
    return QColor(191, 205, 219);
}

QColor highlightTextColour()
{
    return QApplication::palette().color(QPalette::HighlightedText);
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
}

void setFillColour(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}
