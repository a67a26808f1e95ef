#pragma once
// The main window: menus, toolbar, the data tables, the two dials with their readouts, the replay
// bar and the status bar, and every handler of the program's commands and timers.
//
// Rules live in the core library (record decoding, flow computation, number text, log lines,
// replay reading, settings); the handlers here run them in the program's order and paint what
// they decided.

#include "app/ProgramOptions.h"
#include "app/Prompts.h"
#include "comms/RecordFramer.h"
#include "logfile/LogRecorder.h"
#include "logfile/ReplayReader.h"
#include "processing/Dial.h"
#include "processing/FlowComputation.h"

#include <QByteArray>
#include <QMainWindow>
#include <QQueue>

#include <array>
#include <memory>

class DataGrid;
class DialView;
class Prompts;
class SerialConnection;
class TfrmAbout;
class TfrmCommsSetup;
class TfrmDataConvention;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;

class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    // settingsPath: marvane.ini to use; prompts: the modal interaction (the program's message
    // boxes and file dialogs when null).
    explicit TfrmMain(const QString& settingsPath, std::unique_ptr<Prompts> prompts = nullptr);
    ~TfrmMain() override;

    static const QString AppTitle;

    // Menu items (each toolbar twin shares its action).
    QAction* mnuFileNew;
    QAction* mnuFileOpen;
    QAction* mnuFileClose;
    QAction* mnuFileLogStart;
    QAction* mnuFileLogStop;
    QAction* mnuFileExit;
    QAction* mnuCommsConnect;
    QAction* mnuCommsDisconnect;
    QAction* mnuCommsOptions;
    QAction* mnuHelpContents;
    QAction* mnuHelpDataConvention;
    QAction* mnuHelpDemo;
    QAction* mnuHelpAbout;

    // Elements of the window, named as on screen.
    QWidget* tbrStandard;
    QFrame* pnlData;
    QLabel* labDateTime;
    QLabel* labDateTimeFile;
    QTabWidget* pclData;
    DataGrid* grdstrComputedHeader;
    DataGrid* grdstrComputedUnits;
    DataGrid* grdstrComputed;
    DataGrid* grdstrRawDataHeader;
    DataGrid* grdstrRawDataUnits;
    DataGrid* grdstrRawDataBody;
    QPushButton* btnDataConvention;
    QFrame* pnlDisplay;
    DialView* imgFlowSpeed;
    DialView* imgFlowBearing;
    DialView* imgFlowSpeedKnots;
    DialView* imgFlowSpeedMetric;
    QLabel* labFlowSpeed;
    QComboBox* ComboBox1;
    QFrame* fraDisplay;
    QLabel* labFlowSpeedValue;
    QLabel* labFlowSpeedReadoutUnits;
    QLabel* labBearingReadoutValue;
    QLabel* labBearingReadoutUnits;
    QLabel* imgMainLogo;
    QFrame* fraVideo;
    QToolButton* btnVideoStart;
    QToolButton* btnVideoStop;
    QToolButton* btnVideoPlay;
    QLabel* imgLogo;
    QTimer* timClock;
    QTimer* timPlay;
    QTimer* timReadData;

    TfrmAbout* frmAbout() const { return m_about.get(); }
    TfrmCommsSetup* frmCommsSetup() const { return m_commsSetup.get(); }
    TfrmDataConvention* frmDataConvention() const { return m_dataConvention.get(); }

    // Text of a status bar panel, 0 to 3.
    QString statusPanel(int index) const;

    // State read by tests and by the windows.
    ProgramOptions& options() { return m_options; }
    bool Connected() const { return m_connected; }
    bool Logging() const { return m_recorder.logging(); }
    bool HeaderPending() const { return m_recorder.headerPending(); }
    const QString& currentLogFile() const { return m_recorder.currentFile(); }
    const LogRecorder& recorder() const { return m_recorder; }
    int BearingTo() const { return m_bearingTo; }
    const QString& SpeedFormat() const { return m_speedFormat; }
    const QString& SpeedUnits() const { return m_speedUnits; }
    const QImage& SpeedDialFace() const { return m_speedDial.face(); }
    const QImage& BearingDialFace() const { return m_bearingDial.face(); }
    const NeedleDial& speedDial() const { return m_speedDial; }
    const NeedleDial& bearingDial() const { return m_bearingDial; }
    bool replayOpen() const { return m_replay.isOpen(); }
    bool playing() const;
    int pauseDepth() const { return m_pauseDepth; }
    SerialConnection* serial() const { return m_serial.get(); }

    // Test seam: every PauseProcessing wait is multiplied by scale (the program uses 1).
    void setWaitScaleForTests(double scale) { m_waitScale = scale; }

    // Handlers of the program's commands, timers and window events.
    void FormCreate();
    void FormShow();
    void timClockTimer();
    void timReadDataTimer();
    void timPlayTimer();
    void mnuFileNewClick();
    void mnuFileOpenClick();
    void mnuFileCloseClick();
    void mnuFileLogStartClick();
    void mnuFileLogStopClick();
    void mnuFileExitClick();
    void mnuCommsConnectClick();
    void mnuCommsDisconnectClick();
    void mnuCommsOptionsClick();
    void mnuHelpDataConventionClick();
    void btnDataConventionClick();
    void mnuHelpDemoClick();
    void mnuHelpAboutClick();
    void btnVideoStartClick();
    void btnVideoStopClick();
    void btnVideoPlayClick();
    void ComboBox1Change();
    void grdstrComputedDrawCell(QPainter& painter, int column, int row, const QRect& rect);

    // Internal routines of the display path, replay and serial polling.
    void DecodeRawRecord(const QString& text);
    void ComputeFlow();
    void PushGridRow(DataGrid* grid, const QString& first, const QString& second);
    void ClearDisplay();
    void DrawBearingNeedle(double angle);
    void DrawSpeedNeedle(double angle);
    void FillDialCorners(DialView* image);
    void ReplayNextRecord();
    void PollSerial();
    void PauseProcessing(int ms);

signals:
    // The main window has closed: the program ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildDataPanel(QWidget* client);
    void buildDisplayPanel(QWidget* client);
    void buildStatusBar();
    void wireEvents();
    void createSecondaryWindows();

    void setConnectEnabled(bool on);
    void setLogCommandsEnabled(bool on);
    void setStatusPanel(int index, const QString& text);
    void applyBearingColour(BearingColour colour);
    void appendSample(const QString& speedText, const QString& bearingText);
    void showError(bool& guard, const QString& text, const QString& informative = {});
    void onDeviceLost(const QString& reason);
    void stopPlayback();
    // Replay units by the readout caption ("Kts", "m/s", "mm/s"): the caption and the computed
    // grid's units cell.
    void setReplayUnits(const QString& caption);

    ProgramOptions m_options;
    std::unique_ptr<Prompts> m_prompts;
    std::array<QLabel*, 4> m_panels{};

    std::unique_ptr<TfrmAbout> m_about;
    std::unique_ptr<TfrmCommsSetup> m_commsSetup;
    std::unique_ptr<TfrmDataConvention> m_dataConvention;

    // Display path.
    int m_bearingTo = 0;
    QString m_speedFormat;
    QString m_speedUnits;
    NeedleDial m_bearingDial;
    NeedleDial m_speedDial;
    QImage m_knotsFace; // clean faces with filled corners, copied per record
    QImage m_metricFace;
    QImage m_x1000Face;
    bool m_shown = false;

    // Serial connection.
    std::unique_ptr<SerialConnection> m_serial;
    RecordFramer m_framer;
    QQueue<QByteArray> m_pendingRecords;
    bool m_processingRecords = false;
    bool m_connected = false;
    bool m_firstRead = true;

    // Recording and replay.
    LogRecorder m_recorder;
    ReplayReader m_replay;
    QString m_replayPath;

    // One error box at a time per source, so ticks that keep running under an open box never
    // pile boxes on top of each other.
    bool m_decodeErrorShowing = false;
    bool m_appendErrorShowing = false;
    bool m_replayErrorShowing = false;

    // PauseProcessing and deferred close.
    int m_pauseDepth = 0;
    bool m_closeRequested = false;
    double m_waitScale = 1.0;
};
