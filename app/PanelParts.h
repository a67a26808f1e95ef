#pragma once
// The pieces the main window's panels are built of: a rounded panel of one colour behind the
// readouts and the Data Convention button, and named labels and frames at fixed places.

#include <QFrame>
#include <QWidget>

class QFont;
class QLabel;

class RoundedShape : public QWidget
{
public:
    RoundedShape(const QString& name, const QRect& geometry, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

QLabel* makeLabel(const QString& name, const QString& text, const QFont& font, QWidget* parent);
QFrame* makeFrame(const QString& name, const QRect& geometry, QFrame::Shape shape,
                  QFrame::Shadow shadow, QWidget* parent);
