#pragma once
// The demonstration as a source: the thirty built-in records, one per second, handed out with
// recordReady like records from the port; a second after the last one, finished. Nothing else is
// paused meanwhile: live records, replay and every command go on between demonstration records.

#include <QObject>
#include <QString>
#include <QTimer>

#include <list>

class DemoSource : public QObject
{
    Q_OBJECT
public:
    explicit DemoSource(QObject* parent = nullptr);
    ~DemoSource() override;

    // Starts a run: the first record at once. Starting again while a run goes on starts another
    // run beside it.
    void start();
    // Ends every run at once, without finished.
    void stop();
    bool running() const { return !m_runs.empty(); }

    // Test seam: the wait between records is multiplied by scale (the program uses 1).
    void setTimeScale(double scale) { m_timeScale = scale; }
    static constexpr int kRecordInterval = 1000;

signals:
    void recordReady(const QString& record);
    void finished();

private:
    struct Run
    {
        int next = 0;
        QTimer timer;
    };
    void advance(Run* run);
    bool contains(const Run* run) const;

    std::list<Run> m_runs;
    double m_timeScale = 1.0;
};
