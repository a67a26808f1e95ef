#include "app/Look.h"

#include "app/Artwork.h"

#include <QApplication>
#include <QPalette>
#include <QProxyStyle>
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

namespace {

class ProgramStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override
    {
        if (icon == SP_ToolBarHorizontalExtensionButton)
            return glyphIcon(QStringLiteral("more-right"));
        if (icon == SP_ToolBarVerticalExtensionButton)
            return glyphIcon(QStringLiteral("more-down"));
        return QProxyStyle::standardIcon(icon, option, widget);
    }
};

} // namespace

QStyle* createProgramStyle(const QStyle* base)
{
    const QString name = base ? base->name() : QString();
    return name.isEmpty() ? new ProgramStyle : new ProgramStyle(name);
}

QColor alarmColour()
{
    // The red of a chart plotter's alarm, readable on the grey of the window.
    return QColor(0xd0, 0x00, 0x00);
}
