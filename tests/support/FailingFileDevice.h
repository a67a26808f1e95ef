#pragma once
// A file device that fails on purpose, in the manner of KeePassXC's FailDevice: opening refused,
// writes that stop after N bytes (as a disk filling up during a write), a sync that fails.
// Everything else goes to the system's files, so what did get in can be read back. A rule holds
// for every path that starts with the one given: a file, or a folder and everything in it. It
// also counts the opens, writes and syncs of each path, and how often an open file was compared
// with its path. Works for root as for anyone.

#include "recording/FileDevice.h"

#include <QHash>
#include <QList>
#include <QString>

#include <cerrno>
#include <cstring>

class FailingFileDevice : public FileDevice
{
public:
    // Opening anything under path fails with error.
    void failOpen(const QString& path, int error = EACCES) { rule(path).openError = error; }
    // Files under path take bytes more bytes in all, then refuse with error.
    void failWritesAfter(const QString& path, qint64 bytes, int error = ENOSPC)
    {
        Rule& r = rule(path);
        r.budget = bytes;
        r.writeError = error;
    }
    // Syncing a file under path fails with error (its bytes are written all the same).
    void failSync(const QString& path, int error = EIO) { rule(path).syncError = error; }
    // Files under path work again.
    void heal(const QString& path) { m_rules.remove(path); }

    int opens(const QString& path) const { return m_opens.value(path); }
    int writes(const QString& path) const { return m_writes.value(path); }
    int syncs(const QString& path) const { return m_syncs.value(path); }
    // Looks at the file at path by its name; looks at the open file (its size, its identity).
    int lookups(const QString& path) const { return m_lookups.value(path); }
    int fileLooks(const QString& path) const { return m_fileLooks.value(path); }

    int open(const QString& path, Open how, bool lock, QString* error) override
    {
        ++m_opens[path];
        if (const Rule* r = ruleFor(path); r && r->openError) {
            *error = reason(r->openError);
            return -1;
        }
        const int handle = system().open(path, how, lock, error);
        if (handle >= 0)
            m_paths.insert(handle, path);
        return handle;
    }

    qint64 write(int handle, const char* data, qint64 size, QString* error) override
    {
        const QString path = m_paths.value(handle);
        ++m_writes[path];
        Rule* r = ruleFor(path);
        if (!r || r->budget < 0)
            return system().write(handle, data, size, error);
        const qint64 taken = system().write(handle, data, qMin(size, r->budget), error);
        r->budget -= taken;
        if (taken < size && error)
            *error = reason(r->writeError);
        return taken;
    }

    qint64 read(int handle, qint64 offset, char* data, qint64 size, QString* error) override
    {
        return system().read(handle, offset, data, size, error);
    }

    bool truncate(int handle, qint64 size, QString* error) override
    {
        return system().truncate(handle, size, error);
    }

    bool sync(int handle, QString* error) override
    {
        const QString path = m_paths.value(handle);
        ++m_syncs[path];
        if (const Rule* r = ruleFor(path); r && r->syncError) {
            *error = reason(r->syncError);
            return false;
        }
        return system().sync(handle, error);
    }

    qint64 size(int handle, QString* error) override
    {
        ++m_fileLooks[m_paths.value(handle)];
        return system().size(handle, error);
    }
    FileIdentity identify(int handle, QString* error) override
    {
        ++m_fileLooks[m_paths.value(handle)];
        return system().identify(handle, error);
    }
    FileIdentity identifyPath(const QString& path) override
    {
        ++m_lookups[path];
        return system().identifyPath(path);
    }

    bool isFileAt(int handle, const QString& path) override
    {
        ++m_lookups[path];
        return system().isFileAt(handle, path);
    }

    bool isDeleted(int handle) override { return system().isDeleted(handle); }

    void close(int handle) override
    {
        m_paths.remove(handle);
        system().close(handle);
    }

    bool remove(const QString& path) override { return system().remove(path); }

private:
    struct Rule
    {
        int openError = 0;
        qint64 budget = -1; // bytes still taken; -1: no limit
        int writeError = ENOSPC;
        int syncError = 0;
    };

    static QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

    Rule& rule(const QString& path) { return m_rules[path]; }
    Rule* ruleFor(const QString& path)
    {
        for (auto it = m_rules.begin(); it != m_rules.end(); ++it) {
            if (path.startsWith(it.key()))
                return &it.value();
        }
        return nullptr;
    }

    QHash<QString, Rule> m_rules;
    QHash<int, QString> m_paths;
    QHash<QString, int> m_opens;
    QHash<QString, int> m_writes;
    QHash<QString, int> m_syncs;
    QHash<QString, int> m_lookups;
    QHash<QString, int> m_fileLooks;
};
