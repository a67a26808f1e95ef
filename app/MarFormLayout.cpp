// Building the main window: its elements at their places, and the wiring of every event to its
// handler.

#include "app/MarForm.h"

#include "app/ClockText.h"
#include "app/Look.h"
#include "app/MarCommon.h"
#include "app/MarvaneError.h"
#include "app/WidgetPrompts.h"
#include "comms/MarComms.h"
#include "comms/PortMapping.h"
#include "comms/SerialConnection.h"
#include "logfile/LogFormat.h"
#include "processing/DataGrid.h"
#include "processing/DialView.h"
#include "processing/FlowComputation.h"
#include "processing/NumberText.h"
#include "processing/RawRecord.h"
#include "reference/Artwork.h"
#include "reference/DemoFeed.h"
#include "reference/MarDataCon.h"
#include "reference/MarvaneAbout.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QShowEvent>
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
TfrmMain::TfrmMain(const QString& settingsPath, std::unique_ptr<Prompts> prompts)
    : m_prompts(std::move(prompts)), m_serial(std::make_unique<SerialConnection>())
{
    m_options.settingsPath = settingsPath;
    if (!m_prompts)
        m_prompts = std::make_unique<WidgetPrompts>(this);

    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(AppTitle);
    setWindowIcon(programIcon());
    setFont(marvaneFont(11));

    buildMenus();
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client);
    buildToolbar();
    tbrStandard->setParent(client);
    buildDataPanel(client);
    buildDisplayPanel(client);
    buildStatusBar();
    // The client area below the menu bar is 632 x 401, the status bar's 20 pixels included.
    resize(632, menuBar()->sizeHint().height() + 401);

    timClock = new QTimer(this);
    timClock->setObjectName(QStringLiteral("timClock"));
    timClock->setInterval(1000);
    timPlay = new QTimer(this);
    timPlay->setObjectName(QStringLiteral("timPlay"));
    timPlay->setInterval(1000);
    timReadData = new QTimer(this);
    timReadData->setObjectName(QStringLiteral("timReadData"));
    timReadData->setInterval(900);

    wireEvents();
    timClock->start();
    FormCreate();
    createSecondaryWindows();
}

TfrmMain::~TfrmMain() = default;

// ---------------------------------------------------------------------------------------------
// Building the window

void TfrmMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mnubarToolbar"));
    const auto item = [this](QMenu* menu, const char* name, const char* caption, bool enabled) {
        auto* action = new QAction(QString::fromLatin1(caption), this);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled);
        menu->addAction(action);
        return action;
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    mnuFileNew = item(file, "mnuFileNew", "&New", true);
    mnuFileOpen = item(file, "mnuFileOpen", "&Open...", true);
    mnuFileClose = item(file, "mnuFileClose", "&Close", false);
    file->addSeparator();
    mnuFileLogStart = item(file, "mnuFileLogStart", "Start &Log", false);
    mnuFileLogStop = item(file, "mnuFileLogStop", "&Stop Log", false);
    file->addSeparator();
    mnuFileExit = item(file, "mnuFileExit", "E&xit", true);

    QMenu* comms = bar->addMenu(QStringLiteral("&Communications"));
    comms->setObjectName(QStringLiteral("mnuComms"));
    mnuCommsConnect = item(comms, "mnuCommsConnect", "&Connect", true);
    mnuCommsDisconnect = item(comms, "mnuCommsDisconnect", "&Disconnect", false);
    comms->addSeparator();
    mnuCommsOptions = item(comms, "mnuCommsOptions", "&Options...", true);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = item(help, "mnuHelpContents", "&Contents", true);
    mnuHelpContents->setVisible(false);
    mnuHelpDataConvention = item(help, "mnuHelpDataConvention", "&Data Convention...", true);
    mnuHelpDemo = item(help, "mnuHelpDemo", "Demonst&ration", true);
    help->addSeparator();
    mnuHelpAbout = item(help, "mnuHelpAbout", "&About Marvane...", true);
}

void TfrmMain::buildToolbar()
{
    tbrStandard = new QWidget(this);
    tbrStandard->setObjectName(QStringLiteral("tbrStandard"));
    tbrStandard->setGeometry(0, 0, 632, 45);

    struct Button
    {
        const char* name;
        QAction* action;
        const char* glyph;
        const char* hint;
        int left;
    };
    const Button buttons[] = {
        {"btnFileNew", mnuFileNew, "file-new", "New File", 5},
        {"btnFileOpen", mnuFileOpen, "file-open", "Open Existing File", 35},
        {"btnFileClose", mnuFileClose, "file-close", "Close File", 65},
        {"btnLogStart", mnuFileLogStart, "log-start", "Start Logging", 103},
        {"btnLogStop", mnuFileLogStop, "log-stop", "Stop Logging", 133},
        {"btnSerialConnect", mnuCommsConnect, "serial-connect", "Connect to serial port", 171},
        {"btnSerialDisconnect", mnuCommsDisconnect, "serial-disconnect",
         "Disconnect from serial port", 201},
        {"btnSetup", mnuCommsOptions, "setup", "Options", 239},
        {"btnExit", mnuFileExit, "exit", "Exit Marvane", 593},
    };
    for (const Button& b : buttons) {
        b.action->setIcon(glyphIcon(QString::fromLatin1(b.glyph)));
        b.action->setToolTip(QString::fromLatin1(b.hint));
        b.action->setIconVisibleInMenu(false);
        auto* button = new QToolButton(tbrStandard);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setDefaultAction(b.action);
        button->setAutoRaise(true);
        button->setIconSize(QSize(26, 26));
        button->setGeometry(b.left, 2, 30, 30);
    }
    // Separators of 5, 8, 8, 8 and 324 pixels stand before New, Start Logging, Connect, Options
    // and Exit; the groups are marked by a thin line in the middle of the narrow ones.
    const int separators[][2] = {{0, 5}, {95, 8}, {163, 8}, {231, 8}, {269, 324}};
    int n = 1;
    for (const auto& s : separators) {
        auto* sep = new QFrame(tbrStandard);
        sep->setObjectName(QStringLiteral("tbrbtnSeparator%1").arg(n++));
        if (s[1] == 8) {
            sep->setFrameShape(QFrame::VLine);
            sep->setFrameShadow(QFrame::Sunken);
        }
        sep->setGeometry(s[0], 2, s[1], 30);
    }
}

void TfrmMain::buildDataPanel(QWidget* client)
{
    pnlData = makeFrame(QStringLiteral("pnlData"), QRect(5, 40, 212, 257), QFrame::Panel,
                        QFrame::Raised, client);
    const QFont clockFont = marvaneFont(13, true);
    labDateTime = makeLabel(QStringLiteral("labDateTime"), QString(), clockFont, pnlData);
    labDateTimeFile = makeLabel(QStringLiteral("labDateTimeFile"), QString(), clockFont, pnlData);
    for (QLabel* label : {labDateTime, labDateTimeFile}) {
        label->setGeometry(6, 5, 200, 16);
        label->setAlignment(Qt::AlignCenter);
        setFillColour(label, Qt::white);
    }
    labDateTimeFile->hide();

    pclData = new DataTabs(pnlData);
    pclData->setObjectName(QStringLiteral("pclData"));
    pclData->setGeometry(6, 25, 200, 224);
    pclData->setFont(marvaneFont(11, true));

    const auto page = [this](const char* name, const char* caption) {
        auto* widget = new QWidget();
        widget->setObjectName(QString::fromLatin1(name));
        pclData->addTab(widget, QString::fromLatin1(caption));
        return widget;
    };
    QWidget* computed = page("pcltbsComputed", "Computed");
    QWidget* raw = page("pcltbsRawData", "Raw Data");
    pclData->setCurrentIndex(0);

    const QFont gridFont = marvaneFont(11, true);
    const auto grid = [&](const char* name, QWidget* parent, int top, int height, bool body,
                          bool sunken) {
        auto* g = new DataGrid(QString::fromLatin1(name),
                               body ? windowColour() : buttonFaceColour(), sunken, parent);
        g->setGeometry(18, top, 156, height);
        g->setFont(gridFont);
        return g;
    };
    grdstrComputedHeader = grid("grdstrComputedHeader", computed, 16, 20, false, true);
    grdstrComputedUnits = grid("grdstrComputedUnits", computed, 33, 20, false, true);
    grdstrComputed = grid("grdstrComputed", computed, 51, 139, true, true);
    grdstrRawDataHeader = grid("grdstrRawDataHeader", raw, 16, 20, false, true);
    grdstrRawDataUnits = grid("grdstrRawDataUnits", raw, 33, 20, false, true);
    grdstrRawDataBody = grid("grdstrRawDataBody", raw, 51, 139, true, false);

    auto* shape =
        new RoundedShape(QStringLiteral("shpDataConvention"), QRect(5, 304, 212, 81), client);
    Q_UNUSED(shape);
    btnDataConvention = new QPushButton(QStringLiteral("Data Convention"), client);
    btnDataConvention->setObjectName(QStringLiteral("btnDataConvention"));
    btnDataConvention->setGeometry(35, 330, 150, 25);
    btnDataConvention->setFont(marvaneFont(11, true));
    btnDataConvention->setToolTip(QStringLiteral("View data convention diagram"));
}

void TfrmMain::buildDisplayPanel(QWidget* client)
{
    pnlDisplay = makeFrame(QStringLiteral("pnlDisplay"), QRect(224, 40, 400, 345), QFrame::Panel,
                           QFrame::Raised, client);

    const auto dial = [this](const char* name, int left, int top, const QImage& face) {
        auto* view = new DialView(QString::fromLatin1(name), pnlDisplay);
        view->setGeometry(left, top, kDialSize, kDialSize);
        view->setImage(face);
        return view;
    };
    const QImage knots = drawKnotsFace();
    imgFlowSpeedKnots = dial("imgFlowSpeedKnots", 16, 16, knots);
    imgFlowSpeedMetric = dial("imgFlowSpeedMetric", 24, 24, drawMetricFace());
    imgFlowSpeedKnots->hide();
    imgFlowSpeedMetric->hide();
    imgFlowSpeed = dial("imgFlowSpeed", 8, 8, knots);
    imgFlowBearing = dial("imgFlowBearing", 205, 8, drawBearingFace());

    labFlowSpeed = makeLabel(QStringLiteral("labFlowSpeed"), QStringLiteral("Flow Speed"),
                             marvaneFont(16, true), pnlDisplay);
    labFlowSpeed->move(60, 200);
    labFlowSpeed->adjustSize();

    ComboBox1 = new QComboBox(pnlDisplay);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("Flow Bearing From"), QStringLiteral("Flow Bearing To")});
    ComboBox1->setEditable(false);
    ComboBox1->setMaxVisibleItems(2);
    ComboBox1->setFont(marvaneFont(13, true));
    ComboBox1->setGeometry(216, 200, 169, 21);
    {
        QPalette p = ComboBox1->palette();
        p.setColor(QPalette::Button, highlightTextColour());
        p.setColor(QPalette::Base, highlightTextColour());
        ComboBox1->setPalette(p);
    }

    fraDisplay = makeFrame(QStringLiteral("fraDisplay"), QRect(14, 218, 372, 75), QFrame::Box,
                           QFrame::Sunken, pnlDisplay);
    new RoundedShape(QStringLiteral("shpFlowSpeedReadout"), QRect(10, 16, 155, 49), fraDisplay);
    new RoundedShape(QStringLiteral("shpBearingReadout"), QRect(212, 16, 150, 49), fraDisplay);

    const QFont valueFont = marvaneFont(32, true);
    labFlowSpeedValue =
        makeLabel(QStringLiteral("labFlowSpeedValue"), QString(), valueFont, fraDisplay);
    labFlowSpeedValue->setGeometry(14, 21, 92, 40); // right edge at 106
    labFlowSpeedValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labFlowSpeedReadoutUnits = makeLabel(QStringLiteral("labFlowSpeedReadoutUnits"), QString(),
                                         marvaneFont(19, true), fraDisplay);
    labFlowSpeedReadoutUnits->setGeometry(110, 33, 52, 24);
    labFlowSpeedReadoutUnits->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    labBearingReadoutValue =
        makeLabel(QStringLiteral("labBearingReadoutValue"), QString(), valueFont, fraDisplay);
    labBearingReadoutValue->setGeometry(216, 21, 90, 40); // right edge at 306
    labBearingReadoutValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labBearingReadoutUnits = makeLabel(QStringLiteral("labBearingReadoutUnits"),
                                       QStringLiteral("o"), marvaneFont(19, true), fraDisplay);
    labBearingReadoutUnits->setGeometry(311, 20, 13, 24);
    labBearingReadoutUnits->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    for (QLabel* label : {labFlowSpeedValue, labFlowSpeedReadoutUnits, labBearingReadoutValue,
                          labBearingReadoutUnits}) {
        setTextColour(label, Qt::black);
        label->setAttribute(Qt::WA_TranslucentBackground); // the rounded panel shows through
    }

    imgMainLogo = makeLabel(QStringLiteral("imgMainLogo"), QString(), font(), pnlDisplay);
    imgMainLogo->setGeometry(14, 295, 372, 45);
    imgMainLogo->setAlignment(Qt::AlignCenter);
    imgMainLogo->setPixmap(artworkPixmap(QStringLiteral("logo-main"), QSize(372, 45)));

    fraVideo = makeFrame(QStringLiteral("fraVideo"), QRect(14, 295, 372, 45), QFrame::Box,
                         QFrame::Sunken, pnlDisplay);
    setFillColour(fraVideo, buttonFaceColour());
    const auto videoButton = [this](const char* name, const char* glyph, const char* hint,
                                    int left) {
        auto* button = new QToolButton(fraVideo);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(glyphIcon(QString::fromLatin1(glyph)));
        button->setIconSize(QSize(26, 26));
        button->setToolTip(QString::fromLatin1(hint));
        button->setGeometry(left, 10, 30, 30);
        return button;
    };
    btnVideoStart = videoButton("btnVideoStart", "video-start", "View First Record", 10);
    btnVideoStop = videoButton("btnVideoStop", "video-stop", "Stop Scroll", 41);
    btnVideoPlay = videoButton("btnVideoPlay", "video-play", "Play - Forward", 72);
    btnVideoStop->setEnabled(false);
    imgLogo = makeLabel(QStringLiteral("imgLogo"), QString(), font(), fraVideo);
    imgLogo->setGeometry(170, 9, 137, 32);
    imgLogo->setPixmap(artworkPixmap(QStringLiteral("logo-small"), QSize(137, 32)));
    fraVideo->hide();
}

void TfrmMain::buildStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("sbrMain"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(20);
    const int widths[4] = {150, 150, 150, 50};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("sbrMainPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        bar->addWidget(panel);
        m_panels[size_t(i)] = panel;
    }
    setStatusBar(bar);
}

void TfrmMain::wireEvents()
{
    connect(mnuFileNew, &QAction::triggered, this, &TfrmMain::mnuFileNewClick);
    connect(mnuFileOpen, &QAction::triggered, this, &TfrmMain::mnuFileOpenClick);
    connect(mnuFileClose, &QAction::triggered, this, &TfrmMain::mnuFileCloseClick);
    connect(mnuFileLogStart, &QAction::triggered, this, &TfrmMain::mnuFileLogStartClick);
    connect(mnuFileLogStop, &QAction::triggered, this, &TfrmMain::mnuFileLogStopClick);
    connect(mnuFileExit, &QAction::triggered, this, &TfrmMain::mnuFileExitClick);
    connect(mnuCommsConnect, &QAction::triggered, this, &TfrmMain::mnuCommsConnectClick);
    connect(mnuCommsDisconnect, &QAction::triggered, this, &TfrmMain::mnuCommsDisconnectClick);
    connect(mnuCommsOptions, &QAction::triggered, this, &TfrmMain::mnuCommsOptionsClick);
    connect(mnuHelpDataConvention, &QAction::triggered, this,
            &TfrmMain::mnuHelpDataConventionClick);
    connect(mnuHelpDemo, &QAction::triggered, this, &TfrmMain::mnuHelpDemoClick);
    connect(mnuHelpAbout, &QAction::triggered, this, &TfrmMain::mnuHelpAboutClick);
    connect(btnDataConvention, &QPushButton::clicked, this, &TfrmMain::btnDataConventionClick);
    connect(btnVideoStart, &QToolButton::clicked, this, &TfrmMain::btnVideoStartClick);
    connect(btnVideoStop, &QToolButton::clicked, this, &TfrmMain::btnVideoStopClick);
    connect(btnVideoPlay, &QToolButton::clicked, this, &TfrmMain::btnVideoPlayClick);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TfrmMain::ComboBox1Change);
    connect(timClock, &QTimer::timeout, this, &TfrmMain::timClockTimer);
    connect(timPlay, &QTimer::timeout, this, &TfrmMain::timPlayTimer);
    connect(timReadData, &QTimer::timeout, this, &TfrmMain::timReadDataTimer);
    connect(m_serial.get(), &SerialConnection::deviceLost, this, &TfrmMain::onDeviceLost,
            Qt::QueuedConnection);
    grdstrComputed->setDrawCell([this](QPainter& p, int c, int r, const QRect& rect) {
        grdstrComputedDrawCell(p, c, r, rect);
    });
}

void TfrmMain::createSecondaryWindows()
{
    // Created hidden after the main window, in this order, and kept to the end of the program.
    m_about = std::make_unique<TfrmAbout>();
    m_commsSetup = std::make_unique<TfrmCommsSetup>(m_options, *m_prompts);
    m_dataConvention = std::make_unique<TfrmDataConvention>();
}

// ---------------------------------------------------------------------------------------------
