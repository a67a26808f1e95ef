#include "app/FixedWindow.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

void setUpFixedWindow(QDialog* window, const QString& caption, QSize clientSize, bool stayOnTop)
{
    Qt::WindowFlags flags =
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (stayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    window->setWindowFlags(flags);
    window->setWindowTitle(caption);
    window->setFixedSize(clientSize);
    window->setModal(false);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect client(QPoint(0, 0), clientSize);
        window->move(screen->availableGeometry().center() - client.center());
    }
}

QPushButton* addOkButton(QDialog* window, const QRect& geometry)
{
    auto* button = new QPushButton(QStringLiteral("OK"), window);
    button->setObjectName(QStringLiteral("okButton"));
    button->setIcon(window->style()->standardIcon(QStyle::SP_DialogOkButton, nullptr, button));
    button->setGeometry(geometry);
    button->setDefault(true);
    return button;
}

QFont boldFont(int pixelSize)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}
