// marvane-export run as a program on small logs made here: the CSV it writes, the netCDF file read
// back with the netCDF library, spans, the statistics, local time across a clock change, and
// every kind of bad input (skipped and counted, exit codes, nothing half written).

#include "export/LogExport.h"
#include "logformat/LogLineScanner.h"
#include "export/NetCdfFile.h"
#include "tests/support/CsvReaders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <netcdf.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <limits>
#include <vector>

namespace {

const QByteArray kHeader = "\"Speed\",\"Bearing\",\"Date-Time\"";
const QByteArray kUtc = "\"m/s\",\"Degrees\",\"24 Hour UTC\"";
const QByteArray kLocal = "\"m/s\",\"Degrees\",\"24 Hour Local\"";

QByteArray rec(const char* speed, const char* bearing, const char* dateTime)
{
    return QByteArray("\"") + speed + "\",\"" + bearing + "\",\"" + dateTime + "\"";
}

QByteArray lines(const QList<QByteArray>& list)
{
    QByteArray out;
    for (const QByteArray& line : list)
        out += line + "\r\n";
    return out;
}

// One record of each units layout: 0.515 m/s, 1.00 knot (1852/3600 = 0.514444 m/s), 250 mm/s.
QByteArray threeUnitsLog()
{
    return lines({kHeader, kUtc, rec("0.515", "088", "24/05/2009 14:03:07"),
                  rec("01.00", "270", "24/05/2009 14:03:08"),
                  "a line of another program, 24/05/2009",
                  rec("0250", "000", "24/05/2009 14:03:10")});
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<cannot read>");
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runExport(const QStringList& args, const QByteArray& tz = "UTC",
              rlim_t fileSizeLimit = RLIM_INFINITY)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QString::fromLatin1(tz));
    process.setProcessEnvironment(env);
    if (fileSizeLimit != RLIM_INFINITY) {
        // The disk "fills up" under the library: writes beyond the limit fail with EFBIG.
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    process.start(QStringLiteral(MARVANE_EXPORT), args);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The data rows of a CSV export (no comments, no header row).
QList<QByteArray> dataRows(const QByteArray& csv)
{
    QList<QByteArray> rows;
    for (const QByteArray& line : csv.split('\n')) {
        const QByteArray l = line.trimmed();
        if (!l.isEmpty() && !l.startsWith('#') && !l.startsWith("time,"))
            rows << l;
    }
    return rows;
}

QStringList filesIn(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// A netCDF file read back with the library.
class NcReader
{
public:
    explicit NcReader(const QString& path)
    {
        m_ok = nc_open(QFile::encodeName(path).constData(), NC_NOWRITE, &m_id) == NC_NOERR;
    }
    ~NcReader()
    {
        if (m_ok)
            nc_close(m_id);
    }
    bool ok() const { return m_ok; }
    std::vector<double> doubles(const char* name) const
    {
        int var = -1, dim = -1;
        size_t length = 0;
        if (nc_inq_varid(m_id, name, &var) != NC_NOERR ||
            nc_inq_vardimid(m_id, var, &dim) != NC_NOERR ||
            nc_inq_dimlen(m_id, dim, &length) != NC_NOERR)
            return {};
        std::vector<double> values(length);
        if (nc_get_var_double(m_id, var, values.data()) != NC_NOERR)
            return {};
        return values;
    }
    QString text(const char* variable, const char* name) const
    {
        int var = NC_GLOBAL;
        if (variable && nc_inq_varid(m_id, variable, &var) != NC_NOERR)
            return QStringLiteral("<no variable>");
        size_t length = 0;
        if (nc_inq_attlen(m_id, var, name, &length) != NC_NOERR)
            return QStringLiteral("<no attribute>");
        QByteArray bytes(qsizetype(length), '\0');
        if (nc_get_att_text(m_id, var, name, bytes.data()) != NC_NOERR)
            return QStringLiteral("<unreadable>");
        return QString::fromUtf8(bytes);
    }

    // The name of a variable's (first) dimension; empty without the variable.
    QByteArray dimensionOf(const char* variable) const
    {
        int var = -1, dims = 0, dim = -1;
        char name[NC_MAX_NAME + 1] = {};
        if (nc_inq_varid(m_id, variable, &var) != NC_NOERR ||
            nc_inq_varndims(m_id, var, &dims) != NC_NOERR || dims < 1 ||
            nc_inq_vardimid(m_id, var, &dim) != NC_NOERR ||
            nc_inq_dimname(m_id, dim, name) != NC_NOERR)
            return {};
        return QByteArray(name);
    }
    bool hasDimension(const char* name) const
    {
        int dim = -1;
        return nc_inq_dimid(m_id, name, &dim) == NC_NOERR;
    }
    // The variables by id, which is the order tools such as ncdump list them in.
    QList<QByteArray> variableNames() const
    {
        int count = 0;
        QList<QByteArray> names;
        if (nc_inq_nvars(m_id, &count) != NC_NOERR)
            return names;
        for (int var = 0; var < count; ++var) {
            char name[NC_MAX_NAME + 1] = {};
            nc_inq_varname(m_id, var, name);
            names << QByteArray(name);
        }
        return names;
    }
    // The texts of a string variable over one dimension.
    QStringList strings(const char* name) const
    {
        int var = -1, dim = -1;
        size_t length = 0;
        if (nc_inq_varid(m_id, name, &var) != NC_NOERR ||
            nc_inq_vardimid(m_id, var, &dim) != NC_NOERR ||
            nc_inq_dimlen(m_id, dim, &length) != NC_NOERR)
            return {QStringLiteral("<no variable>")};
        std::vector<char*> values(length);
        if (length > 0 && nc_get_var_string(m_id, var, values.data()) != NC_NOERR)
            return {QStringLiteral("<unreadable>")};
        QStringList texts;
        for (char* value : values)
            texts << QString::fromUtf8(value);
        nc_free_string(length, values.data());
        return texts;
    }
    // The value of a scalar number variable; NaN without it.
    double scalar(const char* variable) const
    {
        int var = -1, dims = -1;
        double value = std::numeric_limits<double>::quiet_NaN();
        if (nc_inq_varid(m_id, variable, &var) != NC_NOERR ||
            nc_inq_varndims(m_id, var, &dims) != NC_NOERR || dims != 0 ||
            nc_get_var_double(m_id, var, &value) != NC_NOERR)
            return std::numeric_limits<double>::quiet_NaN();
        return value;
    }
    // The text of a scalar string variable.
    QString stringValue(const char* variable) const
    {
        int var = -1;
        char* value = nullptr;
        if (nc_inq_varid(m_id, variable, &var) != NC_NOERR ||
            nc_get_var_string(m_id, var, &value) != NC_NOERR)
            return QStringLiteral("<unreadable>");
        const QString text = QString::fromUtf8(value);
        nc_free_string(1, &value);
        return text;
    }

private:
    int m_id = -1;
    bool m_ok = false;
};

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void csvOfALogIsExact()
    {
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        const QString out = dir.filePath(s("out.csv"));
        QVERIFY(writeFile(in, threeUnitsLog()));
        const Run run = runExport({in, out});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("1 line skipped"), run.err.constData());
        QCOMPARE(contents(out),
                 QByteArray("# Marvane " MARVANE_VERSION
                            " data file, exported by marvane-export\r\n"
                            "# Source: log file in.log\r\n"
                            "# Span: the whole file\r\n"
                            "# Bearing convention: from (assumed: a log file does not record it; "
                            "where the flow comes from is the program's default)\r\n"
                            "# Heading: not recorded in a log file, bearings taken as relative to "
                            "the front of the sensor\r\n"
                            "# Times below: UTC; x, y and face are empty: a log file does not "
                            "keep them\r\n"
                            "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,"
                            "face,note\r\n"
                            "2009-05-24T14:03:07.000Z,,,m/s,,,0.515,88,from,,\r\n"
                            "2009-05-24T14:03:08.000Z,,,Knots,,,0.514444,270,from,,\r\n"
                            "2009-05-24T14:03:10.000Z,,,mm/s,,,0.25,0,from,,\r\n"));
        QCOMPARE(filesIn(dir), (QStringList{s("in.log"), s("out.csv")}));
    }

    void netCdfReadsBackWithTheLibrary()
    {
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        const QString out = dir.filePath(s("out.nc"));
        QVERIFY(writeFile(in, threeUnitsLog()));
        const Run run = runExport({in, out});
        QCOMPARE(run.exitCode, 0);

        NcReader nc(out);
        QVERIFY(nc.ok());
        // 24/05/2009 14:03:07 UTC is 1243173787 s after 1970.
        QCOMPARE(nc.doubles("time"), (std::vector<double>{1243173787, 1243173788, 1243173790}));
        QCOMPARE(nc.doubles("sea_water_speed"),
                 (std::vector<double>{0.515, 1852.0 / 3600.0, 0.25}));
        // From 088, 270, 000: going to 268, 090, 180.
        QCOMPARE(nc.doubles("direction_of_sea_water_velocity"),
                 (std::vector<double>{268, 90, 180}));
        QCOMPARE(nc.doubles("bearing_as_recorded"), (std::vector<double>{88, 270, 0}));
        QCOMPARE(nc.text(nullptr, "Conventions"), s("CF-1.8"));
        QCOMPARE(nc.text("time", "units"), s("seconds since 1970-01-01 00:00:00 UTC"));
        QCOMPARE(nc.text("time", "calendar"), s("standard"));
        QCOMPARE(nc.text("sea_water_speed", "units"), s("m s-1"));
        // A log does not record a heading: its bearings are not taken for true ones.
        QCOMPARE(nc.text("direction_of_sea_water_velocity", "standard_name"), s("<no attribute>"));
        QVERIFY(nc.text("bearing_convention", "comment").startsWith(s("assumed from")));
        // A log says nothing of the computer's clock.
        QCOMPARE(nc.text(nullptr, "computer_clock"), s("<no attribute>"));
        const QString history = nc.text(nullptr, "history");
        QVERIFY2(history.contains(s("1 line skipped")), qPrintable(history));
        QVERIFY2(history.contains(s("log file in.log (the whole file) to out.nc")),
                 qPrintable(history));
        QCOMPARE(filesIn(dir), (QStringList{s("in.log"), s("out.nc")}));
    }

    // What other tools do to a file (ncatted, ncks -A, xarray's mode "a"): open it for writing,
    // add an attribute, close it. And they list the variables in the order a reader wants them.
    void netCdfOpensForWritingInAnotherTool_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QList<QByteArray>>("variables");
        QTest::newRow("log") << threeUnitsLog()
                             << QList<QByteArray>{"time",
                                                  "sea_water_speed",
                                                  "direction_of_sea_water_velocity",
                                                  "bearing_as_recorded",
                                                  "bearing_convention",
                                                  "record_units",
                                                  "series_id"};
        // Times that repeat: the file is laid out again along obs at the end.
        QTest::newRow("data file, times repeating")
            << lines({"# Marvane 4.01 data file",
                      "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face",
                      "2009-05-24T14:03:07.250Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down",
                      "2009-05-24T14:03:07.250Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down"})
            << QList<QByteArray>{"time",
                                 "sea_water_speed",
                                 "direction_of_sea_water_velocity",
                                 "bearing_as_recorded",
                                 "x_velocity",
                                 "y_velocity",
                                 "bearing_convention",
                                 "record_units",
                                 "face",
                                 "series_id"};
    }
    void netCdfOpensForWritingInAnotherTool()
    {
        QFETCH(QByteArray, input);
        QFETCH(QList<QByteArray>, variables);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.csv"));
        const QString out = dir.filePath(s("out.nc"));
        QVERIFY(writeFile(in, input));
        QCOMPARE(runExport({in, out}).exitCode, 0);
        QCOMPARE(NcReader(out).variableNames(), variables);

        const QByteArray native = QFile::encodeName(out);
        int id = -1;
        QCOMPARE(nc_open(native.constData(), NC_WRITE, &id), NC_NOERR);
        QCOMPARE(nc_redef(id), NC_NOERR);
        const char note[] = "checked by hand";
        QCOMPARE(nc_put_att_text(id, NC_GLOBAL, "comment", sizeof note - 1, note), NC_NOERR);
        QCOMPARE(nc_close(id), NC_NOERR);

        NcReader nc(out);
        QVERIFY(nc.ok());
        QCOMPARE(nc.text(nullptr, "comment"), s(note));
        QCOMPARE(nc.variableNames(), variables);
        QCOMPARE(filesIn(dir), (QStringList{s("in.csv"), s("out.nc")}));
    }

    void dataFileKeepsItsConventionsAndComponents()
    {
        // An earlier version's data file, without the note column.
        QTemporaryDir dir;
        const QString in = dir.filePath(s("run.csv"));
        const QString out = dir.filePath(s("out.nc"));
        // The same flow before and after the operator switched From to To.
        QVERIFY(writeFile(
            in, lines({"# Marvane 4.01 data file", "# Clock: synchronised, estimated error 2 ms",
                       "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face",
                       "2009-05-24T14:03:07.250Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down",
                       "2009-05-24T14:03:07.450Z,+00.15,+00.00,Knots,0.077167,0,0.077167,90,to,up",
                       "not a row"})));
        const Run run = runExport({in, out});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("1 line skipped"), run.err.constData());
        NcReader nc(out);
        QVERIFY(nc.ok());
        QCOMPARE(nc.doubles("time"), (std::vector<double>{1243173787.25, 1243173787.45}));
        QCOMPARE(nc.doubles("sea_water_speed"), (std::vector<double>{0.1, 0.077167}));
        QCOMPARE(nc.doubles("direction_of_sea_water_velocity"), (std::vector<double>{90, 90}));
        QCOMPARE(nc.doubles("bearing_convention"), (std::vector<double>{0, 1}));
        QCOMPARE(nc.doubles("x_velocity"), (std::vector<double>{0.1, 0.077167}));
        QCOMPARE(nc.doubles("face"), (std::vector<double>{0, 1}));
        // The clock the times were read from, as the data file's head says it.
        QCOMPARE(nc.text(nullptr, "computer_clock"), s("synchronised, estimated error 2 ms"));

        // And as CSV, the rows as they were.
        const QString csv = dir.filePath(s("out.csv"));
        QCOMPARE(runExport({in, csv}).exitCode, 0);
        QVERIFY(contents(csv).contains("\r\n# Clock: synchronised, estimated error 2 ms\r\n"));
        QCOMPARE(
            dataRows(contents(csv)),
            (QList<QByteArray>{
                "2009-05-24T14:03:07.250Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down,",
                "2009-05-24T14:03:07.450Z,+00.15,+00.00,Knots,0.077167,0,0.077167,90,to,up,"}));
        // An earlier version's data file has no events: no marks.
        QVERIFY(!nc.hasDimension("mark"));
    }

    // The events of a data file (marks, the device lost and back, alarms) in the span: in the
    // netCDF file along a dimension of their own, mark_time on the samples' time units and
    // mark_note, never among the samples; in CSV as rows of their own, in place.
    void marksOfADataFileAreExported()
    {
        QTemporaryDir dir;
        const QString in = dir.filePath(s("run.csv"));
        const QString out = dir.filePath(s("out.nc"));
        QVERIFY(writeFile(
            in,
            lines({"# Marvane 4.01 data file",
                   "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face,note",
                   "2009-05-24T14:03:06.900Z,,,,,,,,,,mark: before the span",
                   "2009-05-24T14:03:07.250Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down,",
                   "2009-05-24T14:03:07.500Z,,,,,,,,,,\"mark: diver \"\"Ana\"\" in, north\"",
                   "2009-05-24T14:03:07.700Z,,,,,,,,,,device lost",
                   "2009-05-24T14:03:08.250Z,+0.200,+0.000,m/s,0.2,0,0.2,270,from,down,",
                   "2009-05-24T14:03:08.600Z,,,,,,,,,,mark"})));
        const QStringList span{s("--from"), s("2009-05-24T14:03:07")};
        const Run run = runExport(span + QStringList{in, out});
        QCOMPARE(run.exitCode, 0);
        NcReader nc(out);
        QVERIFY(nc.ok());
        QCOMPARE(nc.doubles("time"), (std::vector<double>{1243173787.25, 1243173788.25}));
        QCOMPARE(nc.dimensionOf("mark_time"), QByteArray("mark"));
        QCOMPARE(nc.doubles("mark_time"),
                 (std::vector<double>{1243173787.5, 1243173787.7, 1243173788.6}));
        QCOMPARE(nc.text("mark_time", "units"), nc.text("time", "units"));
        QCOMPARE(nc.strings("mark_note"),
                 (QStringList{s("mark: diver \"Ana\" in, north"), s("device lost"), s("mark")}));

        // CSV: the rows in place, the note quoted, no "#" line after the header row.
        const QString csv = dir.filePath(s("out.csv"));
        QCOMPARE(runExport(span + QStringList{in, csv}).exitCode, 0);
        const QByteArray text = contents(csv);
        QCOMPARE(dataRows(text),
                 (QList<QByteArray>{
                     "2009-05-24T14:03:07.250Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down,",
                     "2009-05-24T14:03:07.500Z,,,,,,,,,,\"mark: diver \"\"Ana\"\" in, north\"",
                     "2009-05-24T14:03:07.700Z,,,,,,,,,,device lost",
                     "2009-05-24T14:03:08.250Z,+0.200,+0.000,m/s,0.2,0,0.2,270,from,down,",
                     "2009-05-24T14:03:08.600Z,,,,,,,,,,mark"}));
        QVERIFY(!text.mid(text.indexOf("time,x_raw")).contains("\n#"));

        // Without events: no mark dimension.
        const QString plain = dir.filePath(s("plain.csv"));
        QVERIFY(writeFile(plain, lines({"# Marvane 4.01 data file",
                                        "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,"
                                        "bearing_deg,convention,face,note",
                                        "2009-05-24T14:03:07.250Z,+0.100,+0.000,m/s,0.1,0,0.1,"
                                        "270,from,down,"})));
        const QString plainOut = dir.filePath(s("plain.nc"));
        QCOMPARE(runExport({plain, plainOut}).exitCode, 0);
        NcReader none(plainOut);
        QVERIFY(none.ok());
        QVERIFY(!none.hasDimension("mark"));
        QVERIFY(none.doubles("mark_time").empty());
    }

    // CF's direction and component names say true north: only a heading makes the sensor's
    // bearing one. Without it the direction says it is relative to the sensor, with no standard
    // name, and no components east and north are given.
    void directionNamesFollowTheHeading_data()
    {
        QTest::addColumn<QByteArray>("headingLine");
        QTest::addColumn<QString>("standardName"); // of the direction; empty: none
        QTest::addColumn<QString>("stated");       // the heading, as the head and the file say it
        QTest::newRow("heading set")
            << QByteArray("# Heading: 90 degrees true, added to every bearing")
            << s("sea_water_velocity_to_direction") << s("90 degrees true, added to every bearing");
        QTest::newRow("heading 0: facing north")
            << QByteArray("# Heading: 0 degrees true, added to every bearing")
            << s("sea_water_velocity_to_direction") << s("0 degrees true, added to every bearing");
        QTest::newRow("not set")
            << QByteArray("# Heading: not set, bearings relative to the front of the sensor")
            << QString() << s("not set, bearings relative to the front of the sensor");
        // An earlier version wrote the offset always, 0 when none was given.
        QTest::newRow("earlier file, none given")
            << QByteArray("# Heading offset: 0 degrees") << QString()
            << s("not set, bearings relative to the front of the sensor");
        QTest::newRow("earlier file, offset given")
            << QByteArray("# Heading offset: 90 degrees") << s("sea_water_velocity_to_direction")
            << s("90 degrees true, added to every bearing");
    }
    void directionNamesFollowTheHeading()
    {
        QFETCH(QByteArray, headingLine);
        QFETCH(QString, standardName);
        QFETCH(QString, stated);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("run.csv"));
        // 0.5 m/s going to 90 (east) and to 180 (south), bearings with the heading in them.
        QVERIFY(writeFile(
            in, lines({"# Marvane 4.01 data file", headingLine,
                       "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face",
                       "2009-05-24T14:03:07.250Z,+0.500,+0.000,m/s,0.5,0,0.5,90,to,down",
                       "2009-05-24T14:03:08.250Z,+0.000,-0.500,m/s,0,-0.5,0.5,0,from,down"})));
        const QString out = dir.filePath(s("out.nc"));
        QCOMPARE(runExport({in, out}).exitCode, 0);
        NcReader nc(out);
        QVERIFY(nc.ok());
        const char* direction = "direction_of_sea_water_velocity";
        QCOMPARE(nc.doubles(direction), (std::vector<double>{90, 180}));
        QCOMPARE(nc.text(nullptr, "sensor_heading"), stated);
        if (standardName.isEmpty()) {
            QCOMPARE(nc.text(direction, "standard_name"), s("<no attribute>"));
            QVERIFY2(nc.text(direction, "long_name")
                         .contains(s("relative to the front of the "
                                     "sensor")),
                     qPrintable(nc.text(direction, "long_name")));
            QCOMPARE(nc.doubles("eastward_sea_water_velocity"), std::vector<double>{});
            QVERIFY(!nc.variableNames().contains("northward_sea_water_velocity"));
        } else {
            QCOMPARE(nc.text(direction, "standard_name"), standardName);
            QVERIFY(!nc.text(direction, "long_name").contains(s("relative")));
            const std::vector<double> east = nc.doubles("eastward_sea_water_velocity");
            const std::vector<double> north = nc.doubles("northward_sea_water_velocity");
            QCOMPARE(east.size(), size_t(2));
            QCOMPARE(north.size(), size_t(2));
            QVERIFY(qAbs(east[0] - 0.5) < 1e-12 && qAbs(north[0]) < 1e-12);
            QVERIFY(qAbs(east[1]) < 1e-12 && qAbs(north[1] + 0.5) < 1e-12);
            QCOMPARE(nc.text("eastward_sea_water_velocity", "standard_name"),
                     s("eastward_sea_water_velocity"));
            QCOMPARE(nc.text("northward_sea_water_velocity", "units"), s("m s-1"));
        }

        // The CSV export's head says it the same way.
        const QString csv = dir.filePath(s("out.csv"));
        QCOMPARE(runExport({in, csv}).exitCode, 0);
        QVERIFY2(contents(csv).contains("\r\n# Heading: " + stated.toUtf8() + "\r\n"),
                 contents(csv).constData());
    }

    void span_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QList<QByteArray>>("times");
        QTest::newRow("from, inclusive")
            << QStringList{s("--from"), s("2009-05-24T14:03:08")}
            << QList<QByteArray>{"2009-05-24T14:03:08.000Z", "2009-05-24T14:03:10.000Z"};
        QTest::newRow("to, inclusive")
            << QStringList{s("--to"), s("2009-05-24 14:03:08Z")}
            << QList<QByteArray>{"2009-05-24T14:03:07.000Z", "2009-05-24T14:03:08.000Z"};
        // 16:03:09 at UTC+2 is 14:03:09 UTC.
        QTest::newRow("both, with an offset")
            << QStringList{s("--from"), s("2009-05-24T14:03:08"), s("--to"),
                           s("2009-05-24T16:03:09+02:00")}
            << QList<QByteArray>{"2009-05-24T14:03:08.000Z"};
    }
    void span()
    {
        QFETCH(QStringList, options);
        QFETCH(QList<QByteArray>, times);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        const QString out = dir.filePath(s("out.csv"));
        QVERIFY(writeFile(in, threeUnitsLog()));
        const Run run = runExport(options + QStringList{in, out});
        QCOMPARE(run.exitCode, 0);
        QList<QByteArray> got;
        for (const QByteArray& row : dataRows(contents(out)))
            got << row.left(24);
        QCOMPARE(got, times);
    }

    void summaryPrintsTheStatistics()
    {
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        // 0.500, 1.000 and 1.500 m/s from north, a second apart, then 1.000 an hour later:
        // mean 1, deviation sqrt(0.5 / 4) = 0.354, one gap of an hour; the flow goes to 180,
        // which is from 000.
        QVERIFY(writeFile(in, lines({kHeader, kUtc, rec("0.500", "000", "24/05/2009 14:03:07"),
                                     "rubbish", rec("1.000", "000", "24/05/2009 14:03:08"),
                                     rec("1.500", "000", "24/05/2009 14:03:09"),
                                     rec("1.000", "000", "24/05/2009 15:03:09")})));
        const Run run = runExport({s("--summary"), in});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("Samples: 4\n"
                                     "First: 24/05/2009 14:03:07\n"
                                     "Last: 24/05/2009 15:03:09\n"
                                     "Duration: 1 h 0 min 2 s\n"
                                     "Times: UTC\n"
                                     "Gaps: 1, longest 1 h 0 min 0 s after 24/05/2009 14:03:09\n"
                                     "Mean speed: 1.000 m/s\n"
                                     "Minimum speed: 0.500 m/s at 24/05/2009 14:03:07\n"
                                     "Maximum speed: 1.500 m/s at 24/05/2009 14:03:09\n"
                                     "Standard deviation of speed: 0.354 m/s\n"
                                     "Residual speed: 1.000 m/s\n"
                                     "Residual bearing: 000 (flow from)\n"
                                     "Bad lines: 1\n"));
        QVERIFY(run.err.contains("1 line skipped"));
        QCOMPARE(filesIn(dir), QStringList{s("in.log")});
    }

    // London's clocks went back at 02:00 BST on 25/10/2026 (01:00 to 01:59 twice) and forward
    // at 01:00 GMT on 29/03/2026 (01:00 to 01:59 never).
    void localTimeAcrossAClockChange()
    {
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        const QString out = dir.filePath(s("out.nc"));
        QVERIFY(writeFile(
            in, lines({kHeader, kLocal, rec("0.100", "000", "29/03/2026 01:30:00"), // never was
                       rec("0.100", "000", "25/10/2026 00:59:00"),                  // 23:59 UTC
                       rec("0.100", "000", "25/10/2026 01:30:00"),                  // first: 00:30
                       rec("0.100", "000", "25/10/2026 01:10:00"),                  // second: 01:10
                       rec("0.100", "000", "25/10/2026 01:40:00"),                  // second: 01:40
                       rec("0.100", "000", "25/10/2026 01:20:00"),                  // back again
                       rec("0.100", "000", "25/10/2026 02:05:00")})));              // 02:05
        const Run run = runExport({in, out}, "Europe/London");
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("2 lines skipped"), run.err.constData());
        NcReader nc(out);
        QVERIFY(nc.ok());
        const double midnight = 1792886400; // 25/10/2026 00:00:00 UTC
        QCOMPARE(nc.doubles("time"),
                 (std::vector<double>{midnight - 60, midnight + 1800, midnight + 4200,
                                      midnight + 6000, midnight + 7500}));
        const QString history = nc.text(nullptr, "history");
        // The log names no zone: it is read in the computer's, and the file says so.
        QVERIFY2(history.contains(s("local time of a zone the log does not name, assumed to be "
                                    "Europe/London (this computer's zone); converted to UTC")),
                 qPrintable(history));
        QVERIFY2(run.err.contains("read as Europe/London, this computer's zone"),
                 run.err.constData());
        QVERIFY2(history.contains(s("placed by their order")), qPrintable(history));
        QVERIFY2(history.contains(s("2 lines skipped")), qPrintable(history));
    }

    // St. John's keeps UTC-3:30 in winter and UTC-2:30 in summer: noon there is 15:30 and 14:30
    // UTC. A log that names its zone is read in it whatever the computer's zone; one that names
    // none (older versions) in the zone given, else the computer's, and the export says which.
    void localTimeIsReadInTheZoneTheLogNames_data()
    {
        QTest::addColumn<QByteArray>("units");
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<QByteArray>("stated");
        const QByteArray named = "\"m/s\",\"Degrees\",\"24 Hour Local America/St_Johns\"";
        QTest::newRow("named, exported on a UTC machine")
            << named << QByteArray("UTC") << QStringList() << QByteArray()
            << QByteArray("local time of America/St_Johns, as the log names it");
        QTest::newRow("named, another zone given")
            << named << QByteArray("Asia/Tokyo")
            << QStringList{s("--time-zone"), s("Europe/London")} << QByteArray()
            << QByteArray("local time of America/St_Johns, as the log names it");
        QTest::newRow("not named: the computer's zone")
            << kLocal << QByteArray("America/St_Johns") << QStringList()
            << QByteArray("read as America/St_Johns, this computer's zone")
            << QByteArray("local time of a zone the log does not name, assumed to be "
                          "America/St_Johns (this computer's zone)");
        QTest::newRow("not named: the zone given")
            << kLocal << QByteArray("UTC") << QStringList{s("--time-zone"), s("America/St_Johns")}
            << QByteArray("read as America/St_Johns (--time-zone)")
            << QByteArray("local time of a zone the log does not name, assumed to be "
                          "America/St_Johns (the zone given)");
        QTest::newRow("named, but unknown here")
            << QByteArray("\"m/s\",\"Degrees\",\"24 Hour Local Mars/Olympus_Mons\"")
            << QByteArray("America/St_Johns") << QStringList()
            << QByteArray("read as America/St_Johns, this computer's zone")
            << QByteArray("local time of Mars/Olympus_Mons, a zone this computer does not "
                          "know, assumed to be America/St_Johns (this computer's zone)");
    }
    void localTimeIsReadInTheZoneTheLogNames()
    {
        QFETCH(QByteArray, units);
        QFETCH(QByteArray, tz);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, said);
        QFETCH(QByteArray, stated);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        const QString out = dir.filePath(s("out.csv"));
        QVERIFY(writeFile(in, lines({kHeader, units, rec("0.515", "088", "15/01/2024 12:00:00"),
                                     rec("0.520", "090", "15/07/2024 12:00:00")})));
        const Run run = runExport(options + QStringList{in, out}, tz);
        QCOMPARE(run.exitCode, 0);
        const QByteArray csv = contents(out);
        QCOMPARE(dataRows(csv),
                 (QList<QByteArray>{"2024-01-15T15:30:00.000Z,,,m/s,,,0.515,88,from,,",
                                    "2024-07-15T14:30:00.000Z,,,m/s,,,0.52,90,from,,"}));
        QVERIFY2(!run.err.contains("skipped"), run.err.constData());
        if (said.isEmpty())
            QVERIFY2(!run.err.contains("read as"), run.err.constData());
        else
            QVERIFY2(run.err.contains(said), run.err.constData());
        // Known only at the end: said on standard error, not after the rows.
        QVERIFY2(run.err.contains("time stamps of the source: " + stated + "; converted to UTC"),
                 run.err.constData());
        QVERIFY(!csv.contains("Time stamps of the source"));
    }

    // A time coordinate must strictly increase (CF), and xarray's sel, interp and align need a
    // unique index. A log's stamps are whole seconds, so a sensor sending twice a second repeats
    // them: such an export is one time series along obs with time(obs) an auxiliary coordinate.
    // Times that do increase (a data file's arrival times) keep time as the coordinate.
    void netCdfTimeIsACoordinateOnlyWhereItIncreases_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("dimension");
        QTest::addColumn<std::vector<double>>("times");
        QTest::addColumn<double>("lastSpeed");
        const double t = 1243173787; // 24/05/2009 14:03:07 UTC
        const QByteArray dataHead =
            "# Marvane 4.01 data file\r\n"
            "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face\r\n";
        const auto row = [](const char* time) {
            return QByteArray(time) + ",+0.100,+0.000,m/s,0.1,0,0.1,270,from,down\r\n";
        };
        QTest::newRow("log, two samples in one second")
            << s("in.log")
            << lines({kHeader, kUtc, rec("0.515", "088", "24/05/2009 14:03:07"),
                      rec("0.516", "089", "24/05/2009 14:03:07"),
                      rec("0.517", "090", "24/05/2009 14:03:08")})
            << QByteArray("obs") << std::vector<double>{t, t, t + 1} << 0.517;
        QTest::newRow("log, the clock set back")
            << s("in.log")
            << lines({kHeader, kUtc, rec("0.515", "088", "24/05/2009 14:03:08"),
                      rec("0.516", "089", "24/05/2009 14:03:07")})
            << QByteArray("obs") << std::vector<double>{t + 1, t} << 0.516;
        QTest::newRow("log, one sample a second")
            << s("in.log")
            << lines({kHeader, kUtc, rec("0.515", "088", "24/05/2009 14:03:07"),
                      rec("0.516", "089", "24/05/2009 14:03:08")})
            << QByteArray("time") << std::vector<double>{t, t + 1} << 0.516;
        // The layout is chosen by the first rows written (16,384 at a time); a repeat further
        // on has the rows already written laid out again.
        QByteArray longLog = lines({kHeader, kUtc});
        std::vector<double> longTimes;
        for (int i = 0; i < 20000; ++i) {
            const int second = i < 19999 ? i : i - 1;
            longLog += rec("0.515", "088",
                           QDateTime::fromSecsSinceEpoch(qint64(t) + second, Qt::UTC)
                               .toString(s("dd/MM/yyyy HH:mm:ss"))
                               .toLatin1()
                               .constData()) +
                       "\r\n";
            longTimes.push_back(t + second);
        }
        QTest::newRow("log, a repeat after the first rows")
            << s("in.log") << longLog << QByteArray("obs") << longTimes << 0.515;
        QTest::newRow("data file, distinct arrival times")
            << s("run.csv")
            << dataHead + row("2009-05-24T14:03:07.250Z") + row("2009-05-24T14:03:07.450Z")
            << QByteArray("time") << std::vector<double>{t + 0.25, t + 0.45} << 0.1;
        QTest::newRow("data file, an arrival time repeated")
            << s("run.csv")
            << dataHead + row("2009-05-24T14:03:07.250Z") + row("2009-05-24T14:03:07.250Z")
            << QByteArray("obs") << std::vector<double>{t + 0.25, t + 0.25} << 0.1;
    }
    void netCdfTimeIsACoordinateOnlyWhereItIncreases()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, dimension);
        QFETCH(std::vector<double>, times);
        QFETCH(double, lastSpeed);
        QTemporaryDir dir;
        const QString in = dir.filePath(name);
        const QString out = dir.filePath(s("out.nc"));
        QVERIFY(writeFile(in, input));
        const Run run = runExport({in, out});
        QCOMPARE(run.exitCode, 0);
        QStringList files{name, s("out.nc")};
        files.sort();
        QCOMPARE(filesIn(dir), files);

        NcReader nc(out);
        QVERIFY(nc.ok());
        QCOMPARE(nc.doubles("time"), times);
        QCOMPARE(nc.text("time", "units"), s("seconds since 1970-01-01 00:00:00 UTC"));
        QCOMPARE(nc.text("time", "standard_name"), s("time"));
        // Every variable lies along the dimension of time.
        QCOMPARE(nc.dimensionOf("time"), dimension);
        for (const char* variable : {"sea_water_speed", "direction_of_sea_water_velocity",
                                     "bearing_as_recorded", "bearing_convention", "record_units"}) {
            QCOMPARE(nc.dimensionOf(variable), dimension);
            QCOMPARE(nc.doubles(variable).size(), times.size());
        }
        QCOMPARE(nc.doubles("sea_water_speed").back(), lastSpeed);
        // One time series either way, named by its file.
        QCOMPARE(nc.text(nullptr, "featureType"), s("timeSeries"));
        QCOMPARE(nc.text("series_id", "cf_role"), s("timeseries_id"));
        QCOMPARE(nc.stringValue("series_id"), name);
        if (dimension == "time") {
            // A coordinate variable: strictly increasing.
            for (size_t i = 1; i < times.size(); ++i)
                QVERIFY(times[i] > times[i - 1]);
            QCOMPARE(nc.text("time", "axis"), s("T"));
            QCOMPARE(nc.text("sea_water_speed", "coordinates"), s("series_id"));
            QVERIFY(!nc.hasDimension("obs"));
        } else {
            // No coordinate variable time: time(obs) is named as an auxiliary coordinate.
            QVERIFY(!nc.hasDimension("time"));
            QCOMPARE(nc.text("time", "axis"), s("<no attribute>"));
            QCOMPARE(nc.text("sea_water_speed", "coordinates"), s("time series_id"));
            QCOMPARE(nc.text("record_units", "coordinates"), s("time series_id"));
        }
    }

    void badInputIsSkippedAndCounted_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<QByteArray>("skipped");
        QTest::addColumn<int>("rows");
        const QByteArray ok1 = rec("0.515", "088", "24/05/2009 14:03:07");
        const QByteArray ok2 = rec("0.520", "090", "24/05/2009 14:03:08");
        QTest::newRow("lines of other programs")
            << lines({kHeader, kUtc, "$GPGGA,123519,4807.038,N", ok1, "", "Speed,Bearing", ok2})
            << QByteArray("UTC") << QByteArray("2 lines skipped") << 2;
        QTest::newRow("unknown units word")
            << lines({kHeader, "\"furlongs\",\"Degrees\",\"24 Hour UTC\"", ok1, ok2})
            << QByteArray("UTC") << QByteArray("1 line skipped") << 2;
        QTest::newRow("units lines anywhere are markers, not bad lines")
            << lines({kHeader, kUtc, ok1, "\"Knots\",\"Degrees\",\"24 Hour UTC\"",
                      rec("01.00", "090", "24/05/2009 14:03:09"), kUtc, ok2})
            << QByteArray("UTC") << QByteArray() << 3;
        QTest::newRow("a date that does not exist")
            << lines({kHeader, kUtc, ok1, rec("0.515", "088", "31/02/2009 14:03:07"), ok2})
            << QByteArray("UTC") << QByteArray("1 line skipped") << 2;
        QTest::newRow("a log starting in the repeated hour")
            << lines({kHeader, kLocal, rec("0.100", "000", "25/10/2026 01:30:00"),
                      rec("0.100", "000", "25/10/2026 02:30:00")})
            << QByteArray("Europe/London") << QByteArray("1 line skipped") << 1;
    }
    void badInputIsSkippedAndCounted()
    {
        QFETCH(QByteArray, log);
        QFETCH(QByteArray, tz);
        QFETCH(QByteArray, skipped);
        QFETCH(int, rows);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        const QString out = dir.filePath(s("out.csv"));
        QVERIFY(writeFile(in, log));
        const Run run = runExport({in, out}, tz);
        QCOMPARE(run.exitCode, 0);
        if (skipped.isEmpty())
            QVERIFY2(!run.err.contains("skipped"), run.err.constData());
        else
            QVERIFY2(run.err.contains(skipped), run.err.constData());
        QCOMPARE(dataRows(contents(out)).size(), rows);
        // Whatever was skipped, the rows are all a reader finds after the column line, whether
        // it skips "#" lines or not.
        QCOMPARE(rowsSkippingComments(contents(out)), dataRows(contents(out)));
        QCOMPARE(rowsAfterColumnLine(contents(out), dataFileHeaderRow().trimmed()),
                 dataRows(contents(out)));
    }

    // A line far longer than any record (a file of another program, a log damaged into one line)
    // is read through the log line scanner like every other line: it is one bad line, passed over
    // without being held, and the lines around it are read as usual.
    void overlongLineIsOneBadLineAndNeverHeldWhole_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after"); // the long line's end and what follows it
        const QByteArray ok1 = rec("0.515", "088", "24/05/2009 14:03:07") + "\r\n";
        const QByteArray ok2 = rec("0.520", "090", "24/05/2009 14:03:08") + "\r\n";
        QTest::newRow("among records") << lines({kHeader, kUtc}) + ok1 << "\r\n" + ok2;
        QTest::newRow("the file's first line")
            << QByteArray() << "\n" + lines({kHeader, kUtc}) + ok1 + ok2;
        QTest::newRow("the file's last line, unended")
            << lines({kHeader, kUtc}) + ok1 + ok2 << QByteArray();
    }
    void overlongLineIsOneBadLineAndNeverHeldWhole()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        constexpr qint64 kLongLine = 48 * 1024 * 1024;
        {
            QFile file(in);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(before), before.size());
            // Bytes a record line could hold, so that only its length makes it bad.
            const QByteArray piece = QByteArray(1024 * 1024, '0');
            for (qint64 n = 0; n < kLongLine; n += piece.size())
                QCOMPARE(file.write(piece), piece.size());
            QCOMPARE(file.write(after), after.size());
        }
        const ExportResult result = spanStatisticsOfFile(in);
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.samples, qint64(2));
        QCOMPARE(result.skippedLines, qint64(1));
        QVERIFY2(result.inputBytesHeld > 0 &&
                     result.inputBytesHeld <= 2 * 1024 * 1024 + LogLineScanner::kMaxLineLength,
                 qPrintable(QString::number(result.inputBytesHeld)));

        // The program says the same.
        const Run run = runExport({s("--summary"), in});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("1 line skipped"), run.err.constData());
        QVERIFY2(run.out.startsWith("Samples: 2\n"), run.out.constData());
    }

    // Only a regular file is read: a FIFO would hold the program until something wrote to it (for
    // ever, as a rule), and a device may never end. Such an input is refused at once, as an input
    // that cannot be read.
    void inputThatIsNoRegularFileIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("mode"); // --summary, or an output file
        QTest::addColumn<QByteArray>("reason");
        for (const QString& kind : {s("FIFO"), s("folder"), s("missing")}) {
            const QByteArray reason = kind == s("FIFO") ? QByteArray("not a regular file")
                                      : kind == s("folder")
                                          ? QByteArray("Is a directory")
                                          : QByteArray("No such file or directory");
            QTest::addRow("%s, summary", qPrintable(kind))
                << kind << QStringList{s("--summary")} << reason;
            QTest::addRow("%s, to CSV", qPrintable(kind))
                << kind << QStringList{s("out.csv")} << reason;
        }
    }
    void inputThatIsNoRegularFileIsRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, mode);
        QFETCH(QByteArray, reason);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        if (kind == s("FIFO"))
            QCOMPARE(::mkfifo(QFile::encodeName(in).constData(), 0600), 0);
        else if (kind == s("folder"))
            QVERIFY(QDir(dir.path()).mkdir(s("in.log")));
        QStringList args;
        if (mode.first().startsWith(s("--")))
            args = mode + QStringList{in};
        else
            args = QStringList{in, dir.filePath(mode.first())};
        const Run run = runExport(args); // gives up after 30 s: exit code -1
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("Cannot read " + QFile::encodeName(in) + ": " + reason),
                 run.err.constData());
        // Nothing written beside it.
        QVERIFY(!QFileInfo::exists(dir.filePath(s("out.csv"))));

        // The History window's export reads the same way.
        const ExportResult direct = spanStatisticsOfFile(in);
        QCOMPARE(direct.status, ExportResult::Status::CannotRead);
        QCOMPARE(direct.error, s("Cannot read %1: %2").arg(in, QString::fromLatin1(reason)));
    }

    void existingOutputIsReplacedOnlyWithForce()
    {
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        const QString out = dir.filePath(s("out.nc"));
        QVERIFY(writeFile(in, threeUnitsLog()));
        QVERIFY(writeFile(out, "keep me"));
        const Run refused = runExport({in, out});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("exists already (--force replaces it)"),
                 refused.err.constData());
        QCOMPARE(contents(out), QByteArray("keep me"));
        const Run forced = runExport({s("--force"), in, out});
        QCOMPARE(forced.exitCode, 0);
        QVERIFY(NcReader(out).ok());
        QCOMPARE(filesIn(dir), (QStringList{s("in.log"), s("out.nc")}));
    }

    void emptySpanWritesNothing_data()
    {
        QTest::addColumn<QString>("output");
        QTest::newRow("csv") << s("out.csv");
        QTest::newRow("netCDF") << s("out.nc");
    }
    void emptySpanWritesNothing()
    {
        QFETCH(QString, output);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        QVERIFY(writeFile(in, threeUnitsLog()));
        const Run run = runExport({s("--from"), s("2010-01-01"), in, dir.filePath(output)});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("No samples in " + QFile::encodeName(in) +
                                  " from 2010-01-01T00:00:00.000Z to the end"),
                 run.err.constData());
        QCOMPARE(filesIn(dir), QStringList{s("in.log")});
    }

    void failedWriteLeavesNoFile_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("fileSizeLimit");
        QTest::addColumn<bool>("replacing");
        QTest::newRow("csv") << s("out.csv") << 4096 << false;
        QTest::newRow("csv, replacing") << s("out.csv") << 4096 << true;
        // The library meets the full disk as it writes its definitions, or only as it closes the
        // file (28 KB whole).
        QTest::newRow("netCDF, full at the start") << s("out.nc") << 4096 << false;
        QTest::newRow("netCDF, full at the close") << s("out.nc") << 20000 << false;
        QTest::newRow("netCDF, replacing") << s("out.nc") << 20000 << true;
    }
    void failedWriteLeavesNoFile()
    {
        QFETCH(QString, output);
        QFETCH(int, fileSizeLimit);
        QFETCH(bool, replacing);
        QTemporaryDir dir;
        const QString in = dir.filePath(s("in.log"));
        QByteArray log = lines({kHeader, kUtc});
        for (int i = 0; i < 2000; ++i)
            log += rec(i % 2 ? "0.515" : "1.234", "088", "24/05/2009 14:03:07") + "\r\n";
        QVERIFY(writeFile(in, log));
        const QString out = dir.filePath(output);
        if (replacing)
            QVERIFY(writeFile(out, "keep me"));
        const QStringList args =
            replacing ? QStringList{s("--force"), in, out} : QStringList{in, out};
        const Run run = runExport(args, "UTC", rlim_t(fileSizeLimit));
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("Cannot write " + QFile::encodeName(out) + ": File too large"),
                 run.err.constData());
        if (replacing) {
            QCOMPARE(contents(out), QByteArray("keep me"));
            QCOMPARE(filesIn(dir), (QStringList{s("in.log"), output}));
        } else {
            QCOMPARE(filesIn(dir), QStringList{s("in.log")});
        }
    }

    void netCdfLibraryErrorGivesItsTextAndNoFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(s("out.nc"));
        {
            NetCdfFile nc;
            QVERIFY(nc.create(path));
            QVERIFY(nc.defineDimension("time", 0) >= 0);
            QCOMPARE(nc.defineDimension("time", 0), -1);
            QCOMPARE(nc.errorText(), s("netCDF: time: NetCDF: String match to name in use"));
            QVERIFY(!nc.commit());
            QCOMPARE(nc.errorText(), s("netCDF: time: NetCDF: String match to name in use"));
        }
        QCOMPARE(filesIn(dir), QStringList{});
    }

    // A station's details: from the head of a data file, given to a log, or a data file's
    // replaced one by one on the command line; a single CF time series with its station id and
    // position, and the same details in a CSV's head.
    void stationDetailsGoIntoTheExport_data()
    {
        QTest::addColumn<QString>("inputName");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("station");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("depth");
        QTest::addColumn<QByteArray>("csvHead");
        const QByteArray dataFile = lines(
            {"# Marvane 4.01 data file", "# Station: Name=Tessmoor pier", "# Station: Id=pier-4",
             "# Station: Latitude=54.18213", "# Station: Longitude=-3.02577",
             "# Station: Depth=4.5", "# Station: Instrument=FS-2", "# Station: SerialNumber=0042",
             "# Station: Institution=Tessmoor Marine Lab",
             "time,x_raw,y_raw,units,x_m_s,y_m_s,speed_m_s,bearing_deg,convention,face",
             "2009-05-24T14:03:07.250Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down",
             "2009-05-24T14:03:08.250Z,+0.100,+0.000,m/s,0.1,0,0.1,270,from,down"});
        QTest::newRow("the data file's head")
            << s("in.csv") << dataFile << QStringList{} << s("pier-4") << 54.18213 << 4.5
            << QByteArray("# Marvane " MARVANE_VERSION " data file, exported by marvane-export\r\n"
                          "# Station: Name=Tessmoor pier\r\n# Station: Id=pier-4\r\n"
                          "# Station: Latitude=54.18213\r\n# Station: Longitude=-3.02577\r\n"
                          "# Station: Depth=4.5\r\n# Station: Instrument=FS-2\r\n"
                          "# Station: SerialNumber=0042\r\n"
                          "# Station: Institution=Tessmoor Marine Lab\r\n# Source: ");
        QTest::newRow("options over the head")
            << s("in.csv") << dataFile
            << QStringList{s("--station-id"), s("buoy-2"),          s("--depth"),
                           s("12"),           s("--serial-number"), s("")}
            << s("buoy-2") << 54.18213 << 12.0
            << QByteArray("# Station: Name=Tessmoor pier\r\n# Station: Id=buoy-2\r\n"
                          "# Station: Latitude=54.18213\r\n# Station: Longitude=-3.02577\r\n"
                          "# Station: Depth=12\r\n# Station: Instrument=FS-2\r\n"
                          "# Station: Institution=Tessmoor Marine Lab\r\n# Source: ");
        QTest::newRow("a log given them")
            << s("in.log") << threeUnitsLog()
            << QStringList{s("--station-name"),  s("Tessmoor pier"),
                           s("--station-id"),    s("pier-4"),
                           s("--latitude"),      s("-33.5"),
                           s("--longitude"),     s("151"),
                           s("--depth"),         s("4.5"),
                           s("--instrument"),    s("FS-2"),
                           s("--serial-number"), s("0042"),
                           s("--institution"),   s("Tessmoor Marine Lab")}
            << s("pier-4") << -33.5 << 4.5
            << QByteArray("# Station: Latitude=-33.5\r\n# Station: Longitude=151\r\n");
    }
    void stationDetailsGoIntoTheExport()
    {
        QFETCH(QString, inputName);
        QFETCH(QByteArray, input);
        QFETCH(QStringList, options);
        QFETCH(QString, station);
        QFETCH(double, latitude);
        QFETCH(double, depth);
        QFETCH(QByteArray, csvHead);
        QTemporaryDir dir;
        const QString in = dir.filePath(inputName);
        const QString out = dir.filePath(s("out.nc"));
        QVERIFY(writeFile(in, input));
        const Run run = runExport(options + QStringList{in, out});
        QCOMPARE(run.exitCode, 0);
        {
            NcReader nc(out);
            QVERIFY(nc.ok());
            QCOMPARE(nc.text(nullptr, "featureType"), s("timeSeries"));
            // One identifier of the series: the station's, in place of the file's.
            QCOMPARE(nc.stringValue("station"), station);
            QCOMPARE(nc.text("station", "cf_role"), s("timeseries_id"));
            QVERIFY(!nc.variableNames().contains("series_id"));
            QCOMPARE(nc.scalar("lat"), latitude);
            QCOMPARE(nc.text("lat", "standard_name"), s("latitude"));
            QCOMPARE(nc.text("lat", "units"), s("degrees_north"));
            QCOMPARE(nc.text("lon", "standard_name"), s("longitude"));
            QCOMPARE(nc.text("lon", "units"), s("degrees_east"));
            QCOMPARE(nc.scalar("depth"), depth);
            QCOMPARE(nc.text("depth", "standard_name"), s("depth"));
            QCOMPARE(nc.text("depth", "units"), s("m"));
            QCOMPARE(nc.text("depth", "positive"), s("down"));
            QCOMPARE(nc.text("sea_water_speed", "coordinates"), s("time lat lon depth station"));
            QCOMPARE(nc.text(nullptr, "station_name"), s("Tessmoor pier"));
            QCOMPARE(nc.text(nullptr, "instrument"), s("FS-2"));
            QCOMPARE(nc.text(nullptr, "institution"), s("Tessmoor Marine Lab"));
            QCOMPARE(nc.text(nullptr, "instrument_serial_number"),
                     options.contains(s("--serial-number")) &&
                             options.at(options.indexOf(s("--serial-number")) + 1).isEmpty()
                         ? s("<no attribute>")
                         : s("0042"));
            QCOMPARE(nc.doubles("sea_water_speed").size(), size_t(input.startsWith('#') ? 2 : 3));
        }
        // It opens for writing in another tool as any export does.
        int id = -1;
        QCOMPARE(nc_open(QFile::encodeName(out).constData(), NC_WRITE, &id), NC_NOERR);
        QCOMPARE(nc_redef(id), NC_NOERR);
        QCOMPARE(nc_put_att_text(id, NC_GLOBAL, "comment", 2, "ok"), NC_NOERR);
        QCOMPARE(nc_close(id), NC_NOERR);
        QCOMPARE(NcReader(out).text(nullptr, "comment"), s("ok"));

        const QString csv = dir.filePath(s("out.csv"));
        QCOMPARE(runExport(options + QStringList{in, csv}).exitCode, 0);
        QVERIFY2(contents(csv).contains(csvHead), contents(csv).constData());
    }

    void wrongCommandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("unknown extension")
            << QStringList{s("in.log"), s("out.txt")}
            << QByteArray("cannot tell the format of out.txt: name it .csv or .nc");
        QTest::newRow("bad time") << QStringList{s("--from"), s("yesterday"), s("in.log"),
                                                 s("out.csv")}
                                  << QByteArray("--from yesterday is not an ISO 8601 time");
        QTest::newRow("no output")
            << QStringList{s("in.log")} << QByteArray("no OUTFILE given (or --summary)");
        QTest::newRow("unknown time zone")
            << QStringList{s("--time-zone"), s("Nowhere/Atlantis"), s("in.log"), s("out.csv")}
            << QByteArray("--time-zone Nowhere/Atlantis is not a time zone this computer knows");
        QTest::newRow("latitude out of range")
            << QStringList{s("--latitude"), s("91"), s("in.log"), s("out.nc")}
            << QByteArray("--latitude wants decimal degrees from -90 to 90 (north positive), "
                          "not 91");
        QTest::newRow("station id with a slash")
            << QStringList{s("--station-id"), s("pier/4"), s("in.log"), s("out.nc")}
            << QByteArray("--station-id may not hold '+', '#' or '/'");
    }
    void wrongCommandLines()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        const Run run = runExport(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message), run.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
