// The netCDF module, marvane-netcdf.so: NetCdfBackend on Debian's libnetcdf. Built as a shared
// object of its own and loaded by NetCdfFile when the first file is made; it links nothing of the
// program but this interface, so that the program's own code is never loaded twice.

#include "export/NetCdfBackend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <hdf5.h>
#include <netcdf.h>

#include <cerrno>
#include <new>

#include <fcntl.h>
#include <unistd.h>

namespace {

nc_type ncType(NetCdfType type)
{
    switch (type) {
    case NetCdfType::Double:
        return NC_DOUBLE;
    case NetCdfType::Float:
        return NC_FLOAT;
    case NetCdfType::Byte:
        return NC_BYTE;
    }
    return NC_DOUBLE;
}

int varId(int variable)
{
    return variable == kNetCdfGlobal ? NC_GLOBAL : variable;
}

class LibNetCdfFile : public NetCdfBackend
{
public:
    ~LibNetCdfFile() override { discard(); }

    bool create(const QString& path) override;
    int defineDimension(const char* name, size_t length) override;
    int defineVariable(const char* name, NetCdfType type, int dimension, size_t chunk,
                       const double* fill) override;
    int defineScalarText(const char* name) override;
    int defineTextVariable(const char* name, int dimension) override;
    int defineScalar(const char* name, NetCdfType type) override;
    void setAttribute(int variable, const char* name, const QString& text) override;
    void setAttribute(int variable, const char* name, double value) override;
    void setAttribute(int variable, const char* name, const std::vector<qint8>& values) override;
    void endDefinitions() override;
    void redefine() override;
    void putDoubles(int variable, size_t start, const std::vector<double>& values) override;
    void putBytes(int variable, size_t start, const std::vector<qint8>& values) override;
    void putText(int variable, const QString& text) override;
    void putTexts(int variable, size_t start, const std::vector<QString>& texts) override;
    void putScalar(int variable, double value) override;
    std::vector<double> getDoubles(int variable, size_t start, size_t count) override;
    std::vector<qint8> getBytes(int variable, size_t start, size_t count) override;
    bool commit() override;
    QString errorText() const override { return m_error; }

private:
    bool ok() const { return m_error.isEmpty(); }
    bool check(int status, const char* what);
    void discard();

    int m_id = -1;
    QString m_path;
    QByteArray m_temporary; // the file being written, beside m_path
    QString m_error;
};

// Whether errno, cleared before a call that may write, says why the disk took no more.
bool diskRefused(int error)
{
    return error == ENOSPC || error == EFBIG || error == EDQUOT || error == EIO || error == EROFS;
}

bool LibNetCdfFile::check(int status, const char* what)
{
    if (status == NC_NOERR)
        return true;
    const int error = errno;
    if (m_error.isEmpty() && status == NC_EHDFERR && diskRefused(error)) {
        // HDF5 says only that it failed; the system's reason is the one the operator can act on.
        m_error = qt_error_string(error);
    } else if (m_error.isEmpty()) {
        m_error = QStringLiteral("netCDF: %1: %2")
                      .arg(QString::fromLatin1(what), QString::fromUtf8(nc_strerror(status)));
    }
    return false;
}

void LibNetCdfFile::discard()
{
    if (m_id >= 0) {
        // After a failed write (a full disk) HDF5 can neither close the file nor abort it: both
        // crash in the library. The file is left to it, never touched again (see the entry
        // point for the end of the process); its disk space is given back below.
        if (ok())
            nc_abort(m_id);
        m_id = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::truncate(m_temporary.constData(), 0);
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}

// A name of its own beside path, taken with O_EXCL so that no other writer has it: a hidden
// ".<name>.<random>.part" that nc_create then writes over. Created with the modes of a new file
// (0666 less the umask), as the final file should have them.
bool reserveTemporary(const QString& path, QByteArray* temporary, QString* error)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = QStringLiteral(".%1.%2.part")
                                 .arg(info.fileName())
                                 .arg(QRandomGenerator::global()->generate64() & 0xffffffffffffULL,
                                      12, 36, QLatin1Char('0'));
        const QByteArray native = QFile::encodeName(QDir(folder).filePath(name));
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            *temporary = native;
            return true;
        }
        if (errno != EEXIST) {
            *error = qt_error_string(errno);
            return false;
        }
    }
    *error = qt_error_string(EEXIST);
    return false;
}

bool LibNetCdfFile::create(const QString& path)
{
    discard();
    m_error.clear();
    m_path = path;
    // Written under a name of its own in the target folder and renamed to path once closed: a
    // failure at any step leaves nothing behind and a file already at path untouched, and the
    // rename keeps it on the same file system. The library writes the file itself (nc_create),
    // so that the file it leaves is one any netCDF tool can open again for writing.
    if (!reserveTemporary(path, &m_temporary, &m_error))
        return false;
    int id = -1;
    if (!check(nc_create(m_temporary.constData(), NC_NETCDF4 | NC_CLOBBER, &id), "create")) {
        discard();
        return false;
    }
    m_id = id;
    return true;
}

int LibNetCdfFile::defineDimension(const char* name, size_t length)
{
    if (!ok() || m_id < 0)
        return -1;
    int id = -1;
    if (!check(nc_def_dim(m_id, name, length == 0 ? NC_UNLIMITED : length, &id), name))
        return -1;
    return id;
}

int LibNetCdfFile::defineVariable(const char* name, NetCdfType type, int dimension, size_t chunk,
                                  const double* fill)
{
    if (!ok() || m_id < 0)
        return -1;
    int id = -1;
    if (!check(nc_def_var(m_id, name, ncType(type), 1, &dimension, &id), name))
        return -1;
    if (!check(nc_def_var_chunking(m_id, id, NC_CHUNKED, &chunk), name) ||
        !check(nc_def_var_deflate(m_id, id, 1, 1, 1), name))
        return -1;
    // The library keeps up to 16 MB of each variable's chunks in memory (per variable: a file of
    // ten variables holds 160 MB), and compresses and writes them only when they leave that cache
    // or at the end. The values come in order, a chunk at a time, and are read back at most
    // once: a few chunks are all the cache needs, and each full chunk then goes to the file
    // while the next ones are read.
    const size_t valueBytes = type == NetCdfType::Double ? 8 : type == NetCdfType::Float ? 4 : 1;
    if (!check(nc_set_var_chunk_cache(m_id, id, 4 * chunk * valueBytes, 11, 1.0f), name))
        return -1;
    if (fill) {
        int status = NC_NOERR;
        if (type == NetCdfType::Double) {
            status = nc_def_var_fill(m_id, id, 0, fill);
        } else if (type == NetCdfType::Float) {
            const float f = float(*fill);
            status = nc_def_var_fill(m_id, id, 0, &f);
        } else {
            const signed char b = static_cast<signed char>(*fill);
            status = nc_def_var_fill(m_id, id, 0, &b);
        }
        if (!check(status, name))
            return -1;
    }
    return id;
}

void LibNetCdfFile::setAttribute(int variable, const char* name, const QString& text)
{
    if (!ok() || m_id < 0)
        return;
    const QByteArray bytes = text.toUtf8();
    check(nc_put_att_text(m_id, varId(variable), name, size_t(bytes.size()), bytes.constData()),
          name);
}

void LibNetCdfFile::setAttribute(int variable, const char* name, double value)
{
    if (!ok() || m_id < 0)
        return;
    check(nc_put_att_double(m_id, varId(variable), name, NC_DOUBLE, 1, &value), name);
}

void LibNetCdfFile::setAttribute(int variable, const char* name, const std::vector<qint8>& values)
{
    if (!ok() || m_id < 0)
        return;
    std::vector<signed char> bytes(values.begin(), values.end());
    check(nc_put_att_schar(m_id, varId(variable), name, NC_BYTE, bytes.size(), bytes.data()), name);
}

void LibNetCdfFile::endDefinitions()
{
    errno = 0;
    if (ok() && m_id >= 0)
        check(nc_enddef(m_id), "end of definitions");
}

void LibNetCdfFile::redefine()
{
    errno = 0;
    if (ok() && m_id >= 0)
        check(nc_redef(m_id), "define mode");
}

void LibNetCdfFile::putDoubles(int variable, size_t start, const std::vector<double>& values)
{
    if (!ok() || m_id < 0 || values.empty())
        return;
    const size_t count = values.size();
    errno = 0;
    check(nc_put_vara_double(m_id, variable, &start, &count, values.data()), "write");
}

void LibNetCdfFile::putBytes(int variable, size_t start, const std::vector<qint8>& values)
{
    if (!ok() || m_id < 0 || values.empty())
        return;
    const size_t count = values.size();
    std::vector<signed char> bytes(values.begin(), values.end());
    errno = 0;
    check(nc_put_vara_schar(m_id, variable, &start, &count, bytes.data()), "write");
}

int LibNetCdfFile::defineScalarText(const char* name)
{
    if (!ok() || m_id < 0)
        return -1;
    int id = -1;
    if (!check(nc_def_var(m_id, name, NC_STRING, 0, nullptr, &id), name))
        return -1;
    return id;
}

int LibNetCdfFile::defineTextVariable(const char* name, int dimension)
{
    if (!ok() || m_id < 0)
        return -1;
    int id = -1;
    if (!check(nc_def_var(m_id, name, NC_STRING, 1, &dimension, &id), name))
        return -1;
    return id;
}

void LibNetCdfFile::putTexts(int variable, size_t start, const std::vector<QString>& texts)
{
    if (!ok() || m_id < 0 || texts.empty())
        return;
    std::vector<QByteArray> bytes;
    bytes.reserve(texts.size());
    std::vector<const char*> values;
    values.reserve(texts.size());
    for (const QString& text : texts) {
        bytes.push_back(text.toUtf8());
        values.push_back(bytes.back().constData());
    }
    const size_t count = values.size();
    errno = 0;
    check(nc_put_vara_string(m_id, variable, &start, &count, values.data()), "write");
}

void LibNetCdfFile::putText(int variable, const QString& text)
{
    if (!ok() || m_id < 0)
        return;
    const QByteArray bytes = text.toUtf8();
    const char* value = bytes.constData();
    errno = 0;
    check(nc_put_var_string(m_id, variable, &value), "write");
}

int LibNetCdfFile::defineScalar(const char* name, NetCdfType type)
{
    if (!ok() || m_id < 0)
        return -1;
    int id = -1;
    if (!check(nc_def_var(m_id, name, ncType(type), 0, nullptr, &id), name))
        return -1;
    return id;
}

void LibNetCdfFile::putScalar(int variable, double value)
{
    if (!ok() || m_id < 0)
        return;
    errno = 0;
    check(nc_put_var_double(m_id, variable, &value), "write");
}

std::vector<double> LibNetCdfFile::getDoubles(int variable, size_t start, size_t count)
{
    std::vector<double> values(count);
    if (!ok() || m_id < 0 ||
        (count > 0 &&
         !check(nc_get_vara_double(m_id, variable, &start, &count, values.data()), "read back")))
        return {};
    return values;
}

std::vector<qint8> LibNetCdfFile::getBytes(int variable, size_t start, size_t count)
{
    std::vector<signed char> bytes(count);
    if (!ok() || m_id < 0 ||
        (count > 0 &&
         !check(nc_get_vara_schar(m_id, variable, &start, &count, bytes.data()), "read back")))
        return {};
    return std::vector<qint8>(bytes.begin(), bytes.end());
}

bool LibNetCdfFile::commit()
{
    if (!ok() || m_id < 0) {
        discard();
        return false;
    }
    const int id = m_id;
    m_id = -1;
    // A write that fails (a full disk) shows here at the latest, where the library writes what
    // it still holds; HDF5 then frees the file all the same.
    errno = 0;
    if (!check(nc_close(id), "close")) {
        discard();
        return false;
    }
    // On the disk before it takes the final name: a crash right after the rename leaves the
    // whole file or the old one, never an empty one.
    const int fd = ::open(m_temporary.constData(), O_RDONLY | O_CLOEXEC);
    bool done = fd >= 0 && ::fsync(fd) == 0;
    int reason = errno;
    if (fd >= 0)
        ::close(fd);
    if (done) {
        done = ::rename(m_temporary.constData(), QFile::encodeName(m_path).constData()) == 0;
        reason = errno;
    }
    if (!done) {
        m_error = qt_error_string(reason);
        discard();
        return false;
    }
    m_temporary.clear();
    return true;
}

} // namespace

// kNetCdfModuleEntry.
extern "C" Q_DECL_EXPORT NetCdfBackend* marvane_netcdf_file_3()
{
    // HDF5 closes the files still open at the end of the process, and crashes on one that a
    // failed write left broken (see discard). Every file the program finishes is closed by it, so
    // the library's own closing at exit is turned off. It must be said before the library starts,
    // that is before the first netCDF call; a second time it does nothing.
    static const bool once = [] {
        H5dont_atexit();
        return true;
    }();
    Q_UNUSED(once);
    return new (std::nothrow) LibNetCdfFile;
}
