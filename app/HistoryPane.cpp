#include "app/HistoryPane.h"

#include "app/HistoryPlot.h"
#include "history/LiveHistory.h"
#include "replay/ReplaySession.h"
#include "sensor/FlowComputation.h"
#include "history/SpanStatistics.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeZone>

#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

QRect historyWindowFrame(const QSize& frameSize, const QRect& mainFrame, int belowMenuBar,
                         const QRect& available, int minimumHeight)
{
    const int w = frameSize.width();
    const int h = frameSize.height();
    // A coordinate that keeps a length inside [low, high], the low end winning when it cannot.
    const auto within = [](int wanted, int length, int low, int high) {
        return std::max(low, std::min(wanted, high - length + 1));
    };
    const int x = within(mainFrame.left(), w, available.left(), available.right());
    const int y = within(mainFrame.top(), h, available.top(), available.bottom());
    const QRect beside[] = {
        QRect(QPoint(mainFrame.right() + 1, y), frameSize),
        QRect(QPoint(mainFrame.left() - w, y), frameSize),
        QRect(QPoint(x, mainFrame.bottom() + 1), frameSize),
        QRect(QPoint(x, mainFrame.top() - h), frameSize),
    };
    for (const QRect& place : beside) {
        if (available.contains(place))
            return place;
    }
    // Over the main window, its menu bar left in view where the screen has the room.
    const int top = std::max(belowMenuBar, available.top());
    const int height = std::min(h, available.bottom() + 1 - top);
    if (height >= std::min(h, minimumHeight))
        return QRect(x, top, w, height);
    return QRect(x, within(top, h, available.top(), available.bottom()), w, h);
}

HistoryPane::HistoryPane(ReplaySession* session, const LiveHistory* live, QWidget* parent)
    : QWidget(parent, Qt::Window), m_session(session), m_live(live)
{
    setObjectName(QStringLiteral("historyPane"));
    setWindowTitle(QStringLiteral("History"));

    m_sourceLabel = new QLabel(this);
    m_sourceLabel->setObjectName(QStringLiteral("historySourceLabel"));
    m_plot = new HistoryPlot(this);
    m_plot->setObjectName(QStringLiteral("historyPlot"));

    m_summary = new QPlainTextEdit(this);
    m_summary->setObjectName(QStringLiteral("historySummary"));
    m_summary->setReadOnly(true);
    // Wrapped at the panel's width: a long figure ("Maximum speed: ... at ...") is never cut off.
    m_summary->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_summary->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_summary->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_summary->setMinimumWidth(180);
    m_copyButton = new QPushButton(QStringLiteral("Copy"), this);
    m_copyButton->setObjectName(QStringLiteral("historyCopyButton"));
    m_copyButton->setToolTip(QStringLiteral("Copy the summary to the clipboard"));

    auto* side = new QVBoxLayout;
    side->addWidget(m_summary, 1);
    m_exportButton = new QPushButton(QStringLiteral("Export span..."), this);
    m_exportButton->setObjectName(QStringLiteral("historyExportButton"));
    m_exportButton->setToolTip(
        QStringLiteral("Write the span shown to a CSV or netCDF file (.csv, .nc)"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_exportButton);
    buttons->addWidget(m_copyButton);
    side->addLayout(buttons);
    auto* body = new QHBoxLayout;
    body->addWidget(m_plot, 1);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_sourceLabel);
    layout->addLayout(body, 1);
    resize(fittedSize(QSize(900, 380)));

    m_summaryTimer = new QTimer(this);
    m_summaryTimer->setSingleShot(true);
    m_summaryTimer->setInterval(kSummaryDelay);

    m_sliceTimer = new QTimer(this);
    m_sliceTimer->setSingleShot(true);
    m_sliceTimer->setInterval(0);

    connect(m_summaryTimer, &QTimer::timeout, this, &HistoryPane::updateSummary);
    connect(m_sliceTimer, &QTimer::timeout, this, &HistoryPane::continueSummary);
    connect(m_copyButton, &QPushButton::clicked, this, [this] {
        // The text shown when it is that of the span shown; else made now.
        const auto [first, last] = clampedSpan();
        const bool current = m_job && m_job->complete() && !m_summaryTimer->isActive() &&
                             m_job->series() == m_plot->series() && m_job->first() == first &&
                             m_job->last() == last;
        QApplication::clipboard()->setText(current ? m_summary->toPlainText() : summaryTextNow());
    });
    connect(m_plot, &HistoryPlot::seekRequested, m_session, &ReplaySession::seek);
    connect(m_plot, &HistoryPlot::spanChanged, this, [this] {
        updateExportButton();
        m_summaryTimer->start();
    });
    connect(m_exportButton, &QPushButton::clicked, this, [this] {
        if (const auto span = spanTimes())
            emit exportRequested(span->first, span->second);
    });
    connect(m_session, &ReplaySession::fileChanged, this, &HistoryPane::chooseSeries);
    connect(m_session, &ReplaySession::countChanged, this, &HistoryPane::historyGrew);
    connect(m_session, &ReplaySession::positionChanged, this,
            [this](qint64 record) { m_plot->setPosition(record); });
    connect(m_live, &LiveHistory::grew, this, &HistoryPane::liveHistoryGrew);
    connect(m_live, &LiveHistory::marked, this, &HistoryPane::liveHistoryGrew);
    chooseSeries();
}

QSize HistoryPane::fittedSize(const QSize& wanted) const
{
    // Never larger than the screen's free area (in the screen's logical pixels: at a scale of 2 a
    // 1600-pixel screen is 800 wide), so the Copy button is never off screen.
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shown)
        return wanted;
    const QSize room = shown->availableGeometry().size() - QSize(16, 40); // the frame
    return wanted.boundedTo(room).expandedTo(minimumSizeHint().boundedTo(room));
}

void HistoryPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    const QSize fitted = fittedSize(size());
    if (fitted != size())
        resize(fitted);
    updateSummary();
    emit visibilityChanged(true);
}

void HistoryPane::chooseSeries()
{
    if (m_session->isOpen()) {
        m_plot->setSeries(&m_session->index().history());
        m_plot->setPosition(m_session->position());
        m_sourceLabel->setText(QDir::toNativeSeparators(m_session->path()));
    } else {
        m_plot->setSeries(&m_live->series());
        m_plot->setPosition(-1);
        m_sourceLabel->setText(QStringLiteral("Live samples"));
    }
    m_plot->showAll();
    updateExportButton();
    // Another series (a file opened or closed): nothing gathered so far applies to it.
    m_job.reset();
    updateSummary();
}

const HistorySeries& HistoryPane::liveHistory() const
{
    return m_live->series();
}

void HistoryPane::liveHistoryGrew()
{
    if (!m_session->isOpen())
        historyGrew();
}

void HistoryPane::historyGrew()
{
    m_plot->update();
    updateExportButton();
    if (!m_summaryTimer->isActive())
        m_summaryTimer->start();
}

QString HistoryPane::summaryTextNow() const
{
    const HistorySeries* series = m_plot->series();
    if (!series)
        return QString();
    return historySpanSummary(*series, m_plot->spanFirst(), m_plot->spanLast());
}

std::optional<std::pair<qint64, qint64>> HistoryPane::spanTimes() const
{
    const HistorySeries* series = m_plot->series();
    if (!series || series->sampleCount() == 0)
        return std::nullopt;
    const qint64 first = std::max<qint64>(m_plot->spanFirst(), 0);
    const qint64 last = std::min<qint64>(m_plot->spanLast(), series->recordCount() - 1);
    if (first > last)
        return std::nullopt;
    return std::make_pair(series->timeMsAt(first), series->timeMsAt(last));
}

void HistoryPane::updateExportButton()
{
    // A span without samples has nothing to write: the button says so instead of doing nothing.
    m_exportButton->setEnabled(spanTimes().has_value());
}

std::pair<qint64, qint64> HistoryPane::clampedSpan() const
{
    const HistorySeries* series = m_plot->series();
    const qint64 count = series ? series->recordCount() : 0;
    return {std::max<qint64>(m_plot->spanFirst(), 0),
            std::min<qint64>(m_plot->spanLast(), count - 1)};
}

void HistoryPane::updateSummary()
{
    m_summaryTimer->stop();
    const HistorySeries* series = m_plot->series();
    if (!series) {
        m_job.reset();
        showSummary(QString());
        return;
    }
    const auto [first, last] = clampedSpan();
    if (m_job && m_job->continuesTo(series, first, last)) {
        // Made again even with nothing new: the clock it is shown on may have changed.
        m_job->growTo(last);
    } else {
        m_job.emplace(series, first, last);
    }
    continueSummary();
}

void HistoryPane::continueSummary()
{
    if (!m_job)
        return;
    if (!m_job->advance(kSummarySlice)) {
        m_sliceTimer->start();
        return;
    }
    showSummary(m_job->text());
}

void HistoryPane::showSummary(const QString& text)
{
    if (text != m_summary->toPlainText())
        m_summary->setPlainText(text);
}

void HistoryPane::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit visibilityChanged(false);
}
