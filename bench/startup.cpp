// How long the program takes to start: from launching the executable until it has shown its main
// window and quit again, on the offscreen platform, against a minimal Qt Widgets program that
// does the same with an empty main window. The two are started alternately, so that a machine
// that is busy for a while slows both alike; the figures are medians, and the minimal program's
// fastest start is printed beside its median to show how noisy the machine is.
//
// The program leaves after its first show when MARVANE_QUIT_AFTER_SHOW is set, or after its first
// painted frame when it is "paint". Both moments are timed: the first is the window built and
// shown, the second adds what a person waits for until it is drawn (fonts for every text, the
// dials' faces, the pictures).
//
//   startup [--rounds N] [--timeout S] [PROGRAM [MINIMAL]]
//
// PROGRAM and MINIMAL default to the marvane and minimal_window executables of this build.
// Last two lines:
//   "startup to first frame: marvane N ms, minimal Qt M ms, ratio R"
//   "startup: marvane N ms, minimal Qt M ms, ratio R"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

struct Launch
{
    QString program;
    QString name;
    std::vector<double> shown;   // until the main window is shown
    std::vector<double> painted; // until its first frame is painted
};

// One start of a program, in milliseconds until it has ended; nothing when it failed to start,
// did not end in time, or ended in failure (what it said is printed).
std::optional<double> timeOneStart(const Launch& launch, const QString& quitAfter, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("MARVANE_QUIT_AFTER_SHOW"), quitAfter);
    process.setProcessEnvironment(environment);
    // What it says is shown only when it fails.
    process.setProcessChannelMode(QProcess::MergedChannels);

    QElapsedTimer clock;
    clock.start();
    process.start(launch.program, {QStringLiteral("-platform"), QStringLiteral("offscreen")});
    if (!process.waitForStarted(timeoutMs)) {
        std::fprintf(stderr, "startup: cannot start %s: %s\n", qPrintable(launch.program),
                     qPrintable(process.errorString()));
        return std::nullopt;
    }
    if (!process.waitForFinished(timeoutMs)) {
        std::fprintf(stderr,
                     "startup: %s was still running after %d ms; does it quit after its first "
                     "show when MARVANE_QUIT_AFTER_SHOW is set?\n",
                     qPrintable(launch.program), timeoutMs);
        process.kill();
        process.waitForFinished();
        std::fprintf(stderr, "%s", process.readAll().constData());
        return std::nullopt;
    }
    const double elapsed = clock.nsecsElapsed() / 1e6;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "startup: %s ended with status %d\n%s", qPrintable(launch.program),
                     process.exitCode(), process.readAll().constData());
        return std::nullopt;
    }
    return elapsed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double minimum(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times the program's start, until its main window is shown, against a minimal Qt "
        "Widgets program."));
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Starts of each program (default 20)."),
                                          QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"), QStringLiteral("Seconds one start may take (default 30)."),
        QStringLiteral("S"), QStringLiteral("30"));
    parser.addOption(roundsOption);
    parser.addOption(timeoutOption);
    parser.addPositionalArgument(QStringLiteral("program"),
                                 QStringLiteral("The marvane executable (default: this build's)."),
                                 QStringLiteral("[program]"));
    parser.addPositionalArgument(
        QStringLiteral("minimal"),
        QStringLiteral("The minimal window executable (default: this build's)."),
        QStringLiteral("[minimal]"));
    parser.process(app);

    bool roundsOk = false;
    const int rounds = parser.value(roundsOption).toInt(&roundsOk);
    bool timeoutOk = false;
    const int timeoutSeconds = parser.value(timeoutOption).toInt(&timeoutOk);
    const QStringList paths = parser.positionalArguments();
    if (!roundsOk || rounds < 1 || !timeoutOk || timeoutSeconds < 1 || paths.size() > 2) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }

    Launch marvane{
        paths.value(0, QStringLiteral(MARVANE_PROGRAM)), QStringLiteral("marvane"), {}, {}};
    Launch minimal{paths.value(1, QStringLiteral(MINIMAL_WINDOW_PROGRAM)),
                   QStringLiteral("minimal Qt"), {}, {}};

    for (int round = 0; round < rounds; ++round) {
        for (Launch* launch : {&marvane, &minimal}) {
            const std::optional<double> shown =
                timeOneStart(*launch, QStringLiteral("1"), timeoutSeconds * 1000);
            const std::optional<double> painted =
                timeOneStart(*launch, QStringLiteral("paint"), timeoutSeconds * 1000);
            if (!shown || !painted)
                return 1;
            launch->shown.push_back(*shown);
            launch->painted.push_back(*painted);
        }
    }

    for (const Launch* launch : {&marvane, &minimal})
        std::printf("%s: %d starts each; shown: fastest %.1f ms, median %.1f ms; first frame: "
                    "fastest %.1f ms, median %.1f ms\n",
                    qPrintable(launch->name), rounds, minimum(launch->shown),
                    median(launch->shown), minimum(launch->painted), median(launch->painted));
    const auto ratioLine = [](const char* what, const std::vector<double>& program,
                              const std::vector<double>& yardstick) {
        std::printf("%s: marvane %.0f ms, minimal Qt %.0f ms, ratio %.2f\n", what,
                    median(program), median(yardstick), median(program) / median(yardstick));
    };
    ratioLine("startup to first frame", marvane.painted, minimal.painted);
    ratioLine("startup", marvane.shown, minimal.shown);
    return 0;
}
