#include "sources/SerialConnection.h"

#include "settings/PortMapping.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include <errno.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString text(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

// QSerialPort takes a bare name ("ttyUSB0") as a device under /dev and anything that looks like
// a path as it is; the connection reports, checks and watches the same path.
QString systemPath(const QString& deviceName)
{
    if (deviceName.startsWith(QLatin1Char('/')) || deviceName.startsWith(text("./")) ||
        deviceName.startsWith(text("../")))
        return deviceName;
    return text("/dev/") + deviceName;
}

// Directories where serial programs leave their "LCK.." files, in the order QSerialPort tries
// them; minicom, picocom and the lockdev library use the first ones.
const char* const kLockDirectories[] = {"/var/lock",        "/run/lock",        "/etc/locks",
                                        "/var/spool/locks", "/var/spool/uucp",  "/tmp",
                                        "/var/tmp",         "/var/lock/lockdev"};

// Names a lock file of the device may have: QSerialPort's (the path below /dev with '/' made
// '_') and the traditional one (the file name alone), for the path as given and as resolved.
QStringList lockFileNames(const QString& path)
{
    QStringList names;
    QStringList paths{path};
    const QString resolved = QFileInfo(path).canonicalFilePath();
    if (!resolved.isEmpty() && resolved != path)
        paths.append(resolved);
    for (const QString& p : paths) {
        QString qtName = p.startsWith(text("/dev/")) ? p.mid(5) : p;
        qtName.replace(QLatin1Char('/'), QLatin1Char('_'));
        for (const QString& name : {qtName, QFileInfo(p).fileName()}) {
            const QString lockName = text("LCK..") + name;
            if (!names.contains(lockName))
                names.append(lockName);
        }
    }
    return names;
}

struct LockHolder
{
    qint64 pid = 0;
    QString command; // the process's name from /proc, possibly empty
};

// The live process named by a lock file of the device, if any. Lock files hold the PID as
// decimal text on their first line (QLockFile, and the UUCP style that pads it with blanks).
std::optional<LockHolder> lockHolder(const QString& path)
{
    const QStringList names = lockFileNames(path);
    for (const char* dir : kLockDirectories) {
        for (const QString& name : names) {
            QFile lock(QDir(text(dir)).filePath(name));
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            bool ok = false;
            const qint64 pid = lock.readLine(64).trimmed().toLongLong(&ok);
            if (!ok || pid <= 0)
                continue;
            const QString procDir = text("/proc/") + QString::number(pid);
            if (!QFileInfo::exists(procDir))
                continue; // a stale lock: its process has ended
            QFile comm(procDir + text("/comm"));
            LockHolder holder{pid, {}};
            if (comm.open(QIODevice::ReadOnly))
                holder.command = QString::fromLocal8Bit(comm.readAll().trimmed());
            return holder;
        }
    }
    return std::nullopt;
}

// QSerialPort refuses to open a device when it cannot make its lock file in any of the
// directories above.
bool lockFileCanBeMade()
{
    for (const char* dir : kLockDirectories) {
        const QFileInfo info(text(dir));
        if (info.isDir() && info.isReadable() && info.isWritable())
            return true;
    }
    return false;
}

QString inUseReason(const QString& path)
{
    const std::optional<LockHolder> holder = lockHolder(path);
    if (holder && holder->pid == QCoreApplication::applicationPid())
        return path + text(" is already open in this program.");
    if (holder && !holder->command.isEmpty())
        return text("%1 is in use by %2 (process %3).")
            .arg(path, holder->command, QString::number(holder->pid));
    if (holder)
        return text("%1 is in use by process %2.").arg(path, QString::number(holder->pid));
    return path + text(" is in use by another program.");
}

QString missingDeviceReason(const QString& path, const QString& portName)
{
    // The hint about [Ports] fits a COM name (or none), not a device path given as such.
    if (!portName.isEmpty() && !isComPortName(portName))
        return text("No such device: %1.").arg(path);
    const QString port = portName.isEmpty() ? text("COM1") : portName;
    const QString which = portName.isEmpty() ? text("Each of COM1 to COM4") : portName;
    return text("No such device: %1.\n"
                "%2 can be mapped to another device in the [Ports] section of marvane.ini, "
                "for example %3=/dev/ttyUSB0.")
        .arg(path, which, port);
}

// Serial devices are usually readable by one group (dialout on Debian and Ubuntu, uucp on Arch);
// joining it is the usual cure. A device no group may read needs its permissions changed.
QString permissionReason(const QString& path, const struct stat& st)
{
    QString reason = text("Permission denied for %1.").arg(path);
    const struct group* owner = ::getgrgid(st.st_gid);
    if ((st.st_mode & S_IRGRP) && st.st_gid != 0 && owner)
        reason += text("\nAdd your user to the group %1 and log in again.")
                      .arg(QString::fromLocal8Bit(owner->gr_name));
    return reason;
}

// Why an open failed, worked out from the file system rather than from QSerialPort's error,
// which says "permission" both for a device held by someone else and for one we may not read.
QString openFailureReason(const QString& path, const QSerialPort& port, const QString& portName)
{
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat st;
    if (::stat(nativePath.constData(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return missingDeviceReason(path, portName);
        if (error == EACCES)
            return text("Permission denied for %1.").arg(path);
        return text("%1: %2.").arg(path, QString::fromLocal8Bit(::strerror(error)));
    }
    if (!S_ISCHR(st.st_mode))
        return path + text(" is not a serial device.");
    if (lockHolder(path))
        return inUseReason(path);
    if (::access(nativePath.constData(), R_OK) != 0 && errno == EACCES)
        return permissionReason(path, st);
    switch (port.error()) {
    case QSerialPort::PermissionError:
        if (!lockFileCanBeMade())
            return text("%1 cannot be locked for this program: none of /var/lock, /run/lock and "
                        "/tmp may be written.")
                .arg(path);
        // Readable by us, so what refused is a lock file or another program's exclusive hold
        // on the line (the system says "device or resource busy").
        return inUseReason(path);
    case QSerialPort::DeviceNotFoundError:
        return missingDeviceReason(path, portName);
    default:
        return text("%1: %2.").arg(path, port.errorString());
    }
}

} // namespace

QtLineSettings qtLineSettings(const PortSettings& settings)
{
    QtLineSettings line;
    // A speed of 0 comes from an out-of-range choice in the settings file; the serial driver of
    // the original platform refuses it and keeps its speed, and so does this connection.
    if (settings.baudRateValue > 0 &&
        settings.baudRateValue <= quint32(std::numeric_limits<qint32>::max()))
        line.baudRate = qint32(settings.baudRateValue);
    switch (settings.byteSizeValue) {
    case 5:
        line.dataBits = QSerialPort::Data5;
        break;
    case 6:
        line.dataBits = QSerialPort::Data6;
        break;
    case 7:
        line.dataBits = QSerialPort::Data7;
        break;
    case 8:
        line.dataBits = QSerialPort::Data8;
        break;
    default:
        break;
    }
    switch (settings.parityValue) {
    case 0:
        line.parity = QSerialPort::NoParity;
        break;
    case 1:
        line.parity = QSerialPort::OddParity;
        break;
    case 2:
        line.parity = QSerialPort::EvenParity;
        break;
    case 3:
        line.parity = QSerialPort::MarkParity;
        break;
    case 4:
        line.parity = QSerialPort::SpaceParity;
        break;
    default:
        break;
    }
    // One and a half stop bits exist for the sender's sake: a receiver checks only the first
    // stop bit, so any setting reads the sensor alike. Linux has no such setting; QSerialPort
    // accepts OneAndHalfStop there and applies one stop bit.
    switch (settings.stopBitsValue) {
    case 0:
        line.stopBits = QSerialPort::OneStop;
        break;
    case 1:
        line.stopBits = QSerialPort::OneAndHalfStop;
        break;
    case 2:
        line.stopBits = QSerialPort::TwoStop;
        break;
    default:
        break;
    }
    return line;
}

SerialConnection::SerialConnection(QObject* parent) : QObject(parent) {}

SerialConnection::~SerialConnection()
{
    closePort();
}

bool SerialConnection::open(const QString& devicePath, QString* reason, const QString& portName,
                            const PortSettings* settings, WaitingInput waiting)
{
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (devicePath.isEmpty())
        return fail(text("No device is mapped to this port."));

    const QString path = systemPath(devicePath);
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(path);
    // QSerialPort keeps other Qt programs out with a lock file and other users with TIOCEXCL.
    if (!port->open(QIODevice::ReadOnly))
        return fail(openFailureReason(path, *port, portName));

    // The lock file is named after the path, so the same device reached through a link (say
    // /dev/serial/by-id/...) would pass it, and TIOCEXCL does not stop root. An flock on the
    // device node holds against both, and against terminal programs that use flock.
    struct stat opened;
    if (::flock(port->handle(), LOCK_EX | LOCK_NB) != 0 || ::fstat(port->handle(), &opened) != 0) {
        port->close();
        return fail(inUseReason(path));
    }

    // Only now, with the new device held, does a running connection give way.
    ++m_connection;
    closePort();
    m_port = std::move(port);
    m_devicePath = path;
    m_deviceId = quint64(opened.st_dev);
    m_deviceInode = quint64(opened.st_ino);
    m_keptAfterLoss.clear();
    m_fetched.clear();
    connect(m_port.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { handleError(error); });
    if (settings)
        applyParameters(*settings);
    else
        applyLineBehaviour();
    // At Connect the line was not ours until now: what waits in the port arrived before (a
    // sensor that kept sending into a closed port, or the tail of another program's session),
    // possibly with other line parameters. Only what arrives from now on is read. A device that
    // comes back was ours a moment ago: what it sent since is fresh, and kept.
    if (isOpen() && waiting == WaitingInput::Discard)
        m_port->clear(QSerialPort::Input);
    // Every byte is read as it arrives: a record's time is the moment its line end is read, so
    // nothing may wait for a timer between the line and the program. QSerialPort reads what
    // the system holds at each wake-up (one per record at a sensor's usual rates); a busy line
    // is read in larger pieces, as fast as the program takes them.
    if (isOpen())
        connect(m_port.get(), &QSerialPort::readyRead, this, &SerialConnection::onReadyRead);
    return true;
}

void SerialConnection::onReadyRead()
{
    if (!isOpen())
        return;
    m_fetched += m_port->readAll();
    emit bytesArrived();
}

void SerialConnection::close()
{
    ++m_connection; // a loss notice still on its way belongs to the connection just ended
    closePort();
    m_port.reset();
    m_keptAfterLoss.clear();
    m_fetched.clear();
}

qint64 SerialConnection::bytesFetched() const
{
    return m_keptAfterLoss.size() + m_fetched.size() + (isOpen() ? m_port->bytesAvailable() : 0);
}

QByteArray SerialConnection::takeArrived()
{
    QByteArray bytes = std::exchange(m_fetched, QByteArray());
    bytes += m_keptAfterLoss;
    m_keptAfterLoss.clear();
    bytes.removeIf([](char c) { return c == '\0'; });
    return bytes;
}

QByteArray SerialConnection::takeKeptBytes()
{
    QByteArray bytes;
    bytes.swap(m_keptAfterLoss);
    bytes.removeIf([](char c) { return c == '\0'; });
    return bytes;
}

bool SerialConnection::isOpen() const
{
    return m_port && m_port->isOpen();
}

QByteArray SerialConnection::poll()
{
    if (!isOpen())
        return takeKeptBytes();
    // Newer Qt versions no longer report a hung-up line at all, so the device's path is checked
    // as well: an unplugged adapter's node disappears, and one plugged in again between two
    // polls is a new node.
    struct stat now;
    if (::stat(QFile::encodeName(m_devicePath).constData(), &now) != 0 ||
        quint64(now.st_dev) != m_deviceId || quint64(now.st_ino) != m_deviceInode) {
        loseDevice(text("The serial device %1 is no longer there (was the adapter unplugged?). "
                        "The port has been closed.")
                       .arg(m_devicePath));
        return takeKeptBytes();
    }
    QByteArray bytes = std::exchange(m_fetched, QByteArray());
    bytes += readWaiting();
    bytes += m_keptAfterLoss; // read after those, when the device failed during this read
    m_keptAfterLoss.clear();
    // The sensor's line may carry NULs (a break reads as one); the decoder never sees them.
    bytes.removeIf([](char c) { return c == '\0'; });
    return bytes;
}

void SerialConnection::applyParameters(const PortSettings& settings)
{
    const QtLineSettings line = qtLineSettings(settings);
    // Each setter writes to the device at once; a device that fails here is closed by
    // handleError, and later setters must not touch it.
    if (line.baudRate && isOpen())
        m_port->setBaudRate(*line.baudRate);
    if (line.dataBits && isOpen())
        m_port->setDataBits(*line.dataBits);
    if (line.parity && isOpen())
        m_port->setParity(*line.parity);
    if (line.stopBits && isOpen())
        m_port->setStopBits(*line.stopBits);
    applyLineBehaviour();
}

void SerialConnection::applyLineBehaviour()
{
    if (!isOpen())
        return;
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    // DTR on (some sensors draw power from it), RTS off: the program never sends. A
    // pseudo-terminal has no modem lines; its refusal is reported as an unsupported operation
    // and ignored.
    if (isOpen())
        m_port->setDataTerminalReady(true);
    if (isOpen())
        m_port->setRequestToSend(false);
    if (!isOpen())
        return;

    // Received parity is not checked: a byte with a parity or framing error reaches the decoder
    // as it is, and the record check decides. QSerialPort asks the kernel to drop such bytes
    // (IGNPAR) every time it sets the parity, so this is undone after every write of the line
    // parameters. Without INPCK the kernel neither drops nor marks them.
    const int fd = m_port->handle();
    struct termios tio;
    if (::tcgetattr(fd, &tio) != 0)
        return;
    const tcflag_t unwanted = INPCK | IGNPAR | PARMRK | ISTRIP;
    if (tio.c_iflag & unwanted) {
        tio.c_iflag &= ~unwanted;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

QByteArray SerialConnection::readWaiting()
{
    // What the event loop has already fetched into QSerialPort's buffer came first...
    QByteArray bytes = m_port->readAll();
    // ...then whatever the system holds for us now.
    if (!drainInto(bytes)) {
        loseDevice(text("The serial device %1 stopped working (was the adapter unplugged?). "
                        "The port has been closed.")
                       .arg(m_devicePath));
    }
    return bytes;
}

bool SerialConnection::drainInto(QByteArray& bytes)
{
    // The system hands a serial line's input over in pieces of at most its buffer (4 KB), and
    // refills that buffer from the driver as it empties: one read of the waiting count would
    // take one piece per wake-up. So the count is asked again after every read, until nothing
    // waits. The descriptor is non-blocking (QSerialPort opens it so) and only counted bytes
    // are read, so this never waits on the line; a count that cannot be had counts as nothing
    // waiting. A bound keeps a line faster than this program from holding it here for ever.
    const int fd = m_port->handle();
    constexpr qsizetype kMostPerDrain = 4 * 1024 * 1024;
    for (qsizetype taken = 0; taken < kMostPerDrain;) {
        int waiting = 0;
        if (fd < 0 || ::ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0)
            return true;
        const qsizetype before = bytes.size();
        bytes.resize(before + waiting);
        const ssize_t got = ::read(fd, bytes.data() + before, size_t(waiting));
        const int error = errno;
        bytes.resize(before + std::max<qsizetype>(got, 0));
        if (got < 0)
            return error == EAGAIN || error == EINTR;
        if (got == 0)
            return true;
        taken += got;
    }
    return true;
}

void SerialConnection::handleError(int error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
        // A device that went away. Which of the two Qt reports depends on an errno left over
        // from an earlier call, so neither its text nor the difference means anything. The port
        // is closed right here: left open it keeps signalling, millions of times a second.
        loseDevice(text("The serial device %1 stopped working (was the adapter unplugged?). "
                        "The port has been closed.")
                       .arg(m_devicePath));
        break;
    default:
        // NoError comes with every successful open; UnsupportedOperationError from the modem
        // lines of a pseudo-terminal; the rest concern single calls whose results, as on the
        // original platform, are not examined.
        break;
    }
}

void SerialConnection::loseDevice(const QString& reason)
{
    if (!isOpen())
        return; // already lost, or closed: one notice per connection
    // What the port had received before the loss is real data: the event loop may have fetched
    // a burst into the port's buffer moments before the device went, and whatever the system
    // still holds for us can be read now (not later: closing discards both). The next poll
    // returns it.
    m_keptAfterLoss += std::exchange(m_fetched, QByteArray()); // read earlier, not yet returned
    m_keptAfterLoss += m_port->readAll();
    drainInto(m_keptAfterLoss); // all the port still gives, not one piece of it
    closePort();
    // The notice goes out from the event loop: the window may show a message box, which must
    // not run inside QSerialPort's own signal or inside the caller's poll.
    const quint64 connection = m_connection;
    QMetaObject::invokeMethod(
        this,
        [this, connection, reason] {
            if (connection == m_connection)
                emit deviceLost(reason);
        },
        Qt::QueuedConnection);
}

void SerialConnection::closePort()
{
    if (!m_port)
        return;
    // Errors raised while closing a device that has gone (restoring its settings fails) are
    // of no interest; the port object itself stays until the next open or close(), since this
    // may run inside one of its own signals.
    QObject::disconnect(m_port.get(), nullptr, this, nullptr);
    if (m_port->isOpen())
        m_port->close();
}
