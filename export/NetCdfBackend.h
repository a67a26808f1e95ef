#pragma once
// What the netCDF module (marvane-netcdf.so, on Debian's libnetcdf) does for NetCdfFile: one
// netCDF-4 file, with the calls of NetCdfFile (see there for what each does). The module is
// loaded by NetCdfFile when the first file is made (see base/ModuleLoader.h), so that nothing
// but an export to .nc loads libnetcdf, HDF5, curl and libxml2.

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <vector>

enum class NetCdfType
{
    Double,
    Float,
    Byte,
};

// The variable id that stands for the file itself, for its attributes.
inline constexpr int kNetCdfGlobal = -1;

class NetCdfBackend
{
public:
    virtual ~NetCdfBackend() = default;

    virtual bool create(const QString& path) = 0;
    virtual int defineDimension(const char* name, size_t length) = 0;
    virtual int defineVariable(const char* name, NetCdfType type, int dimension, size_t chunk,
                               const double* fill) = 0;
    virtual int defineScalarText(const char* name) = 0;
    virtual int defineTextVariable(const char* name, int dimension) = 0;
    virtual int defineScalar(const char* name, NetCdfType type) = 0;
    virtual void setAttribute(int variable, const char* name, const QString& text) = 0;
    virtual void setAttribute(int variable, const char* name, double value) = 0;
    virtual void setAttribute(int variable, const char* name, const std::vector<qint8>& values) = 0;
    virtual void endDefinitions() = 0;
    virtual void redefine() = 0;
    virtual void putDoubles(int variable, size_t start, const std::vector<double>& values) = 0;
    virtual void putBytes(int variable, size_t start, const std::vector<qint8>& values) = 0;
    virtual void putText(int variable, const QString& text) = 0;
    virtual void putTexts(int variable, size_t start, const std::vector<QString>& texts) = 0;
    virtual void putScalar(int variable, double value) = 0;
    virtual std::vector<double> getDoubles(int variable, size_t start, size_t count) = 0;
    virtual std::vector<qint8> getBytes(int variable, size_t start, size_t count) = 0;
    virtual bool commit() = 0;
    virtual QString errorText() const = 0;
};

// The module's file and its one entry point, a NetCdfBackendFactory: a new file, owned by the
// caller (nothing when out of memory). The number is the version of this interface.
inline constexpr char kNetCdfModuleFile[] = "marvane-netcdf.so";
inline constexpr char kNetCdfModuleEntry[] = "marvane_netcdf_file_3";
using NetCdfBackendFactory = NetCdfBackend* (*)();
