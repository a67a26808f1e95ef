// The window's Mark command: enabled only while a port is connected, Ctrl+M and the toolbar
// button sharing it, the note asked through the prompts (one line, bounded; Cancel makes no
// mark), the mark's row in the data file beside the log, its line in the live history, and its
// confirmation in the status bar for a few seconds.

#include "app/NoteLabel.h"
#include "history/LiveHistory.h"
#include "logformat/DataFileFormat.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/Pty.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QToolButton>

#include <optional>

namespace {

QByteArray iniFor(const Pty& sensor)
{
    return "[Options]\nOrientation=1\nDataFile=1\n[Ports]\nCOM2=" + sensor.path().toLocal8Bit() +
           "\n";
}

// The rows of a data file that are events, as read back.
QList<DataFileRow> eventRows(const QByteArray& file)
{
    QList<DataFileRow> rows;
    for (QByteArray line : file.split('\n')) {
        line = line.trimmed();
        DataFileRow row;
        if (!line.startsWith('#') && parseDataFileRow(line, &row) && row.event)
            rows << row;
    }
    return rows;
}

} // namespace

class TestMarkWindow : public QObject
{
    Q_OBJECT
private slots:
    void markOnlyWhileConnected();
    void markAsksForANote_data();
    void markAsksForANote();
};

void TestMarkWindow::markOnlyWhileConnected()
{
    Pty sensor;
    QVERIFY(sensor.ok());
    MainWindowFixture f(iniFor(sensor));
    auto* mark = f.window->findChild<QAction*>(QStringLiteral("markAction"));
    auto* button = f.window->findChild<QToolButton*>(QStringLiteral("markButton"));
    QVERIFY(mark && button);
    QCOMPARE(button->defaultAction(), mark);
    QCOMPARE(mark->shortcut(), QKeySequence(QStringLiteral("Ctrl+M")));
    QVERIFY(!mark->isEnabled());
    QApplication::setActiveWindow(f.window.get());
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QTest::keyClick(f.window.get(), Qt::Key_M, Qt::ControlModifier);
    QVERIFY(f.prompts->shown.isEmpty()); // nothing asked, nothing marked
    QVERIFY(f.window->session().history().series().marks().empty());

    f.w()->connectPort();
    QVERIFY(f.w()->connected());
    QVERIFY(mark->isEnabled());
    QVERIFY(button->isEnabled());
    f.prompts->clear();
    f.prompts->textAnswers << QStringLiteral("by key");
    QTest::keyClick(f.window.get(), Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(f.prompts->shown.size(), 1);
    QCOMPARE(f.prompts->shown.first().kind, QStringLiteral("text"));
    QCOMPARE(f.prompts->shown.first().text, QStringLiteral("Mark"));
    QCOMPARE(f.window->session().history().series().marks().size(), size_t(1));

    f.w()->disconnectPort();
    QVERIFY(!mark->isEnabled());
}

void TestMarkWindow::markAsksForANote_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("row");  // the data file's note; empty: no row
    QTest::addColumn<QString>("kept"); // the note the history keeps
    const QString long130 = QString(130, QLatin1Char('n'));
    QTest::newRow("a note") << std::optional<QString>(QStringLiteral("diver in the water"))
                            << QStringLiteral("mark: diver in the water")
                            << QStringLiteral("diver in the water");
    QTest::newRow("no note") << std::optional<QString>(QString()) << QStringLiteral("mark")
                             << QString();
    QTest::newRow("blanks around, a comma")
        << std::optional<QString>(QStringLiteral("  buoy B7, moved  "))
        << QStringLiteral("mark: buoy B7, moved") << QStringLiteral("buoy B7, moved");
    // The box's field holds at most 120 characters.
    QTest::newRow("too long") << std::optional<QString>(long130)
                              << QStringLiteral("mark: ") + long130.left(120) << long130.left(120);
    QTest::newRow("cancelled") << std::optional<QString>() << QString() << QString();
}

void TestMarkWindow::markAsksForANote()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, row);
    QFETCH(QString, kept);
    Pty sensor;
    QVERIFY(sensor.ok());
    MainWindowFixture f(iniFor(sensor));
    f.window->setTimeScaleForTests(0.01);
    f.prompts->fileAnswers << f.path(QStringLiteral("survey.log"));
    f.w()->newLogFile();
    f.prompts->confirmAnswers << true; // Start logging data?
    f.w()->connectPort();
    QVERIFY(f.w()->connected());
    f.prompts->clear();

    f.prompts->textAnswers << answer;
    f.w()->markEvent();
    QCOMPARE(f.prompts->shown.size(), 1);
    QCOMPARE(f.prompts->lastTextMaxLength, 120);
    QVERIFY2(f.prompts->lastTextLabel.contains(QStringLiteral("120 characters")),
             qPrintable(f.prompts->lastTextLabel));

    const auto& marks = f.window->session().history().series().marks();
    const QList<DataFileRow> rows = eventRows(f.readFile(QStringLiteral("survey.csv")));
    auto* note = f.window->findChild<NoteLabel*>(QStringLiteral("statusNote"));
    QVERIFY(note);
    if (!answer) {
        QVERIFY(marks.empty());
        QVERIFY(rows.isEmpty());
        QVERIFY(!note->note().startsWith(QStringLiteral("Mark")));
        return;
    }
    QCOMPARE(marks.size(), size_t(1));
    QCOMPARE(marks.front().note, kept);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().note, row);
    QCOMPARE(rows.first().timeMs, marks.front().timeMs);
    // Confirmed in the status bar with the time, then gone after a few seconds (shortened).
    QVERIFY2(note->note().startsWith(QStringLiteral("Mark ")), qPrintable(note->note()));
    QTRY_COMPARE(note->note(), QString());
}

QTEST_MAIN(TestMarkWindow)
#include "tst_markwindow.moc"
