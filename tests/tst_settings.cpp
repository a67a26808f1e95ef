// The persisted options in marvane.ini: what a file reads as, what saving writes, and that
// saving leaves everything else in the file byte for byte as the operator left it.

#include "base/IniFile.h"
#include "base/MarvaneError.h"
#include "settings/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(CommsSettings)

#include "tests/support/CommsSettingsMaker.h"

namespace {

#ifdef Q_OS_WIN
const QByteArray NL("\r\n");
#else
const QByteArray NL("\n");
#endif

qint32 field(const CommsSettings& s, const QByteArray& key)
{
    if (key == "ScrollDirection")
        return s.scrollDirection;
    if (key == "CommPort")
        return s.commPort;
    if (key == "Orientation")
        return s.orientation;
    if (key == "BaudRate")
        return s.baudRate;
    if (key == "DataBits")
        return s.dataBits;
    if (key == "Parity")
        return s.parity;
    if (key == "StopBits")
        return s.stopBits;
    qFatal("unknown key");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The seven lines of section Options for the given settings, in file order.
QByteArray optionLines(const CommsSettings& s, const QByteArray& nl)
{
    return "ScrollDirection=" + QByteArray::number(s.scrollDirection) + nl +
           "CommPort=" + QByteArray::number(s.commPort) + nl +
           "Orientation=" + QByteArray::number(s.orientation) + nl +
           "BaudRate=" + QByteArray::number(s.baudRate) + nl +
           "DataBits=" + QByteArray::number(s.dataBits) + nl +
           "Parity=" + QByteArray::number(s.parity) + nl +
           "StopBits=" + QByteArray::number(s.stopBits) + nl;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void reconnectChoiceIsKeptBesideTheSeven();
    void intValue_data();
    void intValue();
    void valueIsTrimmedTextAfterFirstEquals();
    void untouchedFileIsReturnedByteForByte_data();
    void untouchedFileIsReturnedByteForByte();

    void missingFileGivesDefaults_data();
    void missingFileGivesDefaults();
    void loadReadsKey_data();
    void loadReadsKey();
    void loadReadsAllSevenKeys();
    void fileEditedBetweenLoadsIsReadAfresh();

    void saveWritesExactBytes_data();
    void saveWritesExactBytes();
    void saveAndLoadRoundTrip_data();
    void saveAndLoadRoundTrip();
    void saveFollowsSymlinkToItsTarget();
    void saveKeepsFilePermissions();
    void saveInDirectoryWithoutWritePermissionWritesFileInPlace();
    void unwritableFileThrowsAndIsLeftAlone_data();
    void unwritableFileThrowsAndIsLeftAlone();
    void saveNeverReplacesWhatIsNotASettingsFile_data();
    void saveNeverReplacesWhatIsNotASettingsFile();
    void readingTellsWhyAFileCannotBeRead_data();
    void readingTellsWhyAFileCannotBeRead();
    void oversizedFileIsNeitherReadNorReplaced();
    void saveWritesPortDevicesKeepingEveryOtherLine();
};

void TestSettings::intValue_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint32>("expected");

    // Default used below: 77.
    QTest::newRow("decimal") << QByteArray("5") << 5;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("leading zeros") << QByteArray("007") << 7;
    QTest::newRow("negative") << QByteArray("-1") << -1;
    QTest::newRow("plus sign") << QByteArray("+4") << 4;
    QTest::newRow("blanks around") << QByteArray("  12\t") << 12;
    QTest::newRow("hex 0x") << QByteArray("0x2") << 2;
    QTest::newRow("hex 0X upper digits") << QByteArray("0X1F") << 31;
    QTest::newRow("hex dollar") << QByteArray("$1F") << 31;
    QTest::newRow("hex dollar lower") << QByteArray("$ff") << 255;
    QTest::newRow("negative hex") << QByteArray("-0x10") << -16;
    QTest::newRow("largest") << QByteArray("2147483647") << std::numeric_limits<qint32>::max();
    QTest::newRow("smallest") << QByteArray("-2147483648") << std::numeric_limits<qint32>::min();
    QTest::newRow("largest hex") << QByteArray("0x7FFFFFFF") << std::numeric_limits<qint32>::max();
    QTest::newRow("words") << QByteArray("abc") << 77;
    QTest::newRow("empty") << QByteArray("") << 77;
    QTest::newRow("trailing rubbish") << QByteArray("12abc") << 77;
    QTest::newRow("inner blank") << QByteArray("1 2") << 77;
    QTest::newRow("sign alone") << QByteArray("-") << 77;
    QTest::newRow("double sign") << QByteArray("--1") << 77;
    QTest::newRow("hex prefix alone") << QByteArray("0x") << 77;
    QTest::newRow("dollar alone") << QByteArray("$") << 77;
    QTest::newRow("hex digit in decimal") << QByteArray("1F") << 77;
    QTest::newRow("not hex") << QByteArray("0xG1") << 77;
    QTest::newRow("fraction") << QByteArray("1.0") << 77;
    QTest::newRow("just above 32 bits") << QByteArray("2147483648") << 77;
    QTest::newRow("just below 32 bits") << QByteArray("-2147483649") << 77;
    QTest::newRow("hex above 32 bits signed") << QByteArray("0x80000000") << 77;
    QTest::newRow("all ones hex") << QByteArray("$FFFFFFFF") << 77;
    QTest::newRow("huge") << QByteArray("99999999999999999999999999") << 77;
    QTest::newRow("huge hex") << QByteArray("0xFFFFFFFFFFFFFFFFFFFFFFFF") << 77;
    QTest::newRow("arabic-indic digit") << QByteArray("\xd9\xa3") << 77;
    // clang-format on
}

void TestSettings::intValue()
{
    QFETCH(QByteArray, text);
    QFETCH(qint32, expected);
    const IniFile ini("[Options]\nBaudRate=" + text + "\n");
    QCOMPARE(ini.intValue(QStringLiteral("Options"), QStringLiteral("BaudRate"), 77), expected);
}

void TestSettings::valueIsTrimmedTextAfterFirstEquals()
{
    const IniFile ini("top=level\n"
                      "[Ports]\n"
                      "  COM1 =  /dev/tty=odd  \r\n"
                      "; COM2=/dev/commented\n"
                      "# COM3=/dev/commented\n"
                      "=nokey\n"
                      "COM4=\n"
                      "COM4=second\n");
    const QString ports = QStringLiteral("Ports");
    QCOMPARE(ini.value(ports, QStringLiteral("com1")),
             std::optional<QString>(QStringLiteral("/dev/tty=odd")));
    QCOMPARE(ini.value(ports, QStringLiteral("COM2")), std::nullopt);
    QCOMPARE(ini.value(ports, QStringLiteral("COM3")), std::nullopt);
    QCOMPARE(ini.value(ports, QStringLiteral("")), std::nullopt);
    QCOMPARE(ini.value(ports, QStringLiteral("COM4")), std::optional<QString>(QString()));
    QCOMPARE(ini.value(QStringLiteral("Other"), QStringLiteral("COM1")), std::nullopt);
    // A line before the first section belongs to no section.
    QCOMPARE(ini.value(QString(), QStringLiteral("top")), std::nullopt);
}

void TestSettings::untouchedFileIsReturnedByteForByte_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("LF") << QByteArray("[Options]\nBaudRate=3\n");
    QTest::newRow("CR LF, no final line end") << QByteArray("[Options]\r\nBaudRate=3");
    QTest::newRow("mixed and lone CR") << QByteArray("a\r\nb\nc\rd\r\n\r\n");
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF[Options]\r\n");
    QTest::newRow("BOM only") << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("junk and blanks") << QByteArray("  \t\n[broken\n=x\n\xff\xfe junk\n;c\n");
    // clang-format on
}

void TestSettings::untouchedFileIsReturnedByteForByte()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(IniFile(bytes).contents(), bytes);
}

void TestSettings::missingFileGivesDefaults_data()
{
    // clang-format off
    QTest::addColumn<QString>("kind");
    QTest::newRow("no file") << QStringLiteral("none");
    QTest::newRow("path is a directory") << QStringLiteral("directory");
    QTest::newRow("empty file") << QStringLiteral("empty");
    QTest::newRow("file without section Options") << QStringLiteral("other");
    QTest::newRow("unreadable file") << QStringLiteral("unreadable");
    // clang-format on
}

void TestSettings::missingFileGivesDefaults()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("marvane.ini")));
    else if (kind == QLatin1String("empty"))
        QVERIFY(writeFile(path, {}));
    else if (kind == QLatin1String("other"))
        QVERIFY(writeFile(path, "[Ports]\nCommPort=3\nBaudRate=6\n"));
    else if (kind == QLatin1String("unreadable")) {
#ifdef Q_OS_WIN
        QSKIP("Unix permission bits");
#else
        if (geteuid() == 0)
            QSKIP("Running as root: permission bits do not stop reading");
#endif
        QVERIFY(writeFile(path, "[Options]\nCommPort=3\nBaudRate=6\n"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    }

    const CommsSettings loaded = loadSettings(path);
    QCOMPARE(loaded.scrollDirection, 0);
    QCOMPARE(loaded.commPort, 1);
    QCOMPARE(loaded.orientation, 0);
    QCOMPARE(loaded.baudRate, 3);
    QCOMPARE(loaded.dataBits, 1);
    QCOMPARE(loaded.parity, 0);
    QCOMPARE(loaded.stopBits, 0);
}

void TestSettings::loadReadsKey_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<qint32>("expected");

    // Every key with a value other than its default.
    QTest::newRow("ScrollDirection") << QByteArray("[Options]\nScrollDirection=1\n") << QByteArray("ScrollDirection") << 1;
    QTest::newRow("CommPort") << QByteArray("[Options]\nCommPort=3\n") << QByteArray("CommPort") << 3;
    QTest::newRow("Orientation") << QByteArray("[Options]\nOrientation=1\n") << QByteArray("Orientation") << 1;
    QTest::newRow("BaudRate") << QByteArray("[Options]\nBaudRate=6\n") << QByteArray("BaudRate") << 6;
    QTest::newRow("DataBits") << QByteArray("[Options]\nDataBits=0\n") << QByteArray("DataBits") << 0;
    QTest::newRow("Parity") << QByteArray("[Options]\nParity=2\n") << QByteArray("Parity") << 2;
    QTest::newRow("StopBits") << QByteArray("[Options]\nStopBits=2\n") << QByteArray("StopBits") << 2;

    // Values as an operator might leave them.
    QTest::newRow("abc gives default") << QByteArray("[Options]\nCommPort=abc\n") << QByteArray("CommPort") << 1;
    QTest::newRow("empty gives default") << QByteArray("[Options]\nBaudRate=\n") << QByteArray("BaudRate") << 3;
    QTest::newRow("0x2") << QByteArray("[Options]\nCommPort=0x2\n") << QByteArray("CommPort") << 2;
    QTest::newRow("$1F") << QByteArray("[Options]\nBaudRate=$1F\n") << QByteArray("BaudRate") << 31;
    QTest::newRow("-1") << QByteArray("[Options]\nParity=-1\n") << QByteArray("Parity") << -1;
    QTest::newRow("beyond table kept") << QByteArray("[Options]\nBaudRate=9\n") << QByteArray("BaudRate") << 9;
    QTest::newRow("out of 32 bits gives default") << QByteArray("[Options]\nDataBits=4294967297\n") << QByteArray("DataBits") << 1;

    // Where the key is found.
    QTest::newRow("names in other case") << QByteArray("[oPTIONS]\nbaudrate=5\n") << QByteArray("BaudRate") << 5;
    QTest::newRow("CR LF") << QByteArray("[Options]\r\nStopBits=1\r\n") << QByteArray("StopBits") << 1;
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF[Options]\nCommPort=0\n") << QByteArray("CommPort") << 0;
    QTest::newRow("no final line end") << QByteArray("[Options]\nCommPort=2") << QByteArray("CommPort") << 2;
    QTest::newRow("blanks around") << QByteArray("  [ Options ]  \n  Parity = 1  \n") << QByteArray("Parity") << 1;
    QTest::newRow("other section ignored") << QByteArray("[Ports]\nCommPort=3\n[Options]\nDataBits=0\n") << QByteArray("CommPort") << 1;
    QTest::newRow("before any section ignored") << QByteArray("CommPort=3\n[Options]\n") << QByteArray("CommPort") << 1;
    QTest::newRow("commented out") << QByteArray("[Options]\n;CommPort=3\n#CommPort=2\n") << QByteArray("CommPort") << 1;
    QTest::newRow("first of repeated key") << QByteArray("[Options]\nCommPort=2\nCommPort=3\n") << QByteArray("CommPort") << 2;
    QTest::newRow("section repeated later") << QByteArray("[Options]\nParity=1\n[Ports]\n[Options]\nStopBits=2\n") << QByteArray("StopBits") << 2;
    QTest::newRow("among junk and comments")
        << QByteArray("; notes\n\n[Options]\njunk line\n[not a section\nOrientation=1\n") << QByteArray("Orientation") << 1;

    // Names are the same only byte for byte, ASCII letters in either case: a look-alike is
    // another name.
    QTest::newRow("byte order mark inside the section name")
        << QByteArray("[\xEF\xBB\xBFOptions]\nCommPort=3\n") << QByteArray("CommPort") << 1;
    QTest::newRow("byte order mark inside the key name")
        << QByteArray("[Options]\n\xEF\xBB\xBF" "CommPort=3\n") << QByteArray("CommPort") << 1;
    QTest::newRow("long s for s in the key name")
        << QByteArray("[Options]\n\xC5\xBFtopBits=2\n") << QByteArray("StopBits") << 0;
    QTest::newRow("no-break space around the section name")
        << QByteArray("[\xC2\xA0Options\xC2\xA0]\nParity=2\n") << QByteArray("Parity") << 0;
    // clang-format on
}

void TestSettings::loadReadsKey()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, key);
    QFETCH(qint32, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    QVERIFY(writeFile(path, file));

    const CommsSettings loaded = loadSettings(path);
    QCOMPARE(field(loaded, key), expected);
}

void TestSettings::loadReadsAllSevenKeys()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    QVERIFY(writeFile(path, "[Options]\r\nStopBits=2\r\nParity=1\r\nDataBits=0\r\nBaudRate=6\r\n"
                            "Orientation=1\r\nCommPort=3\r\nScrollDirection=1\r\n"));
    QVERIFY(loadSettings(path) == make(1, 3, 1, 6, 0, 1, 2));
}

void TestSettings::fileEditedBetweenLoadsIsReadAfresh()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    QVERIFY(writeFile(path, "[Options]\nBaudRate=2\n"));
    QCOMPARE(loadSettings(path).baudRate, 2);
    QVERIFY(writeFile(path, "[Options]\nBaudRate=4\n"));
    QCOMPARE(loadSettings(path).baudRate, 4);
    QVERIFY(QFile::remove(path));
    QCOMPARE(loadSettings(path).baudRate, 3);
}

void TestSettings::saveWritesExactBytes_data()
{
    // clang-format off
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<CommsSettings>("settings");
    QTest::addColumn<QByteArray>("after");

    const CommsSettings defaults;
    const CommsSettings chosen = make(1, 2, 1, 5, 0, 2, 1);

    QTest::newRow("no file, defaults") << false << QByteArray() << defaults
                                       << QByteArray("[Options]" + NL + "ScrollDirection=0" + NL + "CommPort=1" + NL +
                                                     "Orientation=0" + NL + "BaudRate=3" + NL + "DataBits=1" + NL +
                                                     "Parity=0" + NL + "StopBits=0" + NL);
    QTest::newRow("empty file") << true << QByteArray() << chosen
                                << QByteArray("[Options]" + NL + optionLines(chosen, NL));
    QTest::newRow("signed decimal") << false << QByteArray() << make(-1, 7, 0, 9, -2147483647 - 1, 2147483647, 0)
                                    << QByteArray("[Options]" + NL + "ScrollDirection=-1" + NL + "CommPort=7" + NL +
                                                  "Orientation=0" + NL + "BaudRate=9" + NL +
                                                  "DataBits=-2147483648" + NL + "Parity=2147483647" + NL +
                                                  "StopBits=0" + NL);

    QTest::newRow("keys replaced in place, everything else kept, CR LF")
        << true
        << QByteArray("; Marvane options\r\n"
                      "\r\n"
                      "[Options]\r\n"
                      "ScrollDirection=0\r\n"
                      "CommPort=1\r\n"
                      "# operator's note\r\n"
                      "Orientation=0\r\n"
                      "BaudRate=0x3\r\n"
                      "this line is junk\r\n"
                      "DataBits=1\r\n"
                      "Parity=abc\r\n"
                      "StopBits=0\r\n"
                      "\r\n"
                      "[Ports]\r\n"
                      "COM2=/dev/pts/7\r\n")
        << chosen
        << QByteArray("; Marvane options\r\n"
                      "\r\n"
                      "[Options]\r\n"
                      "ScrollDirection=1\r\n"
                      "CommPort=2\r\n"
                      "# operator's note\r\n"
                      "Orientation=1\r\n"
                      "BaudRate=5\r\n"
                      "this line is junk\r\n"
                      "DataBits=0\r\n"
                      "Parity=2\r\n"
                      "StopBits=1\r\n"
                      "\r\n"
                      "[Ports]\r\n"
                      "COM2=/dev/pts/7\r\n");

    QTest::newRow("missing keys added after the last key of the section, in order")
        << true
        << QByteArray("[Ports]\n"
                      "COM1=/dev/ttyUSB0\n"
                      "[Options]\n"
                      "CommPort=3\n"
                      "; end of options\n"
                      "\n"
                      "[Extra]\n"
                      "Thing=1\n")
        << chosen
        << QByteArray("[Ports]\n"
                      "COM1=/dev/ttyUSB0\n"
                      "[Options]\n"
                      "CommPort=2\n"
                      "ScrollDirection=1\n"
                      "Orientation=1\n"
                      "BaudRate=5\n"
                      "DataBits=0\n"
                      "Parity=2\n"
                      "StopBits=1\n"
                      "; end of options\n"
                      "\n"
                      "[Extra]\n"
                      "Thing=1\n");

    QTest::newRow("names in other case keep their spelling")
        << true << QByteArray("[OPTIONS]\n  baudrate = 3  \nSTOPBITS=0\n") << chosen
        << QByteArray("[OPTIONS]\n"
                      "baudrate=5\n"
                      "STOPBITS=1\n"
                      "ScrollDirection=1\n"
                      "CommPort=2\n"
                      "Orientation=1\n"
                      "DataBits=0\n"
                      "Parity=2\n");

    QTest::newRow("section missing, last line without line end")
        << true << QByteArray("[Ports]\nCOM1=/dev/ttyUSB0") << chosen
        << QByteArray("[Ports]\nCOM1=/dev/ttyUSB0\n\n[Options]\n" + optionLines(chosen, "\n"));

    QTest::newRow("section missing, file ends with a blank line")
        << true << QByteArray("; notes\r\n\r\n") << chosen
        << QByteArray("; notes\r\n\r\n[Options]\r\n" + optionLines(chosen, "\r\n"));

    QTest::newRow("keys before any section and in other sections are not the options")
        << true << QByteArray("BaudRate=1\n[Other]\nBaudRate=2\n") << chosen
        << QByteArray("BaudRate=1\n[Other]\nBaudRate=2\n\n[Options]\n" + optionLines(chosen, "\n"));

    QTest::newRow("empty section as last line without line end")
        << true << QByteArray("[Options]") << chosen
        << QByteArray("[Options]" + NL + optionLines(chosen, NL));

    QTest::newRow("header right before another section")
        << true << QByteArray("[Options]\n[Ports]\nCOM1=/dev/x\n") << chosen
        << QByteArray("[Options]\n" + optionLines(chosen, "\n") + "[Ports]\nCOM1=/dev/x\n");

    QTest::newRow("BOM kept, only the first of a repeated key replaced")
        << true << QByteArray("\xEF\xBB\xBF[Options]\r\nBaudRate=1\r\nBaudRate=2\r\n") << chosen
        << QByteArray("\xEF\xBB\xBF[Options]\r\n"
                      "BaudRate=5\r\n"
                      "BaudRate=2\r\n"
                      "ScrollDirection=1\r\n"
                      "CommPort=2\r\n"
                      "Orientation=1\r\n"
                      "DataBits=0\r\n"
                      "Parity=2\r\n"
                      "StopBits=1\r\n");

    QTest::newRow("replaced lines keep their own line end, added lines take the first line's")
        << true << QByteArray("[Options]\r\nCommPort=1\nParity=0") << chosen
        << QByteArray("[Options]\r\n"
                      "CommPort=2\n"
                      "Parity=2\r\n"
                      "ScrollDirection=1\r\n"
                      "Orientation=1\r\n"
                      "BaudRate=5\r\n"
                      "DataBits=0\r\n"
                      "StopBits=1\r\n");

    QTest::newRow("section repeated: keys stay where they are, new ones go to the first block")
        << true << QByteArray("[Options]\nCommPort=1\n[Ports]\nCOM1=x\n[Options]\nBaudRate=6\n") << chosen
        << QByteArray("[Options]\n"
                      "CommPort=2\n"
                      "ScrollDirection=1\n"
                      "Orientation=1\n"
                      "DataBits=0\n"
                      "Parity=2\n"
                      "StopBits=1\n"
                      "[Ports]\n"
                      "COM1=x\n"
                      "[Options]\n"
                      "BaudRate=5\n");

    // Files that mix line ends: a lone CR followed by a lone LF would read back as one CR LF, so
    // an added line that would make that pair ends in CR LF, and the lines around it stay.
    QTest::newRow("blank line added after a line ending in a lone CR")
        << true << QByteArray("; notes\nold line\r") << chosen
        << QByteArray("; notes\nold line\r\r\n[Options]\n" + optionLines(chosen, "\n"));
    QTest::newRow("look-alike names are other lines, kept as they are")
        << true << QByteArray("[\xEF\xBB\xBFOptions]\nCommPort=3\n[Options]\n\xC5\xBF" "crollDirection=1\n") << chosen
        << QByteArray("[\xEF\xBB\xBFOptions]\nCommPort=3\n[Options]\n\xC5\xBF" "crollDirection=1\n" +
                      optionLines(chosen, "\n"));
    QTest::newRow("key added before a blank line ending in a lone LF")
        << true << QByteArray("[Options]\rCommPort=1\n\n") << chosen
        << QByteArray("[Options]\r"
                      "CommPort=2\n"
                      "ScrollDirection=1\r"
                      "Orientation=1\r"
                      "BaudRate=5\r"
                      "DataBits=0\r"
                      "Parity=2\r"
                      "StopBits=1\r\n"
                      "\n");
    // clang-format on
}

void TestSettings::saveWritesExactBytes()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(CommsSettings, settings);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    if (exists)
        QVERIFY(writeFile(path, before));

    saveSettings(path, settings);
    QCOMPARE(readFile(path), after);
    QVERIFY(loadSettings(path) == settings);
    // Saving the same options again changes nothing.
    saveSettings(path, settings);
    QCOMPARE(readFile(path), after);
}

void TestSettings::saveAndLoadRoundTrip_data()
{
    // clang-format off
    QTest::addColumn<CommsSettings>("settings");
    QTest::newRow("defaults") << CommsSettings{};
    QTest::newRow("all last items") << make(1, 3, 1, 6, 1, 2, 2);
    QTest::newRow("all first items") << make(0, 0, 0, 0, 0, 0, 0);
    QTest::newRow("no selection anywhere") << make(-1, -1, -1, -1, -1, -1, -1);
    QTest::newRow("extremes") << make(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(),
                                      9, 9, 5, 3, 3);
    // clang-format on
}

void TestSettings::saveAndLoadRoundTrip()
{
    QFETCH(CommsSettings, settings);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    const QByteArray ports = "[Ports]\nCOM2=/dev/pts/7\n";
    QVERIFY(writeFile(path, ports));

    saveSettings(path, settings);
    QVERIFY(loadSettings(path) == settings);
    // The port mapping survives unchanged at the start of the file.
    QVERIFY(readFile(path).startsWith(ports + "\n[Options]\n"));
}

void TestSettings::saveFollowsSymlinkToItsTarget()
{
#ifdef Q_OS_WIN
    QSKIP("Symbolic links need special rights on Windows");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
    const QString target = dir.filePath(QStringLiteral("real/options.ini"));
    const QString link = dir.filePath(QStringLiteral("marvane.ini"));
    QVERIFY(writeFile(target, "; kept\n"));
    QVERIFY(QFile::link(target, link));

    saveSettings(link, make(1, 0, 1, 2, 0, 1, 2));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    QCOMPARE(readFile(target),
             QByteArray("; kept\n\n[Options]\n" + optionLines(make(1, 0, 1, 2, 0, 1, 2), "\n")));
}

void TestSettings::saveKeepsFilePermissions()
{
#ifdef Q_OS_WIN
    QSKIP("Unix permission bits");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    QVERIFY(writeFile(path, "[Options]\n"));
    const QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QVERIFY(QFile::setPermissions(path, permissions));

    saveSettings(path, make(1, 0, 1, 2, 0, 1, 2));
    QCOMPARE(loadSettings(path).baudRate, 2);
    QCOMPARE(QFile::permissions(path) &
                 ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             permissions);
}

void TestSettings::saveInDirectoryWithoutWritePermissionWritesFileInPlace()
{
#ifdef Q_OS_WIN
    QSKIP("Unix permission bits");
#endif
    // No temporary file can be made beside marvane.ini, but the file itself may be written: an
    // installation directory the operator cannot change, with a settings file they own.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sub = dir.filePath(QStringLiteral("sub"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString path = sub + QStringLiteral("/marvane.ini");
    QVERIFY(writeFile(path, "; mine\n[Options]\nBaudRate=6\n"));
    QVERIFY(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    saveSettings(path, make(1, 2, 1, 5, 0, 2, 1));
    const QByteArray written = readFile(path);
    QVERIFY(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner));
    QCOMPARE(written, QByteArray("; mine\n[Options]\nBaudRate=5\nScrollDirection=1\nCommPort=2\n"
                                 "Orientation=1\nDataBits=0\nParity=2\nStopBits=1\n"));
    QCOMPARE(QDir(sub).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("marvane.ini")});
}

void TestSettings::unwritableFileThrowsAndIsLeftAlone_data()
{
    // The reason after "Unable to write to <path>: ".
    // clang-format off
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("path is a directory") << QStringLiteral("directory") << QStringLiteral("not a regular file");
    QTest::newRow("parent is a regular file") << QStringLiteral("parentIsFile") << QStringLiteral("Not a directory");
    QTest::newRow("parent directory missing") << QStringLiteral("parentMissing") << QStringLiteral("No such file or directory");
    QTest::newRow("read-only file") << QStringLiteral("readOnlyFile") << QStringLiteral("Permission denied");
    QTest::newRow("file that cannot be read back") << QStringLiteral("writeOnlyFile") << QStringLiteral("Permission denied");
    QTest::newRow("directory without write permission") << QStringLiteral("readOnlyDirectory") << QStringLiteral("Permission denied");
    // clang-format on
}

void TestSettings::unwritableFileThrowsAndIsLeftAlone()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
#ifdef Q_OS_WIN
    if (kind != QLatin1String("directory") && kind != QLatin1String("parentIsFile") &&
        kind != QLatin1String("parentMissing"))
        QSKIP("Unix permission bits");
#else
    const bool permissionBitsCount = geteuid() != 0;
    if (!permissionBitsCount &&
        (kind == QLatin1String("readOnlyFile") || kind == QLatin1String("writeOnlyFile") ||
         kind == QLatin1String("readOnlyDirectory")))
        QSKIP("Running as root: permission bits do not stop reading or writing");
#endif

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sub = dir.filePath(QStringLiteral("sub"));
    QString path = dir.filePath(QStringLiteral("marvane.ini"));
    const QByteArray original = "; mine\n[Options]\nBaudRate=6\n";

    if (kind == QLatin1String("directory")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("marvane.ini")));
    } else if (kind == QLatin1String("parentIsFile")) {
        QVERIFY(writeFile(sub, original));
        path = sub + QStringLiteral("/marvane.ini");
    } else if (kind == QLatin1String("parentMissing")) {
        path = sub + QStringLiteral("/marvane.ini");
    } else if (kind == QLatin1String("readOnlyFile")) {
        QVERIFY(writeFile(path, original));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    } else if (kind == QLatin1String("writeOnlyFile")) {
        QVERIFY(writeFile(path, original));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    } else if (kind == QLatin1String("readOnlyDirectory")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        path = sub + QStringLiteral("/marvane.ini");
        QVERIFY(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }

    QString message;
    try {
        saveSettings(path, make(1, 2, 1, 5, 0, 2, 1));
    } catch (const MarvaneError& error) {
        message = error.text();
    }
    QCOMPARE(message, QStringLiteral("Unable to write to %1: %2.").arg(path, reason));

    // Nothing was changed or left behind.
    if (kind == QLatin1String("directory")) {
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(QDir(path).isEmpty());
    } else if (kind == QLatin1String("parentIsFile")) {
        QCOMPARE(readFile(sub), original);
    } else if (kind == QLatin1String("parentMissing")) {
        QVERIFY(!QFileInfo::exists(sub));
    } else if (kind == QLatin1String("readOnlyFile") || kind == QLatin1String("writeOnlyFile")) {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(readFile(path), original);
    } else if (kind == QLatin1String("readOnlyDirectory")) {
        QVERIFY(QDir(sub).isEmpty());
        QVERIFY(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner));
    }
    QCOMPARE(
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
        kind == QLatin1String("parentMissing") ? 0 : 1);
}

void TestSettings::saveNeverReplacesWhatIsNotASettingsFile_data()
{
    QTest::addColumn<QString>("target");   // what marvane.ini is, or points to
    QTest::addColumn<bool>("throughLink"); // marvane.ini is a symbolic link to it
    QTest::newRow("link to a FIFO") << QStringLiteral("fifo") << true;
    QTest::newRow("a FIFO") << QStringLiteral("fifo") << false;
    QTest::newRow("link to /dev/null") << QStringLiteral("/dev/null") << true;
    QTest::newRow("link to a directory") << QStringLiteral("directory") << true;
}

void TestSettings::saveNeverReplacesWhatIsNotASettingsFile()
{
#ifdef Q_OS_WIN
    QSKIP("FIFOs, device nodes and symbolic links");
#else
    QFETCH(QString, target);
    QFETCH(bool, throughLink);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    QString targetPath = throughLink ? dir.filePath(target) : path;
    if (target == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(targetPath).constData(), 0600), 0);
    } else if (target == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir(targetPath));
    } else {
        targetPath = target;
    }
    if (throughLink)
        QVERIFY(QFile::link(targetPath, path));
    struct stat before = {};
    QCOMPARE(::stat(QFile::encodeName(targetPath).constData(), &before), 0);

    QString message;
    try {
        saveSettings(path, make(1, 2, 1, 5, 0, 2, 1));
    } catch (const MarvaneError& error) {
        message = error.text();
    }
    QCOMPARE(message, QStringLiteral("Unable to write to %1: not a regular file.").arg(path));

    // Nothing was replaced: the link still points where it did, the target is still what it
    // was (the same node, of the same type), and no temporary file was left beside it.
    QCOMPARE(QFileInfo(path).isSymLink(), throughLink);
    if (throughLink)
        QCOMPARE(QFileInfo(path).symLinkTarget(), targetPath);
    struct stat after = {};
    QCOMPARE(::stat(QFile::encodeName(targetPath).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_ino, before.st_ino);
    if (target == QLatin1String("/dev/null"))
        QVERIFY(S_ISCHR(after.st_mode));
    const int expectedEntries = throughLink && targetPath.startsWith(dir.path()) ? 2 : 1;
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden)
                 .size(),
             expectedEntries);
#endif
}

void TestSettings::reconnectChoiceIsKeptBesideTheSeven()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    // Old files have no key: reconnection is on.
    QVERIFY(loadReconnect(path));
    const QByteArray old("[Options]\nCommPort=2\n[Ports]\nCOM3=/dev/ttyUSB0\n");
    QVERIFY(writeFile(path, old));
    QVERIFY(loadReconnect(path));
    // Saving the default leaves such a file without the key.
    CommsSettings settings;
    saveSettings(path, settings, true);
    QVERIFY(!readFile(path).contains("Reconnect"));
    // Off is written, and read back; on again rewrites the same line.
    saveSettings(path, settings, false);
    QVERIFY(readFile(path).contains("Reconnect=0"));
    QVERIFY(!loadReconnect(path));
    saveSettings(path, settings, true);
    QVERIFY(readFile(path).contains("Reconnect=1"));
    QVERIFY(loadReconnect(path));
    QVERIFY(readFile(path).endsWith("[Ports]\nCOM3=/dev/ttyUSB0\n")); // the rest kept
    // Anything but 0 is on, as an unreadable value of the seven gives its default.
    QVERIFY(writeFile(path, "[Options]\nReconnect=maybe\n"));
    QVERIFY(loadReconnect(path));
}

void TestSettings::readingTellsWhyAFileCannotBeRead_data()
{
    // What marvane.ini is; the reason after "Unable to read <path>: ", empty for no message.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no file") << QStringLiteral("none") << QString();
    QTest::newRow("a settings file") << QStringLiteral("file") << QString();
    QTest::newRow("a FIFO") << QStringLiteral("fifo") << QStringLiteral("not a regular file");
    QTest::newRow("a link to a FIFO")
        << QStringLiteral("linkToFifo") << QStringLiteral("not a regular file");
    QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero")
                               << QStringLiteral("not a regular file");
    QTest::newRow("a directory") << QStringLiteral("directory")
                                 << QStringLiteral("not a regular file");
    QTest::newRow("mode 000") << QStringLiteral("mode000") << QStringLiteral("Permission denied");
    QTest::newRow("2 MB") << QStringLiteral("2MB") << QStringLiteral("larger than 1 MB");
    QTest::newRow("parent is a file")
        << QStringLiteral("parentIsFile") << QStringLiteral("Not a directory");
}

void TestSettings::readingTellsWhyAFileCannotBeRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    if (kind == QLatin1String("mode000") && geteuid() == 0)
        QSKIP("Running as root: permission bits do not stop reading");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(QStringLiteral("marvane.ini"));
    const QByteArray native = QFile::encodeName(path);
    const QByteArray contents = "[Options]\nBaudRate=6\n";
    if (kind == QLatin1String("file") || kind == QLatin1String("mode000")) {
        QVERIFY(writeFile(path, contents));
        if (kind == QLatin1String("mode000"))
            QVERIFY(QFile::setPermissions(path, {}));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    } else if (kind == QLatin1String("linkToFifo")) {
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(fifo, path));
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("marvane.ini")));
    } else if (kind == QLatin1String("2MB")) {
        QVERIFY(writeFile(path, contents + QByteArray(2 * 1024 * 1024, ';')));
    } else if (kind == QLatin1String("parentIsFile")) {
        QVERIFY(writeFile(dir.filePath(QStringLiteral("etc")), contents));
        path = dir.filePath(QStringLiteral("etc/marvane.ini"));
    } else if (kind.startsWith(QLatin1Char('/'))) {
        path = kind;
    }

    // Each of these returns at once: a FIFO without a writer, or an endless device, would hold a
    // reading that waited or read to the end.
    const SettingsRead read = readSettings(path);
    QCOMPARE(read.error, reason.isEmpty()
                             ? QString()
                             : QStringLiteral("Unable to read %1: %2.").arg(path, reason));
    QCOMPARE(read.comms.baudRate, kind == QLatin1String("file") ? 6 : 3);
    QVERIFY(read.reconnect);
    QString error = QStringLiteral("unchanged");
    const std::optional<QByteArray> bytes = readSettingsBytes(path, &error);
    QCOMPARE(bytes.has_value(), reason.isEmpty());
    QCOMPARE(error, reason.isEmpty() ? QStringLiteral("unchanged") : read.error);
    if (kind == QLatin1String("file"))
        QCOMPARE(*bytes, contents);
}

void TestSettings::oversizedFileIsNeitherReadNorReplaced()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    // Exactly the limit is still a settings file; a byte more is not.
    QByteArray contents = "[Options]\nParity=2\n";
    contents += QByteArray(1024 * 1024 - contents.size(), '\n');
    QVERIFY(writeFile(path, contents));
    QCOMPARE(readSettings(path).error, QString());
    QCOMPARE(readSettings(path).comms.parity, 2);
    contents += ';';
    QVERIFY(writeFile(path, contents));
    QCOMPARE(readSettings(path).error,
             QStringLiteral("Unable to read %1: larger than 1 MB.").arg(path));
    QString message;
    try {
        saveSettings(path, make(1, 2, 1, 5, 0, 2, 1));
    } catch (const MarvaneError& e) {
        message = e.text();
    }
    QCOMPARE(message, QStringLiteral("Unable to write to %1: larger than 1 MB.").arg(path));
    QCOMPARE(readFile(path), contents);
}

void TestSettings::saveWritesPortDevicesKeepingEveryOtherLine()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("marvane.ini"));
    QVERIFY(writeFile(path, "; lab bench\n[Ports]\nCOM1=/dev/ttyUSB0 ; spare\n"
                            "COM3=/dev/ttyS2\n\n[Options]\nCommPort=2\n"));
    saveSettings(path, make(0, 2, 0, 3, 1, 0, 0), std::nullopt, {},
                 {{QStringLiteral("COM3"), QStringLiteral("/dev/serial/by-id/usb-FTDI_A1-if00")},
                  {QStringLiteral("COM4"), QStringLiteral("/dev/ttyACM0")}});
    QCOMPARE(readFile(path), QByteArray("; lab bench\n[Ports]\nCOM1=/dev/ttyUSB0 ; spare\n"
                                        "COM3=/dev/serial/by-id/usb-FTDI_A1-if00\n"
                                        "COM4=/dev/ttyACM0\n\n[Options]\nCommPort=2\n"
                                        "ScrollDirection=0\nOrientation=0\nBaudRate=3\n"
                                        "DataBits=1\nParity=0\nStopBits=0\n"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
