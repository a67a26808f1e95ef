#pragma once
// The main window's display panel: the speed and bearing dials, the "Flow Bearing From/To"
// choice, the two readouts with the speed's units and the degree sign in the bearing's colour,
// the logo and, over it while a log is replayed, the replay bar. The readouts can be greyed when
// what they show is no longer live. The panel grows with the room the window gives it, keeping
// its proportions.

#include "base/Units.h"

#include <QColor>
#include <QFrame>
#include <QPointer>
#include <QRect>

#include <optional>
#include <vector>

class DialWidget;
class ReplayBar;
struct Sample;
enum class BearingColour;
class QComboBox;
class QLabel;

class Readouts : public QFrame
{
    Q_OBJECT
public:
    explicit Readouts(QWidget* parent);

    ReplayBar* replayBar() const { return m_replayBar; }

    // The speed dial's face and the readout's units caption.
    void showUnits(SpeedUnitsKind units);
    // The units shown, none before the first.
    std::optional<SpeedUnitsKind> units() const { return m_units; }
    // A computed sample's speed, bearing in its colour, and needles.
    void showSample(const Sample& sample);
    // Empties both readouts and sets both needles to rest.
    void clear();
    void setGreyed(bool greyed);
    // What the bearing readout says when pointed at (the heading offset turning it, if any).
    void setBearingToolTip(const QString& text);
    bool greyed() const { return m_greyed; }
    // While an alarm lasts the panel's frame is drawn in the alarm colour and what rings is said
    // in the logo's place, in full (the status bar of the window at its default size has no
    // room for it); empty text: no alarm.
    void setAlarm(const QString& text);
    bool alarm() const { return m_alarm; }
    QString alarmText() const;
    static constexpr int kAlarmFrameWidth = 4;

    // Takes every element's place, font and icon size as laid out now as the default size.
    void rememberBaseLayout();
    // Grows the panel and everything on it into the client area of this size, right of the
    // tables and below the toolbar; below the default size nothing shrinks.
    void fitInto(const QSize& clientSize);
    // The scale fitInto gives the panel in a client area of this size (1 at the default size).
    static double scaleFor(const QSize& clientSize);

protected:
    void paintEvent(QPaintEvent* event) override;

signals:
    // The operator chose "Flow Bearing To" (true) or "Flow Bearing From" (false).
    void bearingToChosen(bool to);

private:
    void setSpeedReadout(const QString& text);
    void applyBearingColour(BearingColour colour);

    DialWidget* m_speedDial = nullptr;
    DialWidget* m_bearingDial = nullptr;
    QComboBox* m_bearingSenseBox = nullptr;
    QLabel* m_speedReadout = nullptr;
    QLabel* m_speedUnitsLabel = nullptr;
    std::optional<SpeedUnitsKind> m_units;
    QLabel* m_bearingReadout = nullptr;
    QLabel* m_degreeSign = nullptr;
    ReplayBar* m_replayBar = nullptr;
    QLabel* m_alarmText = nullptr;

    // The bearing readout's colour as last set: set again only when a sample changes it.
    QColor m_bearingColour;
    QColor m_greyedBearingColour; // the bearing's colour when the readouts were greyed
    bool m_greyed = false;
    bool m_alarm = false;

    // The panel's elements at the default size, and the scale they are shown at.
    struct BaseGeometry
    {
        QPointer<QWidget> widget;
        QRect geometry;
        int fontPixels = -1;
        QSize iconSize;
    };
    std::vector<BaseGeometry> m_baseLayout;
    double m_scale = 1.0;
};
