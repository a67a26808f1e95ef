#include "export/NetCdfFile.h"

#include "base/ModuleLoader.h"

NetCdfFile::NetCdfFile() = default;
NetCdfFile::~NetCdfFile() = default;

bool NetCdfFile::create(const QString& path)
{
    if (!m_file) {
        QString reason;
        const auto factory = reinterpret_cast<NetCdfBackendFactory>(moduleEntry(
            moduleFolder(), QLatin1String(kNetCdfModuleFile), kNetCdfModuleEntry, &reason));
        if (factory)
            m_file.reset(factory());
        if (!m_file) {
            m_unavailable = QStringLiteral("netCDF export is not available: %1")
                                .arg(factory ? QStringLiteral("out of memory") : reason);
            return false;
        }
        m_unavailable.clear();
    }
    return m_file->create(path);
}

int NetCdfFile::defineDimension(const char* name, size_t length)
{
    return m_file ? m_file->defineDimension(name, length) : -1;
}

int NetCdfFile::defineVariable(const char* name, Type type, int dimension, size_t chunk,
                               const double* fill)
{
    return m_file ? m_file->defineVariable(name, type, dimension, chunk, fill) : -1;
}

void NetCdfFile::setAttribute(int variable, const char* name, const QString& text)
{
    if (m_file)
        m_file->setAttribute(variable, name, text);
}

void NetCdfFile::setAttribute(int variable, const char* name, double value)
{
    if (m_file)
        m_file->setAttribute(variable, name, value);
}

void NetCdfFile::setAttribute(int variable, const char* name, const std::vector<qint8>& values)
{
    if (m_file)
        m_file->setAttribute(variable, name, values);
}

void NetCdfFile::endDefinitions()
{
    if (m_file)
        m_file->endDefinitions();
}

void NetCdfFile::redefine()
{
    if (m_file)
        m_file->redefine();
}

void NetCdfFile::putDoubles(int variable, size_t start, const std::vector<double>& values)
{
    if (m_file)
        m_file->putDoubles(variable, start, values);
}

void NetCdfFile::putBytes(int variable, size_t start, const std::vector<qint8>& values)
{
    if (m_file)
        m_file->putBytes(variable, start, values);
}

int NetCdfFile::defineScalarText(const char* name)
{
    return m_file ? m_file->defineScalarText(name) : -1;
}

int NetCdfFile::defineTextVariable(const char* name, int dimension)
{
    return m_file ? m_file->defineTextVariable(name, dimension) : -1;
}

void NetCdfFile::putTexts(int variable, size_t start, const std::vector<QString>& texts)
{
    if (m_file)
        m_file->putTexts(variable, start, texts);
}

void NetCdfFile::putText(int variable, const QString& text)
{
    if (m_file)
        m_file->putText(variable, text);
}

int NetCdfFile::defineScalar(const char* name, Type type)
{
    return m_file ? m_file->defineScalar(name, type) : -1;
}

void NetCdfFile::putScalar(int variable, double value)
{
    if (m_file)
        m_file->putScalar(variable, value);
}

std::vector<double> NetCdfFile::getDoubles(int variable, size_t start, size_t count)
{
    return m_file ? m_file->getDoubles(variable, start, count) : std::vector<double>();
}

std::vector<qint8> NetCdfFile::getBytes(int variable, size_t start, size_t count)
{
    return m_file ? m_file->getBytes(variable, start, count) : std::vector<qint8>();
}

bool NetCdfFile::commit()
{
    return m_file && m_file->commit();
}

QString NetCdfFile::errorText() const
{
    if (!m_unavailable.isEmpty())
        return m_unavailable;
    return m_file ? m_file->errorText() : QString();
}
