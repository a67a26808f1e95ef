#include "app/HistoryPane.h"

#include "app/HistoryPlot.h"
#include "logfile/LiveHistory.h"
#include "logfile/ReplaySession.h"
#include "processing/FlowComputation.h"
#include "processing/HistorySummary.h"
#include "processing/SpanStatistics.h"

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

#include <algorithm>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

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

    connect(m_summaryTimer, &QTimer::timeout, this, &HistoryPane::updateSummary);
    connect(m_copyButton, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(summaryTextNow()); });
    connect(m_plot, &HistoryPlot::seekRequested, m_session, &ReplaySession::seek);
    connect(m_plot, &HistoryPlot::spanChanged, this, [this] { m_summaryTimer->start(); });
    connect(m_exportButton, &QPushButton::clicked, this, [this] {
        if (const auto span = spanTimes())
            emit exportRequested(span->first, span->second);
    });
    connect(m_session, &ReplaySession::fileChanged, this, &HistoryPane::chooseSeries);
    connect(m_session, &ReplaySession::countChanged, this, &HistoryPane::historyGrew);
    connect(m_session, &ReplaySession::positionChanged, this,
            [this](qint64 record) { m_plot->setPosition(record); });
    connect(m_live, &LiveHistory::grew, this, &HistoryPane::liveHistoryGrew);
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
    if (!m_summaryTimer->isActive())
        m_summaryTimer->start();
}

QString HistoryPane::summaryTextNow() const
{
    const HistorySeries* series = m_plot->series();
    if (!series)
        return QString();
    return spanSummary(*series, m_plot->spanFirst(), m_plot->spanLast());
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

QString HistoryPane::spanSummary(const HistorySeries& series, qint64 first, qint64 last)
{
    // The statistics a hydrographer reports, over the samples of the span one by one, each
    // bearing in the convention it was recorded in (the live session's samples carry theirs; a
    // log does not say, and its bearings are taken as where the flow comes from, the program's
    // default). The residual bearing says which way it is given.
    first = std::max<qint64>(first, 0);
    last = std::min<qint64>(last, series.recordCount() - 1);
    const double toMs = metresPerSecondPerUnit(series.units());
    SpanStatisticsBuilder builder;
    // Bad lines are counted by the series' totals; units lines (markers) are neither.
    const qint64 bad = HistorySummary::of(series, first, last).badLines();
    for (qint64 record = first; record <= last; ++record) {
        if (!series.isSample(record))
            continue;
        const HistorySample s = series.sampleAt(record);
        builder.add({s.timeMs, s.speed * toMs, double(s.bearing), s.bearingTo});
    }
    return spanSummaryText(builder.result(bad), series.units(),
                           series.timeBase() == TimeBase::Local ? QTimeZone::systemTimeZone()
                                                                : QTimeZone::utc());
}

void HistoryPane::updateSummary()
{
    m_summaryTimer->stop();
    const QString text = summaryTextNow();
    if (text != m_summary->toPlainText())
        m_summary->setPlainText(text);
}

void HistoryPane::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit visibilityChanged(false);
}
