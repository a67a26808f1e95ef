#include "logfile/LogFormat.h"

#include <QFile>

namespace {

// Every line ends in CR LF, whatever the platform: the bytes are written as they stand here and
// never pass through a text-mode translation.
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

QByteArray quotedLine(const QString& a, const QString& b, const QString& c)
{
    QByteArray line;
    line.reserve(a.size() + b.size() + c.size() + 8 + kLineEnd.size());
    line += '"';
    line += a.toLatin1();
    line += "\",\"";
    line += b.toLatin1();
    line += "\",\"";
    line += c.toLatin1();
    line += '"';
    line += kLineEnd;
    return line;
}

QString latin1Text(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.data(), bytes.size());
}

// The part of line from index start with at most length characters; empty past the line's end.
QString cutAt(QByteArrayView line, qsizetype start, qsizetype length)
{
    if (start >= line.size())
        return {};
    return latin1Text(line.sliced(start, qMin(length, line.size() - start)));
}

} // namespace

QByteArray logHeaderLine()
{
    return quotedLine(QStringLiteral("Speed"), QStringLiteral("Bearing"),
                      QStringLiteral("Date-Time"));
}

QByteArray logUnitsLine(const QString& speedUnits, LogTimeBase timeBase)
{
    return quotedLine(speedUnits, QStringLiteral("Degrees"), logTimeBaseLabel(timeBase));
}

QString logTimeBaseLabel(LogTimeBase timeBase)
{
    return timeBase == LogTimeBase::Local ? QStringLiteral("24 Hour Local")
                                          : QStringLiteral("24 Hour UTC");
}

std::optional<LogTimeBase> timeBaseOfUnitsLine(QByteArrayView line)
{
    for (const LogTimeBase base : {LogTimeBase::Utc, LogTimeBase::Local}) {
        for (const QString& word :
             {QStringLiteral("m/s"), QStringLiteral("Knots"), QStringLiteral("mm/s")}) {
            if (line == QByteArrayView(logUnitsLine(word, base)).chopped(kLineEnd.size()))
                return base;
        }
    }
    return std::nullopt;
}

QByteArray logRecordLine(const QString& speed, const QString& bearing, const QString& dateTime)
{
    return quotedLine(speed, bearing, dateTime);
}

bool isLogHeaderLine(QByteArrayView line)
{
    return line == QByteArrayView(logHeaderLine()).chopped(kLineEnd.size());
}

bool isLogUnitsLine(QByteArrayView line)
{
    return timeBaseOfUnitsLine(line).has_value();
}

QString unitsWordOfLine(QByteArrayView line)
{
    if (line.isEmpty())
        return {};
    QByteArrayView rest = line.sliced(1);
    const qsizetype quote = rest.indexOf('"');
    if (quote >= 0)
        rest = rest.first(quote);
    return latin1Text(rest);
}

LogRecordFields splitLogRecordLine(QByteArrayView line, int speedWidthHint)
{
    // Three quoted fields: the line starts and ends with a double quote, the text between them
    // falls into exactly three parts at the two-character-wide separators "," and no part holds
    // a double quote. Since no field can hold a quote, the separators cannot be confused with
    // field text, and every line the recorder wrote qualifies whatever its speed width.
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
        const QByteArrayView inner = line.sliced(1, line.size() - 2);
        const QByteArrayView separator("\",\"");
        const qsizetype first = inner.indexOf(separator);
        const qsizetype second =
            first < 0 ? -1 : inner.indexOf(separator, first + separator.size());
        if (second >= 0) {
            const QByteArrayView speed = inner.first(first);
            const QByteArrayView bearing =
                inner.sliced(first + separator.size(), second - first - separator.size());
            const QByteArrayView dateTime = inner.sliced(second + separator.size());
            if (!speed.contains('"') && !bearing.contains('"') && !dateTime.contains('"'))
                return {latin1Text(speed), latin1Text(bearing), latin1Text(dateTime)};
        }
    }

    // Anything else is cut where the standard layout has its fields, so that the operator sees
    // in the error message the same texts the file shows at those places.
    const qsizetype w = speedWidthHint == 4 ? 4 : 5;
    return {cutAt(line, 1, w), cutAt(line, w + 4, 3), cutAt(line, w + 10, 19)};
}

std::optional<SpeedUnitsKind> unitsOfSpeedText(const QString& speedText)
{
    bool hasDigit = false;
    for (const QChar c : speedText)
        hasDigit = hasDigit || (c >= u'0' && c <= u'9');
    if (!hasDigit)
        return std::nullopt;

    // The speed formats are "0.000" (m/s), "00.00" (knots) and "0000" (mm/s), so the number of
    // decimals tells the units whatever the width of the integer part.
    const qsizetype point = speedText.indexOf(u'.');
    if (point < 0)
        return SpeedUnitsKind::MillimetresPerSecond;
    const qsizetype decimals = speedText.size() - point - 1;
    for (qsizetype i = point + 1; i < speedText.size(); ++i) {
        if (speedText[i] < u'0' || speedText[i] > u'9')
            return std::nullopt;
    }
    if (decimals == 3)
        return SpeedUnitsKind::MetresPerSecond;
    if (decimals == 2)
        return SpeedUnitsKind::Knots;
    return std::nullopt;
}

QString readoutCaptionForSpeedText(const QString& speedText)
{
    const std::optional<SpeedUnitsKind> units = unitsOfSpeedText(speedText);
    return units ? unitsInfo(*units).readoutCaption : QString();
}

qint64 lineOfRecord(const QString& path, qint64 record)
{
    QFile file(path);
    if (record < 0 || !file.open(QIODevice::ReadOnly))
        return 0;
    // Read through one fixed buffer: a line of gigabytes is passed over, never held.
    constexpr qsizetype kPiece = 1 << 16;
    constexpr qsizetype kKept = 64; // enough of a line's start to tell a units line
    QByteArray buffer(kPiece, Qt::Uninitialized);
    QByteArray start;
    qint64 line = 1;
    qint64 records = -1;
    const auto endOfLine = [&] {
        QByteArrayView text(start);
        while (text.endsWith('\r'))
            text.chop(1);
        const bool isRecord = line > 1 && !isLogUnitsLine(text);
        start.clear();
        return isRecord && ++records == record;
    };
    for (;;) {
        const qint64 got = file.read(buffer.data(), kPiece);
        if (got <= 0)
            break;
        qsizetype from = 0;
        while (from < got) {
            const qsizetype newline = QByteArrayView(buffer.constData() + from, got - from).indexOf('\n');
            const qsizetype end = newline < 0 ? got : from + newline;
            if (start.size() < kKept)
                start.append(buffer.constData() + from, qMin(end - from, kKept - start.size()));
            if (newline < 0)
                break;
            if (endOfLine())
                return line;
            ++line;
            from = end + 1;
        }
    }
    // A last line without its line end is a record too.
    if (!start.isEmpty() && endOfLine())
        return line;
    return 0;
}
