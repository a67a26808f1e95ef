// Building the main window: its elements at their places, and the wiring of every event to its
// handler.

#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/Artwork.h"
#include "app/CommsOptionsDialog.h"
#include "app/DataConventionDialog.h"
#include "app/DataGrid.h"
#include "app/DialWidget.h"
#include "app/HistoryPane.h"
#include "app/OutputsDialog.h"
#include "app/Look.h"
#include "app/NoteLabel.h"
#include "app/ReplayControls.h"
#include "app/WidgetPrompts.h"
#include "comms/SerialSource.h"
#include "logfile/LiveHistory.h"
#include "logfile/Recording.h"
#include "logfile/ReplaySession.h"
#include "processing/FlowPipeline.h"
#include "processing/NoDataWatch.h"
#include "reference/DemoSource.h"
#include "session/LiveSession.h"
#include "session/ProgramOptions.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace {

// Tabs of a fixed width, as the data tabs are drawn.
class FixedTabBar : public QTabBar
{
public:
    explicit FixedTabBar(QWidget* parent) : QTabBar(parent) {}

protected:
    QSize tabSizeHint(int index) const override
    {
        return QSize(65, QTabBar::tabSizeHint(index).height());
    }
};

// Narrow tab padding, so the bold captions fit the 65-pixel tabs as they were laid out.
class TabStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return 6;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

class DataTabs : public QTabWidget
{
public:
    explicit DataTabs(QWidget* parent) : QTabWidget(parent)
    {
        auto* bar = new FixedTabBar(this);
        auto* style = new TabStyle;
        style->setParent(bar);
        bar->setStyle(style);
        bar->setElideMode(Qt::ElideNone);
        bar->setUsesScrollButtons(false);
        setTabBar(bar);
    }
};

// A rounded rectangle filled with one colour, behind the readouts and the Data Convention button.
class RoundedShape : public QWidget
{
public:
    RoundedShape(const QString& name, const QRect& geometry, QWidget* parent) : QWidget(parent)
    {
        setObjectName(name);
        setGeometry(geometry);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(inactiveCaptionColour());
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }
};

QLabel* makeLabel(const QString& name, const QString& text, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    return label;
}

QFrame* makeFrame(const QString& name, const QRect& geometry, QFrame::Shape shape,
                  QFrame::Shadow shadow, QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setGeometry(geometry);
    frame->setFrameShape(shape);
    frame->setFrameShadow(shadow);
    return frame;
}

} // namespace
MainWindow::MainWindow(const QString& settingsPath, std::unique_ptr<Prompts> prompts)
    : m_prompts(std::move(prompts))
{
    // The settings file is read once, here; the Communications dialog edits the options.
    m_options = new ProgramOptions(settingsPath, this);
    const QString unreadable = m_options->load();
    m_scrollDown = m_options->flags().scrollDown;
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
    buildDataPanel(client);
    buildDisplayPanel(client);
    buildStatusBar();
    // Below the menu bar: 386 pixels of panels (the lowest end at 385), then the status bar.
    resize(632, menuBar()->sizeHint().height() + 406);
    setMinimumSize(size());

    m_clockTimer = new QTimer(this);
    m_clockTimer->setObjectName(QStringLiteral("clockTimer"));
    m_clockTimer->setInterval(1000);
    m_badRecordQuiet = new QTimer(this);
    m_badRecordQuiet->setSingleShot(true);
    m_badRecordQuiet->setInterval(kBadRecordQuiet);
    m_stopNoticeTimer = new QTimer(this);
    m_stopNoticeTimer->setSingleShot(true);
    m_stopNoticeTimer->setInterval(1500);

    buildPipeline();
    rememberBaseLayout();
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
    // Separators of 5, 8, 8, 8 and 324 pixels stand before New, Start Logging, Connect, Options
    // and Exit; the groups are marked by a thin line in the middle of the narrow ones.
    const int separators[][2] = {{0, 5}, {95, 8}, {163, 8}, {231, 8}, {269, 324}};
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

void MainWindow::buildDataPanel(QWidget* client)
{
    QFrame* dataPanel = makeFrame(QStringLiteral("dataPanel"), QRect(5, 40, 212, 257),
                                  QFrame::Panel, QFrame::Raised, client);
    const QFont clockFont = marvaneFont(13, true);
    m_clockLabel = makeLabel(QStringLiteral("clockLabel"), QString(), clockFont, dataPanel);
    m_replayTimeLabel =
        makeLabel(QStringLiteral("replayTimeLabel"), QString(), clockFont, dataPanel);
    for (QLabel* label : {m_clockLabel, m_replayTimeLabel}) {
        label->setGeometry(6, 5, 200, 16);
        label->setAlignment(Qt::AlignCenter);
        setFillColour(label, Qt::white);
    }
    m_replayTimeLabel->hide();

    m_dataTabs = new DataTabs(dataPanel);
    m_dataTabs->setObjectName(QStringLiteral("dataTabs"));
    m_dataTabs->setGeometry(6, 25, 200, 224);
    m_dataTabs->setFont(marvaneFont(11, true));

    const auto page = [this](const char* name, const char* caption) {
        auto* widget = new QWidget();
        widget->setObjectName(QString::fromLatin1(name));
        m_dataTabs->addTab(widget, QString::fromLatin1(caption));
        return widget;
    };
    QWidget* computed = page("computedPage", "Computed");
    QWidget* raw = page("rawPage", "Raw Data");
    m_dataTabs->setCurrentIndex(0);

    const QFont gridFont = marvaneFont(11, true);
    const auto grid = [&](const char* name, QWidget* parent, int top, int height, bool body,
                          bool sunken) {
        auto* g = new DataGrid(QString::fromLatin1(name),
                               body ? windowColour() : buttonFaceColour(), sunken, parent);
        g->setGeometry(18, top, 156, height);
        g->setFont(gridFont);
        return g;
    };
    m_computedHeader = grid("computedHeader", computed, 16, 20, false, true);
    m_computedUnits = grid("computedUnits", computed, 33, 20, false, true);
    m_computedTable = grid("computedTable", computed, 51, 139, true, true);
    m_rawHeader = grid("rawHeader", raw, 16, 20, false, true);
    m_rawUnits = grid("rawUnits", raw, 33, 20, false, true);
    m_rawTable = grid("rawTable", raw, 51, 139, true, false);
    m_computedHeader->setCell(0, 0, QStringLiteral("   Speed"));
    m_computedHeader->setCell(1, 0, QStringLiteral("  Bearing"));
    m_computedUnits->setCell(1, 0, QStringLiteral("  Degrees"));
    m_rawHeader->setCell(0, 0, QStringLiteral("       X"));
    m_rawHeader->setCell(1, 0, QStringLiteral("       Y"));

    new RoundedShape(QStringLiteral("dataConventionPanel"), QRect(5, 304, 212, 81), client);
    m_dataConventionButton = new QPushButton(QStringLiteral("Data Convention"), client);
    m_dataConventionButton->setObjectName(QStringLiteral("dataConventionButton"));
    m_dataConventionButton->setGeometry(35, 330, 150, 25);
    m_dataConventionButton->setFont(marvaneFont(11, true));
    m_dataConventionButton->setToolTip(QStringLiteral("View data convention diagram"));
}

void MainWindow::buildDisplayPanel(QWidget* client)
{
    m_displayPanel = makeFrame(QStringLiteral("displayPanel"), QRect(224, 40, 400, 345),
                               QFrame::Panel, QFrame::Raised, client);

    const auto dial = [this](const char* name, int left, DialFace face) {
        auto* widget = new DialWidget(face, m_displayPanel);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(left, 8, kDialSize, kDialSize);
        widget->setCornerColour(buttonFaceColour());
        return widget;
    };
    m_speedDial = dial("speedDial", 8, DialFace::Knots);
    m_speedDial->setNeedleAngle(kSpeedNeedleRest);
    m_bearingDial = dial("bearingDial", 205, DialFace::Bearing);
    m_bearingDial->setNeedleAngle(0);

    QLabel* speedCaption = makeLabel(QStringLiteral("speedCaption"), QStringLiteral("Flow Speed"),
                                     marvaneFont(16, true), m_displayPanel);
    speedCaption->move(60, 200);
    speedCaption->adjustSize();

    m_bearingSenseBox = new QComboBox(m_displayPanel);
    m_bearingSenseBox->setObjectName(QStringLiteral("bearingSenseBox"));
    // The font first: a font change lays the item list out again.
    m_bearingSenseBox->setFont(marvaneFont(13, true));
    m_bearingSenseBox->addItems(
        {QStringLiteral("Flow Bearing From"), QStringLiteral("Flow Bearing To")});
    m_bearingSenseBox->setEditable(false);
    m_bearingSenseBox->setMaxVisibleItems(2);
    m_bearingSenseBox->setGeometry(216, 200, 169, 21);
    {
        QPalette p = m_bearingSenseBox->palette();
        p.setColor(QPalette::Button, highlightTextColour());
        p.setColor(QPalette::Base, highlightTextColour());
        m_bearingSenseBox->setPalette(p);
    }

    QFrame* readoutFrame = makeFrame(QStringLiteral("readoutFrame"), QRect(14, 218, 372, 75),
                                     QFrame::Box, QFrame::Sunken, m_displayPanel);
    new RoundedShape(QStringLiteral("speedReadoutPanel"), QRect(10, 16, 155, 49), readoutFrame);
    new RoundedShape(QStringLiteral("bearingReadoutPanel"), QRect(212, 16, 150, 49), readoutFrame);

    const QFont valueFont = marvaneFont(32, true);
    m_speedReadout = makeLabel(QStringLiteral("speedReadout"), QString(), valueFont, readoutFrame);
    // Right edge at 106; the text grows to the left, up to the frame's edge, so six-character
    // speeds ("14.141", "141420") are never cut.
    m_speedReadout->setGeometry(0, 21, 106, 40);
    m_speedReadout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_speedUnitsLabel = makeLabel(QStringLiteral("speedUnitsLabel"), QString(),
                                  marvaneFont(19, true), readoutFrame);
    m_speedUnitsLabel->setGeometry(110, 33, 52, 24);
    m_speedUnitsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_bearingReadout =
        makeLabel(QStringLiteral("bearingReadout"), QString(), valueFont, readoutFrame);
    m_bearingReadout->setGeometry(216, 21, 90, 40); // right edge at 306
    m_bearingReadout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_degreeSign = makeLabel(QStringLiteral("degreeSign"), QStringLiteral("o"),
                             marvaneFont(19, true), readoutFrame);
    m_degreeSign->setGeometry(311, 20, 13, 24);
    m_degreeSign->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    for (QLabel* label : {m_speedReadout, m_speedUnitsLabel, m_bearingReadout, m_degreeSign}) {
        setTextColour(label, Qt::black);
        label->setAttribute(Qt::WA_TranslucentBackground); // the rounded panel shows through
    }

    QLabel* mainLogo = makeLabel(QStringLiteral("mainLogo"), QString(), font(), m_displayPanel);
    mainLogo->setGeometry(14, 295, 372, 45);
    mainLogo->setAlignment(Qt::AlignCenter);
    mainLogo->setPixmap(artworkPixmap(QStringLiteral("logo-main"), QSize(372, 45)));
    mainLogo->setProperty("artwork", QStringLiteral("logo-main"));

    m_replayBar = makeFrame(QStringLiteral("replayBar"), QRect(14, 295, 372, 45), QFrame::Box,
                            QFrame::Sunken, m_displayPanel);
    setFillColour(m_replayBar, buttonFaceColour());
    const auto videoButton = [this](const char* name, const char* glyph, const char* hint,
                                    int left) {
        auto* button = new QToolButton(m_replayBar);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(glyphIcon(QString::fromLatin1(glyph)));
        button->setIconSize(QSize(kGlyphIconSize, kGlyphIconSize));
        button->setToolTip(QString::fromLatin1(hint));
        button->setGeometry(left, 10, 30, 30);
        return button;
    };
    m_replayFirstButton = videoButton("replayFirstButton", "video-start", "View First Record", 10);
    m_replayStopButton = videoButton("replayStopButton", "video-stop", "Stop Scroll", 41);
    m_replayPlayButton = videoButton("replayPlayButton", "video-play", "Play - Forward", 72);
    m_replayStopButton->setEnabled(false);
    m_replayBar->hide();
}

void MainWindow::buildStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(20);
    const int widths[4] = {150, 150, 150, 50};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        bar->addWidget(panel);
        m_panels[size_t(i)] = panel;
    }
    m_noteLabel = new NoteLabel(bar);
    m_noteLabel->setObjectName(QStringLiteral("statusNote"));
    // The counts beside it come first: the note gives way, its tooltip keeps the whole text.
    m_noteLabel->setMinimumWidth(0);
    m_noteLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(m_noteLabel, 1);
    m_backlogLabel = new QLabel(bar);
    m_backlogLabel->setObjectName(QStringLiteral("backlogLabel"));
    // Counts that must be read whole: the note beside them gives way first.
    m_backlogLabel->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    bar->addPermanentWidget(m_backlogLabel);
    setStatusBar(bar);
}

void MainWindow::buildPipeline()
{
    m_session = new LiveSession(m_options, this);
    m_pipeline = &m_session->pipeline();
    m_recording = &m_session->recording();
    m_replay = new ReplaySession(m_pipeline, this);
    m_replay->setRowsShown(LastDataRow + 1);
    // The speed, the slider and the position take the place of the bar's logo.
    m_replayControls = new ReplayControls(m_replay, m_replayBar);
    m_replayControls->move(104, 2);

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
    connect(m_recording, &Recording::backlogChanged, this, &MainWindow::showBacklog);
    connect(m_replay, &ReplaySession::readFailed, this, &MainWindow::onReplayReadFailed);
    connect(m_replay, &ReplaySession::endReached, this, &MainWindow::onReplayEnd);
    connect(m_replay, &ReplaySession::seeking, this, &MainWindow::clearDisplay);
    connect(m_replay, &ReplaySession::positionChanged, this, [this](qint64 record, qint64 count) {
        // "End of file" is true only at the end.
        if (m_endOfFileShown && record + 1 < count) {
            m_endOfFileShown = false;
            setStatusPanel(2, QString());
        }
    });
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
    connect(m_commsOptionsAction, &QAction::triggered, this, &MainWindow::showCommsOptions);
    connect(m_outputsAction, &QAction::triggered, this, &MainWindow::showOutputs);
    connect(m_dataConventionAction, &QAction::triggered, this, &MainWindow::showDataConvention);
    connect(m_demonstrationAction, &QAction::triggered, this, &MainWindow::runDemonstration);
    connect(m_historyAction, &QAction::toggled, this, [this](bool shown) {
        if (shown || m_history)
            historyPane()->setVisible(shown);
    });
    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    connect(m_dataConventionButton, &QPushButton::clicked, this, &MainWindow::showDataConvention);
    connect(m_replayFirstButton, &QToolButton::clicked, this, &MainWindow::viewFirstRecord);
    connect(m_replayStopButton, &QToolButton::clicked, this, &MainWindow::stopReplay);
    connect(m_replayPlayButton, &QToolButton::clicked, this, &MainWindow::playReplay);
    connect(m_bearingSenseBox, &QComboBox::currentIndexChanged, this,
            &MainWindow::bearingSenseChanged);
    connect(m_clockTimer, &QTimer::timeout, this, &MainWindow::updateClock);
    connect(m_stopNoticeTimer, &QTimer::timeout, this, [this] {
        // Play pressed while "Stopped" was showing keeps its playback and its Stop button.
        if (m_replay->playing())
            return;
        setStatusPanel(2, QString());
        m_replayStopButton->setEnabled(false);
    });
    m_computedTable->setDrawCell(
        [this](QPainter& p, int c, int r, const QRect& rect) { drawComputedCell(p, c, r, rect); });
}

AboutDialog* MainWindow::aboutDialog()
{
    if (!m_about) {
        m_about = std::make_unique<AboutDialog>();
        m_about->setSettingsPath(m_options->settingsPath());
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
    }
    return m_history.get();
}
