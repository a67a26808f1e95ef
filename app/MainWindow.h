#pragma once
// The main window: menus, toolbar and the commands behind them, with the panels it presents the
// sessions in: the data tables (DataTables), the dials and readouts (Readouts) with the replay
// bar (ReplayBar), and the status bar (StatusPanels).
//
// The window owns a live session and a replay session and presents them: it paints what they
// hand out (a live batch's last state and rows, a replayed record) and asks the operator. It
// holds no rule of the live road: commands are forwarded to the sessions, and whether the sensor
// is connected is the live session's to say. The replay's play state is presented by
// ReplayPresenter, the status bar's counts and source by StatusPresenter. Questions and messages
// go through Prompts.

#include "app/Prompts.h"
#include "sensor/Sample.h"
#include <QMainWindow>

#include <memory>
#include <optional>

class AboutDialog;
class AlarmsDialog;
class StationDialog;
struct StationDetails;
struct AlarmSettings;
class DesktopNotifier;
class Notifier;
class LivePlot;
class CommsOptionsDialog;
class DataTables;
class DataConventionDialog;
class DemoSource;
class FlowPipeline;
class HistoryPane;
class LiveHistory;
class LiveSession;
class LiveOutput;
class OutputsDialog;
struct OutputSettings;
class NoDataWatch;
class ProgramOptions;
class Readouts;
class Recording;
class ReplayBar;
class ReplayControls;
class ReplayPresenter;
class ReplaySession;
class LiveSource;
class StatusPanels;
class StatusPresenter;
struct SessionEvent;
class UserState;
class QAction;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QPushButton;
class QShortcut;
class QTimer;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // settingsPath: marvane.ini to use; prompts: the modal interaction (the program's message
    // boxes and file dialogs when null).
    explicit MainWindow(const QString& settingsPath, std::unique_ptr<Prompts> prompts = nullptr);
    ~MainWindow() override;

    static const QString appTitle;
    // After a box about a record that cannot be computed, how long further ones are only counted.
    static constexpr int kBadRecordQuiet = 10000;
    // How long a mark's confirmation stays in the status bar.
    static constexpr int kMarkNoteMs = 4000;

    // Text of a status bar panel, 0 to 3.
    QString statusPanel(int index) const;

    // The objects behind the window, for the program's tests and benchmarks.
    ProgramOptions& options() { return *m_options; }
    LiveSession& session() { return *m_session; }
    FlowPipeline& pipeline();
    NoDataWatch& noDataWatch();
    // The live source in use (the serial port unless a network source was opened).
    LiveSource& source();
    Recording& recording();
    ReplaySession& replay() { return *m_replay; }
    DemoSource& demonstration();
    bool connected() const;
    // Which way the data tables scroll now (upward while a replay plays).
    bool tablesScrollDown() const;

    // The secondary windows, built when first needed (most runs never open them) and kept to
    // the end of the program.
    AboutDialog* aboutDialog();
    CommsOptionsDialog* commsOptionsDialog();
    DataConventionDialog* dataConventionDialog();
    HistoryPane* historyPane();
    OutputsDialog* outputsDialog();
    AlarmsDialog* alarmsDialog();
    StationDialog* stationDialog();
    // The strip chart of the live session shown when the window is larger than its default
    // size, built when first needed.
    LivePlot* livePlot();
    LivePlot* livePlotIfBuilt() const { return m_livePlot; }
    // The network outputs running now.
    const QList<LiveOutput*>& outputs() const;
    ReplayControls* replayControls() const;

    // Remembers the window's place, the dialogs' folder and the recent files there; nothing is
    // remembered without one. Not owned; must outlive the window.
    void setUserState(UserState* state);
    UserState* userState() const { return m_userState; }

    // Where alarms are told on the desktop (not owned; nullptr: the freedesktop notification
    // service on the session bus, reached at the first alarm). Tests put their own here.
    void setNotifier(Notifier* notifier);

    // Test seam: every wait and interval of the sources is multiplied by scale (the program
    // uses 1).
    void setTimeScaleForTests(double scale);

public slots:
    void newLogFile();
    void openReplay();
    // Opens file for replay as File > Open does once a file is chosen (the command line, a file
    // dropped on the window and File > Recent Files come here too).
    void openReplayFile(const QString& file);
    void closeReplay();
    void startLogging();
    void stopLogging();
    void connectPort();
    void disconnectPort();
    // Asks for a short note and marks this moment of the live session with it (Cancel: no
    // mark). Enabled while connected, logging or not: a mark without a data file still reaches
    // the History and the network outputs.
    void markEvent();
    void showCommsOptions();
    void showOutputs();
    void showAlarms();
    void showStation();
    // Writes the samples from fromMs to toMs (UTC) of the file replayed, or of the log being
    // recorded, to a file the operator chooses (MainWindowExport.cpp).
    void exportSpan(qint64 fromMs, qint64 toMs);
    void showDataConvention();
    // Shows the History window and brings it to the front (View > History).
    void showHistory();
    void runDemonstration();
    void showAbout();
    void viewFirstRecord();
    void playReplay();
    void stopReplay();
    // Empties both tables and both readouts and sets both needles to rest.
    void clearDisplay();

signals:
    // The main window has closed: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildDataConvention(QWidget* client);
    void buildPipeline();
    void wireEvents();

    // Painting what the sessions decided.
    void showBatch(const SampleBatch& batch);
    void showReplayed(const Sample& sample);
    void onSessionEvent(const SessionEvent& event);
    void applyOptions();
    // The strip chart shows the live session, or the replayed file up to the record shown.
    void showPlotSource();
    void showUnits(SpeedUnitsKind units);
    void updateClock();

    void setConnectEnabled(bool on);
    void setLogCommandsEnabled(bool on);
    void setStatusPanel(int index, const QString& text);
    void showError(bool& guard, const QString& text, const QString& informative = {});
    void onAppendFailed(const QString& path, const QString& reason, int backlog);
    void onDeviceLost(const QString& portName, const QString& reason);
    void onReconnecting(const QString& portName, const QString& reason);
    void onReconnected(const QString& portName);
    void showNoData(int seconds);
    void showDataAgain();
    void setReadoutsGreyed(bool greyed);
    void onReplayReadFailed(const QString& path, const QString& reason);
    void showNote(const QString& text, const QString& whole = QString());
    // The destinations beside the log file (MainWindowOutputs.cpp).
    void buildOutputs();
    void startOutputs(const OutputSettings& settings);
    void startAlarms(const AlarmSettings& settings);
    void startStation(const StationDetails& details);
    void showAlarm(const SessionEvent& event);
    void showMark(const SessionEvent& event);
    void showHeading();
    void forgetBadLines();
    bool refuseReplayWhileConnected();
    void onAppendRecovered(const QString& path, qint64 dropped);
    void demonstrationFinished();

    // The desktop's conveniences (MainWindowDesktop.cpp): shortcuts, recent files, drops.
    void buildDesktopHooks();
    QString dialogStartFolder() const;
    void rememberDialogFolder(const QString& chosenFile);
    void rememberRecentFile(const QString& path);
    void fillRecentFilesMenu();
    void openRecentFile(const QString& path);
    void togglePlayback();

    ProgramOptions* m_options = nullptr;
    std::unique_ptr<Prompts> m_prompts;

    // The live session (the port, the demonstration, the log file and the other destinations)
    // and the replay of a log file.
    LiveSession* m_session = nullptr;
    FlowPipeline* m_pipeline = nullptr;
    Recording* m_recording = nullptr;
    ReplaySession* m_replay = nullptr;
    ReplayPresenter* m_replayPresenter = nullptr;
    StatusPresenter* m_statusPresenter = nullptr;

    // Commands.
    QAction* m_newLogAction = nullptr;
    QAction* m_openLogAction = nullptr;
    QAction* m_closeLogAction = nullptr;
    QAction* m_startLogAction = nullptr;
    QAction* m_stopLogAction = nullptr;
    QAction* m_markAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_connectAction = nullptr;
    QAction* m_disconnectAction = nullptr;
    QAction* m_commsOptionsAction = nullptr;
    QAction* m_outputsAction = nullptr;
    QAction* m_alarmsAction = nullptr;
    QAction* m_stationAction = nullptr;
    QAction* m_helpContentsAction = nullptr;
    QAction* m_dataConventionAction = nullptr;
    QAction* m_demonstrationAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_historyAction = nullptr;

    // Elements of the window.
    QWidget* m_toolBar = nullptr;
    QWidget* m_exitButton = nullptr;
    DataTables* m_tables = nullptr;
    QPushButton* m_dataConventionButton = nullptr;
    QWidget* m_dataConventionPanel = nullptr;
    Readouts* m_readouts = nullptr;
    LivePlot* m_livePlot = nullptr;
    // The panels' size at the default size, and the least room a strip chart is shown in (below
    // the panels, or right of them).
    static constexpr int kPanelsHeight = 386;
    static constexpr int kPanelsWidth = 632;
    static constexpr int kMinimumPlotHeight = 140;
    static constexpr int kMinimumPlotWidth = 320;
    ReplayBar* m_replayBar = nullptr;
    StatusPanels* m_statusPanels = nullptr;
    QTimer* m_clockTimer = nullptr;

    std::unique_ptr<AboutDialog> m_about;
    std::unique_ptr<CommsOptionsDialog> m_commsOptions;
    std::unique_ptr<DataConventionDialog> m_dataConvention;
    std::unique_ptr<HistoryPane> m_history;
    bool m_historyPlaced = false; // placed beside the main window when first shown
    std::unique_ptr<OutputsDialog> m_outputsDialog;
    std::unique_ptr<AlarmsDialog> m_alarmsDialog;
    std::unique_ptr<StationDialog> m_stationDialog;
    // The alarms raised now (name, the status line's words), and where they are told.
    QList<QPair<QString, QString>> m_alarmLines;
    Notifier* m_notifier = nullptr;
    std::unique_ptr<DesktopNotifier> m_desktopNotifier;
    bool m_dataFileErrorShowing = false;

    // One error box at a time per source, so ticks that keep running under an open box never
    // pile boxes on top of each other.
    bool m_decodeErrorShowing = false;
    bool m_appendErrorShowing = false;
    bool m_replayErrorShowing = false;
    double m_timeScale = 1.0;
    // Records that could not be computed while their box was open or soon after, and the
    // replay's bad lines after the first of a playback run, are counted in the status bar
    // instead of told in a box each.
    bool m_badLineReported = false;
    QTimer* m_badRecordQuiet = nullptr;
    UserState* m_userState = nullptr;
    QMenu* m_recentFilesMenu = nullptr;
    QShortcut* m_playStopShortcut = nullptr;
    QString m_markNoteShown; // the mark's confirmation while the status bar shows it
};
