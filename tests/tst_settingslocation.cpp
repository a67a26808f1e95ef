// Where marvane.ini is read and written: beside the program when that folder takes new files,
// else in the user's configuration folder, filled once from a marvane.ini beside the program.

#include "settings/SettingsLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

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

} // namespace

class TestSettingsLocation : public QObject
{
    Q_OBJECT
private slots:
    void writableProgramFolderKeepsItsOwnFile();
    void unusableProgramFolderFallsBackToUserFolder_data();
    void unusableProgramFolderFallsBackToUserFolder();
    void readOnlyProgramFolderFallsBackToUserFolder();
    void systemDefaultIsCopiedOnlyTheFirstTime();
    void withoutSystemDefaultNoFileIsCreated();
    void withoutUserFolderSystemDefaultIsReadInPlace();
    void systemFoldersAreNeverWritten_data();
    void systemFoldersAreNeverWritten();
    void systemFolderReachedThroughALinkCounts();
    void oversizedSystemDefaultIsNotCopied();
};

void TestSettingsLocation::writableProgramFolderKeepsItsOwnFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("bin"));
    const QString user = dir.filePath(QStringLiteral("config/Tessmoor/Marvane"));
    QVERIFY(QDir().mkpath(program));
    QVERIFY(folderTakesNewFiles(program));
    QCOMPARE(settingsFilePath(program, user), program + QStringLiteral("/marvane.ini"));
    QVERIFY(!QFileInfo::exists(user)); // nothing is made in the user's folder
    QCOMPARE(QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList()); // the probe file has gone again
}

void TestSettingsLocation::unusableProgramFolderFallsBackToUserFolder_data()
{
    QTest::addColumn<QString>("programKind");
    QTest::newRow("missing folder") << QStringLiteral("missing");
    QTest::newRow("a file, not a folder") << QStringLiteral("file");
}

void TestSettingsLocation::unusableProgramFolderFallsBackToUserFolder()
{
    QFETCH(QString, programKind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("bin"));
    if (programKind == QLatin1String("file"))
        QVERIFY(writeFile(program, "not a folder"));
    const QString user = dir.filePath(QStringLiteral("config/Tessmoor/Marvane"));

    QVERIFY(!folderTakesNewFiles(program));
    QCOMPARE(settingsFilePath(program, user), user + QStringLiteral("/marvane.ini"));
    QVERIFY(QFileInfo(user).isDir()); // created, nested folders included
}

void TestSettingsLocation::readOnlyProgramFolderFallsBackToUserFolder()
{
    if (::geteuid() == 0)
        QSKIP("running as root: a folder of mode 0555 still takes new files, so there is no "
              "read-only folder to try (the missing-folder and file cases cover the fallback)");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(program));
    QVERIFY(writeFile(program + QStringLiteral("/marvane.ini"), "[Options]\nBaudRate=6\n"));
    QVERIFY(::chmod(QFile::encodeName(program).constData(), 0555) == 0);
    const QString user = dir.filePath(QStringLiteral("config"));

    QVERIFY(!folderTakesNewFiles(program));
    QCOMPARE(settingsFilePath(program, user), user + QStringLiteral("/marvane.ini"));
    QCOMPARE(readFile(user + QStringLiteral("/marvane.ini")),
             QByteArray("[Options]\nBaudRate=6\n"));
    ::chmod(QFile::encodeName(program).constData(), 0755); // so the folder can be removed
}

void TestSettingsLocation::systemDefaultIsCopiedOnlyTheFirstTime()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(program));
    const QString systemFile = program + QStringLiteral("/marvane.ini");
    const QByteArray defaults("[Ports]\nCOM1=/dev/ttyUSB0\n[Options]\nCommPort=0\n");
    QVERIFY(writeFile(systemFile, defaults));
    QVERIFY(
        QFile::setPermissions(systemFile, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QString user = dir.filePath(QStringLiteral("config/Tessmoor/Marvane"));

    const QString first = userSettingsFilePath(program, user);
    QCOMPARE(first, user + QStringLiteral("/marvane.ini"));
    QCOMPARE(readFile(first), defaults);
    QVERIFY(QFile::permissions(first) & QFile::WriteOwner); // the user's copy can be saved

    // The user's own changes survive the next start.
    QVERIFY(writeFile(first, "[Options]\nCommPort=3\n"));
    QCOMPARE(userSettingsFilePath(program, user), first);
    QCOMPARE(readFile(first), QByteArray("[Options]\nCommPort=3\n"));
}

void TestSettingsLocation::withoutSystemDefaultNoFileIsCreated()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString user = dir.filePath(QStringLiteral("config"));
    const QString path = userSettingsFilePath(dir.filePath(QStringLiteral("missing")), user);
    QCOMPARE(path, user + QStringLiteral("/marvane.ini"));
    QVERIFY(QFileInfo(user).isDir());
    QVERIFY(!QFileInfo::exists(path)); // the defaults apply until Options > OK saves
}

void TestSettingsLocation::withoutUserFolderSystemDefaultIsReadInPlace()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(program));
    QVERIFY(writeFile(program + QStringLiteral("/marvane.ini"), "[Options]\nParity=2\n"));
    // The configuration folder would have to be made inside a file: it cannot be.
    QVERIFY(writeFile(dir.filePath(QStringLiteral("home")), "a file"));
    const QString user = dir.filePath(QStringLiteral("home/.config/Tessmoor/Marvane"));
    QCOMPARE(userSettingsFilePath(program, user), program + QStringLiteral("/marvane.ini"));

    // Without a system default the user's path is still named, for --help and About.
    QCOMPARE(userSettingsFilePath(dir.filePath(QStringLiteral("none")), user),
             user + QStringLiteral("/marvane.ini"));
}

void TestSettingsLocation::systemFoldersAreNeverWritten_data()
{
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<bool>("system");
    QTest::newRow("/usr/bin") << QStringLiteral("/usr/bin") << true;
    QTest::newRow("/usr/local/bin") << QStringLiteral("/usr/local/bin") << true;
    QTest::newRow("/usr/lib/marvane") << QStringLiteral("/usr/lib/marvane") << true;
    QTest::newRow("/bin") << QStringLiteral("/bin") << true;
    QTest::newRow("/sbin") << QStringLiteral("/sbin") << true;
    QTest::newRow("/lib") << QStringLiteral("/lib") << true;
    QTest::newRow("/lib64") << QStringLiteral("/lib64") << true;
    QTest::newRow("/libx32/marvane") << QStringLiteral("/libx32/marvane") << true;
    QTest::newRow("/opt/tessmoor/bin") << QStringLiteral("/opt/tessmoor/bin") << true;
    QTest::newRow("/snap/bin") << QStringLiteral("/snap/bin") << true;
    QTest::newRow("/usr/bin/../local/bin") << QStringLiteral("/usr/bin/../local/bin") << true;
    QTest::newRow("/home/anna/marvane") << QStringLiteral("/home/anna/marvane") << false;
    QTest::newRow("/library/marvane") << QStringLiteral("/library/marvane") << false;
    QTest::newRow("/usrdata/bin") << QStringLiteral("/usrdata/bin") << false;
    QTest::newRow("/srv/usr/bin") << QStringLiteral("/srv/usr/bin") << false;
}

void TestSettingsLocation::systemFoldersAreNeverWritten()
{
    QFETCH(QString, programDir);
    QFETCH(bool, system);
    QCOMPARE(isSystemFolder(programDir), system);
    if (!system || !QFileInfo(programDir).isDir())
        return;
    // Even where the folder takes new files (the tests may run as root), the settings file is
    // the user's own, and nothing is made in the program's folder, not even a probe.
    const QStringList before =
        QDir(programDir)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString user = dir.filePath(QStringLiteral("config/Tessmoor/Marvane"));
    const QString path = settingsFilePath(programDir, user);
    QCOMPARE(path, user + QStringLiteral("/marvane.ini"));
    QCOMPARE(QDir(programDir)
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             before);
}

void TestSettingsLocation::systemFolderReachedThroughALinkCounts()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("bin"));
    QVERIFY(QFile::link(QStringLiteral("/usr/bin"), link));
    QVERIFY(isSystemFolder(link));
    QVERIFY(!isSystemFolder(dir.path()));
    const QString user = dir.filePath(QStringLiteral("config"));
    QCOMPARE(settingsFilePath(link, user), user + QStringLiteral("/marvane.ini"));
}

void TestSettingsLocation::oversizedSystemDefaultIsNotCopied()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(program));
    QVERIFY(writeFile(program + QStringLiteral("/marvane.ini"),
                      "[Options]\n" + QByteArray(2 * 1024 * 1024, ';')));
    const QString user = dir.filePath(QStringLiteral("config"));
    QCOMPARE(userSettingsFilePath(program, user), user + QStringLiteral("/marvane.ini"));
    QVERIFY(!QFileInfo::exists(user + QStringLiteral("/marvane.ini")));
}

QTEST_GUILESS_MAIN(TestSettingsLocation)
#include "tst_settingslocation.moc"
