#pragma once
// The program's command line: marvane [--settings FILE] [LOGFILE], --help, --version.
// Decided before any window exists, so that --help, --version and a wrong command line work
// without a display.

#include <QString>
#include <QStringList>

struct CommandLine
{
    enum class Action
    {
        Run,         // start the window
        ShowHelp,    // print output to standard output, exit 0
        ShowVersion, // print output to standard output, exit 0
        Fail,        // print output (one line) to standard error, exit 2
    };

    Action action = Action::Run;
    QString settingsPath; // the settings file to use
    QString logFile;      // a log file to open for replay, absolute; empty for none
    QString output;       // what to print for ShowHelp, ShowVersion and Fail

    int exitCode() const { return action == Action::Fail ? 2 : 0; }
};

// arguments: as QCoreApplication::arguments() gives them, the program first.
// defaultSettingsPath: the settings file used when --settings is not given (named by --help); when
// empty, settingsPath is left empty unless --settings names a file. Needs an application object
// only when the arguments ask for help (asksForHelp).
CommandLine parseCommandLine(const QStringList& arguments, const QString& defaultSettingsPath);

// True when the arguments ask for --help: the only answer that needs an application object and the
// settings file's default place, which a normal start finds only once its window system is up.
bool asksForHelp(const QStringList& arguments);
