#include "app/ReplayBar.h"

#include "app/Artwork.h"
#include "app/Look.h"
#include "app/ReplayControls.h"

#include <QToolButton>

ReplayBar::ReplayBar(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("replayBar"));
    setGeometry(14, 295, 372, 45);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Sunken);
    setFillColour(this, buttonFaceColour());
    const auto videoButton = [this](const char* name, const char* glyph, const char* hint,
                                    int left) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(glyphIcon(QString::fromLatin1(glyph)));
        button->setIconSize(QSize(kGlyphIconSize, kGlyphIconSize));
        button->setToolTip(QString::fromLatin1(hint));
        button->setGeometry(left, 10, 30, 30);
        return button;
    };
    m_firstButton = videoButton("replayFirstButton", "video-start", "View First Record", 10);
    m_stopButton = videoButton("replayStopButton", "video-stop", "Stop Scroll", 41);
    m_playButton = videoButton("replayPlayButton", "video-play", "Play - Forward", 72);
    m_stopButton->setEnabled(false);
    connect(m_firstButton, &QToolButton::clicked, this, &ReplayBar::viewFirstPressed);
    connect(m_stopButton, &QToolButton::clicked, this, &ReplayBar::stopPressed);
    connect(m_playButton, &QToolButton::clicked, this, &ReplayBar::playPressed);
    hide();
}

void ReplayBar::attach(ReplaySession* session)
{
    m_controls = new ReplayControls(session, this);
    m_controls->move(104, 2);
}

void ReplayBar::setStopEnabled(bool on)
{
    m_stopButton->setEnabled(on);
}

void ReplayBar::setPlayEnabled(bool on)
{
    m_playButton->setEnabled(on);
}
