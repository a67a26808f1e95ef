#pragma once
// What the benchmarks that drive the program over a cable share: a raw pseudo-terminal standing
// in for the sensor's line, and prompts that answer for a person and print what they were told.

#include "app/Prompts.h"

#include <QString>

#include <cstdio>
#include <optional>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

// A raw pseudo-terminal: the benchmark writes records into master, the program opens name. The
// slave side stays open here so that the line never hangs up between the program's opens.
struct RawPty
{
    int master = -1;
    int slave = -1;
    QString name;

    RawPty() = default;
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;
    ~RawPty() { close(); }

    bool open()
    {
        char buffer[256] = {};
        struct termios raw;
        cfmakeraw(&raw);
        if (openpty(&master, &slave, buffer, &raw, nullptr) != 0)
            return false;
        name = QString::fromLocal8Bit(buffer);
        return true;
    }
    void close()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        master = slave = -1;
    }
};

// Nothing in a benchmark may wait for a person: questions get answer, a file dialog gets
// logFile (none when empty), and every message goes to standard error.
class PrintingPrompts : public Prompts
{
public:
    explicit PrintingPrompts(bool answer = true, const QString& logFile = QString())
        : m_answer(answer), m_logFile(logFile)
    {
    }

    bool confirm(const QString&, bool) override { return m_answer; }
    void error(const QString& text, const QString&) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    void notify(const QString& text, const QString&, std::function<void()> closed) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
        if (closed)
            closed();
    }
    void message(const QString& text, const QString& info) override
    {
        std::fprintf(stderr, "message: %s %s\n", qPrintable(text), qPrintable(info));
    }
    std::optional<QString> askText(const QString&, const QString&, int) override
    {
        return std::nullopt;
    }
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override
    {
        if (m_logFile.isEmpty())
            return std::nullopt;
        return m_logFile;
    }

private:
    bool m_answer;
    QString m_logFile;
};
