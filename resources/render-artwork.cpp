// render-artwork: draws one of the program's SVG pictures as a PNG of a given size, at build time
// only, so that PNGs always follow their SVG and no binary artwork is kept in the repository.
// Used for the fixed-size folders of the hicolor icon theme, and for the pictures the main
// window shows at start-up (drawn exactly as the program would draw them, see Artwork.h).
//
//   render-artwork PICTURE.svg SIDE|WIDTHxHEIGHT OUTPUT.png

#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: render-artwork PICTURE.svg SIDE|WIDTHxHEIGHT OUTPUT.png\n");
        return 2;
    }
    const QString svgPath = QString::fromLocal8Bit(argv[1]);
    const QString pngPath = QString::fromLocal8Bit(argv[3]);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("^(\\d{1,4})(?:x(\\d{1,4}))?$"))
            .match(QString::fromLocal8Bit(argv[2]));
    const int width = size.captured(1).toInt();
    const int height = size.hasCaptured(2) ? size.captured(2).toInt() : width;
    if (!size.hasMatch() || width < 1 || height < 1 || width > 4096 || height > 4096) {
        std::fprintf(stderr,
                     "render-artwork: the size is a side or WIDTHxHEIGHT, in pixels from 1 to "
                     "4096: %s\n",
                     argv[2]);
        return 2;
    }

    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render-artwork: cannot read the SVG picture %s\n", argv[1]);
        return 1;
    }

    // As the program draws its pictures: transparent, antialiased, filling the whole size.
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, width, height));
    }
    if (!image.convertToFormat(QImage::Format_ARGB32).save(pngPath, "PNG")) {
        std::fprintf(stderr, "render-artwork: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
