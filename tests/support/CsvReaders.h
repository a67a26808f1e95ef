#pragma once
// Two ways other programs read a CSV file with "#" comments, for tests of what Marvane writes:
//
// - a comment-skipping reader (pandas.read_csv(comment="#"), R's comment.char): everything from
//   a "#" to the end of its line is dropped, lines left empty are skipped, the first line left is
//   the column line;
// - a plain line reader (Kst, a spreadsheet told to start at the column line): every line after
//   the column line is a row, whatever it starts with.
//
// Each gives the lines it takes for rows, without their line ends.

#include <QByteArray>
#include <QList>

inline QList<QByteArray> csvLinesOf(const QByteArray& csv)
{
    QList<QByteArray> lines = csv.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

inline QList<QByteArray> rowsSkippingComments(const QByteArray& csv)
{
    QList<QByteArray> rows;
    bool columns = false;
    for (QByteArray line : csvLinesOf(csv)) {
        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        if (line.isEmpty())
            continue;
        if (columns)
            rows << line;
        columns = true;
    }
    return rows;
}

inline QList<QByteArray> rowsAfterColumnLine(const QByteArray& csv, const QByteArray& columnLine)
{
    const QList<QByteArray> lines = csvLinesOf(csv);
    const qsizetype at = lines.indexOf(columnLine);
    return at < 0 ? QList<QByteArray>() : lines.mid(at + 1);
}
