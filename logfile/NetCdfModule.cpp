// The netCDF module, marvane-netcdf.so: NetCdfBackend on Debian's libnetcdf. Built as a shared
// object of its own and loaded by NetCdfFile when the first file is made; it links nothing of the
// program but this interface, so that the program's own code is never loaded twice.

#include "export/NetCdfBackend.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <netcdf.h>
#include <netcdf_mem.h>

#include <cstdlib>
#include <new>

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
    void setAttribute(int variable, const char* name, const QString& text) override;
    void setAttribute(int variable, const char* name, double value) override;
    void setAttribute(int variable, const char* name, const std::vector<qint8>& values) override;
    void endDefinitions() override;
    void redefine() override;
    void putDoubles(int variable, size_t start, const std::vector<double>& values) override;
    void putBytes(int variable, size_t start, const std::vector<qint8>& values) override;
    void putText(int variable, const QString& text) override;
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
    QString m_error;
};

bool LibNetCdfFile::check(int status, const char* what)
{
    if (status == NC_NOERR)
        return true;
    if (m_error.isEmpty()) {
        m_error = QStringLiteral("netCDF: %1: %2")
                      .arg(QString::fromLatin1(what), QString::fromUtf8(nc_strerror(status)));
    }
    return false;
}

void LibNetCdfFile::discard()
{
    if (m_id >= 0) {
        nc_abort(m_id);
        m_id = -1;
    }
}

bool LibNetCdfFile::create(const QString& path)
{
    discard();
    m_error.clear();
    m_path = path;
    // The file is built in memory and reaches the disk in one write at commit. HDF5, under
    // netCDF-4, cannot recover from a write that fails (a full disk): the file can then be
    // neither closed nor forgotten, and the process crashes at exit. In memory, the library
    // never meets the disk; the disk's failures are ours to handle.
    int id = -1;
    if (!check(nc_create_mem(QFile::encodeName(QFileInfo(path).fileName()).constData(), NC_NETCDF4,
                             1 << 20, &id),
               "create"))
        return false;
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
    if (ok() && m_id >= 0)
        check(nc_enddef(m_id), "end of definitions");
}

void LibNetCdfFile::redefine()
{
    if (ok() && m_id >= 0)
        check(nc_redef(m_id), "define mode");
}

void LibNetCdfFile::putDoubles(int variable, size_t start, const std::vector<double>& values)
{
    if (!ok() || m_id < 0 || values.empty())
        return;
    const size_t count = values.size();
    check(nc_put_vara_double(m_id, variable, &start, &count, values.data()), "write");
}

void LibNetCdfFile::putBytes(int variable, size_t start, const std::vector<qint8>& values)
{
    if (!ok() || m_id < 0 || values.empty())
        return;
    const size_t count = values.size();
    std::vector<signed char> bytes(values.begin(), values.end());
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

void LibNetCdfFile::putText(int variable, const QString& text)
{
    if (!ok() || m_id < 0)
        return;
    const QByteArray bytes = text.toUtf8();
    const char* value = bytes.constData();
    check(nc_put_var_string(m_id, variable, &value), "write");
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
    NC_memio image{};
    if (!check(nc_close_memio(id, &image), "close"))
        return false;
    // QSaveFile writes under a temporary name beside path and renames it over path at commit:
    // a failure leaves nothing behind and an existing file untouched.
    QSaveFile file(m_path);
    QString failure;
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // A short write (the disk filled up during it) is followed by another for the rest,
        // which then tells the reason; commit and cancel keep none.
        const char* data = static_cast<const char*>(image.memory);
        const qint64 size = qint64(image.size);
        qint64 written = 0;
        while (written < size) {
            const qint64 n = file.write(data + written, size - written);
            if (n <= 0) {
                failure = file.errorString();
                break;
            }
            written += n;
        }
    } else {
        failure = file.errorString();
    }
    std::free(image.memory);
    if (failure.isEmpty() && !file.commit())
        failure = file.errorString();
    if (!failure.isEmpty()) {
        file.cancelWriting();
        m_error = failure;
        return false;
    }
    return true;
}

} // namespace

// kNetCdfModuleEntry.
extern "C" Q_DECL_EXPORT NetCdfBackend* marvane_netcdf_file_2()
{
    return new (std::nothrow) LibNetCdfFile;
}
