#include "app/Artwork.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QImageReader>
#include <QPainter>

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

// The PNG drawn at build time for a picture's full resource path, or empty.
QString renderedPath(const QString& path, QSize pixelSize)
{
    if (!path.startsWith(resourcePrefix()) || !path.endsWith(QStringLiteral(".svg")))
        return {};
    const QString rendered = QStringLiteral("%1rendered/%2-%3x%4.png")
                                 .arg(resourcePrefix(),
                                      path.mid(resourcePrefix().size()).chopped(4))
                                 .arg(pixelSize.width())
                                 .arg(pixelSize.height());
    return QFile::exists(rendered) ? rendered : QString();
}

// A picture (full path of its SVG) at exactly pixelSize device pixels on a transparent background:
// the PNG drawn at build time when there is one for that size, else the SVG drawn now. SVG goes
// through Qt's SVG image plugin, which loads Qt SVG the first time a picture is not among those
// drawn at build time: a start never needs it. Each file is read as its own format, so that Qt
// does not ask every image plugin on the machine whether it reads the file.
QImage drawPicture(const QString& path, QSize pixelSize)
{
    if (pixelSize.isEmpty())
        return {};
    const QString rendered = renderedPath(path, pixelSize);
    QImageReader reader(rendered.isEmpty() ? path : rendered, rendered.isEmpty() ? "svg" : "png");
    reader.setAutoDetectImageFormat(false);
    if (rendered.isEmpty())
        reader.setScaledSize(pixelSize);
    const QImage image = reader.read();
    if (image.isNull() || image.size() != pixelSize)
        return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
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
    return renderedPath(artworkPath(name), pixelSize);
}

QPixmap artworkPixmap(const QString& name, QSize size)
{
    const qreal ratio = screenRatio();
    const QImage image = drawPicture(artworkPath(name), (QSizeF(size) * ratio).toSize());
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
            const QImage image = drawPicture(m_path, size);
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
    for (const int side : {16, 24, 32, 48, 64, 128, 256})
        sizes << QSize(side, side);
    return QIcon(new SvgIconEngine(path, sizes, false));
}
