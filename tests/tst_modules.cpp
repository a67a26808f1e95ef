// The program's modules: libnetcdf, libmosquitto and Qt Network (and what they bring) are loaded
// only with the netCDF, MQTT and NMEA modules, the first time an export to .nc, an MQTT output or
// an NMEA output is made; a program without its modules says which one is missing and why, and
// does everything else.

#include "base/ModuleLoader.h"
#include "export/NetCdfFile.h"
#include "outputs/MqttClient.h"
#include "outputs/MqttOutput.h"
#include "outputs/NmeaOutput.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <pty.h>
#include <unistd.h>

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

// The libraries that only an export to .nc or a network output needs.
const QStringList kLateLibraries{s("libnetcdf"),    s("libhdf5"), s("libcurl"),       s("libxml2"),
                                 s("libmosquitto"), s("libssl"),  s("libQt6Network"), s("libkrb5")};

// The names of the shared objects mapped into this process.
QStringList mappedLibraries()
{
    QFile maps(s("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {s("(cannot read /proc/self/maps)")};
    QStringList names;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype slash = line.lastIndexOf('/');
        if (slash >= 0 && line.contains(".so")) {
            const QString name = QString::fromLocal8Bit(line.mid(slash + 1));
            if (!names.contains(name))
                names << name;
        }
    }
    return names;
}

QStringList matching(const QStringList& names, const QStringList& prefixes)
{
    QStringList found;
    for (const QString& name : names) {
        for (const QString& prefix : prefixes) {
            if (name.startsWith(prefix + QLatin1Char('.')) ||
                name.startsWith(prefix + QLatin1Char('-')) ||
                name.startsWith(prefix + QLatin1Char('_')))
                found << name;
        }
    }
    return found;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A copy of program in dir/bin, as if installed without its modules.
QString copyAlone(const QString& program, const QTemporaryDir& dir)
{
    const QString bin = dir.filePath(s("bin"));
    const QString copy = bin + QLatin1Char('/') + QFileInfo(program).fileName();
    if (!QDir().mkpath(bin) || !QFile::copy(program, copy))
        return QString();
    return copy;
}

struct Run
{
    int exitCode = -1;
    QByteArray err;
};

Run run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    Run result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.err = process.readAllStandardError();
    return result;
}

const QByteArray kLog = "\"Speed\",\"Bearing\",\"Date-Time\"\r\n"
                        "\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n"
                        "\"0.515\",\"088\",\"24/05/2009 14:03:07\"\r\n";

} // namespace

class TestModules : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void librariesAreLoadedWhenFirstUsed();
    void programsDoNotLinkTheLibraries_data();
    void programsDoNotLinkTheLibraries();
    void moduleThatCannotBeUsedIsRefusedWithItsReason_data();
    void moduleThatCannotBeUsedIsRefusedWithItsReason();
    void exportWithoutTheNetCdfModuleSaysSoAndWritesCsv();
    void recorderWithoutAnOutputsModuleSaysSo_data();
    void recorderWithoutAnOutputsModuleSaysSo();

private:
    QStringList m_mappedAtStart;
};

void TestModules::initTestCase()
{
    // Before any test has made a netCDF file or an MQTT output.
    m_mappedAtStart = mappedLibraries();
}

void TestModules::librariesAreLoadedWhenFirstUsed()
{
    QCOMPARE(matching(m_mappedAtStart, kLateLibraries), QStringList{});

    QTemporaryDir dir;
    NetCdfFile nc;
    QVERIFY2(nc.create(dir.filePath(s("first.nc"))), qPrintable(nc.errorText()));
    QCOMPARE(matching(mappedLibraries(), {s("libnetcdf")}).size(), 1);
    QCOMPARE(matching(mappedLibraries(), {s("libmosquitto")}), QStringList{});

    // Nothing listens on port 1: the output only tries to connect until it is ended.
    MqttOutputConfig config;
    config.url.host = s("127.0.0.1");
    config.url.port = 1;
    config.topic = s("marvane/test");
    MqttOutput output(config);
    QVERIFY(output.stateText() != s("MQTT: not available"));
    QCOMPARE(matching(mappedLibraries(), {s("libmosquitto")}).size(), 1);
    QCOMPARE(matching(mappedLibraries(), {s("libQt6Network")}), QStringList{});

    NmeaOutputConfig nmea;
    nmea.udpHost = s("127.0.0.1");
    NmeaOutput sentences(nmea);
    QCOMPARE(sentences.stateText(), s("NMEA UDP to 127.0.0.1:10110"));
    QCOMPARE(matching(mappedLibraries(), {s("libQt6Network")}).size(), 1);
}

void TestModules::programsDoNotLinkTheLibraries_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("marvane") << s(MARVANE_PROGRAM);
    QTest::newRow("marvane-record") << s(MARVANE_RECORD);
    QTest::newRow("marvane-export") << s(MARVANE_EXPORT);
}

void TestModules::programsDoNotLinkTheLibraries()
{
    QFETCH(QString, program);
    // ldd lists every library loaded at start, the libraries' own included.
    QProcess ldd;
    ldd.start(s("ldd"), {program});
    if (!ldd.waitForStarted())
        QSKIP("ldd is not installed (Debian package libc-bin)");
    QVERIFY(ldd.waitForFinished(30000));
    QCOMPARE(ldd.exitCode(), 0);
    QStringList names;
    for (const QByteArray& line : ldd.readAllStandardOutput().split('\n'))
        names << QString::fromLocal8Bit(line.trimmed().split(' ').value(0));
    QVERIFY(names.size() > 3);
    QCOMPARE(matching(names, kLateLibraries), QStringList{});
}

void TestModules::moduleThatCannotBeUsedIsRefusedWithItsReason_data()
{
    QTest::addColumn<QString>("folder"); // empty: a temporary folder
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QString>("reason"); // a pattern; empty: loaded
    const QString modules = moduleFolder();
    QTest::newRow("netCDF module") << modules << QByteArray() << s(kNetCdfModuleFile)
                                   << QByteArray(kNetCdfModuleEntry) << QString();
    QTest::newRow("MQTT module") << modules << QByteArray() << s(kMqttModuleFile)
                                 << QByteArray(kMqttModuleEntry) << QString();
    QTest::newRow("NMEA module") << modules << QByteArray() << s(kNmeaModuleFile)
                                 << QByteArray(kNmeaModuleEntry) << QString();
    QTest::newRow("missing") << QString() << QByteArray() << s(kNetCdfModuleFile)
                             << QByteArray(kNetCdfModuleEntry)
                             << s("^<folder>/marvane-netcdf\\.so is missing$");
    QTest::newRow("not a shared object")
        << QString() << QByteArray("not a library\n") << s(kMqttModuleFile)
        << QByteArray(kMqttModuleEntry) << s("^Cannot load library <folder>/marvane-mqtt\\.so: .+");
    QTest::newRow("of another version")
        << modules << QByteArray() << s(kMqttModuleFile) << QByteArray("marvane_mqtt_client_0")
        << s("^<modules>/marvane-mqtt\\.so is not a module of this version of the program "
             "\\(it lacks marvane_mqtt_client_0\\)$");
}

void TestModules::moduleThatCannotBeUsedIsRefusedWithItsReason()
{
    QFETCH(QString, folder);
    QFETCH(QByteArray, contents);
    QFETCH(QString, file);
    QFETCH(QByteArray, entry);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    if (folder.isEmpty())
        folder = dir.path();
    if (!contents.isEmpty())
        QVERIFY(writeFile(QDir(folder).filePath(file), contents));

    QString why = s("(not set)");
    const QFunctionPointer function = moduleEntry(folder, file, entry.constData(), &why);
    if (reason.isEmpty()) {
        QVERIFY2(function, qPrintable(why));
        QCOMPARE(why, QString());
    } else {
        QVERIFY(!function);
        const QString pattern =
            QString(reason)
                .replace(s("<folder>"), QRegularExpression::escape(dir.path()))
                .replace(s("<modules>"), QRegularExpression::escape(moduleFolder()));
        QVERIFY2(QRegularExpression(pattern).match(why).hasMatch(), qPrintable(why));
    }
}

void TestModules::exportWithoutTheNetCdfModuleSaysSoAndWritesCsv()
{
    QTemporaryDir dir;
    const QString program = copyAlone(s(MARVANE_EXPORT), dir);
    QVERIFY(!program.isEmpty());
    const QString in = dir.filePath(s("in.log"));
    QVERIFY(writeFile(in, kLog));

    const Run nc = run(program, {in, dir.filePath(s("out.nc"))});
    QCOMPARE(nc.exitCode, 1);
    QVERIFY2(nc.err.contains(": netCDF export is not available: "), nc.err.constData());
    QVERIFY2(nc.err.contains("/marvane-netcdf.so is missing"), nc.err.constData());
    QVERIFY(!QFile::exists(dir.filePath(s("out.nc"))));

    const Run csv = run(program, {in, dir.filePath(s("out.csv"))});
    QCOMPARE(csv.exitCode, 0);
    QVERIFY2(csv.err.contains("1 samples written"), csv.err.constData());
}

void TestModules::recorderWithoutAnOutputsModuleSaysSo_data()
{
    QTest::addColumn<QByteArray>("outputs"); // section [Outputs] of marvane.ini
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("MQTT") << QByteArray("Mqtt=1\r\nMqttUrl=mqtt://127.0.0.1:1\r\n")
                          << QByteArray("MQTT output is not available: ");
    QTest::newRow("NMEA over UDP") << QByteArray("NmeaUdp=1\r\nNmeaUdpHost=127.0.0.1\r\n")
                                   << QByteArray("NMEA output is not available: ");
    QTest::newRow("NMEA over TCP")
        << QByteArray("NmeaTcp=1\r\n") << QByteArray("NMEA output is not available: ");
}

void TestModules::recorderWithoutAnOutputsModuleSaysSo()
{
    QFETCH(QByteArray, outputs);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    const QString program = copyAlone(s(MARVANE_RECORD), dir);
    QVERIFY(!program.isEmpty());
    const QString settings = dir.filePath(s("marvane.ini"));
    QVERIFY(writeFile(settings, "[Outputs]\r\n" + outputs));
    int master = -1, slave = -1;
    char name[256] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    const Run result = run(program, {s("--settings"), settings, s("--port"),
                                     QString::fromLocal8Bit(name), dir.filePath(s("flow.log"))});
    ::close(master);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains(message), result.err.constData());
    QVERIFY2(result.err.contains(".so is missing."), result.err.constData());
}

QTEST_GUILESS_MAIN(TestModules)
#include "tst_modules.moc"
