#pragma once
// Fonts and system colours of the program's windows, in one place.
//
// The windows were laid out for "MS Sans Serif" and Arial at fixed pixel sizes; Liberation Sans is
// the nearest free face with Arial's metrics, and stands in for both.

#include <QColor>
#include <QFont>

QFont marvaneFont(int pixelSize, bool bold = false);

// The system's colours as the windows use them.
QColor buttonFaceColour();      // window background, header grids, dial corners
QColor windowColour();          // body grid cells
QColor windowTextColour();      // grid text
QColor inactiveCaptionColour(); // readout panels and the Data Convention panel
QColor highlightTextColour();   // bearing-convention list background
QColor alarmColour();           // an alarm: the status line and the readouts' frame

class QWidget;
// Text colour of a label (its palette's window text).
void setTextColour(QWidget* widget, const QColor& colour);
// Background colour of a widget, filled.
void setFillColour(QWidget* widget, const QColor& colour);

class QStyle;
// The application style: the platform's style (or the one named by -style), with the toolbar
// and menu bar overflow arrows drawn from the program's own artwork. Qt's own arrows are PNG
// files, and loading one asks every image plugin on the machine whether it reads PNG, which
// loads them all while the menu bar is built: several milliseconds of every start. Ours are drawn
// only if the menus ever overflow. base: the style in use, whose name is taken; the caller
// installs the result with QApplication::setStyle.
QStyle* createProgramStyle(const QStyle* base);
