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

class QWidget;
// Text colour of a label (its palette's window text).
void setTextColour(QWidget* widget, const QColor& colour);
// Background colour of a widget, filled.
void setFillColour(QWidget* widget, const QColor& colour);
