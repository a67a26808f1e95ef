// render-icon: draws the program's SVG icon as a square PNG of a given side, for the fixed-size
// folders of the hicolor icon theme. Run at build time only, so the PNGs always follow the SVG
// and no binary artwork is kept in the repository.
//
//   render-icon ICON.svg SIDE OUTPUT.png

#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: render-icon ICON.svg SIDE OUTPUT.png\n");
        return 2;
    }
    const QString svgPath = QString::fromLocal8Bit(argv[1]);
    const QString pngPath = QString::fromLocal8Bit(argv[3]);
    bool sideOk = false;
    const int side = QString::fromLocal8Bit(argv[2]).toInt(&sideOk);
    if (!sideOk || side < 1 || side > 4096) {
        std::fprintf(stderr, "render-icon: side must be a number of pixels from 1 to 4096: %s\n",
                     argv[2]);
        return 2;
    }

    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render-icon: cannot read the SVG icon %s\n", argv[1]);
        return 1;
    }

    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, side, side));
    }
    if (!image.convertToFormat(QImage::Format_ARGB32).save(pngPath, "PNG")) {
        std::fprintf(stderr, "render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
