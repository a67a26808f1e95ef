#include "app/Artwork.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QImageReader>
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

QString renderedArtworkPath(const QString& name, QSize pixelSize)
{
    QString path = artworkPath(name);
    if (!path.startsWith(resourcePrefix()) || !path.endsWith(QStringLiteral(".svg")))
        return {};
    path.chop(4);
    path = QStringLiteral("%1rendered/%2-%3x%4.png")
               .arg(resourcePrefix(), path.mid(resourcePrefix().size()))
               .arg(pixelSize.width())
               .arg(pixelSize.height());
    return QFile::exists(path) ? path : QString();
}

QPixmap artworkPixmap(const QString& name, QSize size)
{
    const qreal ratio = screenRatio();
    const QSize pixelSize = (QSizeF(size) * ratio).toSize();
    QImage image;
    if (const QString rendered = renderedArtworkPath(name, pixelSize); !rendered.isEmpty()) {
        // Named as PNG, so that Qt does not ask every image plugin whether it reads the file.
        QImageReader reader(rendered, "png");
        reader.setAutoDetectImageFormat(false);
        image = reader.read();
    }
    if (image.isNull())
        image = renderSvg(artworkPath(name), pixelSize);
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

namespace {

// An icon drawn from its SVG at the size asked for, when it is first asked for, and kept: start-up
// renders nothing, and every size a screen asks for is sharp. Glyphs have a greyed disabled look
// of their own.
class SvgIconEngine : public QIconEngine
{
public:
    SvgIconEngine(const QString& path, QList<QSize> sizes, bool ownDisabledLook)
        : m_path(path), m_sizes(std::move(sizes)), m_ownDisabledLook(ownDisabledLook)
    {
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        const bool disabled = m_ownDisabledLook && mode == QIcon::Disabled;
        const QString key = QStringLiteral("%1x%2%3")
                                .arg(size.width())
                                .arg(size.height())
                                .arg(disabled ? QStringLiteral("d") : QString());
        if (const auto found = m_cache.constFind(key); found != m_cache.constEnd())
            return *found;
        QPixmap pixmap;
        if (disabled) {
            pixmap = disabledGlyph(this->pixmap(size, QIcon::Normal, QIcon::Off));
        } else {
            const QImage image = renderSvg(m_path, size);
            if (!image.isNull())
                pixmap = QPixmap::fromImage(image);
        }
        m_cache.insert(key, pixmap);
        return pixmap;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap shown = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        shown.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, shown);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return m_sizes; }
    QIconEngine* clone() const override
    {
        return new SvgIconEngine(m_path, m_sizes, m_ownDisabledLook);
    }
    QString key() const override { return QStringLiteral("marvane-svg"); }

private:
    QString m_path;
    QList<QSize> m_sizes;
    bool m_ownDisabledLook;
    QHash<QString, QPixmap> m_cache;
};

} // namespace

QIcon glyphIcon(const QString& name)
{
    QString path = name;
    if (!path.startsWith(QLatin1Char(':')) && !path.contains(QLatin1Char('/')))
        path = QStringLiteral("glyphs/") + path;
    path = artworkPath(path);
    if (!QFile::exists(path))
        return {};
    return QIcon(new SvgIconEngine(
        path, {QSize(kGlyphSize, kGlyphSize), QSize(2 * kGlyphSize, 2 * kGlyphSize)}, true));
}

QIcon programIcon()
{
    const QString path = artworkPath(QStringLiteral("icon"));
    if (!QFile::exists(path))
        return {};
    QList<QSize> sizes;
    for (const int side : {16, 24, 32, 48, 64, 256})
        sizes << QSize(side, side);
    return QIcon(new SvgIconEngine(path, sizes, false));
}
