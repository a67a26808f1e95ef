// The About and data convention windows, and the artwork the windows draw with.

#include "app/AboutDialog.h"
#include "app/Artwork.h"
#include "app/DataConventionDialog.h"

#include <QApplication>
#include <QDirIterator>
#include <QRegularExpression>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QDialog> makeWindow(const QString& objectName)
{
    if (objectName == QLatin1String("aboutDialog"))
        return std::make_unique<AboutDialog>();
    return std::make_unique<DataConventionDialog>();
}

int visibleWindowsNamed(const QString& objectName)
{
    int count = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->objectName() == objectName)
            ++count;
    return count;
}

struct Coverage
{
    int opaque = 0;
    QRect bounds;
};

Coverage coverage(const QImage& image)
{
    Coverage result;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0) {
                ++result.opaque;
                result.bounds |= QRect(x, y, 1, 1);
            }
    return result;
}

// Mean grey level of the glyph as it looks on a button, over the pixels the glyph covers.
double meanLightnessOnButton(const QImage& glyph, const QImage& coverageOf)
{
    QImage onButton(glyph.size(), QImage::Format_ARGB32);
    onButton.fill(QColor(0xf0, 0xf0, 0xf0));
    QPainter painter(&onButton);
    painter.drawImage(0, 0, glyph);
    painter.end();
    double sum = 0;
    int count = 0;
    for (int y = 0; y < glyph.height(); ++y)
        for (int x = 0; x < glyph.width(); ++x)
            if (qAlpha(coverageOf.pixel(x, y)) > 0) {
                sum += qGray(onButton.pixel(x, y));
                ++count;
            }
    return count ? sum / count : 0;
}

const QStringList& glyphNames()
{
    static const QStringList names{
        QStringLiteral("file-new"),
        QStringLiteral("file-open"),
        QStringLiteral("file-close"),
        QStringLiteral("log-start"),
        QStringLiteral("log-stop"),
        QStringLiteral("serial-connect"),
        QStringLiteral("serial-disconnect"),
        QStringLiteral("setup"),
        QStringLiteral("exit"),
        QStringLiteral("video-start"),
        QStringLiteral("video-stop"),
        QStringLiteral("video-play"),
        QStringLiteral("more-right"),
        QStringLiteral("more-down"),
    };
    return names;
}

// The diagram's lettering, line by line as drawn, and the colours it is drawn in.
struct DiagramContent
{
    QStringList lines;
    QSet<QString> colours;
    QStringList badTextElements;
};

DiagramContent readDiagram()
{
    DiagramContent content;
    QFile file(QStringLiteral(":/marvane/data-convention.svg"));
    if (!file.open(QIODevice::ReadOnly))
        return content;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        for (const char* paint : {"fill", "stroke"}) {
            const QString value = attributes.value(QLatin1String(paint)).toString().toLower();
            if (!value.isEmpty() && value != QLatin1String("none"))
                content.colours.insert(value);
        }
        if (xml.name() == QLatin1String("text")) {
            const bool rightFamily =
                attributes.value(QLatin1String("font-family")) == QLatin1String("Liberation Sans");
            const double size = attributes.value(QLatin1String("font-size")).toDouble();
            const QString text =
                xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
            if (!rightFamily || size < 10)
                content.badTextElements << text;
            content.lines << text;
        }
    }
    return content;
}

} // namespace

class TestReference : public QObject
{
    Q_OBJECT

private slots:
    void windowFrame_data();
    void windowFrame();
    void windowIsCentredOnScreen_data();
    void windowIsCentredOnScreen();
    void aboutElements_data();
    void aboutElements();
    void aboutLabelsFitInsideWindow();
    void aboutIconIsProgramIcon();
    void dataConventionElements_data();
    void dataConventionElements();
    void dataConventionShowsDiagram();
    void okButton_data();
    void okButton();
    void showingVisibleWindowLeavesItUnchanged_data();
    void showingVisibleWindowLeavesItUnchanged();
    void okHides_data();
    void okHides();
    void closeHidesAndKeepsWindow_data();
    void closeHidesAndKeepsWindow();
    void bothWindowsOpenTogether();

    void artworkRenders_data();
    void artworkRenders();
    void diagramIsDrawnInTwoColours();
    void diagramLettering();
    void diagramStatements_data();
    void diagramStatements();
    void glyphIconHasGreyedDisabledLook_data();
    void glyphIconHasGreyedDisabledLook();
    void glyphIconAcceptsNameForms_data();
    void glyphIconAcceptsNameForms();
    void missingArtworkGivesNothing();
    void artworkPixmapHasRequestedSize();
    void programIconSizes();
    void renderedPicturesAreTheSvgDrawn();
    void otherSizesAreDrawnFromTheSvg();
};

void TestReference::windowFrame_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("clientSize");
    QTest::addColumn<bool>("staysOnTop");

    QTest::newRow("About") << QStringLiteral("aboutDialog") << QStringLiteral("About Marvane")
                           << QSize(292, 326) << true;
    QTest::newRow("DataConvention")
        << QStringLiteral("dataConventionDialog") << QStringLiteral("Marvane Data Convention")
        << QSize(440, 383) << false;
}

void TestReference::windowFrame()
{
    QFETCH(QString, objectName);
    QFETCH(QString, caption);
    QFETCH(QSize, clientSize);
    QFETCH(bool, staysOnTop);

    const auto window = makeWindow(objectName);
    QCOMPARE(window->objectName(), objectName);
    QCOMPARE(window->windowTitle(), caption);
    QVERIFY(!window->isVisible());
    QVERIFY(!window->isModal());
    QVERIFY(!window->testAttribute(Qt::WA_DeleteOnClose));

    const Qt::WindowFlags flags = window->windowFlags();
    QCOMPARE(window->windowType(), Qt::Dialog);
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
    QCOMPARE(flags.testFlag(Qt::WindowStaysOnTopHint), staysOnTop);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->size(), clientSize);
    QCOMPARE(window->minimumSize(), clientSize);
    QCOMPARE(window->maximumSize(), clientSize);
}

void TestReference::windowIsCentredOnScreen_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::newRow("About") << QStringLiteral("aboutDialog");
    QTest::newRow("DataConvention") << QStringLiteral("dataConventionDialog");
}

void TestReference::windowIsCentredOnScreen()
{
    QFETCH(QString, objectName);
    const auto window = makeWindow(objectName);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // Placed before its frame is known, so the client area may sit off centre by the frame's width.
    const QPoint offset =
        window->geometry().center() - window->screen()->availableGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 8,
             qPrintable(QStringLiteral("client centre is %1, %2 from the screen's")
                            .arg(offset.x())
                            .arg(offset.y())));
}

void TestReference::aboutElements_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<QString>("beginning");
    QTest::addColumn<bool>("whole");

    const auto row = [](const char* name, int x, int y, int pixelSize, const QString& beginning,
                        bool whole = false) {
        QTest::newRow(name) << QString::fromLatin1(name) << QPoint(x, y) << pixelSize << beginning
                            << whole;
    };
    row("appNameLabel", 60, 20, 19, QStringLiteral("Marvane"), true);
    row("versionLabel", 60, 55, 11, QStringLiteral("Version: 4.01"));
    row("address1Label", 60, 70, 11, QStringLiteral("Tessmoor"));
    row("address2Label", 60, 85, 11, QString());
    row("townLabel", 60, 100, 11, QString());
    row("countyLabel", 60, 115, 11, QString());
    row("postCodeLabel", 60, 130, 11, QString());
    row("countryLabel", 60, 145, 11, QString());
    row("telephoneLabel", 60, 165, 11, QStringLiteral("Tel: "));
    row("faxLabel", 60, 180, 11, QStringLiteral("Fax: "));
    row("emailLabel", 60, 200, 11, QStringLiteral("Email: "));
    row("webSiteLabel", 60, 215, 11, QStringLiteral("Web Site: "));
}

void TestReference::aboutElements()
{
    QFETCH(QString, name);
    QFETCH(QPoint, position);
    QFETCH(int, pixelSize);
    QFETCH(QString, beginning);
    QFETCH(bool, whole);

    AboutDialog about;
    const auto* label = about.findChild<QLabel*>(name);
    QVERIFY2(label, qPrintable(name));
    QCOMPARE(label->pos(), position);
    if (whole) {
        QCOMPARE(label->text(), beginning);
    } else {
        QVERIFY2(label->text().startsWith(beginning), qPrintable(label->text()));
        QVERIFY(label->text().size() > beginning.size());
    }
    QCOMPARE(label->font().pixelSize(), pixelSize);
    QVERIFY(label->font().bold());
    QCOMPARE(QFontInfo(label->font()).family(), QStringLiteral("Liberation Sans"));
    // Auto-sized: the label is exactly as big as its text.
    QCOMPARE(label->size(), label->sizeHint());
}

void TestReference::aboutLabelsFitInsideWindow()
{
    AboutDialog about;
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    about.setSettingsPath(QStringLiteral("/home/operator/.config/Tessmoor/Marvane/marvane.ini"));
    QCOMPARE(labels.size(), 14); // the icon, twelve lines of text and the settings file
    for (const QLabel* label : labels)
        QVERIFY2(about.rect().contains(label->geometry()),
                 qPrintable(label->objectName() + QStringLiteral(" runs outside the window")));
}

void TestReference::aboutIconIsProgramIcon()
{
    AboutDialog about;
    const auto* icon = about.findChild<QLabel*>(QStringLiteral("iconLabel"));
    QVERIFY(icon);
    QCOMPARE(icon->geometry(), QRect(24, 16, 32, 32));
    const QPixmap shown = icon->pixmap();
    QVERIFY(!shown.isNull());
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
             artworkPixmap(QStringLiteral("icon"), QSize(32, 32))
                 .toImage()
                 .convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestReference::dataConventionElements_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("diagramLabel") << QStringLiteral("diagramLabel") << QRect(0, 0, 439, 355);
    QTest::newRow("okButton") << QStringLiteral("okButton") << QRect(168, 358, 96, 25);
}

void TestReference::dataConventionElements()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    DataConventionDialog window;
    const auto* widget = window.findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->geometry(), geometry);
}

void TestReference::dataConventionShowsDiagram()
{
    DataConventionDialog window;
    const auto* image = window.findChild<QLabel*>(QStringLiteral("diagramLabel"));
    QVERIFY(image);
    QVERIFY(image->pixmap().isNull()); // drawn when first shown, not at start-up
    window.show();
    const QPixmap shown = image->pixmap();
    QCOMPARE(shown.deviceIndependentSize(), QSizeF(439, 355));
    // White paper with dark lettering: both must be present in quantity.
    const QImage picture = shown.toImage();
    int white = 0;
    int ink = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const int grey = qGray(picture.pixel(x, y));
            white += grey > 240;
            ink += grey < 80;
        }
    QVERIFY2(white > picture.width() * picture.height() / 2, "the diagram is not on white");
    QVERIFY2(ink > 5000, "the diagram carries too little ink");
}

void TestReference::okButton_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("About") << QStringLiteral("aboutDialog") << QRect(100, 278, 100, 25);
    QTest::newRow("DataConvention")
        << QStringLiteral("dataConventionDialog") << QRect(168, 358, 96, 25);
}

void TestReference::okButton()
{
    QFETCH(QString, objectName);
    QFETCH(QRect, geometry);
    const auto window = makeWindow(objectName);
    const auto* ok = window->findChild<QPushButton*>(QStringLiteral("okButton"));
    QVERIFY(ok);
    QCOMPARE(ok->geometry(), geometry);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(!ok->icon().isNull());
    QCOMPARE(ok->icon().pixmap(16).toImage(),
             window->style()->standardIcon(QStyle::SP_DialogOkButton).pixmap(16).toImage());
}

void TestReference::showingVisibleWindowLeavesItUnchanged_data()
{
    windowIsCentredOnScreen_data();
}

void TestReference::showingVisibleWindowLeavesItUnchanged()
{
    QFETCH(QString, objectName);
    const auto window = makeWindow(objectName);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QRect before = window->geometry();
    window->show();
    QCoreApplication::processEvents();
    QVERIFY(window->isVisible());
    QCOMPARE(window->geometry(), before);
    QCOMPARE(visibleWindowsNamed(objectName), 1);
}

void TestReference::okHides_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<bool>("byMouse");
    QTest::newRow("About, click") << QStringLiteral("aboutDialog") << true;
    QTest::newRow("About, handler") << QStringLiteral("aboutDialog") << false;
    QTest::newRow("DataConvention, click") << QStringLiteral("dataConventionDialog") << true;
    QTest::newRow("DataConvention, handler") << QStringLiteral("dataConventionDialog") << false;
}

void TestReference::okHides()
{
    QFETCH(QString, objectName);
    QFETCH(bool, byMouse);
    const auto window = makeWindow(objectName);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    if (byMouse)
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("okButton")),
                          Qt::LeftButton);
    else
        QVERIFY(QMetaObject::invokeMethod(window.get(), "dismiss"));
    QVERIFY(!window->isVisible());
    QCOMPARE(visibleWindowsNamed(objectName), 0);

    // Shown again later, it comes back as it was.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(visibleWindowsNamed(objectName), 1);
}

void TestReference::closeHidesAndKeepsWindow_data()
{
    windowIsCentredOnScreen_data();
}

void TestReference::closeHidesAndKeepsWindow()
{
    QFETCH(QString, objectName);
    auto owned = makeWindow(objectName);
    QPointer<QDialog> window = owned.get();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QVERIFY(window);
    QVERIFY(!window->isVisible());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(visibleWindowsNamed(objectName), 1);
}

void TestReference::bothWindowsOpenTogether()
{
    AboutDialog about;
    DataConventionDialog convention;
    about.show();
    convention.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QVERIFY(QTest::qWaitForWindowExposed(&convention));
    QVERIFY(about.isVisible());
    QVERIFY(convention.isVisible());
    about.dismiss();
    QVERIFY(!about.isVisible());
    QVERIFY(convention.isVisible());
}

void TestReference::artworkRenders_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("minimumCoverPercent");

    for (const QString& glyph : glyphNames())
        QTest::newRow(qPrintable(glyph))
            << QStringLiteral(":/marvane/glyphs/%1.svg").arg(glyph) << QSize(30, 30) << 10;
    QTest::newRow("logo-main") << QStringLiteral(":/marvane/logo-main.svg") << QSize(372, 45) << 10;
    QTest::newRow("logo-small") << QStringLiteral(":/marvane/logo-small.svg") << QSize(137, 32)
                                << 10;
    QTest::newRow("icon") << QStringLiteral(":/marvane/icon.svg") << QSize(32, 32) << 60;
    QTest::newRow("data-convention")
        << QStringLiteral(":/marvane/data-convention.svg") << QSize(439, 355) << 100;
}

void TestReference::artworkRenders()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, minimumCoverPercent);

    QSvgRenderer renderer(path);
    QVERIFY2(renderer.isValid(), qPrintable(path));
    QCOMPARE(renderer.defaultSize(), size);

    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();

    const Coverage covered = coverage(image);
    QVERIFY2(covered.opaque * 100 >= minimumCoverPercent * size.width() * size.height(),
             qPrintable(QStringLiteral("only %1 of %2 pixels drawn")
                            .arg(covered.opaque)
                            .arg(size.width() * size.height())));
    // The drawing uses its box: nothing is drawn at a wrong scale into a corner.
    QVERIFY(covered.bounds.width() * 2 >= size.width());
    QVERIFY(covered.bounds.height() * 2 >= size.height());
}

void TestReference::diagramIsDrawnInTwoColours()
{
    const DiagramContent diagram = readDiagram();
    QCOMPARE(diagram.colours,
             (QSet<QString>{QStringLiteral("#0b2f6b"), QStringLiteral("#ffffff")}));
}

void TestReference::diagramLettering()
{
    const DiagramContent diagram = readDiagram();
    QVERIFY(diagram.lines.size() > 20);
    QVERIFY2(diagram.badTextElements.isEmpty(),
             qPrintable(QStringLiteral("not in Liberation Sans of 10 px or more: ") +
                        diagram.badTextElements.join(QStringLiteral(" | "))));
}

void TestReference::diagramStatements_data()
{
    QTest::addColumn<QString>("statement");
    const QStringList statements{
        QStringLiteral("Data Convention"),
        QStringLiteral("Raw Data"),
        QStringLiteral("Y+ve"),
        QStringLiteral("X +ve"),
        QStringLiteral("View on face of sensor"),
        QStringLiteral("The flat on the sensor mounting, on the side away from the electrodes, "
                       "marks the front of the sensor."),
        QStringLiteral("The sensor must be mounted with the flat towards the front of the vehicle, "
                       "and \"Face Up\" or \"Face Down\" must be selected in the program."),
        QStringLiteral("Computed Data"),
        QStringLiteral("Computed data are the magnitude and the direction of the flow."),
        QStringLiteral("The operator chooses whether the direction is the one the flow comes FROM "
                       "or the one it heads TO."),
        QStringLiteral("All directions are relative to the front of the sensor."),
        QStringLiteral("Select \"Face Up\" or \"Face Down\" in the program so that the direction "
                       "is corrected for the "
                       "sensor's orientation."),
    };
    for (const QString& statement : statements)
        QTest::newRow(qPrintable(statement.left(40))) << statement;
}

void TestReference::diagramStatements()
{
    QFETCH(QString, statement);
    const QString lettering = readDiagram().lines.join(QLatin1Char(' '));
    QVERIFY2(lettering.contains(statement), qPrintable(statement));
}

void TestReference::glyphIconHasGreyedDisabledLook_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& glyph : glyphNames())
        QTest::newRow(qPrintable(glyph)) << glyph;
}

void TestReference::glyphIconHasGreyedDisabledLook()
{
    QFETCH(QString, name);
    const QIcon icon = glyphIcon(name);
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(30, 30)));
    QVERIFY(icon.availableSizes().contains(QSize(60, 60)));

    const QImage normal =
        icon.pixmap(QSize(30, 30), QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage disabled = icon.pixmap(QSize(30, 30), QIcon::Disabled)
                                .toImage()
                                .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(normal.size(), QSize(30, 30));
    QCOMPARE(disabled.size(), QSize(30, 30));
    QVERIFY(normal != disabled);

    bool normalHasColour = false;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const QRgb d = disabled.pixel(x, y);
            QVERIFY2(qRed(d) == qGreen(d) && qGreen(d) == qBlue(d),
                     "the disabled look keeps colour");
            QVERIFY(qAlpha(d) <= qAlpha(normal.pixel(x, y)));
            const QRgb n = normal.pixel(x, y);
            normalHasColour |= qRed(n) != qGreen(n) || qGreen(n) != qBlue(n);
        }
    QVERIFY(normalHasColour);
    QVERIFY(meanLightnessOnButton(disabled, normal) > meanLightnessOnButton(normal, normal));
}

void TestReference::glyphIconAcceptsNameForms_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("bare") << QStringLiteral("video-play");
    QTest::newRow("with suffix") << QStringLiteral("video-play.svg");
    QTest::newRow("under prefix") << QStringLiteral("glyphs/video-play");
    QTest::newRow("resource path") << QStringLiteral(":/marvane/glyphs/video-play.svg");
}

void TestReference::glyphIconAcceptsNameForms()
{
    QFETCH(QString, name);
    const QImage expected = glyphIcon(QStringLiteral("video-play")).pixmap(30).toImage();
    QVERIFY(!expected.isNull());
    QCOMPARE(glyphIcon(name).pixmap(30).toImage(), expected);
}

void TestReference::missingArtworkGivesNothing()
{
    QVERIFY(glyphIcon(QStringLiteral("no-such-glyph")).isNull());
    QVERIFY(artworkPixmap(QStringLiteral("no-such-picture"), QSize(30, 30)).isNull());
    QVERIFY(artworkPixmap(QStringLiteral("logo-main"), QSize()).isNull());
}

void TestReference::artworkPixmapHasRequestedSize()
{
    const QPixmap logo = artworkPixmap(QStringLiteral("logo-main"), QSize(372, 45));
    QCOMPARE(logo.deviceIndependentSize(), QSizeF(372, 45));
    const QPixmap small = artworkPixmap(QStringLiteral("logo-small.svg"), QSize(137, 32));
    QCOMPARE(small.deviceIndependentSize(), QSizeF(137, 32));
    QVERIFY(coverage(small.toImage()).opaque > 0);
}

void TestReference::programIconSizes()
{
    const QIcon icon = programIcon();
    QVERIFY(!icon.isNull());
    for (const int side : {16, 32})
        QVERIFY2(icon.availableSizes().contains(QSize(side, side)),
                 qPrintable(QString::number(side)));
    const QImage small = icon.pixmap(16).toImage();
    QCOMPARE(small.size(), QSize(16, 16));
    QVERIFY(coverage(small).opaque > 16 * 16 / 2);
}

// The PNGs drawn at build time are what the program would draw from the SVG at that size, and
// they cover every size a start shows on normal and double-density screens.
void TestReference::renderedPicturesAreTheSvgDrawn()
{
    const QRegularExpression nameForm(QStringLiteral("^:/marvane/rendered/(.+)-(\\d+)x(\\d+)\\.png$"));
    QSet<QString> found;
    QDirIterator it(QStringLiteral(":/marvane/rendered"), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QRegularExpressionMatch match = nameForm.match(path);
        QVERIFY2(match.hasMatch(), qPrintable(path));
        const QString name = match.captured(1);
        const QSize size(match.captured(2).toInt(), match.captured(3).toInt());
        found << QStringLiteral("%1 %2x%3").arg(name).arg(size.width()).arg(size.height());
        QCOMPARE(renderedArtworkPath(name, size), path);

        QImage expected(size, QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        QSvgRenderer renderer(QStringLiteral(":/marvane/%1.svg").arg(name));
        QVERIFY2(renderer.isValid(), qPrintable(name));
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        expected = expected.convertToFormat(QImage::Format_ARGB32);
        const QImage stored = QImage(path, "png").convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(stored.size(), size);
        int differing = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                differing += stored.pixel(x, y) != expected.pixel(x, y);
        QVERIFY2(differing == 0, qPrintable(QStringLiteral("%1: %2 pixels differ from the SVG")
                                                .arg(path)
                                                .arg(differing)));
    }

    QSet<QString> needed{QStringLiteral("logo-main 372x45"), QStringLiteral("logo-main 744x90")};
    for (const QString& glyph : glyphNames())
        needed << QStringLiteral("glyphs/%1 26x26").arg(glyph)
               << QStringLiteral("glyphs/%1 52x52").arg(glyph);
    for (const int side : {16, 24, 32, 48, 64, 128, 256})
        needed << QStringLiteral("icon %1x%1").arg(side);
    const QSet<QString> missing = needed - found;
    QVERIFY2(missing.isEmpty(), qPrintable(QStringList(missing.values()).join(QLatin1String(", "))));
}

// Sizes not drawn at build time (a grown window, another screen scale) come from the SVG.
void TestReference::otherSizesAreDrawnFromTheSvg()
{
    QVERIFY(renderedArtworkPath(QStringLiteral("logo-main"), QSize(465, 56)).isEmpty());
    const QImage logo = artworkPixmap(QStringLiteral("logo-main"), QSize(465, 56)).toImage();
    QCOMPARE(logo.size(), QSize(465, 56));
    const Coverage logoCover = coverage(logo);
    QVERIFY(logoCover.opaque * 10 >= 465 * 56);
    QVERIFY(logoCover.bounds.width() * 2 >= 465);

    const QImage glyph = glyphIcon(QStringLiteral("file-new")).pixmap(QSize(45, 45)).toImage();
    QCOMPARE(glyph.size(), QSize(45, 45));
    QVERIFY(coverage(glyph).opaque * 10 >= 45 * 45);

    // The same picture at a size drawn at build time and at one drawn now cover the same share of
    // their area.
    const auto inkShare = [](const QImage& image) {
        double alpha = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                alpha += qAlpha(image.pixel(x, y));
        return alpha / (255.0 * image.width() * image.height());
    };
    const double rendered =
        inkShare(artworkPixmap(QStringLiteral("logo-main"), QSize(372, 45)).toImage());
    const double drawn = inkShare(logo);
    QVERIFY2(qAbs(rendered - drawn) <= 0.02 * rendered,
             qPrintable(QStringLiteral("%1 against %2").arg(rendered).arg(drawn)));
}

QTEST_MAIN(TestReference)
#include "tst_reference.moc"
