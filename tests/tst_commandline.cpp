// The program's command line: --help, --version, a log file to replay, --settings, and what a
// wrong command line gets; a log file given there or dropped on the window opens as File > Open
// opens it.

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "replay/ReplaySession.h"
#include "tests/support/LogFiles.h"
#include "tests/support/MainWindowFixture.h"

#include <QAction>
#include <QDir>
#include <QFrame>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include <sys/stat.h>

Q_DECLARE_METATYPE(CommandLine::Action)

namespace {

const QString kDefaultSettings =
    QStringLiteral("/home/operator/.config/Tessmoor/Marvane/marvane.ini");

QString inWorkingDir(const QString& name)
{
    return QDir::current().absoluteFilePath(name);
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void helpIsToldBeforeAnyApplicationExists_data();
    void helpIsToldBeforeAnyApplicationExists();
    void programAnswersWithoutDisplay_data();
    void programAnswersWithoutDisplay();
    void unreadableSettingsNeverHoldTheWindowBack_data();
    void unreadableSettingsNeverHoldTheWindowBack();
    void logFileOpensAsFileOpenDoes();
    void missingLogFileGivesFileOpensErrorBox();
    void droppedFileOpensForReplay();
    void dropOfOtherThanOneLocalFileIsRefused_data();
    void dropOfOtherThanOneLocalFileIsRefused();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<CommandLine::Action>("action");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // a line the output holds (the whole of it for Fail)
    QTest::addColumn<QString>("settingsPath");
    QTest::addColumn<QString>("logFile");

    const auto args = [](std::initializer_list<const char*> list) {
        QStringList out{QStringLiteral("/usr/bin/marvane")};
        for (const char* a : list)
            out << QString::fromLatin1(a);
        return out;
    };
    using A = CommandLine::Action;
    QTest::newRow("nothing") << args({}) << A::Run << 0 << QString() << kDefaultSettings
                             << QString();
    QTest::newRow("help") << args({"--help"}) << A::ShowHelp << 0
                          << QStringLiteral("Settings file in use: ") + kDefaultSettings
                          << QString() << QString();
    QTest::newRow("help with another settings file")
        << args({"--settings", "lab.ini", "--help"}) << A::ShowHelp << 0
        << QStringLiteral("Settings file in use: ") +
               QDir::toNativeSeparators(inWorkingDir(QStringLiteral("lab.ini")))
        << QString() << QString();
    QTest::newRow("help before another settings file")
        << args({"--help", "--settings=/srv/marvane/lab.ini"}) << A::ShowHelp << 0
        << QStringLiteral("Settings file in use: /srv/marvane/lab.ini") << QString() << QString();
    QTest::newRow("help, short") << args({"-h"}) << A::ShowHelp << 0
                                 << QStringLiteral("Usage: marvane [options] [LOGFILE]")
                                 << QString() << QString();
    QTest::newRow("version") << args({"--version"}) << A::ShowVersion << 0
                             << QStringLiteral("marvane 4.01") << QString() << QString();
    QTest::newRow("a file") << args({"survey.log"}) << A::Run << 0 << QString() << kDefaultSettings
                            << inWorkingDir(QStringLiteral("survey.log"));
    QTest::newRow("another settings file")
        << args({"--settings", "lab.ini", "/data/survey.log"}) << A::Run << 0 << QString()
        << inWorkingDir(QStringLiteral("lab.ini")) << QStringLiteral("/data/survey.log");
    QTest::newRow("Qt's own option")
        << args({"-platform", "offscreen", "a.log"}) << A::Run << 0 << QString() << kDefaultSettings
        << inWorkingDir(QStringLiteral("a.log"));
    QTest::newRow("unknown option")
        << args({"--bogus"}) << A::Fail << 2
        << QStringLiteral("marvane: Unknown option 'bogus'. (marvane --help lists the options)")
        << QString() << QString();
    QTest::newRow("two files")
        << args({"a.log", "b.log"}) << A::Fail << 2
        << QStringLiteral("marvane: only one LOGFILE may be given. (marvane --help lists the "
                          "options)")
        << QString() << QString();
    QTest::newRow("settings without a file")
        << args({"--settings"}) << A::Fail << 2
        << QStringLiteral("marvane: Missing value after '--settings'. (marvane --help lists the "
                          "options)")
        << QString() << QString();
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(CommandLine::Action, action);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, settingsPath);
    QFETCH(QString, logFile);

    const CommandLine line = parseCommandLine(arguments, kDefaultSettings);
    QCOMPARE(line.action, action);
    QCOMPARE(line.exitCode(), exitCode);
    if (action == CommandLine::Action::Fail) {
        QCOMPARE(line.output, output + QLatin1Char('\n')); // one line
    } else if (!output.isEmpty()) {
        QVERIFY2(line.output.split(QLatin1Char('\n')).contains(output), qPrintable(line.output));
    }
    if (action == CommandLine::Action::Run) {
        QCOMPARE(line.settingsPath, settingsPath);
        QCOMPARE(line.logFile, logFile);
    }
}

// A normal start reads its command line before the application object exists; only --help needs
// one (and the settings file's default place), so the program asks first.
void TestCommandLine::helpIsToldBeforeAnyApplicationExists_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("help");
    const QString program = QStringLiteral("marvane");
    QTest::newRow("nothing") << QStringList{program} << false;
    QTest::newRow("--help") << QStringList{program, QStringLiteral("--help")} << true;
    QTest::newRow("-h") << QStringList{program, QStringLiteral("-h")} << true;
    QTest::newRow("-help") << QStringList{program, QStringLiteral("-help")} << true;
    QTest::newRow("--help-all") << QStringList{program, QStringLiteral("--help-all")} << true;
    QTest::newRow("help after a file")
        << QStringList{program, QStringLiteral("tide.log"), QStringLiteral("--help")} << true;
    QTest::newRow("file") << QStringList{program, QStringLiteral("tide.log")} << false;
    QTest::newRow("--version") << QStringList{program, QStringLiteral("--version")} << false;
    QTest::newRow("unknown option") << QStringList{program, QStringLiteral("--helpme")} << false;
    QTest::newRow("platform") << QStringList{program, QStringLiteral("-platform"),
                                             QStringLiteral("offscreen")}
                              << false;
}

void TestCommandLine::helpIsToldBeforeAnyApplicationExists()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, help);
    QCOMPARE(asksForHelp(arguments), help);
    if (help)
        return;
    // Without a default place, only --settings names the settings file.
    const CommandLine line = parseCommandLine(arguments, QString());
    QVERIFY(line.action != CommandLine::Action::ShowHelp);
    QVERIFY(line.settingsPath.isEmpty());
    const CommandLine named = parseCommandLine(
        QStringList{arguments.first(), QStringLiteral("--settings"), QStringLiteral("my.ini")},
        QString());
    QCOMPARE(named.settingsPath, QDir::current().absoluteFilePath(QStringLiteral("my.ini")));
}

void TestCommandLine::programAnswersWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("stdOut");
    QTest::addColumn<QByteArray>("stdErr");
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0
                             << QByteArray("marvane 4.01\n") << QByteArray();
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("--bogus")} << 2 << QByteArray()
        << QByteArray("marvane: Unknown option 'bogus'. (marvane --help lists the options)\n");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0
                          << QByteArray("Usage: marvane [options] [LOGFILE]\n") << QByteArray();
    QTest::newRow("help naming another settings file")
        << QStringList{QStringLiteral("--settings"), QStringLiteral("/srv/marvane/lab.ini"),
                       QStringLiteral("--help")}
        << 0 << QByteArray("Settings file in use: /srv/marvane/lab.ini\n") << QByteArray();
}

void TestCommandLine::programAnswersWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, stdOut);
    QFETCH(QByteArray, stdErr);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    // Finding the settings file for --help may make the user's configuration folder: keep it
    // out of the real one.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MARVANE_PROGRAM), arguments);
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray out = program.readAllStandardOutput();
    if (arguments.contains(QStringLiteral("--help")))
        QVERIFY2(out.startsWith(stdOut) || out.contains("\n" + stdOut), out.constData());
    else
        QCOMPARE(out, stdOut);
    QCOMPARE(program.readAllStandardError(), stdErr);
}

void TestCommandLine::unreadableSettingsNeverHoldTheWindowBack_data()
{
    QTest::addColumn<QString>("settings"); // made here when not absolute
    QTest::newRow("FIFO") << QStringLiteral("fifo");
    QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero");
    QTest::newRow("directory") << QStringLiteral("directory");
}

void TestCommandLine::unreadableSettingsNeverHoldTheWindowBack()
{
    QFETCH(QString, settings);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (settings == QLatin1String("fifo")) {
        settings = dir.filePath(QStringLiteral("marvane.ini"));
        QCOMPARE(::mkfifo(QFile::encodeName(settings).constData(), 0600), 0);
    } else if (settings == QLatin1String("directory")) {
        settings = dir.filePath(QStringLiteral("marvane.ini"));
        QVERIFY(QDir().mkdir(settings));
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    // The program ends once its window has painted its first frame.
    env.insert(QStringLiteral("MARVANE_QUIT_AFTER_SHOW"), QStringLiteral("paint"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MARVANE_PROGRAM), {QStringLiteral("--settings"), settings});
    QVERIFY2(program.waitForFinished(60000), "the window never showed");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

void TestCommandLine::logFileOpensAsFileOpenDoes()
{
    MainWindowFixture f;
    f.writeFile(QStringLiteral("survey.log"), smallLogFile());
    const QString path = f.path(QStringLiteral("survey.log"));
    f.window->openReplayFile(path);
    QVERIFY(f.prompts->shown.isEmpty());
    QVERIFY(f.window->replay().isOpen());
    QCOMPARE(f.window->replay().path(), path);
    QCOMPARE(f.window->windowTitle(),
             QStringLiteral("Tessmoor Marvane - ") + QDir::toNativeSeparators(path));
    QVERIFY(f.w().replayBar->isVisible());
    QVERIFY(f.w().closeLogAction->isEnabled());
}

void TestCommandLine::missingLogFileGivesFileOpensErrorBox()
{
    MainWindowFixture byOpen;
    const QString missing = byOpen.path(QStringLiteral("gone.log"));
    byOpen.prompts->fileAnswers << missing;
    byOpen.w().openLogAction->trigger();
    QCOMPARE(byOpen.prompts->errors().size(), 1);

    MainWindowFixture byCommandLine;
    byCommandLine.window->openReplayFile(missing);
    QCOMPARE(byCommandLine.prompts->errors(), byOpen.prompts->errors());
    QVERIFY(byCommandLine.prompts->errors().constFirst().startsWith(
        QStringLiteral("Unable to open the log file ") + missing));
    QVERIFY(!byCommandLine.window->replay().isOpen());
    QVERIFY(!byCommandLine.w().replayBar->isVisible());
}

void TestCommandLine::droppedFileOpensForReplay()
{
    MainWindowFixture f;
    f.writeFile(QStringLiteral("dropped.log"), smallLogFile());
    const QString path = f.path(QStringLiteral("dropped.log"));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at(300, 200);

    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.window.get(), &drop);
    QVERIFY(drop.isAccepted());
    QTRY_VERIFY(f.window->replay().isOpen());
    QCOMPARE(f.window->replay().path(), path);
    QVERIFY(f.w().replayBar->isVisible());
    QVERIFY(f.prompts->shown.isEmpty());
}

void TestCommandLine::dropOfOtherThanOneLocalFileIsRefused_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("two files") << QStringLiteral("two");
    QTest::newRow("a folder") << QStringLiteral("folder");
    QTest::newRow("a web address") << QStringLiteral("web");
    QTest::newRow("text") << QStringLiteral("text");
}

void TestCommandLine::dropOfOtherThanOneLocalFileIsRefused()
{
    QFETCH(QString, what);
    MainWindowFixture f;
    f.writeFile(QStringLiteral("a.log"), smallLogFile());
    f.writeFile(QStringLiteral("b.log"), smallLogFile());
    QMimeData mime;
    if (what == QLatin1String("two"))
        mime.setUrls({QUrl::fromLocalFile(f.path(QStringLiteral("a.log"))),
                      QUrl::fromLocalFile(f.path(QStringLiteral("b.log")))});
    else if (what == QLatin1String("folder"))
        mime.setUrls({QUrl::fromLocalFile(f.dir.path())});
    else if (what == QLatin1String("web"))
        mime.setUrls({QUrl(QStringLiteral("https://example.com/a.log"))});
    else
        mime.setText(f.path(QStringLiteral("a.log")));

    QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(f.window.get(), &enter);
    QVERIFY(!enter.isAccepted());
    QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QCoreApplication::sendEvent(f.window.get(), &drop);
    QVERIFY(!drop.isAccepted());
    QCoreApplication::processEvents();
    QVERIFY(!f.window->replay().isOpen());
    QVERIFY(f.prompts->shown.isEmpty());
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
