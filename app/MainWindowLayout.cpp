// Building the main window: its elements at their places, and the wiring of every event to its
// handler.

#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/AlarmsDialog.h"
#include "app/StationDialog.h"
#include "app/Artwork.h"
#include "app/CommsOptionsDialog.h"
#include "app/DataConventionDialog.h"
#include "app/DataTables.h"
#include "app/DesktopNotifier.h"
#include "app/HistoryPane.h"
#include "app/Look.h"
#include "app/OutputsDialog.h"
#include "app/PanelParts.h"
#include "app/Readouts.h"
#include "app/ReplayBar.h"
#include "app/ReplayPresenter.h"
#include "app/StatusPanels.h"
#include "app/StatusPresenter.h"
#include "app/WidgetPrompts.h"
#include "history/LiveHistory.h"
#include "recording/Recording.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowPipeline.h"
#include "sensor/GridRows.h"
#include "session/LiveSession.h"
#include "session/NoDataWatch.h"
#include "settings/ProgramOptions.h"
#include "sources/DemoSource.h"
#include "sources/SerialSource.h"

#include <QAction>
#include <QFrame>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

MainWindow::MainWindow(const QString& settingsPath, std::unique_ptr<Prompts> prompts)
    : m_prompts(std::move(prompts))
{
    // The settings file is read once, here; the Communications dialog edits the options.
    m_options = new ProgramOptions(settingsPath, this);
    const QString unreadable = m_options->load();
    if (!m_prompts)
        m_prompts = std::make_unique<WidgetPrompts>(this);

    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(appTitle);
    setWindowIcon(programIcon());
    setFont(marvaneFont(11));

    buildMenus();
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client);
    buildToolbar();
    m_toolBar->setParent(client);
    m_tables = new DataTables(client);
    m_tables->setScrollDown(m_options->flags().scrollDown);
    buildDataConvention(client);
    m_readouts = new Readouts(client);
    m_replayBar = m_readouts->replayBar();
    m_statusPanels = new StatusPanels(this);
    setStatusBar(m_statusPanels);
    // Below the menu bar: 386 pixels of panels (the lowest end at 385), then the status bar.
    resize(632, menuBar()->sizeHint().height() + 406);
    setMinimumSize(size());

    m_clockTimer = new QTimer(this);
    m_clockTimer->setObjectName(QStringLiteral("clockTimer"));
    m_clockTimer->setInterval(1000);
    m_badRecordQuiet = new QTimer(this);
    m_badRecordQuiet->setSingleShot(true);
    m_badRecordQuiet->setInterval(kBadRecordQuiet);

    buildPipeline();
    m_readouts->rememberBaseLayout();
    wireEvents();
    m_clockTimer->start();
    buildDesktopHooks();
    buildOutputs();
    showHeading();
    // Said once the window is up, never holding the start.
    if (!unreadable.isEmpty())
        QTimer::singleShot(0, this, [this, unreadable] {
            m_prompts->notify(unreadable,
                              QStringLiteral("The program starts with its default options."), {});
        });
}

MainWindow::~MainWindow() = default;

// ---------------------------------------------------------------------------------------------
// Building the window

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    const auto item = [this](QMenu* menu, const char* name, const char* caption, bool enabled) {
        auto* action = new QAction(QString::fromLatin1(caption), this);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled);
        menu->addAction(action);
        return action;
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    m_newLogAction = item(file, "newLogAction", "&New", true);
    m_openLogAction = item(file, "openLogAction", "&Open...", true);
    m_closeLogAction = item(file, "closeLogAction", "&Close", false);
    file->addSeparator();
    m_startLogAction = item(file, "startLogAction", "Start &Log", false);
    m_stopLogAction = item(file, "stopLogAction", "&Stop Log", false);
    m_markAction = item(file, "markAction", "&Mark...", false);
    file->addSeparator();
    m_exitAction = item(file, "exitAction", "E&xit", true);
    m_recentFilesMenu = new QMenu(QStringLiteral("&Recent Files"), file);
    m_recentFilesMenu->setObjectName(QStringLiteral("recentFilesMenu"));
    m_recentFilesMenu->menuAction()->setObjectName(QStringLiteral("recentFilesAction"));
    file->insertMenu(m_closeLogAction, m_recentFilesMenu);

    QMenu* comms = bar->addMenu(QStringLiteral("&Communications"));
    comms->setObjectName(QStringLiteral("commsMenu"));
    m_connectAction = item(comms, "connectAction", "&Connect", true);
    m_disconnectAction = item(comms, "disconnectAction", "&Disconnect", false);
    comms->addSeparator();
    m_commsOptionsAction = item(comms, "commsOptionsAction", "&Options...", true);
    m_outputsAction = item(comms, "outputsAction", "O&utputs...", true);
    m_alarmsAction = item(comms, "alarmsAction", "&Alarms...", true);
    m_stationAction = item(comms, "stationAction", "&Station...", true);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
    m_historyAction = item(view, "historyAction", "&History", true);
    m_historyAction->setCheckable(true);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    m_helpContentsAction = item(help, "helpContentsAction", "&Contents", true);
    m_helpContentsAction->setVisible(false);
    m_dataConventionAction = item(help, "dataConventionAction", "&Data Convention...", true);
    m_demonstrationAction = item(help, "demonstrationAction", "Demonst&ration", true);
    help->addSeparator();
    m_aboutAction = item(help, "aboutAction", "&About Marvane...", true);
}

void MainWindow::buildToolbar()
{
    m_toolBar = new QWidget(this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setGeometry(0, 0, 632, 45);

    struct Button
    {
        const char* name;
        QAction* action;
        const char* glyph;
        const char* hint;
        int left;
    };
    const Button buttons[] = {
        {"newLogButton", m_newLogAction, "file-new", "New File", 5},
        {"openLogButton", m_openLogAction, "file-open", "Open Existing File", 35},
        {"closeLogButton", m_closeLogAction, "file-close", "Close File", 65},
        {"startLogButton", m_startLogAction, "log-start", "Start Logging", 103},
        {"stopLogButton", m_stopLogAction, "log-stop", "Stop Logging", 133},
        {"connectButton", m_connectAction, "serial-connect", "Connect to serial port", 171},
        {"disconnectButton", m_disconnectAction, "serial-disconnect", "Disconnect from serial port",
         201},
        {"commsOptionsButton", m_commsOptionsAction, "setup", "Options", 239},
        {"markButton", m_markAction, "mark", "Mark this moment, with a note", 277},
        {"exitButton", m_exitAction, "exit", "Exit Marvane", 593},
    };
    for (const Button& b : buttons) {
        b.action->setIcon(glyphIcon(QString::fromLatin1(b.glyph)));
        b.action->setToolTip(QString::fromLatin1(b.hint));
        b.action->setIconVisibleInMenu(false);
        auto* button = new QToolButton(m_toolBar);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setDefaultAction(b.action);
        button->setAutoRaise(true);
        button->setIconSize(QSize(kGlyphIconSize, kGlyphIconSize));
        button->setGeometry(b.left, 2, 30, 30);
        if (b.action == m_exitAction)
            m_exitButton = button;
    }
    // Separators of 5, 8, 8, 8, 8 and 286 pixels stand before New, Start Logging, Connect,
    // Options, Mark and Exit; the groups are marked by a thin line in the middle of the narrow
    // ones.
    const int separators[][2] = {{0, 5}, {95, 8}, {163, 8}, {231, 8}, {269, 8}, {307, 286}};
    int n = 1;
    for (const auto& s : separators) {
        auto* sep = new QFrame(m_toolBar);
        sep->setObjectName(QStringLiteral("toolBarSeparator%1").arg(n++));
        if (s[1] == 8) {
            sep->setFrameShape(QFrame::VLine);
            sep->setFrameShadow(QFrame::Sunken);
        }
        sep->setGeometry(s[0], 2, s[1], 30);
    }
}

void MainWindow::buildDataConvention(QWidget* client)
{
    m_dataConventionPanel =
        new RoundedShape(QStringLiteral("dataConventionPanel"), QRect(5, 304, 212, 81), client);
    m_dataConventionButton = new QPushButton(QStringLiteral("Data Convention"), client);
    m_dataConventionButton->setObjectName(QStringLiteral("dataConventionButton"));
    m_dataConventionButton->setGeometry(35, 330, 150, 25);
    m_dataConventionButton->setFont(marvaneFont(11, true));
    m_dataConventionButton->setToolTip(QStringLiteral("View data convention diagram"));
}

void MainWindow::buildPipeline()
{
    m_session = new LiveSession(m_options, this);
    m_pipeline = &m_session->pipeline();
    m_recording = &m_session->recording();
    m_replay = new ReplaySession(m_pipeline, this);
    m_replay->setRowsShown(m_tables->rowsShown());
    // The speed, the slider and the position take the place of the bar's logo.
    m_replayBar->attach(m_replay);
    m_replayPresenter = new ReplayPresenter(m_replay, m_replayBar, m_tables, m_statusPanels, this);
    m_statusPresenter = new StatusPresenter(m_statusPanels, m_session, m_replay, this);

    // The window only presents: the live session hands it each batch to show once the log file
    // and the other destinations have it; replayed records come from the replay session.
    connect(m_session, &LiveSession::batchReady, this, &MainWindow::showBatch);
    connect(m_session, &LiveSession::sessionEvent, this, &MainWindow::onSessionEvent);
    connect(m_session, &LiveSession::demonstrationFinished, this,
            &MainWindow::demonstrationFinished);
    connect(m_pipeline, &FlowPipeline::sampleReady, this, &MainWindow::showReplayed);
    connect(m_options, &ProgramOptions::changed, this, &MainWindow::applyOptions);
    connect(m_recording, &Recording::appendFailed, this, &MainWindow::onAppendFailed);
    connect(m_recording, &Recording::appendRecovered, this, &MainWindow::onAppendRecovered);
    connect(m_recording, &Recording::backlogChanged, m_statusPresenter,
            &StatusPresenter::setBacklog);
    connect(m_replay, &ReplaySession::readFailed, this, &MainWindow::onReplayReadFailed);
    connect(m_replay, &ReplaySession::seeking, this, &MainWindow::clearDisplay);
}

void MainWindow::wireEvents()
{
    connect(m_newLogAction, &QAction::triggered, this, &MainWindow::newLogFile);
    connect(m_openLogAction, &QAction::triggered, this, &MainWindow::openReplay);
    connect(m_closeLogAction, &QAction::triggered, this, &MainWindow::closeReplay);
    connect(m_startLogAction, &QAction::triggered, this, &MainWindow::startLogging);
    connect(m_stopLogAction, &QAction::triggered, this, &MainWindow::stopLogging);
    connect(m_exitAction, &QAction::triggered, this, &MainWindow::close);
    connect(m_connectAction, &QAction::triggered, this, &MainWindow::connectPort);
    connect(m_disconnectAction, &QAction::triggered, this, &MainWindow::disconnectPort);
    connect(m_markAction, &QAction::triggered, this, &MainWindow::markEvent);
    connect(m_commsOptionsAction, &QAction::triggered, this, &MainWindow::showCommsOptions);
    connect(m_outputsAction, &QAction::triggered, this, &MainWindow::showOutputs);
    connect(m_alarmsAction, &QAction::triggered, this, &MainWindow::showAlarms);
    connect(m_stationAction, &QAction::triggered, this, &MainWindow::showStation);
    connect(m_dataConventionAction, &QAction::triggered, this, &MainWindow::showDataConvention);
    connect(m_demonstrationAction, &QAction::triggered, this, &MainWindow::runDemonstration);
    connect(m_historyAction, &QAction::toggled, this, [this](bool shown) {
        if (shown)
            showHistory();
        else if (m_history && m_history->isVisible())
            // Chosen again while the window is open, perhaps behind the main window: it is
            // brought to the front, not closed (its own close button closes it).
            m_historyAction->setChecked(true);
    });
    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    connect(m_dataConventionButton, &QPushButton::clicked, this, &MainWindow::showDataConvention);
    connect(m_replayBar, &ReplayBar::viewFirstPressed, this, &MainWindow::viewFirstRecord);
    connect(m_replayBar, &ReplayBar::stopPressed, this, &MainWindow::stopReplay);
    connect(m_replayBar, &ReplayBar::playPressed, this, &MainWindow::playReplay);
    connect(m_readouts, &Readouts::bearingToChosen, m_pipeline, &FlowPipeline::setBearingTo);
    connect(m_clockTimer, &QTimer::timeout, this, &MainWindow::updateClock);
}

AboutDialog* MainWindow::aboutDialog()
{
    if (!m_about) {
        m_about = std::make_unique<AboutDialog>();
        m_about->setSettingsPath(m_options->settingsPath());
        m_about->setClockLine(m_session->clockStateText());
        showHeading();
    }
    return m_about.get();
}

CommsOptionsDialog* MainWindow::commsOptionsDialog()
{
    if (!m_commsOptions)
        m_commsOptions = std::make_unique<CommsOptionsDialog>(*m_options, *m_prompts);
    return m_commsOptions.get();
}

DataConventionDialog* MainWindow::dataConventionDialog()
{
    if (!m_dataConvention)
        m_dataConvention = std::make_unique<DataConventionDialog>();
    return m_dataConvention.get();
}

HistoryPane* MainWindow::historyPane()
{
    if (!m_history) {
        m_history = std::make_unique<HistoryPane>(m_replay, &m_session->history());
        connect(m_history.get(), &HistoryPane::visibilityChanged, m_historyAction,
                &QAction::setChecked);
        connect(m_history.get(), &HistoryPane::exportRequested, this, &MainWindow::exportSpan);
        // Ctrl+Q ends the program from the History window too.
        m_history->addAction(m_exitAction);
    }
    return m_history.get();
}

void MainWindow::showHistory()
{
    HistoryPane* pane = historyPane();
    if (!m_historyPlaced) {
        m_historyPlaced = true;
        // Beside the main window, or over it below its menu bar, always inside the screen's
        // available area. The window manager's frame is taken to be the main window's.
        const QRect frame = frameGeometry();
        const QRect inner = geometry();
        const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                               frame.right() - inner.right(), frame.bottom() - inner.bottom());
        const QScreen* shown = screen();
        const QRect available = shown ? shown->availableGeometry() : frame;
        const int belowMenuBar = menuBar()->mapToGlobal(QPoint(0, menuBar()->height())).y();
        const QRect place =
            historyWindowFrame(pane->size().grownBy(margins), frame, belowMenuBar, available,
                               pane->minimumSizeHint().height() + margins.top() + margins.bottom());
        pane->resize(place.size().shrunkBy(margins));
        pane->move(place.topLeft());
    }
    pane->show();
    pane->raise();
    pane->activateWindow();
    m_historyAction->setChecked(true);
}
