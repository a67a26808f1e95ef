#include "recording/FileDevice.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString heldBy(const QString& path)
{
    const qint64 pid = recordingLockHolder(path);
    return pid > 0 ? QStringLiteral("The file is being recorded by another program (process %1)")
                         .arg(pid)
                   : QStringLiteral("The file is being recorded by another program");
}

FileIdentity identityOf(const struct stat& st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size)};
}

class SystemFileDevice final : public FileDevice
{
public:
    int open(const QString& path, Open how, bool lock, QString* error) override
    {
        int flags = O_APPEND | O_CLOEXEC;
        switch (how) {
        case Open::Create:
            flags |= O_WRONLY | O_CREAT;
            break;
        case Open::Existing:
            flags |= O_WRONLY;
            break;
        case Open::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
        }
        const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
        if (fd < 0) {
            setError(error, systemReason(errno));
            return -1;
        }
        if (lock && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int why = errno;
            ::close(fd);
            setError(error, why == EWOULDBLOCK ? heldBy(path) : systemReason(why));
            return -1;
        }
        return fd;
    }

    qint64 write(int handle, const char* data, qint64 size, QString* error) override
    {
        // A short write (a size limit reached, the disk filled up during it) is followed by
        // another attempt for the rest, which then reports the reason.
        qint64 written = 0;
        while (written < size) {
            const ssize_t n = ::write(handle, data + written, size_t(size - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                setError(error, systemReason(n < 0 ? errno : ENOSPC));
                break;
            }
            written += n;
        }
        return written;
    }

    qint64 read(int handle, qint64 offset, char* data, qint64 size, QString* error) override
    {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n =
                ::pread(handle, data + done, size_t(size - done), off_t(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                setError(error, systemReason(errno));
                return -1;
            }
            if (n == 0)
                break;
            done += n;
        }
        return done;
    }

    bool truncate(int handle, qint64 size, QString* error) override
    {
        if (::ftruncate(handle, off_t(size)) == 0)
            return true;
        setError(error, systemReason(errno));
        return false;
    }

    bool sync(int handle, QString* error) override
    {
        // EINVAL: a file that cannot be synced at all (a device, a pipe); nothing to wait for.
        if (::fdatasync(handle) == 0 || errno == EINVAL)
            return true;
        setError(error, systemReason(errno));
        return false;
    }

    qint64 size(int handle, QString* error) override
    {
        struct stat opened;
        if (::fstat(handle, &opened) == 0)
            return opened.st_size;
        setError(error, systemReason(errno));
        return -1;
    }

    FileIdentity identify(int handle, QString* error) override
    {
        struct stat opened;
        if (::fstat(handle, &opened) == 0)
            return identityOf(opened);
        setError(error, systemReason(errno));
        return {};
    }

    FileIdentity identifyPath(const QString& path) override
    {
        struct stat named;
        if (::stat(QFile::encodeName(path).constData(), &named) == 0)
            return identityOf(named);
        return {};
    }

    bool isFileAt(int handle, const QString& path) override
    {
        struct stat opened;
        struct stat named;
        return handle >= 0 && ::fstat(handle, &opened) == 0 &&
               ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
               opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
    }

    bool isDeleted(int handle) override
    {
        struct stat opened;
        return handle >= 0 && ::fstat(handle, &opened) == 0 && opened.st_nlink == 0;
    }

    void close(int handle) override
    {
        if (handle >= 0)
            ::close(handle);
    }

    bool remove(const QString& path) override
    {
        return ::unlink(QFile::encodeName(path).constData()) == 0;
    }
};

} // namespace

FileDevice& FileDevice::system()
{
    static SystemFileDevice device;
    return device;
}

qint64 recordingLockHolder(const QString& path)
{
    struct stat named;
    if (::stat(QFile::encodeName(path).constData(), &named) != 0)
        return 0;
    // Lines read "1: FLOCK  ADVISORY  WRITE 4242 fd:01:1234567 0 EOF": the holder's process and
    // the file's device (major:minor, hexadecimal) and inode.
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray inode = ':' + QByteArray::number(quint64(named.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields.at(1) != "FLOCK" || !fields.at(5).endsWith(inode))
            continue;
        const QList<QByteArray> device = fields.at(5).split(':');
        if (device.size() == 3 && makedev(device.at(0).toUInt(nullptr, 16),
                                          device.at(1).toUInt(nullptr, 16)) == named.st_dev)
            return fields.at(4).toLongLong();
    }
    return 0;
}
