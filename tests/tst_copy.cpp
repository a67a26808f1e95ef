// Copying values out of the program: rows of the data tables (selected with the mouse, copied with
// Ctrl+C or the context menu's Copy) and the About window's text.

#include "app/AboutDialog.h"
#include "app/DataGrid.h"
#include "app/MainWindow.h"
#include "tests/support/LogFiles.h"
#include "tests/support/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTest>

namespace {

// A data table as the window has them, rows filled top to bottom from pairs.
struct Grid
{
    QWidget window;
    DataGrid* grid;
    explicit Grid(const QList<QPair<QString, QString>>& rows)
    {
        grid = new DataGrid(QStringLiteral("computedTable"), Qt::white, true, &window);
        grid->setGeometry(0, 0, 156, 139);
        for (int row = 0; row < rows.size(); ++row) {
            grid->setCell(0, row, rows.at(row).first);
            grid->setCell(1, row, rows.at(row).second);
        }
        window.resize(200, 160);
    }
};

QList<QPair<QString, QString>> eightRows()
{
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < 8; ++i)
        rows.append({QStringLiteral("    0.%1").arg(100 + i),
                     QStringLiteral("    %1").arg(10 * i, 3, 10, QLatin1Char('0'))});
    return rows;
}

QPoint rowCentre(const DataGrid* grid, int row)
{
    return grid->cellRect(0, row).center();
}

} // namespace

class TestCopy : public QObject
{
    Q_OBJECT
private slots:
    void copyText_data();
    void copyText();
    void mouseSelectsRowsAndCtrlCCopiesThem();
    void contextCopyWithoutSelectionCopiesEveryRow();
    void lookUnchangedWithoutSelection();
    void headerGridsDoNotSelect();
    void windowTablesCopyTheirValues();
    void aboutTextIsSelectableAndCopied();
};

void TestCopy::copyText_data()
{
    QTest::addColumn<int>("first"); // -1: no selection
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing selected: every row")
        << -1 << -1
        << QStringLiteral("0.100\t000\n0.101\t010\n0.102\t020\n0.103\t030\n0.104\t040\n"
                          "0.105\t050\n0.106\t060\n0.107\t070\n");
    QTest::newRow("one row") << 3 << 3 << QStringLiteral("0.103\t030\n");
    QTest::newRow("a range") << 5 << 7 << QStringLiteral("0.105\t050\n0.106\t060\n0.107\t070\n");
    QTest::newRow("a range chosen upward")
        << 2 << 0 << QStringLiteral("0.100\t000\n0.101\t010\n0.102\t020\n");
}

void TestCopy::copyText()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, expected);
    Grid g(eightRows());
    g.grid->setRowsSelectable(true);
    if (first >= 0)
        g.grid->selectRows(first, last);
    QCOMPARE(g.grid->copyText(), expected);
}

void TestCopy::mouseSelectsRowsAndCtrlCCopiesThem()
{
    Grid g(eightRows());
    g.grid->setRowsSelectable(true);
    g.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g.window));
    QApplication::clipboard()->clear();

    QTest::mouseClick(g.grid, Qt::LeftButton, Qt::NoModifier, rowCentre(g.grid, 2));
    QVERIFY(g.grid->isRowSelected(2));
    QVERIFY(!g.grid->isRowSelected(3));
    QTest::mouseClick(g.grid, Qt::LeftButton, Qt::ShiftModifier, rowCentre(g.grid, 4));
    QVERIFY(g.grid->isRowSelected(3));
    QTest::keyClick(g.grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("0.102\t020\n0.103\t030\n0.104\t040\n"));

    // A plain click starts again; Escape selects nothing.
    QTest::mouseClick(g.grid, Qt::LeftButton, Qt::NoModifier, rowCentre(g.grid, 6));
    QVERIFY(!g.grid->isRowSelected(2));
    QTest::keyClick(g.grid, Qt::Key_Escape);
    QVERIFY(!g.grid->isRowSelected(6));
}

void TestCopy::contextCopyWithoutSelectionCopiesEveryRow()
{
    // A table still filling up: the empty rows are not copied.
    Grid g({{QStringLiteral("       -0.25"), QStringLiteral("       +1.10")},
            {QStringLiteral("       -0.30"), QStringLiteral("       +1.05")}});
    g.grid->setRowsSelectable(true);
    QCOMPARE(g.grid->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(g.grid->actions().size(), 1);
    QAction* copy = g.grid->actions().constFirst();
    QCOMPARE(copy->text(), QStringLiteral("&Copy"));
    QApplication::clipboard()->clear();
    copy->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("-0.25\t+1.10\n-0.30\t+1.05\n"));
}

void TestCopy::lookUnchangedWithoutSelection()
{
    Grid plain(eightRows());
    Grid selectable(eightRows());
    selectable.grid->setRowsSelectable(true);
    const QImage plainLook = plain.grid->grab().toImage();
    QCOMPARE(selectable.grid->grab().toImage(), plainLook);
    selectable.grid->selectRows(1, 1);
    QVERIFY(selectable.grid->grab().toImage() != plainLook); // a selection shows
    selectable.grid->clearSelection();
    QCOMPARE(selectable.grid->grab().toImage(), plainLook);
}

void TestCopy::headerGridsDoNotSelect()
{
    MainWindowFixture f;
    for (DataGrid* header :
         {f.w().computedHeader, f.w().computedUnits, f.w().rawHeader, f.w().rawUnits}) {
        QTest::mouseClick(header, Qt::LeftButton, Qt::NoModifier, rowCentre(header, 0));
        QVERIFY2(!header->isRowSelected(0), qPrintable(header->objectName()));
        QCOMPARE(header->focusPolicy(), Qt::NoFocus);
        QVERIFY(header->actions().isEmpty());
    }
}

void TestCopy::windowTablesCopyTheirValues()
{
    MainWindowFixture f;
    f.writeFile(QStringLiteral("survey.log"), smallLogFile());
    f.window->openReplayFile(f.path(QStringLiteral("survey.log")));
    QApplication::clipboard()->clear();
    f.w().computedTable->actions().constFirst()->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("0.515\t088\n"));
    QCOMPARE(f.w().rawTable->focusPolicy(), Qt::ClickFocus);
    QCOMPARE(f.w().rawTable->actions().size(), 1);
}

void TestCopy::aboutTextIsSelectableAndCopied()
{
    AboutDialog about;
    const QString path = QStringLiteral("/home/operator/.config/Tessmoor/Marvane/marvane.ini");
    about.setSettingsPath(path);
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (label->objectName() == QLatin1String("iconLabel"))
            continue;
        QVERIFY2(label->textInteractionFlags() & Qt::TextSelectableByMouse,
                 qPrintable(label->objectName()));
    }
    QCOMPARE(about.contextMenuPolicy(), Qt::ActionsContextMenu);
    auto* copy = about.findChild<QAction*>(QStringLiteral("copyAboutAction"));
    QVERIFY(copy);
    QCOMPARE(copy->text(), QStringLiteral("&Copy"));
    QApplication::clipboard()->clear();
    copy->trigger();
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 14); // thirteen lines and the final line break
    QCOMPARE(lines.at(0), QStringLiteral("Marvane"));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("Version: 4.01")));
    QVERIFY(lines.contains(QStringLiteral("Tessmoor Instruments Ltd")));
    QCOMPARE(lines.at(12), QStringLiteral("Settings: ") + path); // whole, without wrap hints
    const auto* settings = about.findChild<QLabel*>(QStringLiteral("settingsLabel"));
    QVERIFY(settings);
    QVERIFY(about.rect().contains(settings->geometry()));
}

QTEST_MAIN(TestCopy)
#include "tst_copy.moc"
