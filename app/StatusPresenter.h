#pragma once
// What the status bar counts and where the display's data comes from. The counts, read whole at
// the right end of the bar: samples not yet written to the log file and samples it lost, records
// that could not be computed and the replay's bad lines (each counted once its first has been
// told in a box), and the network outputs' states. The source panel: "LOGGING" while a recording
// runs, else "Source: File" while a log is open for replay.

#include <QObject>

class LiveSession;
class ReplaySession;
class StatusPanels;

class StatusPresenter : public QObject
{
    Q_OBJECT
public:
    StatusPresenter(StatusPanels* status, LiveSession* session, ReplaySession* replay,
                    QObject* parent);

    // The log file's backlog: lines kept back, and samples no place could keep.
    void setBacklog(qint64 lines, qint64 dropped);
    // A record that could not be computed, counted instead of told in a box.
    void countBadRecord();
    // The bad records of a connection end with it.
    void forgetBadRecords();
    // A bad line of the replay, counted instead of told in a box.
    void countBadLine();
    // The bad lines of a playback run end with it.
    void forgetBadLines();
    // Shows the counts again (the outputs' states changed).
    void showCounts();
    // Shows the source panel again (a recording or a replay began or ended).
    void showSource();

private:
    StatusPanels* m_status;
    LiveSession* m_session;
    ReplaySession* m_replay;
    int m_badRecords = 0;
    int m_badLines = 0;
    qint64 m_backlog = 0;
    qint64 m_dropped = 0;
};
