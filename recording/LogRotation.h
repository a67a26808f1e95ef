#pragma once
// When a recording starts new files, and what they are called: at each UTC day or hour, or
// once the log has grown past a size, a new log (and a new data file beside it) takes over,
// each whole with its header and units line.
//
// Files are named from a pattern with date fields, filled in with the UTC time of the first
// sample a file takes (of the start, for the first file):
//   %Y the year (4 digits), %m the month, %d the day, %H the hour, %M the minute, %S the second
//   (2 digits each), %% a percent sign.
// "pier-%Y%m%d.log" gives pier-20261211.log. A name already taken gets a number before its
// extension (pier-20261211-2.log), so a file is never emptied nor appended to by mistake; a
// size rotation whose pattern changes more slowly than the files fill numbers them that way.
//
// The sample's own time decides the file it goes into, so a poll whose samples straddle
// midnight is split between two files. Time only moves forward here: a sample stamped before
// the current file's day or hour (the clock stepped back) stays in the current file.
//
// Older files of the same pattern can be removed: those whose names date from more than
// keepDays whole UTC days before today. Only names the pattern makes are ever touched.

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class LogRotation
{
public:
    enum class Every
    {
        Day,
        Hour,
        Size,
    };

    // "daily", "hourly", or a size: bytes, or a number with k, M or G (1024, 1024², 1024³):
    // "10M". Nothing, with why in error, for anything else.
    static std::optional<LogRotation> fromText(const QString& text, QString* error);

    Every every() const { return m_every; }
    qint64 maxBytes() const { return m_maxBytes; }

    // The log's pattern, and the data file's (empty: no data file).
    void setLogPattern(const QString& pattern) { m_logPattern = pattern; }
    const QString& logPattern() const { return m_logPattern; }
    void setDataPattern(const QString& pattern) { m_dataPattern = pattern; }
    const QString& dataPattern() const { return m_dataPattern; }
    // Files of the patterns dated more than days before today go (0: none ever do).
    void setKeepDays(int days) { m_keepDays = days; }
    int keepDays() const { return m_keepDays; }

    // Why a pattern cannot name this rotation's files (empty when it can): a field that is not
    // one of the above, a field in the folder's part, or a name that would not change from one
    // day (or hour) to the next; with keepDays, a name without its year, month and day.
    QString patternProblem(const QString& pattern) const;

    // The name pattern gives at ms (UTC); number 2 and on go before the extension.
    static QString fileName(const QString& pattern, qint64 ms, int number = 1);
    // Whether a pattern holds date fields at all.
    static bool hasDateFields(const QString& pattern);

    // The UTC day or hour ms is in, as the time it starts; 0 for a rotation by size.
    qint64 periodOf(qint64 ms) const;
    // Whether a sample at ms starts a new file, the current one being of period and size bytes.
    bool isDue(qint64 ms, qint64 period, qint64 bytes) const;

    // The files of pattern dated before keepDays whole UTC days before nowMs's day, except
    // those in keep.
    static QStringList expiredFiles(const QString& pattern, qint64 nowMs, int keepDays,
                                    const QStringList& keep);

private:
    Every m_every = Every::Day;
    qint64 m_maxBytes = 0;
    QString m_logPattern;
    QString m_dataPattern;
    int m_keepDays = 0;
};
