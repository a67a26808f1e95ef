#pragma once
// Inode flags (immutable, append-only) for tests that need a file nobody may write. These flags
// hold even for root, so they stand in for a read-only file where the tests run as root. They
// need a file system and rights that allow them; callers skip when they cannot be set.

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

inline bool setInodeFlag(const QString& path, int flag, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | flag) : (flags & ~flag);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Keeps an inode flag set for the life of the object, so a failing test still leaves a file the
// temporary directory can remove.
class InodeFlag
{
public:
    InodeFlag(const QString& path, int flag) : m_path(path), m_flag(flag)
    {
        m_set = setInodeFlag(path, flag, true);
    }
    ~InodeFlag() { release(); }
    bool isSet() const { return m_set; }
    void release()
    {
        if (m_set)
            setInodeFlag(m_path, m_flag, false);
        m_set = false;
    }

private:
    QString m_path;
    int m_flag;
    bool m_set = false;
};
