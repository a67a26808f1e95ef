#include "app/Artwork.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

namespace {

QString resourcePrefix()
{
    return QStringLiteral(":/marvane/");
}

bool hasSuffix(const QString& name)
{
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return name.indexOf(QLatin1Char('.'), slash + 1) >= 0;
}

// Renders at exactly pixelSize device pixels on a transparent background.
QImage renderSvg(const QString& path, QSize pixelSize)
{
    if (pixelSize.isEmpty() || !QFile::exists(path))
        return {};
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixelSize)));
    painter.end();
    return image;
}

qreal screenRatio()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? qGuiApp->devicePixelRatio()
               : 1.0;
}

} // namespace

QString artworkPath(const QString& name)
{
    QString path = name;
    if (!path.startsWith(QLatin1Char(':')))
        path = resourcePrefix() + path;
    if (!hasSuffix(path))
        path += QStringLiteral(".svg");
    return path;
}

QPixmap artworkPixmap(const QString& name, QSize size)
{
    const qreal ratio = screenRatio();
    const QImage image = renderSvg(artworkPath(name), (QSizeF(size) * ratio).toSize());
    if (image.isNull())
        return {};
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QPixmap disabledGlyph(const QPixmap& normal)
{
    QImage image = normal.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            // Grey level squeezed into the light half of the range: shapes keep their form but
            // lose colour and contrast, and the glyph fades a little into the button face.
            const int grey = 128 + qGray(pixel) * 112 / 255;
            line[x] = qRgba(grey, grey, grey, qAlpha(pixel) * 3 / 4);
        }
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(normal.devicePixelRatio());
    return pixmap;
}

QIcon glyphIcon(const QString& name)
{
    QString path = name;
    if (!path.startsWith(QLatin1Char(':')) && !path.contains(QLatin1Char('/')))
        path = QStringLiteral("glyphs/") + path;
    path = artworkPath(path);
    if (!QFile::exists(path))
        return {};

    QIcon icon;
    for (const int side : {kGlyphSize, 2 * kGlyphSize}) {
        const QImage image = renderSvg(path, QSize(side, side));
        if (image.isNull())
            return {};
        const QPixmap normal = QPixmap::fromImage(image);
        icon.addPixmap(normal, QIcon::Normal);
        icon.addPixmap(disabledGlyph(normal), QIcon::Disabled);
    }
    return icon;
}

QIcon programIcon()
{
    const QString path = artworkPath(QStringLiteral("icon"));
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 256}) {
        const QImage image = renderSvg(path, QSize(side, side));
        if (image.isNull())
            return {};
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
