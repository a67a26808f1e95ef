#include "app/ReplayControls.h"

#include "app/Look.h"
#include "replay/ReplaySession.h"

#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QProxyStyle>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

class JumpClickStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

ReplayControls::ReplayControls(ReplaySession* session, QWidget* parent)
    : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("replayControls"));
    resize(264, 41);

    m_speedBox = new QComboBox(this);
    m_speedBox->setObjectName(QStringLiteral("replaySpeedBox"));
    m_speedBox->setToolTip(QStringLiteral("Play speed"));
    m_speedBox->addItem(QStringLiteral("1/s"), int(ReplaySession::Speed::One));
    m_speedBox->addItem(QStringLiteral("10/s"), int(ReplaySession::Speed::Ten));
    m_speedBox->addItem(QStringLiteral("100/s"), int(ReplaySession::Speed::Hundred));
    m_speedBox->addItem(QStringLiteral("Max"), int(ReplaySession::Speed::Max));
    m_speedBox->setGeometry(0, 9, 58, 22);

    m_slider = new QSlider(Qt::Horizontal, this);
    // A click on the groove goes to that record at once, not a page at a time towards it.
    m_slider->setStyle(new JumpClickStyle);
    m_slider->style()->setParent(m_slider);
    m_slider->setObjectName(QStringLiteral("replaySlider"));
    m_slider->setToolTip(QStringLiteral("Go to a record"));
    m_slider->setGeometry(62, 2, 200, 18);
    m_slider->setRange(0, 0);
    m_slider->setTracking(true);

    m_positionLabel = new QLabel(this);
    m_positionLabel->setObjectName(QStringLiteral("replayPositionLabel"));
    m_positionLabel->setFont(marvaneFont(10));
    m_positionLabel->setGeometry(62, 21, 202, 16);

    m_dragSeek = new QTimer(this);
    m_dragSeek->setSingleShot(true);
    m_dragSeek->setInterval(kDragSeekInterval);

    connect(m_speedBox, &QComboBox::currentIndexChanged, this, [this] {
        m_session->setSpeed(ReplaySession::Speed(m_speedBox->currentData().toInt()));
    });
    connect(m_slider, &QSlider::valueChanged, this, &ReplayControls::onSliderValue);
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        m_dragSeek->stop();
        m_pendingSeek = -1;
        // A click that jumped there has already shown the record.
        if (m_session->position() != m_slider->value())
            m_session->seek(m_slider->value());
    });
    connect(m_dragSeek, &QTimer::timeout, this, [this] {
        if (m_pendingSeek >= 0)
            m_session->seek(m_pendingSeek);
        m_pendingSeek = -1;
    });
    connect(m_session, &ReplaySession::positionChanged, this, &ReplayControls::showPosition);
    connect(m_session, &ReplaySession::countChanged, this, &ReplayControls::showPosition);
    connect(m_session, &ReplaySession::fileChanged, this, [this] {
        m_indexingPercent =
            m_session->index().isOpen() && !m_session->index().isFinished() ? 0 : -1;
        showPosition();
    });
    connect(&m_session->index(), &ReplayIndex::progress, this, &ReplayControls::onIndexProgress);
    connect(&m_session->index(), &ReplayIndex::finished, this, [this] {
        m_indexingPercent = -1;
        showPosition();
    });
    showPosition();
}

QString ReplayControls::positionText(qint64 record, qint64 count, int indexingPercent)
{
    const QLocale english(QLocale::English);
    QString text =
        QStringLiteral("record %1 of %2")
            .arg(english.toString(std::max<qint64>(record + 1, 0)), english.toString(count));
    if (indexingPercent >= 0)
        text += QStringLiteral("+ (indexing %1 %)").arg(indexingPercent);
    return text;
}

void ReplayControls::onIndexProgress(qint64 bytes, qint64 total)
{
    if (m_session->index().isFinished())
        return;
    const int percent = total > 0 ? int(std::min<qint64>(bytes * 100 / total, 99)) : 0;
    if (percent != m_indexingPercent) {
        m_indexingPercent = percent;
        showPosition();
    }
}

void ReplayControls::showPosition()
{
    // The slider goes over every line after the units line; the text counts records only (a
    // units line among them marks where a recording was resumed).
    const qint64 count = m_session->recordCount();
    const qint64 record = m_session->position();
    m_positionLabel->setText(positionText(m_session->recordsThrough(record) - 1,
                                          m_session->recordsKnown(), m_indexingPercent));
    // A slider counts in int: files beyond two thousand million records are not expected.
    const int top = int(std::clamp<qint64>(count - 1, 0, std::numeric_limits<int>::max()));
    m_updating = true;
    if (!m_slider->isSliderDown()) {
        m_slider->setMaximum(top);
        m_slider->setValue(int(std::clamp<qint64>(record, 0, top)));
    } else if (top > m_slider->maximum()) {
        m_slider->setMaximum(top);
    }
    m_slider->setPageStep(std::max(1, top / 20));
    m_updating = false;
}

void ReplayControls::onSliderValue(int value)
{
    if (m_updating)
        return;
    // While dragging, the records shown follow the handle a few times a second; a click in the
    // groove or a key goes there at once.
    if (m_slider->isSliderDown()) {
        m_pendingSeek = value;
        if (!m_dragSeek->isActive())
            m_dragSeek->start();
        return;
    }
    m_session->seek(value);
}
