// marvane-sensor-sim: a stand-in for the flow sensor. It opens a pseudo-terminal, tells which
// device path to map to a port in marvane.ini, and sends records on it the way the sensor
// does: "+00015 +00515" style X and Y fields, CR LF after each, at a steady rate, with a flow
// that drifts in speed and direction. Optional splitting and line noise exercise the way
// Marvane frames records that arrive in pieces or with rubbish after them or between them.
//
// --tcp PORT serves the same records to TCP clients instead, as a serial-to-Ethernet device
// server in raw TCP mode does with what its serial line receives: every client connected when a
// record goes out gets it; a record sent while nobody is connected is gone.
//
// --link gives the terminal a name that stays the same from run to run (the terminal's own
// number changes at every start, and a number set free may be taken by another program).
// --numbered makes every record identifiable in a log, for fault-injection runs: X carries the
// record's number in millimetres per second and Y is zero, so the logged speed is the number.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

enum class Units
{
    MillimetresPerSecond,
    MetresPerSecond,
    Knots,
};

constexpr double kPi = 3.14159265358979323846;

// One signed six-character field in the sensor's layout for the units. Built from integers so
// the point never becomes a comma under some locale.
std::string field(double metresPerSecond, Units units)
{
    const char sign = metresPerSecond < 0 ? '-' : '+';
    const double size = std::fabs(metresPerSecond);
    char body[48];
    switch (units) {
    case Units::MillimetresPerSecond: {
        const long mm = std::lround(std::fmin(size * 1000.0, 99999.0));
        std::snprintf(body, sizeof body, "%05ld", mm);
        break;
    }
    case Units::MetresPerSecond: {
        const long thousandths = std::lround(std::fmin(size * 1000.0, 9999.0));
        std::snprintf(body, sizeof body, "%ld.%03ld", thousandths / 1000, thousandths % 1000);
        break;
    }
    case Units::Knots: {
        const long hundredths = std::lround(std::fmin(size * 1.943844 * 100.0, 9999.0));
        std::snprintf(body, sizeof body, "%02ld.%02ld", hundredths / 100, hundredths % 100);
        break;
    }
    }
    return sign + std::string(body);
}

// A tidal sort of flow: the speed swells and ebbs over forty seconds, the direction swings
// over a minute and a half, and both jitter a little from record to record.
std::string record(double seconds, Units units, std::mt19937& random)
{
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    const double speed = 0.6 + 0.35 * std::sin(2 * kPi * seconds / 40) + 0.03 * jitter(random);
    const double bearing =
        (120 + 60 * std::sin(2 * kPi * seconds / 90) + 3 * jitter(random)) * kPi / 180;
    return field(speed * std::sin(bearing), units) + ' ' + field(speed * std::cos(bearing), units) +
           "\r\n";
}

// Numbered records run from 1 to kNumberCycle and then start again at 1, so that none has a
// speed of zero (whose bearing means nothing) and each fits the five digits of the field.
constexpr long long kNumberCycle = 99999;

std::string numberedRecord(long long number)
{
    char text[32];
    std::snprintf(text, sizeof text, "+%05lld +00000\r\n", (number - 1) % kNumberCycle + 1);
    return text;
}

// A few bytes of rubbish, as a noisy line or a sensor waking up produces; never a line end.
std::string noise(std::mt19937& random)
{
    std::uniform_int_distribution<int> length(1, 4);
    std::uniform_int_distribution<int> byte(1, 255);
    std::string bytes;
    for (int n = length(random); n > 0; --n) {
        char c;
        do {
            c = char(byte(random));
        } while (c == '\r' || c == '\n');
        bytes += c;
    }
    return bytes;
}

// line (a record and its CR LF) with rubbish on it that costs no record: after the record, where
// the text of its line is ignored, or on a line of its own before it.
std::string withNoise(const std::string& line, std::mt19937& random)
{
    const std::string rubbish = noise(random);
    if (std::uniform_int_distribution<int>(0, 1)(random) == 0)
        return line.substr(0, line.size() - 2) + rubbish + "\r\n";
    return rubbish + "\r\n" + line;
}

// Writes without ever waiting: with nobody reading, the terminal's buffer fills up and what
// does not fit is lost, as on a real line.
void send(int fd, const std::string& bytes)
{
    if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) < 0 && errno != EAGAIN)
        std::perror("marvane-sensor-sim: write");
}

// The listening socket of --tcp: every address of this computer, IPv6 and IPv4 alike where the
// system allows both on one socket. Returns -1 with the reason told.
int listenOn(int port, int* boundPort)
{
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    const int off = 0;
    if (fd >= 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_any;
        address.sin6_port = htons(quint16(port));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            std::perror("marvane-sensor-sim: socket");
            return -1;
        }
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(quint16(port));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::fprintf(stderr, "marvane-sensor-sim: cannot serve TCP port %d: %s\n", port,
                         std::strerror(errno));
            ::close(fd);
            return -1;
        }
    }
    if (::listen(fd, 8) != 0) {
        std::perror("marvane-sensor-sim: listen");
        ::close(fd);
        return -1;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    *boundPort = bound.ss_family == AF_INET6
                     ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                     : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return fd;
}

// The TCP clients of --tcp, taken in as they come and dropped when they go.
class Clients
{
public:
    explicit Clients(int listener) : m_listener(listener) {}
    ~Clients()
    {
        for (const int fd : m_fds)
            ::close(fd);
    }

    // Takes in whoever has connected since.
    void accept()
    {
        for (;;) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            m_fds.push_back(fd);
            std::printf("Client connected (%zu now).\n", m_fds.size());
            std::fflush(stdout);
        }
    }

    // Without ever waiting, as on a serial line: what a client's connection does not take now
    // is lost for that client. A client that has gone is dropped.
    void send(const std::string& bytes)
    {
        accept();
        for (auto it = m_fds.begin(); it != m_fds.end();) {
            if (::send(*it, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
                errno != EAGAIN && errno != EWOULDBLOCK) {
                ::close(*it);
                it = m_fds.erase(it);
                std::printf("Client gone (%zu now).\n", m_fds.size());
                std::fflush(stdout);
                continue;
            }
            ++it;
        }
    }

    // Ends every connection in order: what was sent is delivered before the end.
    void finish()
    {
        for (const int fd : m_fds) {
            ::shutdown(fd, SHUT_WR);
            ::close(fd);
        }
        m_fds.clear();
    }

private:
    int m_listener;
    std::vector<int> m_fds;
};

void addNanoseconds(timespec& t, long long ns)
{
    const long long total = t.tv_nsec + ns;
    t.tv_sec += time_t(total / 1000000000LL);
    t.tv_nsec = long(total % 1000000000LL);
}

// Sleeps until an absolute time; false when a stop was asked for meanwhile.
bool sleepUntil(const timespec& when)
{
    while (!g_stop) {
        const int result = ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr);
        if (result == 0)
            return !g_stop;
        if (result != EINTR)
            return false;
    }
    return false;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "marvane-sensor-sim: %s\n", qPrintable(message));
    return 2;
}

// Points link at target, replacing a link left by an earlier run (atomically, so that a reader
// never finds the name missing) but nothing else.
bool makeLink(const QString& link, const QByteArray& target, QString* error)
{
    const QFileInfo existing(link);
    if (existing.exists() || existing.isSymLink()) {
        if (!existing.isSymLink()) {
            *error =
                QStringLiteral("%1 exists and is not a symbolic link; it is left alone").arg(link);
            return false;
        }
    }
    const QByteArray native = QFile::encodeName(link);
    const QByteArray temporary = native + ".new-" + QByteArray::number(qint64(::getpid()));
    ::unlink(temporary.constData());
    if (::symlink(target.constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), native.constData()) != 0) {
        *error = QStringLiteral("cannot make the link %1: %2")
                     .arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

// Removes link if it still points at target: another run may have taken the name over since.
void removeLink(const QString& link, const QByteArray& target)
{
    const QByteArray native = QFile::encodeName(link);
    char buffer[4096];
    const ssize_t length = ::readlink(native.constData(), buffer, sizeof buffer);
    if (length > 0 && QByteArray(buffer, qsizetype(length)) == target)
        ::unlink(native.constData());
}

// A sensor switched off has sent its last record down the cable: before the terminal goes away,
// what is still waiting in it is given a moment to be read (as long as a reader is taking it).
void letReaderFinish(int slave)
{
    // A reader such as Marvane takes the bytes as they arrive, so a count that has not moved for
    // half a second means nobody reads. Bytes written to the master reach the slave's count a
    // moment later (the kernel passes them on from a work queue), and closing the terminal
    // throws away what the slave has not read: so the count must stay at nothing for a while,
    // not be nothing once, before the terminal may go.
    int waiting = 0;
    int previous = -1;
    int emptyChecks = 0;
    for (int i = 0; i < 200 && emptyChecks < 5; ++i) {
        ::usleep(10000);
        if (::ioctl(slave, FIONREAD, &waiting) != 0)
            return;
        if (waiting == 0) {
            ++emptyChecks;
            continue;
        }
        emptyChecks = 0;
        if (i % 50 == 0) {
            if (waiting == previous)
                return;
            previous = waiting;
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("marvane-sensor-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends flow sensor records on a pseudo-terminal, so that Marvane can be tried\n"
        "without an instrument.\n"
        "\n"
        "It prints the terminal's device path. Map one of Marvane's ports to it in the\n"
        "section [Ports] of marvane.ini, beside the program, for example\n"
        "  [Ports]\n"
        "  COM1=/dev/pts/5\n"
        "then choose that port under Communications > Options and Connect. Any speed,\n"
        "data bits, parity and stop bits do on a pseudo-terminal. Records sent while\n"
        "nothing reads wait in the terminal (a few kilobytes, then they are lost).\n"
        "Ctrl+C stops; Marvane then sees the device go away."));
    parser.addHelpOption();
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("Records per second (0.1 to 1000). "
                                                       "Default 1."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption unitsOption(
        QStringLiteral("units"),
        QStringLiteral("Record layout: mm (millimetres per second, +00450), ms (metres per "
                       "second, +0.450) or kn (knots, +00.87). Default ms."),
        QStringLiteral("U"), QStringLiteral("ms"));
    const QCommandLineOption countOption(
        QStringLiteral("count"),
        QStringLiteral("Stop after N records. Default: run until stopped."), QStringLiteral("N"),
        QStringLiteral("0"));
    const QCommandLineOption splitOption(
        QStringLiteral("split"), QStringLiteral("Send each record in two pieces, the second half "
                                                "a period after the first, so that Marvane's "
                                                "polls fall inside records."));
    const QCommandLineOption noiseOption(
        QStringLiteral("noise"),
        QStringLiteral("Put a few bytes of line noise on about one record in four: after the "
                       "record on its line, or on a line of their own before it."));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Make PATH a symbolic link to the terminal, for a [Ports] entry that stays "
                       "the same from run to run (an old link there is replaced, anything else "
                       "is refused). Removed when the simulator stops."),
        QStringLiteral("PATH"));
    const QCommandLineOption numberedOption(
        QStringLiteral("numbered"),
        QStringLiteral("Number the records: X is the record's number in mm/s layout (+00001, "
                       "+00002, ... +99999, then +00001 again), Y is +00000, so every logged "
                       "speed names its record."));
    const QCommandLineOption firstOption(
        QStringLiteral("first"),
        QStringLiteral("With --numbered: the first record's number. Default 1."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption tcpOption(
        QStringLiteral("tcp"),
        QStringLiteral("Serve the records to TCP clients on PORT (0: any free port, told at the "
                       "start) instead of a pseudo-terminal, as a serial-to-Ethernet device "
                       "server in raw TCP mode does; Marvane reads them from tcp://HOST:PORT."),
        QStringLiteral("PORT"));
    parser.addOptions({rateOption, unitsOption, countOption, splitOption, noiseOption, linkOption,
                       numberedOption, firstOption, tcpOption});
    parser.process(app);

    bool ok = false;
    const double rate = parser.value(rateOption).toDouble(&ok);
    if (!ok || !(rate >= 0.1 && rate <= 1000))
        return fail(QStringLiteral("--rate takes a number from 0.1 to 1000"));
    const long long count = parser.value(countOption).toLongLong(&ok);
    if (!ok || count < 0)
        return fail(QStringLiteral("--count takes a whole number, 0 for no limit"));
    const QString unitsName = parser.value(unitsOption);
    Units units;
    if (unitsName == QStringLiteral("mm"))
        units = Units::MillimetresPerSecond;
    else if (unitsName == QStringLiteral("ms"))
        units = Units::MetresPerSecond;
    else if (unitsName == QStringLiteral("kn"))
        units = Units::Knots;
    else
        return fail(QStringLiteral("--units takes mm, ms or kn"));
    const bool split = parser.isSet(splitOption);
    const bool noisy = parser.isSet(noiseOption);
    const bool numbered = parser.isSet(numberedOption);
    const long long first = parser.value(firstOption).toLongLong(&ok);
    if (!ok || first < 1)
        return fail(QStringLiteral("--first takes a whole number from 1"));
    if (numbered)
        units = Units::MillimetresPerSecond;
    const QString link = parser.value(linkOption);
    if (parser.isSet(linkOption) && link.isEmpty())
        return fail(QStringLiteral("--link takes a path"));
    const bool tcp = parser.isSet(tcpOption);
    const int tcpPort = parser.value(tcpOption).toInt(&ok);
    if (tcp && (!ok || tcpPort < 0 || tcpPort > 65535))
        return fail(QStringLiteral("--tcp takes a port number from 0 to 65535"));
    if (tcp && parser.isSet(linkOption))
        return fail(QStringLiteral("--link names a terminal; with --tcp there is none"));

    struct sigaction stop = {};
    stop.sa_handler = requestStop;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGHUP, &stop, nullptr);

    int listener = -1;
    int boundPort = 0;
    if (tcp) {
        listener = listenOn(tcpPort, &boundPort);
        if (listener < 0)
            return 1;
    }
    Clients clients(listener);

    // Raw from the start: no echo back to us and no line-end translation before Marvane sets
    // the line up itself. The slave side stays open here too, so the terminal lives on while
    // Marvane disconnects and connects again.
    termios raw{};
    ::cfmakeraw(&raw);
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (!tcp) {
        if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
            std::perror("marvane-sensor-sim: openpty");
            return 1;
        }
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }

    const QByteArray device(name);
    if (!link.isEmpty()) {
        QString error;
        if (!makeLink(link, device, &error)) {
            ::close(slave);
            ::close(master);
            return fail(error);
        }
    }
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> oneIn4(0, 3);
    const long long period = std::llround(1e9 / rate);
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    const QString mapped =
        link.isEmpty() ? QString::fromLocal8Bit(device) : QFileInfo(link).absoluteFilePath();
    const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(boundPort);
    if (tcp)
        std::printf("Sensor simulator on TCP port %d\n"
                    "Record from it with marvane-record --port %s, or map a port to it in "
                    "marvane.ini:\n",
                    boundPort, qPrintable(address));
    else
        std::printf("Sensor simulator on %s\n"
                    "Map a port to it in marvane.ini:\n",
                    qPrintable(mapped));
    std::printf("  [Ports]\n"
                "  COM1=%s\n"
                "Sending %s records a second in %s layout%s. Ctrl+C stops.\n",
                qPrintable(tcp ? address : mapped), qPrintable(QString::number(rate)),
                qPrintable(numbered ? QStringLiteral("mm") : unitsName),
                numbered ? qPrintable(QStringLiteral(", numbered from %1").arg(first)) : "");
    // A fault-injection run works out from this which records went out while it had the
    // recorder stopped.
    if (numbered) {
        std::printf("Record %lld goes out at %lld.%09ld s of the monotonic clock, then one every "
                    "%lld ns.\n",
                    first, static_cast<long long>(next.tv_sec), next.tv_nsec, period);
    }
    std::fflush(stdout);

    // The line: the terminal, or every TCP client.
    const auto out = [&](const std::string& bytes) {
        if (tcp)
            clients.send(bytes);
        else
            send(master, bytes);
    };
    long long sent = 0;
    while (!g_stop && (count == 0 || sent < count)) {
        std::string line =
            numbered ? numberedRecord(first + sent) : record(double(sent) / rate, units, random);
        if (noisy && oneIn4(random) == 0)
            line = withNoise(line, random);
        if (split) {
            std::uniform_int_distribution<std::size_t> cut(1, line.size() - 1);
            const std::size_t at = cut(random);
            out(line.substr(0, at));
            timespec half = next;
            addNanoseconds(half, period / 2);
            if (!sleepUntil(half))
                break;
            out(line.substr(at));
        } else {
            out(line);
        }
        ++sent;
        // After the last record too, so a reader has a period's time to fetch it before the
        // terminal goes away.
        addNanoseconds(next, period);
        if (!sleepUntil(next))
            break;
    }

    if (tcp) {
        clients.finish();
        ::close(listener);
    } else {
        letReaderFinish(slave);
    }
    if (!link.isEmpty())
        removeLink(link, device);
    if (numbered)
        std::printf("Stopped after %lld records, the last numbered %lld.\n", sent,
                    first + sent - 1);
    else
        std::printf("Stopped after %lld records.\n", sent);
    std::fflush(stdout);
    if (!tcp) {
        ::close(slave);
        ::close(master);
    }
    return 0;
}
