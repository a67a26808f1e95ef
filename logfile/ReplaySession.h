#pragma once
// Replay of one log file: the reader and its position, the play timer, and the road of each record
// line into the sample pipeline. Only whole steps are public: open, show the next record, play,
// stop, back to the first record, close.

#include "logfile/ReplayReader.h"

#include <QObject>
#include <QString>
#include <QTimer>

class FlowPipeline;

class ReplaySession : public QObject
{
    Q_OBJECT
public:
    explicit ReplaySession(FlowPipeline* pipeline, QObject* parent = nullptr);

    // Opens path, reads past its header line and its units line, and sets the replay units from
    // the units word. A file whose first line is not the log header line, or whose second line
    // is neither empty nor missing nor a units line the recorder writes, is refused with the
    // reason "not a Marvane log file". On failure the current replay, if any, stays as it was.
    bool open(const QString& path, QString* reason);
    // Reopens the same file from its beginning (units not read again). On failure the session
    // is left closed; playback is the caller's to stop.
    bool restart(QString* reason);
    void close();
    bool isOpen() const { return m_reader.isOpen(); }
    // The file last opened, also after close.
    const QString& path() const { return m_path; }
    // The units word of the file's units line ("Knots", "m/s", "mm/s", or anything else).
    const QString& unitsWord() const { return m_unitsWord; }

    // Reads the next record line and hands its texts to the pipeline. Does nothing at the end of
    // the file or when no file is open (false). A read error closes the file and emits
    // readFailed; playback is the caller's to stop.
    bool step();

    void play();
    void stop();
    bool playing() const { return m_playTimer.isActive(); }
    const QTimer& playTimer() const { return m_playTimer; }

    // Test seam: the play interval is multiplied by scale (the program uses 1).
    void setTimeScale(double scale);
    static constexpr int kPlayInterval = 1000;

signals:
    void readFailed(const QString& path, const QString& reason);

private:
    bool skipHeaderAndUnits(QByteArray* unitsLine, QString* reason);

    FlowPipeline* m_pipeline;
    ReplayReader m_reader;
    QString m_path;
    QString m_unitsWord;
    QTimer m_playTimer;
    double m_timeScale = 1.0;
};
