// The replay's play state as the window shows it, presented on its own: the replay bar's Play
// and Stop, the replay's status panel ("Play >", "Stopped" for a moment, "End of file"), and the
// tables that scroll upward while a replay plays and as the options say once it is closed.

#include "app/DataTables.h"
#include "app/ReplayBar.h"
#include "app/ReplayPresenter.h"
#include "app/StatusPanels.h"
#include "logformat/LogFormat.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWidget>

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

// A window's parts the presenter works on, over a replay of a short log.
struct Rig
{
    QTemporaryDir dir;
    QWidget window;
    FlowPipeline pipeline;
    ReplaySession replay{&pipeline};
    DataTables* tables = new DataTables(&window);
    ReplayBar* bar = new ReplayBar(&window);
    StatusPanels* status = new StatusPanels(&window);
    ReplayPresenter presenter{&replay, bar, tables, status, nullptr};

    bool open(int records)
    {
        QByteArray log = logHeaderLine() + logUnitsLine(s("m/s"));
        for (int i = 0; i < records; ++i)
            log += logRecordLine(
                s("0.515"), s("088"),
                QStringLiteral("24/05/2009 14:03:%1").arg(i, 2, 10, QLatin1Char('0')));
        const QString path = dir.filePath(s("replay.log"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(log) != log.size())
            return false;
        file.close();
        replay.setTimeScale(0.01);
        presenter.setTimeScale(0.01);
        QString reason;
        return replay.open(path, &reason);
    }
    QString panel() const { return status->panel(2); }
    bool stopEnabled() const { return button("replayStopButton")->isEnabled(); }
    bool playEnabled() const { return button("replayPlayButton")->isEnabled(); }
    QToolButton* button(const char* name) const
    {
        return bar->findChild<QToolButton*>(QString::fromLatin1(name));
    }
};

} // namespace

class TestReplayPresenter : public QObject
{
    Q_OBJECT
private slots:
    void playThenStopSaysStoppedForAMoment();
    void theEndIsToldUntilTheReplayMovesBack();
    void tablesScrollUpWhilePlayingAndAsTheOptionsSayAfterClose_data();
    void tablesScrollUpWhilePlayingAndAsTheOptionsSayAfterClose();
    void stoppingQuietlySaysNothing();
};

void TestReplayPresenter::playThenStopSaysStoppedForAMoment()
{
    Rig rig;
    QVERIFY(rig.open(1000));
    rig.presenter.play();
    QCOMPARE(rig.panel(), s("Play >"));
    QVERIFY(rig.replay.playing());
    QVERIFY(rig.stopEnabled());
    QVERIFY(!rig.playEnabled());

    rig.presenter.stop();
    QVERIFY(!rig.replay.playing());
    QCOMPARE(rig.panel(), s("Stopped"));
    QVERIFY(rig.playEnabled());
    // The notice goes, and Stop with it.
    QTRY_COMPARE(rig.panel(), QString());
    QVERIFY(!rig.stopEnabled());
}

void TestReplayPresenter::theEndIsToldUntilTheReplayMovesBack()
{
    Rig rig;
    QVERIFY(rig.open(3));
    QTRY_VERIFY(rig.replay.index().isFinished());
    rig.presenter.play();
    QTRY_COMPARE(rig.panel(), s("End of file"));
    QVERIFY(!rig.replay.playing());
    QVERIFY(!rig.stopEnabled());
    QVERIFY(rig.playEnabled());
    // Still at the end: still said.
    QCoreApplication::processEvents();
    QCOMPARE(rig.panel(), s("End of file"));
    // Back to the first record: no longer true.
    QString reason;
    QVERIFY2(rig.replay.restart(&reason), qPrintable(reason));
    rig.replay.step();
    QCOMPARE(rig.panel(), QString());
}

void TestReplayPresenter::tablesScrollUpWhilePlayingAndAsTheOptionsSayAfterClose_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("optionWhilePlaying");
    QTest::newRow("down, then up while playing") << true << false;
    QTest::newRow("down, and down again while playing") << true << true;
    QTest::newRow("up, then down while playing") << false << true;
}

void TestReplayPresenter::tablesScrollUpWhilePlayingAndAsTheOptionsSayAfterClose()
{
    QFETCH(bool, before);
    QFETCH(bool, optionWhilePlaying);
    Rig rig;
    QVERIFY(rig.open(1000));
    rig.presenter.setScrollDown(before);
    QCOMPARE(rig.tables->scrollDown(), before);
    rig.presenter.play();
    QVERIFY(!rig.tables->scrollDown());
    // The options change while the replay has the tables: kept for after Close.
    rig.presenter.setScrollDown(optionWhilePlaying);
    QVERIFY(!rig.tables->scrollDown());
    rig.presenter.stopQuietly();
    rig.replay.close();
    rig.presenter.restoreScroll();
    QCOMPARE(rig.tables->scrollDown(), optionWhilePlaying);
    // And from then on the options are followed at once.
    rig.presenter.setScrollDown(!optionWhilePlaying);
    QCOMPARE(rig.tables->scrollDown(), !optionWhilePlaying);
}

void TestReplayPresenter::stoppingQuietlySaysNothing()
{
    Rig rig;
    QVERIFY(rig.open(1000));
    rig.status->setPanel(2, s("left by someone else"));
    // Nothing playing and nothing told: the panel is not the presenter's to clear.
    rig.presenter.stopQuietly();
    QCOMPARE(rig.panel(), s("left by someone else"));
    rig.presenter.play();
    rig.presenter.stopQuietly();
    QVERIFY(!rig.replay.playing());
    QCOMPARE(rig.panel(), QString());
    QVERIFY(!rig.stopEnabled());
    QVERIFY(rig.playEnabled());
}

QTEST_MAIN(TestReplayPresenter)
#include "tst_replaypresenter.moc"
