#pragma once
// The replay's play state as the window shows it. Play and Stop on the replay bar; the replay's
// panel of the status bar: "Play >" while it plays, "Stopped" for a moment after Stop, "End of
// file" while the last record is the one shown; and the data tables, which scroll upward while a
// replay plays and as the options say again once it is closed. The window forwards its commands
// here; the replay session reads and plays the file.

#include <QObject>

#include <optional>

class DataTables;
class ReplayBar;
class ReplaySession;
class StatusPanels;
class QTimer;

class ReplayPresenter : public QObject
{
    Q_OBJECT
public:
    // How long "Stopped" stays in the status bar after Stop, in milliseconds.
    static constexpr int kStopNotice = 1500;

    ReplayPresenter(ReplaySession* replay, ReplayBar* bar, DataTables* tables, StatusPanels* status,
                    QObject* parent);

    void play();
    void stop();
    // Stop when playing, Play otherwise (the keyboard's one key for both).
    void togglePlayback();
    // Ends a playback, or the notice of one, without saying "Stopped" (a new log file, a file
    // that cannot be read any more, View First Record on a file gone, Close).
    void stopQuietly();

    // The options' scroll direction of the tables: followed at once, unless a replay has turned
    // the tables upward, then from Close on.
    void setScrollDown(bool scrollDown);
    // Close: the tables scroll as the options say again.
    void restoreScroll();

    // Every wait multiplied by scale (tests; the program uses 1).
    void setTimeScale(double scale);

private:
    void onEndReached();
    void onPositionChanged(qint64 record, qint64 count);
    void onStopNoticeOver();
    void setPanel(const QString& text);

    ReplaySession* m_replay;
    ReplayBar* m_bar;
    DataTables* m_tables;
    StatusPanels* m_status;
    QTimer* m_stopNotice = nullptr;
    // The tables' scroll direction (the options') before Play turned them upward, restored at
    // Close.
    std::optional<bool> m_scrollDownBeforePlay;
    bool m_endOfFileShown = false; // "End of file" in the panel until Play, Close or Stop
};
