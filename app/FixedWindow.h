#pragma once
// What the About and data convention windows have in common: a fixed client area centred on the
// screen, only a close button in the title bar, an OK button with the style's OK glyph, and labels
// in bold Liberation Sans at exact pixel sizes (the sizes are not scaled with the screen).

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QDialog;
class QPushButton;

// Caption, fixed client size, title-bar buttons (close only) and stay-on-top as asked; the window
// is placed with its client area centred on the primary screen.
void setUpFixedWindow(QDialog* window, const QString& caption, QSize clientSize, bool stayOnTop);

// An "OK" button named "okButton" at geometry, with the style's standard OK icon.
QPushButton* addOkButton(QDialog* window, const QRect& geometry);

QFont boldFont(int pixelSize);
