#pragma once
// The replay bar along the foot of the display panel, shown while a log file is open for replay:
// View First Record, Stop Scroll and Play - Forward, then the replay's own controls (speed,
// slider, position). The buttons only say they were pressed; the window decides what follows.

#include <QFrame>

class ReplayControls;
class ReplaySession;
class QToolButton;

class ReplayBar : public QFrame
{
    Q_OBJECT
public:
    explicit ReplayBar(QWidget* parent);

    // Puts the replay's speed, slider and position where the bar's logo would show.
    void attach(ReplaySession* session);
    ReplayControls* controls() const { return m_controls; }

    void setStopEnabled(bool on);
    void setPlayEnabled(bool on);

signals:
    void viewFirstPressed();
    void stopPressed();
    void playPressed();

private:
    QToolButton* m_firstButton = nullptr;
    QToolButton* m_stopButton = nullptr;
    QToolButton* m_playButton = nullptr;
    ReplayControls* m_controls = nullptr;
};
