// Keyboard shortcuts: the File and Help commands' keys shown in the menus, and Space playing and
// stopping a replay while the replay bar is shown.

#include "app/DataConventionDialog.h"
#include "app/MainWindow.h"
#include "replay/ReplaySession.h"
#include "tests/support/LogFiles.h"
#include "tests/support/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QShortcut>
#include <QTest>

class TestShortcuts : public QObject
{
    Q_OBJECT
private slots:
    void menuCommandKeys_data();
    void menuCommandKeys();
    void keyRunsItsCommand_data();
    void keyRunsItsCommand();
    void spacePlaysAndStopsWhileReplayBarShows();
};

void TestShortcuts::menuCommandKeys_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("New") << QStringLiteral("newLogAction") << QStringLiteral("&New")
                         << QKeySequence(QStringLiteral("Ctrl+N"));
    QTest::newRow("Open") << QStringLiteral("openLogAction") << QStringLiteral("&Open...")
                          << QKeySequence(QStringLiteral("Ctrl+O"));
    QTest::newRow("Close") << QStringLiteral("closeLogAction") << QStringLiteral("&Close")
                           << QKeySequence(QStringLiteral("Ctrl+W"));
    QTest::newRow("Exit") << QStringLiteral("exitAction") << QStringLiteral("E&xit")
                          << QKeySequence(QStringLiteral("Ctrl+Q"));
    QTest::newRow("Mark") << QStringLiteral("markAction") << QStringLiteral("&Mark...")
                          << QKeySequence(QStringLiteral("Ctrl+M"));
    QTest::newRow("Data Convention")
        << QStringLiteral("dataConventionAction") << QStringLiteral("&Data Convention...")
        << QKeySequence(QStringLiteral("F1"));
}

void TestShortcuts::menuCommandKeys()
{
    QFETCH(QString, action);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, keys);
    MainWindowFixture f({}, false);
    const auto* a = f.window->findChild<QAction*>(action);
    QVERIFY(a);
    QCOMPARE(a->shortcut(), keys);
    QCOMPARE(a->text(), caption); // the Alt letter stays
}

void TestShortcuts::keyRunsItsCommand_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("shown"); // the dialog the command opens
    QTest::newRow("Ctrl+O") << int(Qt::Key_O) << int(Qt::ControlModifier)
                            << QStringLiteral("open:Open Log File");
    QTest::newRow("Ctrl+N") << int(Qt::Key_N) << int(Qt::ControlModifier)
                            << QStringLiteral("save:New Log File");
}

void TestShortcuts::keyRunsItsCommand()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, shown);
    MainWindowFixture f;
    QApplication::setActiveWindow(f.window.get());
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QTest::keyClick(f.window.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.prompts->shown.size(), 1);
    QCOMPARE(f.prompts->shown.constFirst().kind + QLatin1Char(':') +
                 f.prompts->shown.constFirst().text,
             shown);
}

void TestShortcuts::spacePlaysAndStopsWhileReplayBarShows()
{
    MainWindowFixture f;
    f.window->setTimeScaleForTests(0.01);
    QApplication::setActiveWindow(f.window.get());
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    const auto* shortcut = f.window->findChild<QShortcut*>(QStringLiteral("playStopShortcut"));
    QVERIFY(shortcut);

    // No replay bar: Space does nothing.
    QVERIFY(!shortcut->isEnabled());
    QTest::keyClick(f.window.get(), Qt::Key_Space);
    QVERIFY(!f.window->replay().playing());
    QCOMPARE(f.window->statusPanel(2), QString());

    f.writeFile(QStringLiteral("survey.log"), smallLogFile());
    f.window->openReplayFile(f.path(QStringLiteral("survey.log")));
    QVERIFY(f.w().replayBar->isVisible());
    QVERIFY(shortcut->isEnabled());

    QTest::keyClick(f.window.get(), Qt::Key_Space);
    QVERIFY(f.window->replay().playing());
    QCOMPARE(f.window->statusPanel(2), QStringLiteral("Play >"));
    QTest::keyClick(f.window.get(), Qt::Key_Space);
    QVERIFY(!f.window->replay().playing());
    QCOMPARE(f.window->statusPanel(2), QStringLiteral("Stopped"));

    f.w().closeLogAction->trigger();
    QVERIFY(!f.w().replayBar->isVisible());
    QVERIFY(!shortcut->isEnabled());
    QTest::keyClick(f.window.get(), Qt::Key_Space);
    QVERIFY(!f.window->replay().playing());
}

QTEST_MAIN(TestShortcuts)
#include "tst_shortcuts.moc"
