// What the program remembers for its user between runs: the recent log files, the folder of the
// New and Open dialogs and the main window's place. Every test keeps it in a temporary INI file.

#include "app/MainWindow.h"
#include "app/UserState.h"
#include "replay/ReplaySession.h"
#include "tests/support/LogFiles.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Texts.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTest>

#include <memory>

namespace {

std::unique_ptr<UserState> userStateIn(const QTemporaryDir& dir)
{
    return std::make_unique<UserState>(std::make_unique<QSettings>(
        dir.filePath(QStringLiteral("user.ini")), QSettings::IniFormat));
}

QStringList menuTexts(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions())
        out << a->text();
    return out;
}

} // namespace

class TestUserState : public QObject
{
    Q_OBJECT
private slots:
    void recentFilesOrder_data();
    void recentFilesOrder();
    void recentFilesSurviveRestart();
    void openedFilesFillRecentMenu();
    void missingRecentFileIsReportedAndRemoved();
    void dialogsStartInLastFolder();
    void newLogFolderIsRememberedOnlyWhenTheFileIsMade_data();
    void newLogFolderIsRememberedOnlyWhenTheFileIsMade();
    void windowPlace_data();
    void windowPlace();
    void offScreenPositionIsCentredOnRealScreen();
    void windowPositionRoundTrip();
    void maximisedWindowComesBackMaximised();
    void unchangedStateIsNotWrittenAgain();
};

void TestUserState::recentFilesOrder_data()
{
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<QStringList>("recent");
    QTest::newRow("none") << QStringList() << QStringList();
    QTest::newRow("most recent first")
        << texts({"/a.log", "/b.log", "/c.log"}) << texts({"/c.log", "/b.log", "/a.log"});
    QTest::newRow("reopened moves to the front, once")
        << texts({"/a.log", "/b.log", "/a.log"}) << texts({"/a.log", "/b.log"});
    QTest::newRow("eight kept, the oldest dropped")
        << texts({"/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8", "/9", "/10"})
        << texts({"/10", "/9", "/8", "/7", "/6", "/5", "/4", "/3"});
    QTest::newRow("reopening the oldest of eight keeps all")
        << texts({"/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8", "/1"})
        << texts({"/1", "/8", "/7", "/6", "/5", "/4", "/3", "/2"});
}

void TestUserState::recentFilesOrder()
{
    QFETCH(QStringList, opened);
    QFETCH(QStringList, recent);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto state = userStateIn(dir);
    for (const QString& path : opened)
        state->addRecentFile(path);
    QCOMPARE(state->recentFiles(), recent);
}

void TestUserState::recentFilesSurviveRestart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        auto state = userStateIn(dir);
        state->addRecentFile(QStringLiteral("/data/a.log"));
        state->addRecentFile(QStringLiteral("/data/b.log"));
        state->setLastFolder(QStringLiteral("/data"));
    }
    auto again = userStateIn(dir);
    QCOMPARE(again->recentFiles(), texts({"/data/b.log", "/data/a.log"}));
    QCOMPARE(again->lastFolder(), QStringLiteral("/data"));
    // Nothing of it went into the settings file's [Options]: the user state has a file of its own.
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("marvane.ini"))));
}

void TestUserState::openedFilesFillRecentMenu()
{
    MainWindowFixture f;
    auto state = userStateIn(f.dir);
    f.window->setUserState(state.get());
    auto* menu = f.window->findChild<QMenu*>(QStringLiteral("recentFilesMenu"));
    QVERIFY(menu);
    QVERIFY(!menu->menuAction()->isEnabled()); // nothing yet

    const QString a = f.path(QStringLiteral("a.log"));
    const QString b = f.path(QStringLiteral("b.log"));
    f.writeFile(QStringLiteral("a.log"), smallLogFile());
    f.writeFile(QStringLiteral("b.log"), smallLogFile());
    f.window->openReplayFile(a);
    f.window->openReplayFile(b);
    f.window->openReplayFile(f.path(QStringLiteral("never.log"))); // fails: not remembered
    QCOMPARE(f.prompts->errors().size(), 1);
    QVERIFY(menu->menuAction()->isEnabled());
    QCOMPARE(menuTexts(menu), (QStringList{QStringLiteral("&1 ") + QDir::toNativeSeparators(b),
                                           QStringLiteral("&2 ") + QDir::toNativeSeparators(a)}));

    // Choosing one opens it for replay.
    menu->actions().at(1)->trigger();
    QCOMPARE(f.window->replay().path(), a);
    QCOMPARE(state->recentFiles(), (QStringList{a, b}));
}

void TestUserState::missingRecentFileIsReportedAndRemoved()
{
    MainWindowFixture f;
    auto state = userStateIn(f.dir);
    const QString kept = f.path(QStringLiteral("kept.log"));
    const QString gone = f.path(QStringLiteral("gone.log"));
    f.writeFile(QStringLiteral("kept.log"), smallLogFile());
    state->addRecentFile(kept);
    state->addRecentFile(gone);
    f.window->setUserState(state.get());
    auto* menu = f.window->findChild<QMenu*>(QStringLiteral("recentFilesMenu"));
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 2);

    menu->actions().at(0)->trigger();
    QCOMPARE(f.prompts->errors(), QStringList{QStringLiteral("The log file %1 no longer exists.")
                                                  .arg(QDir::toNativeSeparators(gone))});
    QVERIFY(!f.window->replay().isOpen());
    QCOMPARE(state->recentFiles(), QStringList{kept});
    QCOMPARE(menuTexts(menu), QStringList{QStringLiteral("&1 ") + QDir::toNativeSeparators(kept)});
}

void TestUserState::dialogsStartInLastFolder()
{
    MainWindowFixture f;
    auto state = userStateIn(f.dir);
    f.window->setUserState(state.get());
    QVERIFY(QDir(f.dir.path()).mkpath(QStringLiteral("surveys/river")));
    const QString folder = f.path(QStringLiteral("surveys/river"));

    f.prompts->fileAnswers << folder + QStringLiteral("/missing.log");
    f.w().openLogAction->trigger();
    QCOMPARE(f.prompts->lastStartFolder, QString()); // nothing remembered yet
    QCOMPARE(state->lastFolder(), folder);           // even though that file could not be opened

    f.prompts->fileAnswers << f.path(QStringLiteral("new.log"));
    f.w().newLogAction->trigger();
    QCOMPARE(f.prompts->lastStartFolder, folder); // New starts where Open left off
    QCOMPARE(state->lastFolder(), f.dir.path());

    f.prompts->fileAnswers << std::nullopt; // cancelled: the folder stays
    f.w().openLogAction->trigger();
    QCOMPARE(f.prompts->lastStartFolder, f.dir.path());
    QCOMPARE(state->lastFolder(), f.dir.path());
}

void TestUserState::newLogFolderIsRememberedOnlyWhenTheFileIsMade_data()
{
    QTest::addColumn<QString>("chosen"); // in the test's folder unless absolute; empty: cancel
    QTest::addColumn<bool>("existing");  // a file of that name is there and Replace gets No
    QTest::addColumn<bool>("remembered");
    QTest::newRow("made") << QStringLiteral("made/run.log") << false << true;
    QTest::newRow("folder missing") << QStringLiteral("missing/run.log") << false << false;
    QTest::newRow("folder that takes no file")
        << QStringLiteral("/proc/nonexistent/run.log") << false << false;
    QTest::newRow("Replace answered No") << QStringLiteral("made/run.log") << true << false;
    QTest::newRow("cancelled") << QString() << false << false;
}

void TestUserState::newLogFolderIsRememberedOnlyWhenTheFileIsMade()
{
    QFETCH(QString, chosen);
    QFETCH(bool, existing);
    QFETCH(bool, remembered);
    MainWindowFixture f;
    auto state = userStateIn(f.dir);
    f.window->setUserState(state.get());
    QVERIFY(QDir(f.dir.path()).mkpath(QStringLiteral("earlier")));
    QVERIFY(QDir(f.dir.path()).mkpath(QStringLiteral("made")));
    const QString earlier = f.path(QStringLiteral("earlier"));
    state->setLastFolder(earlier);
    const QString path = chosen.isEmpty() || QDir::isAbsolutePath(chosen) ? chosen : f.path(chosen);
    if (existing)
        f.writeFile(chosen, "kept\n");
    f.prompts->fileAnswers << (path.isEmpty() ? std::nullopt : std::optional<QString>(path));
    f.prompts->confirmAnswers << false;
    f.w().newLogAction->trigger();
    QCOMPARE(f.prompts->lastStartFolder, earlier);
    QCOMPARE(state->lastFolder(), remembered ? QFileInfo(path).absolutePath() : earlier);
    // The next dialog starts there.
    f.prompts->fileAnswers << std::nullopt;
    f.w().newLogAction->trigger();
    QCOMPARE(f.prompts->lastStartFolder, state->lastFolder());
    if (existing)
        QCOMPARE(f.readFile(chosen), QByteArray("kept\n"));
}

void TestUserState::windowPlace_data()
{
    QTest::addColumn<bool>("hasSaved");
    QTest::addColumn<QPoint>("saved");
    QTest::addColumn<QPoint>("expected");
    const QPoint centred(584, 299); // a 752 x 482 frame centred in 1920 x 1080
    QTest::newRow("nothing saved") << false << QPoint() << centred;
    QTest::newRow("on the first screen") << true << QPoint(40, 60) << QPoint(40, 60);
    QTest::newRow("on the second screen") << true << QPoint(2000, 100) << QPoint(2000, 100);
    QTest::newRow("on a screen since removed") << true << QPoint(4000, 100) << centred;
    QTest::newRow("above every screen") << true << QPoint(40, -300) << centred;
    QTest::newRow("title bar's start off the right edge") << true << QPoint(3800, 100) << centred;
}

void TestUserState::windowPlace()
{
    QFETCH(bool, hasSaved);
    QFETCH(QPoint, saved);
    QFETCH(QPoint, expected);
    const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
    const std::optional<QPoint> savedPlace = hasSaved ? std::optional<QPoint>(saved) : std::nullopt;
    QCOMPARE(::windowPlace(savedPlace, QSize(752, 482), screens, QRect(0, 0, 1920, 1080)),
             expected);
}

void TestUserState::offScreenPositionIsCentredOnRealScreen()
{
    MainWindowFixture f({}, false);
    auto state = userStateIn(f.dir);
    state->setWindowPosition(QPoint(-50000, -50000));
    placeMainWindow(*f.window, *state);
    const QRect available = f.window->screen()->availableGeometry();
    const QPoint centred =
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, f.window->size(), available)
            .topLeft();
    QCOMPARE(f.window->pos(), centred);
}

void TestUserState::maximisedWindowComesBackMaximised()
{
    MainWindowFixture f({}, false);
    auto state = userStateIn(f.dir);
    QVERIFY(!state->windowMaximised());
    const QPoint normal = f.window->screen()->geometry().topLeft() + QPoint(40, 30);
    f.window->move(normal);
    f.window->showMaximized();
    QTRY_VERIFY(f.window->isMaximized());
    rememberMainWindow(*f.window, *state);
    // The next run: maximised again, and its place when it is restored is the one it had.
    auto later = userStateIn(f.dir);
    QVERIFY(later->windowMaximised());
    QCOMPARE(later->windowPosition(), std::optional<QPoint>(normal));
    MainWindowFixture next({}, false);
    showMainWindow(*next.window, *later);
    QTRY_VERIFY(next.window->isMaximized());
    // Restored and left so, it is remembered so.
    next.window->showNormal();
    QTRY_VERIFY(!next.window->isMaximized());
    rememberMainWindow(*next.window, *later);
    QVERIFY(!userStateIn(f.dir)->windowMaximised());
}

void TestUserState::windowPositionRoundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!userStateIn(dir)->windowPosition());
    userStateIn(dir)->setWindowPosition(QPoint(12, 34));
    QCOMPARE(userStateIn(dir)->windowPosition(), std::optional<QPoint>(QPoint(12, 34)));

    MainWindowFixture f({}, false);
    const QRect screen = f.window->screen()->geometry();
    const QPoint onScreen = screen.topLeft() + QPoint(10, 20);
    auto state = userStateIn(f.dir);
    state->setWindowPosition(onScreen);
    placeMainWindow(*f.window, *state);
    QCOMPARE(f.window->pos(), onScreen);
}

// The window's place is stored at every exit; writing the same values again would rewrite the
// file each time.
void TestUserState::unchangedStateIsNotWrittenAgain()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("user.ini"));
    auto state = userStateIn(dir);
    state->setWindowPosition(QPoint(12, 34));
    state->setLastFolder(QStringLiteral("/data/tides"));
    state.reset();
    QVERIFY(QFile::exists(file));

    state = userStateIn(dir);
    QCOMPARE(state->windowPosition(), std::optional<QPoint>(QPoint(12, 34)));
    QVERIFY(QFile::remove(file)); // the values stay in the object, read before the removal
    state->setWindowPosition(QPoint(12, 34));
    state->setLastFolder(QStringLiteral("/data/tides"));
    state.reset();
    QVERIFY2(!QFile::exists(file), "unchanged values were written again");

    // A changed value is written.
    state = userStateIn(dir);
    state->setWindowPosition(QPoint(56, 78));
    state.reset();
    QCOMPARE(userStateIn(dir)->windowPosition(), std::optional<QPoint>(QPoint(56, 78)));
}

QTEST_MAIN(TestUserState)
#include "tst_userstate.moc"
