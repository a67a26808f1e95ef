#pragma once
// The sensor's end of a cable for tests: a pseudo-terminal whose master side stays here, while
// the program opens the slave by its path.

#include <QByteArray>
#include <QString>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

class Pty
{
public:
    Pty()
    {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) == 0) {
            m_path = QString::fromLocal8Bit(name);
            ::close(slave);
        }
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return m_master >= 0 && !m_path.isEmpty(); }
    QString path() const { return m_path; }

    bool send(const QByteArray& bytes)
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // On a pseudo-terminal the master side reads and writes the slave's line settings.
    termios slaveSettings() const
    {
        termios tio{};
        ::tcgetattr(m_master, &tio);
        return tio;
    }

    bool setSlaveSettings(const termios& tio) { return ::tcsetattr(m_master, TCSANOW, &tio) == 0; }

    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_path;
};
