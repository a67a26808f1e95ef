#include "app/Readouts.h"

#include "app/Artwork.h"
#include "app/DialWidget.h"
#include "app/Look.h"
#include "app/PanelParts.h"
#include "app/ReplayBar.h"
#include "sensor/Sample.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include <cmath>

namespace {

// The panel's place in the client area, right of the tables and below the toolbar, and its size
// at the window's default size.
constexpr QPoint kPlace(224, 40);
constexpr QSize kBaseSize(400, 345);

} // namespace

Readouts::Readouts(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("displayPanel"));
    setGeometry(QRect(kPlace, kBaseSize));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);

    const auto dial = [this](const char* name, int left, DialFace face) {
        auto* widget = new DialWidget(face, this);
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
                                     marvaneFont(16, true), this);
    speedCaption->move(60, 200);
    speedCaption->adjustSize();

    m_bearingSenseBox = new QComboBox(this);
    m_bearingSenseBox->setObjectName(QStringLiteral("bearingSenseBox"));
    // The font first: a font change lays the item list out again.
    m_bearingSenseBox->setFont(marvaneFont(13, true));
    m_bearingSenseBox->addItems(
        {QStringLiteral("Flow Bearing From"), QStringLiteral("Flow Bearing To")});
    m_bearingSenseBox->setEditable(false);
    m_bearingSenseBox->setMaxVisibleItems(2);
    // Between the bearing dial (its lowest row at 197) and the readout frame (from 218).
    m_bearingSenseBox->setGeometry(216, 198, 169, 20);
    {
        QPalette p = m_bearingSenseBox->palette();
        p.setColor(QPalette::Button, highlightTextColour());
        p.setColor(QPalette::Base, highlightTextColour());
        m_bearingSenseBox->setPalette(p);
    }
    connect(m_bearingSenseBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { emit bearingToChosen(index == 1); });

    QFrame* readoutFrame = makeFrame(QStringLiteral("readoutFrame"), QRect(14, 218, 372, 75),
                                     QFrame::Box, QFrame::Sunken, this);
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

    QLabel* mainLogo = makeLabel(QStringLiteral("mainLogo"), QString(), font(), this);
    mainLogo->setGeometry(14, 295, 372, 45);
    mainLogo->setAlignment(Qt::AlignCenter);
    mainLogo->setPixmap(artworkPixmap(QStringLiteral("logo-main"), QSize(372, 45)));
    mainLogo->setProperty("artwork", QStringLiteral("logo-main"));

    // Over the logo, in its place, while an alarm lasts.
    QFont alarmFont = font();
    alarmFont.setPixelSize(14);
    alarmFont.setBold(true);
    m_alarmText = makeLabel(QStringLiteral("alarmText"), QString(), alarmFont, this);
    m_alarmText->setGeometry(14, 295, 372, 45);
    m_alarmText->setAlignment(Qt::AlignCenter);
    m_alarmText->setWordWrap(true);
    m_alarmText->setAutoFillBackground(true);
    setTextColour(m_alarmText, alarmColour());
    m_alarmText->hide();

    // Over the logo, in its place.
    m_replayBar = new ReplayBar(this);
}

void Readouts::showUnits(SpeedUnitsKind kind)
{
    const UnitsInfo& units = unitsInfo(kind);
    m_speedDial->setFace(units.knotsFace   ? DialFace::Knots
                         : units.x1000Mark ? DialFace::MetricX1000
                                           : DialFace::Metric);
    m_speedUnitsLabel->setText(units.readoutCaption);
    m_units = kind;
}

void Readouts::showSample(const Sample& sample)
{
    // A sample shown is current: both readouts leave the grey of "not current" together.
    setGreyed(false);
    setSpeedReadout(sample.speedText);
    applyBearingColour(sample.colour);
    m_bearingReadout->setText(sample.bearingText);
    m_bearingDial->setNeedleAngle(sample.bearing);
    if (sample.speedNeedleAngle)
        m_speedDial->setNeedleAngle(*sample.speedNeedleAngle);
}

void Readouts::setSpeedReadout(const QString& text)
{
    m_speedReadout->setText(text);
    // The widest speeds are a shade too wide for the room left of the units at 32 pixels: the
    // font steps down for them rather than cut a digit.
    QFont font = m_speedReadout->font();
    int pixels = int(std::lround(32 * m_scale));
    font.setPixelSize(pixels);
    while (pixels > 8 && QFontMetrics(font).horizontalAdvance(text) > m_speedReadout->width()) {
        font.setPixelSize(--pixels);
    }
    if (font.pixelSize() != m_speedReadout->font().pixelSize())
        m_speedReadout->setFont(font);
}

void Readouts::clear()
{
    // The degree sign goes black while the bearing readout keeps its colour for the next value.
    setTextColour(m_degreeSign, Qt::black);
    m_bearingColour = QColor();
    m_greyedBearingColour = QColor();
    m_bearingReadout->setText(QString());
    m_speedReadout->setText(QString());
    m_bearingDial->setNeedleAngle(0);
    m_speedDial->setNeedleAngle(kSpeedNeedleRest);
}

void Readouts::applyBearingColour(BearingColour colour)
{
    QColor c;
    switch (colour) {
    case BearingColour::Green:
        c = QColor(0, 255, 0);
        break;
    case BearingColour::Red:
        c = QColor(255, 0, 0);
        break;
    case BearingColour::Black:
        c = QColor(0, 0, 0);
        break;
    case BearingColour::Unchanged:
        break;
    }
    // A palette change restyles the label: done only when the colour really changes.
    if (!c.isValid() || c == m_bearingColour)
        return;
    m_bearingColour = c;
    setTextColour(m_bearingReadout, c);
    setTextColour(m_degreeSign, c);
}

void Readouts::setGreyed(bool greyed)
{
    if (greyed == m_greyed)
        return;
    m_greyed = greyed;
    const QColor text = greyed ? QColor(128, 128, 128) : QColor(Qt::black);
    setTextColour(m_speedReadout, text);
    setTextColour(m_speedUnitsLabel, text);
    if (greyed) {
        setTextColour(m_bearingReadout, text);
        setTextColour(m_degreeSign, text);
        m_greyedBearingColour = m_bearingColour;
        // The next sample sets the bearing's own colour again.
        m_bearingColour = QColor();
    } else {
        // The bearing shown goes back to its own colour with the speed, never staying grey
        // beside a speed that is not (black when it had none: nothing shown, or cleared).
        m_bearingColour =
            m_greyedBearingColour.isValid() ? m_greyedBearingColour : QColor(Qt::black);
        m_greyedBearingColour = QColor();
        setTextColour(m_bearingReadout, m_bearingColour);
        setTextColour(m_degreeSign, m_bearingColour);
    }
}

void Readouts::setBearingToolTip(const QString& text)
{
    m_bearingReadout->setToolTip(text);
}

void Readouts::rememberBaseLayout()
{
    // Every element of the panel as laid out for the default size: its place, its font's pixel
    // size and its icon size, to scale from.
    m_baseLayout.clear();
    const auto remember = [this](QWidget* widget) {
        BaseGeometry base;
        base.widget = widget;
        base.geometry = widget->geometry();
        base.fontPixels = widget->font().pixelSize();
        if (auto* button = qobject_cast<QToolButton*>(widget))
            base.iconSize = button->iconSize();
        m_baseLayout.push_back(base);
    };
    remember(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        // Elements placed by a layout of their own follow it when their parent grows.
        if (child->parentWidget() && child->parentWidget()->layout())
            continue;
        remember(child);
    }
}

double Readouts::scaleFor(const QSize& clientSize)
{
    // The panel grows into the room right of the tables, keeping its proportions: dials,
    // readouts and the replay bar grow with it. Below the default size nothing shrinks (the
    // window does not go smaller than that).
    const QSize room(clientSize.width() - kPlace.x() - 8, clientSize.height() - kPlace.y() - 1);
    return qMax(1.0, qMin(room.width() / double(kBaseSize.width()),
                          room.height() / double(kBaseSize.height())));
}

void Readouts::fitInto(const QSize& clientSize)
{
    const double scale = scaleFor(clientSize);
    if (scale == m_scale)
        return;
    m_scale = scale;
    const auto scaled = [scale](int v) { return int(std::lround(v * scale)); };
    for (const BaseGeometry& base : m_baseLayout) {
        if (!base.widget)
            continue;
        const QRect g = base.geometry;
        if (base.widget == this)
            base.widget->setGeometry(g.x(), g.y(), scaled(g.width()), scaled(g.height()));
        else
            base.widget->setGeometry(scaled(g.x()), scaled(g.y()), scaled(g.width()),
                                     scaled(g.height()));
        if (base.fontPixels > 0) {
            QFont font = base.widget->font();
            font.setPixelSize(scaled(base.fontPixels));
            base.widget->setFont(font);
        }
        // Pictures are drawn again at their new size, sharp at any scale.
        if (auto* label = qobject_cast<QLabel*>(base.widget.data());
            label && label->property("artwork").isValid())
            label->setPixmap(artworkPixmap(label->property("artwork").toString(),
                                           QSize(scaled(g.width()), scaled(g.height()))));
        if (base.iconSize.isValid())
            static_cast<QToolButton*>(base.widget.data())
                ->setIconSize(QSize(scaled(base.iconSize.width()), scaled(base.iconSize.height())));
    }
}

void Readouts::setAlarm(const QString& text)
{
    m_alarmText->setText(text);
    m_alarmText->setToolTip(text);
    m_alarmText->setVisible(!text.isEmpty());
    const bool alarm = !text.isEmpty();
    if (alarm == m_alarm)
        return;
    m_alarm = alarm;
    update();
}

QString Readouts::alarmText() const
{
    return m_alarmText->text();
}

void Readouts::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (!m_alarm)
        return;
    // Over the panel's own frame, inside its edge: the children stand clear of it.
    QPainter painter(this);
    const int w = kAlarmFrameWidth;
    painter.setPen(Qt::NoPen);
    painter.setBrush(alarmColour());
    const QRect r = rect();
    painter.drawRect(0, 0, r.width(), w);
    painter.drawRect(0, r.height() - w, r.width(), w);
    painter.drawRect(0, 0, w, r.height());
    painter.drawRect(r.width() - w, 0, w, r.height());
}
