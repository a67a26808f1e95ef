// The window's part in the alarms: a status line that stays while an alarm lasts, the readouts'
// frame in the alarm colour, a desktop notification raised and cleared once per episode, and the
// Communications > Alarms dialog.

#include "app/AlarmsDialog.h"
#include "app/DesktopNotifier.h"
#include "app/Look.h"
#include "app/Readouts.h"
#include "session/AlarmWatch.h"
#include "tests/support/MainWindowFixture.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace {

struct RecordingNotifier : Notifier
{
    QStringList summaries;
    QStringList keys;
    void notify(const QString& key, const QString& summary, const QString&) override
    {
        keys << key;
        summaries << summary;
    }
};

QColor framePixel(Readouts* readouts)
{
    return readouts->grab().toImage().pixelColor(1, readouts->height() / 2);
}

} // namespace

class TestAlarmWindow : public QObject
{
    Q_OBJECT
private slots:
    void alarmShowsWhileItLasts();
    void dialogSavesAndApplies();
};

void TestAlarmWindow::alarmShowsWhileItLasts()
{
    MainWindowFixture f("[Alarms]\nSpeedAbove=1\nSpeedAboveMs=1\nSpeedAboveSeconds=0\n"
                        "SpeedAboveHysteresisMs=0.1\n");
    RecordingNotifier notifier;
    f.window->setNotifier(&notifier);
    auto* line = f.window->findChild<QLabel*>(QStringLiteral("alarmLine"));
    auto* readouts = f.window->findChild<Readouts*>();
    QVERIFY(line);
    QVERIFY(readouts);
    QVERIFY(!line->isVisible());
    QVERIFY(framePixel(readouts) != alarmColour());

    LiveSession& session = f.window->session();
    session.receiveRecord(QStringLiteral("+2.000 +0.000"));
    QVERIFY(line->isVisible());
    QVERIFY2(line->text().startsWith(QStringLiteral("ALARM: Speed above 1.000 m/s since ")),
             qPrintable(line->text()));
    QCOMPARE(line->palette().color(QPalette::WindowText), alarmColour());
    QVERIFY(readouts->alarm());
    QCOMPARE(framePixel(readouts), alarmColour());
    // The status bar of the window at its default size cuts the line off; in the logo's place
    // over the readouts it is read whole.
    auto* inFull = readouts->findChild<QLabel*>(QStringLiteral("alarmText"));
    QVERIFY(inFull);
    QVERIFY(inFull->isVisible());
    QCOMPARE(inFull->text(), line->text());
    QVERIFY2(inFull->fontMetrics().horizontalAdvance(inFull->text()) <=
                 inFull->contentsRect().width(),
             qPrintable(inFull->text()));
    QCOMPARE(inFull->palette().color(QPalette::WindowText), alarmColour());
    QCOMPARE(notifier.summaries,
             QStringList{QStringLiteral("Marvane alarm: speed above 1.000 m/s")});

    // The alarm lasts: nothing more is told, the line stays.
    const QString shown = line->text();
    session.receiveRecord(QStringLiteral("+3.000 +0.000"));
    session.receiveRecord(QStringLiteral("+0.950 +0.000")); // inside the hysteresis
    QCOMPARE(line->text(), shown);
    QCOMPARE(notifier.summaries.size(), 1);

    session.receiveRecord(QStringLiteral("+0.500 +0.000"));
    QVERIFY(!line->isVisible());
    QVERIFY(!inFull->isVisible());
    QVERIFY(!readouts->alarm());
    QVERIFY(framePixel(readouts) != alarmColour());
    QCOMPARE(notifier.summaries.last(),
             QStringLiteral("Marvane alarm over: speed above 1.000 m/s"));
    QCOMPARE(notifier.keys,
             (QStringList{QStringLiteral("speed-above"), QStringLiteral("speed-above")}));
}

void TestAlarmWindow::dialogSavesAndApplies()
{
    MainWindowFixture f;
    QVERIFY(!f.window->session().alarms().settings().anyOn());
    AlarmsDialog* dialog = f.window->alarmsDialog();
    f.window->showAlarms();
    QVERIFY(dialog->isVisible());
    dialog->findChild<QCheckBox*>(QStringLiteral("speedAboveBox"))->setChecked(true);
    dialog->findChild<QDoubleSpinBox*>(QStringLiteral("speedAboveThresholdBox"))->setValue(1.25);
    dialog->findChild<QSpinBox*>(QStringLiteral("speedAboveSecondsBox"))->setValue(20);
    dialog->findChild<QCheckBox*>(QStringLiteral("noDataBox"))->setChecked(true);
    dialog->findChild<QSpinBox*>(QStringLiteral("noDataSecondsBox"))->setValue(45);
    dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    QVERIFY(!dialog->isVisible());

    const AlarmSettings applied = f.window->session().alarms().settings();
    QVERIFY(applied.speedAbove.on);
    QCOMPARE(applied.speedAbove.thresholdMs, 1.25);
    QCOMPARE(applied.speedAbove.seconds, 20);
    QVERIFY(applied.noData);
    QCOMPARE(applied.noDataSeconds, 45);
    QVERIFY(loadAlarmSettings(f.path(QStringLiteral("marvane.ini"))) == applied);
    QVERIFY(f.readFile(QStringLiteral("marvane.ini")).contains("[Alarms]"));
}

QTEST_MAIN(TestAlarmWindow)
#include "tst_alarmwindow.moc"
