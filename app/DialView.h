#pragma once
// A picture element of the display panel: shows one dial image.

#include <QImage>
#include <QWidget>

class DialView : public QWidget
{
    Q_OBJECT
public:
    DialView(const QString& objectName, QWidget* parent);
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};
