#pragma once
// What the recording's writers ask of the files they write: open (with the recording lock), write
// at the end, read back, cut, sync, compare with the file at a path, close and remove. The
// system's own device does it with the POSIX calls; tests put a failing device in its place
// (one that fails on open, after N bytes, or on sync), so that a full disk, a file refused or a
// sync error is tried everywhere, as root too, where permissions and /dev/full prove nothing.
//
// Handles are small non-negative numbers the device gives out; -1 stands for none. Reasons are
// the system's short texts: "No space left on device", "Permission denied".

#include <QString>
#include <QtGlobal>

// A file as the system knows it: which file (device and inode) and how long it is.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1; // negative: no file
    bool isFile() const { return size >= 0; }
    bool isSameFile(const FileIdentity& o) const
    {
        return isFile() && o.isFile() && device == o.device && inode == o.inode;
    }
};

class FileDevice
{
public:
    virtual ~FileDevice() = default;

    enum class Open
    {
        Create,    // created when missing, its contents kept (emptied only once it is ours)
        Existing,  // never created: a file that has gone stays missing
        CreateNew, // a new file only (refused when one exists), readable too
    };

    // Opens path for writing at its end. lock: takes the exclusive recording lock, refused with
    // who holds it when another recording has the file. Returns the handle, or -1 with why.
    virtual int open(const QString& path, Open how, bool lock, QString* error) = 0;
    // Writes all of size bytes at the file's end; returns the bytes the file took. Fewer (a disk
    // filling up during the write) come with the reason in error.
    virtual qint64 write(int handle, const char* data, qint64 size, QString* error) = 0;
    // Reads up to size bytes from offset; returns the bytes read, or -1 with why.
    virtual qint64 read(int handle, qint64 offset, char* data, qint64 size, QString* error) = 0;
    virtual bool truncate(int handle, qint64 size, QString* error) = 0;
    // The file's data to the disk.
    virtual bool sync(int handle, QString* error) = 0;
    // The file's size, or -1 with why.
    virtual qint64 size(int handle, QString* error) = 0;
    // The open file's identity, in one look at the open file; no file with why when it fails.
    virtual FileIdentity identify(int handle, QString* error) = 0;
    // The file at path now, in one look at the name; no file when nothing is there.
    virtual FileIdentity identifyPath(const QString& path) = 0;
    // Whether the open file is still the file at path (not deleted, moved or replaced).
    virtual bool isFileAt(int handle, const QString& path) = 0;
    // Whether the open file has no name left (deleted, not merely moved): what it holds goes
    // with it once it is closed.
    virtual bool isDeleted(int handle) = 0;
    virtual void close(int handle) = 0;
    virtual bool remove(const QString& path) = 0;

    // The system's files.
    static FileDevice& system();
};

// The process holding the recording lock on path, 0 when none is known (Linux /proc/locks).
qint64 recordingLockHolder(const QString& path);
