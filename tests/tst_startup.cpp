// What a start costs beyond the window itself. Building and showing the main window loads no image
// plugin and not Qt SVG (Qt asks every image plugin on the machine whether it reads a picture it
// is given without a format, and SVG is parsed and drawn only for pictures not drawn at build
// time), and builds none of the windows most runs never open.

#include "app/AboutDialog.h"
#include "app/Artwork.h"
#include "app/CommsOptionsDialog.h"
#include "app/DataConventionDialog.h"
#include "app/HistoryPane.h"
#include "app/Look.h"
#include "tests/support/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QStyle>
#include <QTest>

namespace {

// Qt plugins and Qt SVG as mapped into this process (Linux); nothing when that cannot be read.
QStringList loadedPicturePlugins(bool* readable)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    *readable = maps.open(QIODevice::ReadOnly);
    QStringList found;
    for (const QByteArray& line : maps.readAll().split('\n'))
        if (line.contains("/imageformats/") || line.contains("/iconengines/")
            || line.contains("libQt6Svg"))
            found << QString::fromLocal8Bit(line.mid(line.indexOf('/')));
    found.removeDuplicates();
    return found;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startLoadsNoPicturePluginAndNoHiddenWindow();
    void menuBarOverflowArrowIsOurOwn();
};

void TestStartup::initTestCase()
{
    // As the program does before it builds its window.
    QApplication::setStyle(createProgramStyle(QApplication::style()));
}

void TestStartup::startLoadsNoPicturePluginAndNoHiddenWindow()
{
    MainWindowFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    // Everything a first frame draws: glyphs, logo, dials, tables.
    const QImage frame = f.window->grab().toImage();
    QVERIFY(!frame.isNull());

    bool readable = false;
    const QStringList plugins = loadedPicturePlugins(&readable);
    if (!readable)
        QSKIP("/proc/self/maps cannot be read here");
    QVERIFY2(plugins.isEmpty(), qPrintable(plugins.join(QLatin1Char('\n'))));

    for (QWidget* top : QApplication::topLevelWidgets()) {
        QVERIFY2(!qobject_cast<AboutDialog*>(top) && !qobject_cast<CommsOptionsDialog*>(top)
                     && !qobject_cast<DataConventionDialog*>(top)
                     && !qobject_cast<HistoryPane*>(top),
                 qPrintable(top->objectName()));
    }

    // A picture at a size not drawn at build time does load the SVG plugin, when it is needed.
    QVERIFY(!artworkPixmap(QStringLiteral("logo-main"), QSize(400, 48)).isNull());
    QVERIFY(!loadedPicturePlugins(&readable).isEmpty());
}

void TestStartup::menuBarOverflowArrowIsOurOwn()
{
    const QIcon arrow =
        QApplication::style()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    const QImage shown = arrow.pixmap(QSize(30, 30)).toImage();
    QVERIFY(!shown.isNull());
    QCOMPARE(shown, glyphIcon(QStringLiteral("more-right")).pixmap(QSize(30, 30)).toImage());
    const QImage down = QApplication::style()
                            ->standardIcon(QStyle::SP_ToolBarVerticalExtensionButton)
                            .pixmap(QSize(30, 30))
                            .toImage();
    QCOMPARE(down, glyphIcon(QStringLiteral("more-down")).pixmap(QSize(30, 30)).toImage());
    // Other standard icons are the platform style's own.
    QVERIFY(!QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).isNull());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
