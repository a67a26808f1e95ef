#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString description(const QString& settingsPath)
{
    return QStringLiteral("Tessmoor Marvane: a data logger for a two-axis flow sensor.\n"
                          "Settings file in use: %1")
        .arg(QDir::toNativeSeparators(settingsPath));
}

// The parser with every option of the program; defaultSettingsPath is named by --help.
void setUpParser(QCommandLineParser& parser, const QString& defaultSettingsPath)
{
    // Qt's own options are written with one dash: -platform, -style.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(description(defaultSettingsPath));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption settingsOption(
        QStringLiteral("settings"),
        QStringLiteral("Use FILE as the settings file instead of the one named above."),
        QStringLiteral("FILE"));
    parser.addOption(settingsOption);
    parser.addPositionalArgument(QStringLiteral("LOGFILE"),
                                 QStringLiteral("A log file to open for replay, as File > Open "
                                                "does."),
                                 QStringLiteral("[LOGFILE]"));

    // Qt's own window-system options, taken by the application object once the window starts.
    for (const char* qtOption :
         {"platform", "style", "stylesheet", "qwindowgeometry", "qwindowtitle"}) {
        QCommandLineOption option(QString::fromLatin1(qtOption), QString(),
                                  QStringLiteral("VALUE"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

bool asksForHelp(const QStringList& arguments)
{
    QCommandLineParser parser;
    setUpParser(parser, QString());
    return parser.parse(arguments) &&
           (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")));
}

CommandLine parseCommandLine(const QStringList& arguments, const QString& defaultSettingsPath)
{
    CommandLine result;
    QCommandLineParser parser;
    setUpParser(parser, defaultSettingsPath);
    const QString settingsOption = QStringLiteral("settings");

    const auto fail = [&result](const QString& text) {
        result.action = CommandLine::Action::Fail;
        result.output =
            QStringLiteral("marvane: %1 (marvane --help lists the options)\n").arg(text);
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = CommandLine::Action::ShowHelp;
        // The file the program would use with these arguments, not the usual one.
        if (parser.isSet(settingsOption) && !parser.value(settingsOption).isEmpty()) {
            parser.setApplicationDescription(
                description(QFileInfo(parser.value(settingsOption)).absoluteFilePath()));
        }
        // The program's name as typed would differ between a build folder and an installation.
        result.output = parser.helpText().replace(
            QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: marvane"));
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.action = CommandLine::Action::ShowVersion;
        result.output = QStringLiteral("marvane " MARVANE_VERSION "\n");
        return result;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return fail(QStringLiteral("only one LOGFILE may be given."));
    if (parser.isSet(settingsOption) && parser.value(settingsOption).isEmpty())
        return fail(QStringLiteral("--settings needs a file name."));

    result.settingsPath = parser.isSet(settingsOption)
                              ? QFileInfo(parser.value(settingsOption)).absoluteFilePath()
                              : defaultSettingsPath;
    if (!files.isEmpty())
        result.logFile = QFileInfo(files.first()).absoluteFilePath();
    return result;
}
