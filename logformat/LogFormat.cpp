#include "logformat/LogFormat.h"

#include "logformat/LogFieldSplitter.h"

#include <algorithm>
#include <optional>
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

QByteArray logUnitsLine(const QString& speedUnits, const TimeBase& timeBase)
{
    return quotedLine(speedUnits, QStringLiteral("Degrees"), logTimeBaseLabel(timeBase));
}

QString logTimeBaseLabel(const TimeBase& timeBase)
{
    if (!timeBase.isLocal())
        return kUtcLabel;
    if (!isLogZoneName(timeBase.zoneId()))
        return kLocalLabel;
    return kLocalLabel + QLatin1Char(' ') + QString::fromLatin1(timeBase.zoneId());
}

bool isLogZoneName(QByteArrayView text)
{
    // IANA names: "Europe/London", "America/Argentina/Buenos_Aires", "Etc/GMT+5", "EST5EDT".
    if (text.isEmpty() || text.size() > 64)
        return false;
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!isLetter(text.front()))
        return false;
    return std::all_of(text.begin(), text.end(), [&isLetter](char c) {
        return isLetter(c) || (c >= '0' && c <= '9') || c == '/' || c == '_' || c == '-' ||
               c == '+';
    });
}

QByteArray logRecordLine(const QString& speed, const QString& bearing, const QString& dateTime)
{
    return quotedLine(speed, bearing, dateTime);
}

bool isLogHeaderLine(QByteArrayView line)
{
    // Asked of every line read: the header is made once.
    static const QByteArray header = logHeaderLine().chopped(kLineEnd.size());
    return line == header;
}

namespace {

// What follows "24 Hour " in a units line of one of the three units words, without the closing
// quote; nothing for any other line.
std::optional<QByteArrayView> clockOfUnitsLine(QByteArrayView line)
{
    // The three beginnings, made once: this is asked of every replayed line.
    static const std::vector<QByteArray> heads = [] {
        std::vector<QByteArray> lines;
        for (const SpeedUnitsKind units : kAllSpeedUnits)
            lines.push_back('"' + unitsInfo(units).speedUnits.toLatin1() +
                            "\",\"Degrees\",\"24 Hour ");
        return lines;
    }();
    if (!line.endsWith('"'))
        return std::nullopt;
    for (const QByteArray& head : heads) {
        if (line.size() > head.size() && line.startsWith(head))
            return line.sliced(head.size()).chopped(1);
    }
    return std::nullopt;
}

const QByteArray kUtcWord = QByteArrayLiteral("UTC");
const QByteArray kLocalWord = QByteArrayLiteral("Local");
const QByteArray kLocalZoneHead = QByteArrayLiteral("Local ");

} // namespace

bool isLogUnitsLine(QByteArrayView line)
{
    const std::optional<QByteArrayView> clock = clockOfUnitsLine(line);
    if (!clock)
        return false;
    return *clock == kUtcWord || *clock == kLocalWord ||
           (clock->startsWith(kLocalZoneHead) &&
            isLogZoneName(clock->sliced(kLocalZoneHead.size())));
}

TimeBase timeBaseOfUnitsLine(QByteArrayView line)
{
    // The clock is the last field, whatever the units word: "...,"24 Hour Local Europe/London"".
    const QByteArray localTail = "\"" + kLocalLabel.toLatin1();
    if (!line.endsWith('"'))
        return TimeBase::Utc;
    const QByteArrayView body = line.chopped(1);
    if (body.endsWith(localTail))
        return TimeBase::Local;
    const qsizetype at = body.lastIndexOf(QByteArrayView(localTail + ' '));
    if (at < 0)
        return TimeBase::Utc;
    const QByteArrayView zone = body.sliced(at + localTail.size() + 1);
    return isLogZoneName(zone) ? TimeBase::localIn(zone.toByteArray()) : TimeBase::Local;
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
