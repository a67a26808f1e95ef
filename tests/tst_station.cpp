// The station's details: section [Station] of marvane.ini read and written (bad values told by
// their key and left out), the command line's options over it, the head of a data file, the
// health state's JSON, the default MQTT topic, and the Communications > Station dialog.

#include "app/StationDialog.h"
#include "logformat/DataFileFormat.h"
#include "logformat/StationComments.h"
#include "outputs/HealthState.h"
#include "outputs/OutputSettings.h"
#include "settings/StationOptions.h"
#include "settings/StationSettings.h"
#include "tests/support/MainWindowFixture.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

StationDetails pier()
{
    StationDetails d;
    d.name = s("Tessmoor pier");
    d.id = s("pier-4");
    d.latitude = 54.18213;
    d.longitude = -3.02577;
    d.depth = 4.5;
    d.instrument = s("FS-2, two-axis");
    d.serialNumber = s("0042");
    d.institution = s("Tessmoor Marine Lab");
    return d;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

Q_DECLARE_METATYPE(StationDetails)

class TestStation : public QObject
{
    Q_OBJECT
private slots:
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void savingKeepsEveryOtherLine();
    void badSettingsAreToldByKeyAndLeftOut_data();
    void badSettingsAreToldByKeyAndLeftOut();
    void commandLineOverTheSettings_data();
    void commandLineOverTheSettings();
    void dataFileHeadStatesTheStation();
    void healthStateCarriesTheDetailsSet();
    void defaultTopicNamesTheStationId_data();
    void defaultTopicNamesTheStationId();
    void dialogSavesAndApplies();
    void dialogRefusesWhatCannotBeUsed_data();
    void dialogRefusesWhatCannotBeUsed();
    void windowTellsBadSettingsAtTheStart();
};

void TestStation::settingsRoundTrip_data()
{
    QTest::addColumn<StationDetails>("details");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("every detail")
        << pier()
        << QByteArray("[Station]\nName=Tessmoor pier\nId=pier-4\nLatitude=54.18213\n"
                      "Longitude=-3.02577\nDepth=4.5\nInstrument=FS-2, two-axis\n"
                      "SerialNumber=0042\nInstitution=Tessmoor Marine Lab\n");
    StationDetails position;
    position.latitude = -90;
    position.longitude = 180;
    position.depth = -0.5; // above the datum
    QTest::newRow("position only, at its limits")
        << position << QByteArray("[Station]\nLatitude=-90\nLongitude=180\nDepth=-0.5\n");
    // Nothing set: no section is added.
    QTest::newRow("none") << StationDetails() << QByteArray();
}

void TestStation::settingsRoundTrip()
{
    QFETCH(StationDetails, details);
    QFETCH(QByteArray, written);
    QTemporaryDir dir;
    const QString ini = dir.filePath(s("marvane.ini"));
    saveStationSettings(ini, details);
    QCOMPARE(readAll(ini), written);
    QStringList problems;
    QVERIFY(loadStationSettings(ini, &problems) == details);
    QCOMPARE(problems, QStringList());
}

void TestStation::savingKeepsEveryOtherLine()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(s("marvane.ini"));
    QVERIFY(writeAll(ini, "; the pier's logger\r\n[Options]\r\nCommPort=0\r\n[Station]\r\n"
                          "Name=Old pier\r\nDepth=3\r\n; moored 2026-11-02\r\n"));
    StationDetails d;
    d.name = s("Tessmoor pier");
    d.id = s("pier-4");
    saveStationSettings(ini, d);
    // The depth no longer set is written empty where it stood; the id is added to the section.
    QCOMPARE(readAll(ini), QByteArray("; the pier's logger\r\n[Options]\r\nCommPort=0\r\n"
                                      "[Station]\r\nName=Tessmoor pier\r\nDepth=\r\n"
                                      "Id=pier-4\r\n; moored 2026-11-02\r\n"));
    QVERIFY(loadStationSettings(ini) == d);
}

void TestStation::badSettingsAreToldByKeyAndLeftOut_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<StationDetails>("expected");
    const auto named = [] {
        StationDetails d;
        d.name = s("Pier");
        return d;
    };
    QTest::newRow("latitude beyond the pole")
        << QByteArray("Latitude=95")
        << s("[Station] Latitude=95 in %1 wants decimal degrees from -90 to 90 (north "
             "positive); the latitude is not set")
        << named();
    QTest::newRow("latitude with a comma")
        << QByteArray("Latitude=54,2")
        << s("[Station] Latitude=54,2 in %1 wants decimal degrees from -90 to 90") << named();
    QTest::newRow("longitude in words")
        << QByteArray("Longitude=west")
        << s("[Station] Longitude=west in %1 wants decimal degrees from -180 to 180 (east "
             "positive); the longitude is not set")
        << named();
    QTest::newRow("depth below the deepest sea")
        << QByteArray("Depth=12000")
        << s("[Station] Depth=12000 in %1 wants metres from -100 to 11000 (positive down); the "
             "depth is not set")
        << named();
    QTest::newRow("id with a slash")
        << QByteArray("Id=pier/4")
        << s("[Station] Id=pier/4 in %1 may not hold '+', '#' or '/' (it is one level of an "
             "MQTT topic); the id is not set")
        << named();
    QTest::newRow("id of the broker's own")
        << QByteArray("Id=$SYS") << s("[Station] Id=$SYS in %1 may not start with '$'") << named();
    QTest::newRow("id with a wildcard")
        << QByteArray("Id=pier+") << s("[Station] Id=pier+ in %1 may not hold '+'") << named();
    QTest::newRow("serial number with a tab")
        << QByteArray("SerialNumber=00\t42")
        << s("[Station] SerialNumber=00\t42 in %1 wants one line of text; the serial number is "
             "not set")
        << named();
    StationDetails fine = named();
    fine.depth = 0;
    QTest::newRow("empty values are not set, and no problem")
        << QByteArray("Latitude=\nId=\nDepth=0") << QString() << fine;
}

void TestStation::badSettingsAreToldByKeyAndLeftOut()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, problem);
    QFETCH(StationDetails, expected);
    QTemporaryDir dir;
    const QString ini = dir.filePath(s("marvane.ini"));
    QVERIFY(writeAll(ini, "[Station]\nName=Pier\n" + line + "\n"));
    QStringList problems;
    const StationDetails loaded = loadStationSettings(ini, &problems);
    QVERIFY(loaded == expected);
    if (problem.isEmpty()) {
        QCOMPARE(problems, QStringList());
        return;
    }
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems.first().startsWith(problem.arg(ini)), qPrintable(problems.first()));
}

void TestStation::commandLineOverTheSettings_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<StationDetails>("expected");
    QTest::addColumn<QString>("error");
    StationDetails moved = pier();
    moved.latitude = 54.5;
    moved.longitude = 0;
    moved.id = s("buoy-2");
    QTest::newRow("some replaced") << QStringList{s("--latitude"), s("54.5"), s("--longitude=0"),
                                                  s("--station-id"), s("buoy-2")}
                                   << moved << QString();
    StationDetails fewer = pier();
    fewer.serialNumber.clear();
    fewer.depth.reset();
    QTest::newRow("empty: not set")
        << QStringList{s("--serial-number="), s("--depth=")} << fewer << QString();
    StationDetails renamed = pier();
    renamed.name = s("Tessmoor, north pier");
    renamed.institution = s("Lab");
    QTest::newRow("texts trimmed")
        << QStringList{s("--station-name"), s(" Tessmoor, north pier "), s("--institution=Lab")}
        << renamed << QString();
    QTest::newRow("latitude out of range")
        << QStringList{s("--latitude=-91")} << pier()
        << s("--latitude wants decimal degrees from -90 to 90 (north positive), not -91");
    QTest::newRow("depth in words") << QStringList{s("--depth=deep")} << pier()
                                    << s("--depth wants metres from -100 to 11000 (positive "
                                         "down), not deep");
    QTest::newRow("id with a hash, nothing changed")
        << QStringList{s("--latitude=1"), s("--station-id=pier#4")} << pier()
        << s("--station-id may not hold '+', '#' or '/' (it is one level of an MQTT topic), not "
             "pier#4");
}

void TestStation::commandLineOverTheSettings()
{
    QFETCH(QStringList, args);
    QFETCH(StationDetails, expected);
    QFETCH(QString, error);
    QCommandLineParser parser;
    addStationOptions(parser, QStringLiteral("[Station] %1"));
    QVERIFY2(parser.parse(QStringList{s("marvane-record")} + args), qPrintable(parser.errorText()));
    StationDetails details = pier();
    QString why;
    QCOMPARE(readStationOptions(parser, details, &why), error.isEmpty());
    QCOMPARE(why, error);
    QVERIFY(details == expected);
}

void TestStation::dataFileHeadStatesTheStation()
{
    // Of the live session, from the moment it is told.
    LiveSession session(nullptr);
    QVERIFY(session.dataFileHeader(s("run.log")).station.isEmpty());
    session.setStation(pier());
    const DataFileHeader header = session.dataFileHeader(s("run.log"));
    QVERIFY(header.station == pier());

    const QStringList comments = dataFileComments(header);
    QCOMPARE(comments.mid(1, 8),
             (QStringList{s("Station: Name=Tessmoor pier"), s("Station: Id=pier-4"),
                          s("Station: Latitude=54.18213"), s("Station: Longitude=-3.02577"),
                          s("Station: Depth=4.5"), s("Station: Instrument=FS-2, two-axis"),
                          s("Station: SerialNumber=0042"),
                          s("Station: Institution=Tessmoor Marine Lab")}));
    QVERIFY(comments.at(9).startsWith(s("Port: ")));
    // Read back from the head, as an export reads it.
    QVERIFY(stationOfComments(comments) == pier());
    // A name with a comma stays one comment line: the head's lines are not CSV.
    QVERIFY(dataFileCommentLines(comments).contains("# Station: Instrument=FS-2, two-axis\r\n"));

    // Without details, no station line at all.
    DataFileHeader plain;
    for (const QString& line : dataFileComments(plain))
        QVERIFY2(!line.startsWith(s("Station")), qPrintable(line));

    // A file written by the session: the lines at its head, before the header row.
    QTemporaryDir dir;
    const QString data = dir.filePath(s("run.csv"));
    QString reason;
    QVERIFY2(session.openDataFile(data, false, &reason), qPrintable(reason));
    session.finish();
    const QList<QByteArray> lines = readAll(data).split('\n');
    QVERIFY(lines.size() > 10);
    QCOMPARE(lines.at(1), QByteArray("# Station: Name=Tessmoor pier\r"));
    QCOMPARE(lines.at(8), QByteArray("# Station: Institution=Tessmoor Marine Lab\r"));
}

void TestStation::healthStateCarriesTheDetailsSet()
{
    HealthState health;
    const QJsonObject without =
        QJsonDocument::fromJson(healthPayload(health, 1243173787000)).object();
    QVERIFY(!without.isEmpty());
    QVERIFY(!without.contains(s("station")));

    health.station.name = s("Tessmoor pier");
    health.station.latitude = -33.5;
    health.station.depth = 4.5;
    health.station.serialNumber = s("0042");
    const QByteArray payload = healthPayload(health, 1243173787000);
    const QJsonObject with = QJsonDocument::fromJson(payload).object();
    QCOMPARE(with.value(s("station")).toObject(), (QJsonObject{{s("name"), s("Tessmoor pier")},
                                                               {s("latitude"), -33.5},
                                                               {s("depth"), 4.5},
                                                               {s("serialNumber"), s("0042")}}));
    QVERIFY2(payload.contains("\"latitude\":-33.5"), payload.constData());
    // A change of the details is news for a watcher at once.
    HealthState before;
    QVERIFY(!health.sameStateAs(before));
}

void TestStation::defaultTopicNamesTheStationId_data()
{
    QTest::addColumn<QString>("stationId");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("error");
    QTest::newRow("no id") << QString() << QString() << defaultMqttTopic(s("COM1")) << QString();
    QTest::newRow("an id") << s("pier-4") << QString() << s("marvane/pier-4") << QString();
    QTest::newRow("a topic given wins")
        << s("pier-4") << s("fleet/pier") << s("fleet/pier") << QString();
    QTest::newRow("an id that cannot be a level")
        << s("pier/4") << QString() << s("marvane/pier/4")
        << s("The station id \"pier/4\" may not hold '+', '#' or '/' (it is one level of an MQTT "
             "topic).");
}

void TestStation::defaultTopicNamesTheStationId()
{
    QFETCH(QString, stationId);
    QFETCH(QString, topic);
    QFETCH(QString, expected);
    QFETCH(QString, error);
    OutputSettings settings;
    settings.mqtt = true;
    settings.mqttTopic = topic;
    settings.stationId = stationId;
    QCOMPARE(mqttTopicFor(settings, s("COM1")), expected);
    QCOMPARE(outputSettingsError(settings), error);
}

void TestStation::dialogSavesAndApplies()
{
    MainWindowFixture f("[Station]\nName=Old pier\nDepth=3\n");
    QCOMPARE(f.window->session().station().name, s("Old pier"));
    StationDialog* dialog = f.window->stationDialog();
    f.window->showStation();
    QVERIFY(dialog->isVisible());
    const auto edit = [dialog](const char* name) {
        return dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
    };
    QCOMPARE(edit("stationNameEdit")->text(), s("Old pier"));
    QCOMPARE(edit("depthEdit")->text(), s("3"));
    edit("stationNameEdit")->setText(s("Tessmoor pier"));
    edit("stationIdEdit")->setText(s("pier-4"));
    edit("latitudeEdit")->setText(s("54.18213"));
    edit("longitudeEdit")->setText(s("-3.02577"));
    edit("depthEdit")->setText(s("4.5"));
    edit("instrumentEdit")->setText(s("FS-2, two-axis"));
    edit("serialNumberEdit")->setText(s("0042"));
    edit("institutionEdit")->setText(s("Tessmoor Marine Lab"));
    dialog->findChild<QPushButton*>(s("okButton"))->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(f.prompts->errors(), QStringList());
    QVERIFY(f.window->session().station() == pier());
    QVERIFY(loadStationSettings(f.path(s("marvane.ini"))) == pier());
    QVERIFY(f.window->session().healthState().station == pier());
}

void TestStation::dialogRefusesWhatCannotBeUsed_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("latitude")
        << s("latitudeEdit") << s("95")
        << s("The station's latitude wants decimal degrees from -90 to 90 (north positive), not "
             "\"95\".");
    QTest::newRow("longitude with a comma")
        << s("longitudeEdit") << s("3,5")
        << s("The station's longitude wants decimal degrees from -180 to 180 (east positive), "
             "not \"3,5\".");
    QTest::newRow("depth") << s("depthEdit") << s("-101")
                           << s("The station's depth wants metres from -100 to 11000 (positive "
                                "down), not \"-101\".");
    QTest::newRow("id") << s("stationIdEdit") << s("$SYS")
                        << s("The station's id may not start with '$' (it is one level of an "
                             "MQTT topic), not \"$SYS\".");
}

void TestStation::dialogRefusesWhatCannotBeUsed()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, error);
    MainWindowFixture f;
    StationDialog* dialog = f.window->stationDialog();
    f.window->showStation();
    dialog->findChild<QLineEdit*>(s("stationNameEdit"))->setText(s("Tessmoor pier"));
    dialog->findChild<QLineEdit*>(field)->setText(text);
    dialog->findChild<QPushButton*>(s("okButton"))->click();
    QCOMPARE(f.prompts->errors(), QStringList{error});
    // Nothing saved or applied; the dialog stays open to set it right.
    QVERIFY(dialog->isVisible());
    QVERIFY(!f.readFile(s("marvane.ini")).contains("[Station]"));
    QVERIFY(f.window->session().station().isEmpty());
}

void TestStation::windowTellsBadSettingsAtTheStart()
{
    MainWindowFixture f("[Station]\nId=pier-4\nLatitude=95\n");
    const QStringList errors = f.prompts->errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().startsWith(s("[Station] Latitude=95 in ")), qPrintable(errors.first()));
    QCOMPARE(f.window->session().station().id, s("pier-4"));
    QVERIFY(!f.window->session().station().latitude);
}

QTEST_MAIN(TestStation)
#include "tst_station.moc"
