#include "logfile/LogFormat.h"

#include "logfile/LogFieldSplitter.h"

#include <algorithm>
#include <vector>

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

const QString kUtcLabel = QStringLiteral("24 Hour UTC");
const QString kLocalLabel = QStringLiteral("24 Hour Local");

} // namespace

QByteArray logHeaderLine()
{
    return quotedLine(QStringLiteral("Speed"), QStringLiteral("Bearing"),
                      QStringLiteral("Date-Time"));
}

QByteArray logUnitsLine(const QString& speedUnits, TimeBase timeBase)
{
    return quotedLine(speedUnits, QStringLiteral("Degrees"), logTimeBaseLabel(timeBase));
}

QString logTimeBaseLabel(TimeBase timeBase)
{
    return timeBase == TimeBase::Local ? kLocalLabel : kUtcLabel;
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
    // The six lines the recorder can write, made once: this is asked of every replayed line.
    static const std::vector<QByteArray> unitsLines = [] {
        std::vector<QByteArray> lines;
        for (const QString& word :
             {QStringLiteral("m/s"), QStringLiteral("Knots"), QStringLiteral("mm/s")}) {
            for (const QString& clock : {kUtcLabel, kLocalLabel})
                lines.push_back(
                    quotedLine(word, QStringLiteral("Degrees"), clock).chopped(kLineEnd.size()));
        }
        return lines;
    }();
    return std::any_of(unitsLines.cbegin(), unitsLines.cend(),
                       [line](const QByteArray& units) { return line == units; });
}

TimeBase timeBaseOfUnitsLine(QByteArrayView line)
{
    const QByteArray local = "\"" + kLocalLabel.toLatin1() + "\"";
    return line.endsWith(local) ? TimeBase::Local : TimeBase::Utc;
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
    const LogFieldViews f = splitRecordFields(line, speedWidthHint);
    return {latin1Text(f.speed), latin1Text(f.bearing), latin1Text(f.dateTime)};
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
