#pragma once
// One netCDF-4 file written through Debian's libnetcdf, which lives in the netCDF module
// (marvane-netcdf.so, see NetCdfBackend.h): create() loads it the first time a file is made.
// When it cannot be loaded, create() fails with "netCDF export is not available: <why>".
//
// The library writes the file under a temporary name in the folder of its final path (a hidden
// ".<name>.<random>.part"), and commit() renames it to that path once closed and on the disk: a
// failure at any step, or an object destroyed without commit, leaves nothing behind and an
// existing file of that name untouched. A write the disk refuses (full, over a quota or a size
// limit) gives the system's reason.
//
// The first library error is kept (with nc_strerror's text and what was being done); every call
// after it does nothing, so a caller may make its calls and look at ok() once.

#include "export/NetCdfBackend.h"

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

class NetCdfFile
{
public:
    NetCdfFile();
    ~NetCdfFile();
    NetCdfFile(const NetCdfFile&) = delete;
    NetCdfFile& operator=(const NetCdfFile&) = delete;

    // Starts the file that commit() writes to path, in define mode.
    bool create(const QString& path);

    // Ids of what is defined, -1 after an error. A length of 0 makes the dimension unlimited.
    int defineDimension(const char* name, size_t length);
    using Type = NetCdfType;
    // A variable over one dimension, chunked by chunk values and compressed (deflate level 1,
    // shuffled); with a fill value when fill is given (for a Byte variable, its value as a byte).
    int defineVariable(const char* name, Type type, int dimension, size_t chunk,
                       const double* fill = nullptr);

    // A variable without dimensions holding one text (a netCDF-4 string), such as the identifier
    // of a time series.
    int defineScalarText(const char* name);
    // A variable of texts (netCDF-4 strings) over one dimension, such as the notes of marks.
    int defineTextVariable(const char* name, int dimension);
    // A variable without dimensions holding one number, such as the latitude of a station.
    int defineScalar(const char* name, Type type);

    // Attributes of a variable, or of the file with kGlobal.
    static constexpr int kGlobal = kNetCdfGlobal;
    void setAttribute(int variable, const char* name, const QString& text);
    void setAttribute(int variable, const char* name, double value);
    void setAttribute(int variable, const char* name, const std::vector<qint8>& values);

    // Leaves define mode (the data may be written) and enters it again (attributes known only at
    // the end, such as the history).
    void endDefinitions();
    void redefine();

    // values at start along the variable's dimension.
    void putDoubles(int variable, size_t start, const std::vector<double>& values);
    void putBytes(int variable, size_t start, const std::vector<qint8>& values);
    void putText(int variable, const QString& text); // of a scalar text variable
    // texts at start along a text variable's dimension.
    void putTexts(int variable, size_t start, const std::vector<QString>& texts);
    void putScalar(int variable, double value);      // of a scalar number variable

    // Reads back count values at start along the variable's dimension (data mode): a file being
    // built can be copied into another of a different layout. Empty after an error.
    std::vector<double> getDoubles(int variable, size_t start, size_t count);
    std::vector<qint8> getBytes(int variable, size_t start, size_t count);

    // Closes the file and gives it its final path, replacing a file there. False (and nothing
    // left behind) on failure.
    bool commit();

    bool ok() const { return errorText().isEmpty(); }
    // "netCDF: <what>: <the library's text>", or the system's reason for a failed write, or
    // "netCDF export is not available: <why>".
    QString errorText() const;

private:
    std::unique_ptr<NetCdfBackend> m_file; // from the module, made by the first create()
    QString m_unavailable;
};
