// Marvane: a data logger for a two-axis flow sensor on a serial line.

#include "app/Artwork.h"
#include "app/CommandLine.h"
#include "app/Look.h"
#include "app/MainWindow.h"
#include "app/StartupBenchmark.h"
#include "app/UserState.h"
#include "settings/SettingsLocation.h"

#include <QApplication>
#include <QSettings>
#include <QTimer>

#include <cstdio>

namespace {

// Reads the command line before the window system starts, so that --help, --version and a wrong
// command line are answered without a display. A normal start builds one application object
// only; the settings file's default place needs the program's folder, known once that object
// exists, so it is left empty here, except for --help, which names it.
CommandLine readCommandLine(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!asksForHelp(arguments))
        return parseCommandLine(arguments, QString());
    int count = argc;
    QCoreApplication app(count, argv);
    return parseCommandLine(arguments, settingsFilePath());
}

} // namespace

int main(int argc, char* argv[])
{
    CommandLine commandLine = readCommandLine(argc, argv);
    if (commandLine.action != CommandLine::Action::Run) {
        std::FILE* out = commandLine.action == CommandLine::Action::Fail ? stderr : stdout;
        std::fputs(commandLine.output.toLocal8Bit().constData(), out);
        return commandLine.exitCode();
    }

    QApplication app(argc, argv);
    QApplication::setStyle(createProgramStyle(QApplication::style()));
    QApplication::setApplicationName(MainWindow::appTitle);
    QApplication::setApplicationVersion(QStringLiteral(MARVANE_VERSION));
    QApplication::setWindowIcon(programIcon());
    // The main window ends the program when it closes, even with other windows open.
    QApplication::setQuitOnLastWindowClosed(false);
    if (commandLine.settingsPath.isEmpty())
        commandLine.settingsPath = settingsFilePath();

    // Window position, last folder and recent files: the user's own, never in marvane.ini.
    UserState userState(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                    QStringLiteral("Tessmoor"),
                                                    QStringLiteral("Marvane")));
    MainWindow mainWindow(commandLine.settingsPath);
    mainWindow.setUserState(&userState);
    QObject::connect(&mainWindow, &MainWindow::closed, &app, &QCoreApplication::quit);
    QObject::connect(&mainWindow, &MainWindow::closed, &app,
                     [&] { rememberMainWindow(mainWindow, userState); });
    placeMainWindow(mainWindow, userState);
    quitForStartupBenchmark(&mainWindow);
    showMainWindow(mainWindow, userState);
    if (!commandLine.logFile.isEmpty()) {
        // Once the window is up, so that an error box has it to stand over.
        QTimer::singleShot(0, &mainWindow, [&] { mainWindow.openReplayFile(commandLine.logFile); });
    }
    return app.exec();
}
