#pragma once
// The demonstration as a live source: the thirty built-in records, one per second, each handed out
// with recordsReceived as it is made, like records from the sensor; a second after the last one,
// finished. Nothing else is
// paused meanwhile: live records, replay and every command go on between demonstration records.

#include "sources/LiveSource.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <list>

class DemoSource : public LiveSource
{
    Q_OBJECT
public:
    explicit DemoSource(QObject* parent = nullptr);
    ~DemoSource() override;

    SampleSource kind() const override { return SampleSource::Demonstration; }
    // There is nothing to open: the records are built in.
    bool open(const QString& name, QString* reason) override;
    // Starts a run: the first record at once. Starting again while a run goes on starts another
    // run beside it.
    void start() override;
    void close() override { stop(); }
    bool isOpen() const override { return running(); }
    QString name() const override { return QStringLiteral("Demonstration"); }
    QString describe() const override { return QString(); }
    void setClock(std::function<qint64()> now) override { m_now = std::move(now); }

    // Ends every run at once, without finished.
    void stop();
    bool running() const { return !m_runs.empty(); }

    // Test seam: the wait between records is multiplied by scale (the program uses 1).
    void setTimeScale(double scale) override { m_timeScale = scale; }
    static constexpr int kRecordInterval = 1000;

signals:
    void finished();

private:
    struct Run
    {
        int next = 0;
        QTimer timer;
    };
    void advance(Run* run);
    bool contains(const Run* run) const;
    void hand(int index);

    std::list<Run> m_runs;
    std::function<qint64()> m_now;
    double m_timeScale = 1.0;
};
