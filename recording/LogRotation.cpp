#include "recording/LogRotation.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <limits>

namespace {

constexpr qint64 kDayMs = 24 * 3600 * 1000;
constexpr qint64 kHourMs = 3600 * 1000;

qint64 floorTo(qint64 ms, qint64 step)
{
    const qint64 q = ms / step;
    return (ms % step < 0 ? q - 1 : q) * step;
}

// Where a pattern's number goes: before the extension of its file name (the text after the
// last point, when no date field is in it), else at the end.
qsizetype numberPosition(const QString& pattern)
{
    const qsizetype nameStart = pattern.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype point = pattern.lastIndexOf(QLatin1Char('.'));
    if (point > nameStart && !pattern.mid(point).contains(QLatin1Char('%')))
        return point;
    return pattern.size();
}

QString fieldText(QChar field, const QDateTime& utc)
{
    const QDate date = utc.date();
    const QTime time = utc.time();
    const auto two = [](int n) { return QString::number(n).rightJustified(2, QLatin1Char('0')); };
    switch (field.unicode()) {
    case 'Y':
        return QString::number(date.year()).rightJustified(4, QLatin1Char('0'));
    case 'm':
        return two(date.month());
    case 'd':
        return two(date.day());
    case 'H':
        return two(time.hour());
    case 'M':
        return two(time.minute());
    case 'S':
        return two(time.second());
    default:
        return QStringLiteral("%");
    }
}

// The fields a pattern uses, in order (a field that is not known is given as itself).
QString fieldsOf(const QString& pattern)
{
    QString fields;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern.at(i) != QLatin1Char('%'))
            continue;
        fields += i + 1 < pattern.size() ? pattern.at(i + 1) : QLatin1Char('\0');
        ++i;
    }
    return fields;
}

} // namespace

std::optional<LogRotation> LogRotation::fromText(const QString& text, QString* error)
{
    LogRotation rotation;
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("daily")) {
        rotation.m_every = Every::Day;
        return rotation;
    }
    if (value == QLatin1String("hourly")) {
        rotation.m_every = Every::Hour;
        return rotation;
    }
    static const QRegularExpression size(QStringLiteral("^([0-9]{1,12})([kmg]?)$"));
    const QRegularExpressionMatch match = size.match(value);
    qint64 bytes = match.hasMatch() ? match.captured(1).toLongLong() : 0;
    if (bytes > 0) {
        const QString unit = match.captured(2);
        const int shift = unit == QLatin1String("k")   ? 10
                          : unit == QLatin1String("m") ? 20
                          : unit == QLatin1String("g") ? 30
                                                       : 0;
        if (bytes <= (std::numeric_limits<qint64>::max() >> shift)) {
            rotation.m_every = Every::Size;
            rotation.m_maxBytes = bytes << shift;
            return rotation;
        }
    }
    if (error)
        *error =
            QStringLiteral("--rotate wants daily, hourly or a size such as 10M, not %1").arg(text);
    return std::nullopt;
}

QString LogRotation::patternProblem(const QString& pattern) const
{
    const qsizetype nameStart = pattern.lastIndexOf(QLatin1Char('/')) + 1;
    if (pattern.left(nameStart).contains(QLatin1Char('%')))
        return QStringLiteral("has date fields in its folder; they go in the file name");
    const QString fields = fieldsOf(pattern);
    for (const QChar field : fields) {
        if (!QStringLiteral("YmdHMS%").contains(field))
            return QStringLiteral("has %%1, which is not a date field (%Y %m %d %H %M %S %%)")
                .arg(field == QLatin1Char('\0') ? QString() : QString(field));
    }
    const auto has = [&fields](const char* needed) {
        for (const char* c = needed; *c; ++c) {
            if (!fields.contains(QLatin1Char(*c)))
                return false;
        }
        return true;
    };
    if (m_every == Every::Hour && !has("YmdH"))
        return QStringLiteral("needs %Y, %m, %d and %H in its name for a new file each hour");
    if ((m_every == Every::Day || m_keepDays > 0) && !has("Ymd"))
        return m_every == Every::Day
                   ? QStringLiteral("needs %Y, %m and %d in its name for a new file each day")
                   : QStringLiteral("needs %Y, %m and %d in its name to tell old files");
    return QString();
}

bool LogRotation::hasDateFields(const QString& pattern)
{
    const QString fields = fieldsOf(pattern);
    for (const QChar field : fields) {
        if (field != QLatin1Char('%'))
            return true;
    }
    return false;
}

QString LogRotation::fileName(const QString& pattern, qint64 ms, int number)
{
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
    const qsizetype numberAt = numberPosition(pattern);
    QString name;
    for (qsizetype i = 0; i <= pattern.size(); ++i) {
        if (i == numberAt && number > 1)
            name += QStringLiteral("-%1").arg(number);
        if (i == pattern.size())
            break;
        if (pattern.at(i) == QLatin1Char('%') && i + 1 < pattern.size()) {
            name += fieldText(pattern.at(i + 1), utc);
            ++i;
        } else {
            name += pattern.at(i);
        }
    }
    return name;
}

qint64 LogRotation::periodOf(qint64 ms) const
{
    switch (m_every) {
    case Every::Day:
        return floorTo(ms, kDayMs);
    case Every::Hour:
        return floorTo(ms, kHourMs);
    case Every::Size:
        break;
    }
    return 0;
}

bool LogRotation::isDue(qint64 ms, qint64 period, qint64 bytes) const
{
    if (m_every == Every::Size)
        return bytes >= m_maxBytes;
    return periodOf(ms) > period;
}

QStringList LogRotation::expiredFiles(const QString& pattern, qint64 nowMs, int keepDays,
                                      const QStringList& keep)
{
    if (keepDays <= 0 || pattern.isEmpty())
        return {};
    const QFileInfo where(pattern);
    const QString namePattern = where.fileName();
    const qsizetype numberAt = numberPosition(namePattern);
    // The names the pattern makes, as an expression: each field its digits, the number
    // optional.
    QString expression = QStringLiteral("^");
    QString fields;
    for (qsizetype i = 0; i <= namePattern.size(); ++i) {
        if (i == numberAt)
            expression += QStringLiteral("(?:-[0-9]+)?");
        if (i == namePattern.size())
            break;
        const QChar c = namePattern.at(i);
        if (c == QLatin1Char('%') && i + 1 < namePattern.size()) {
            const QChar field = namePattern.at(++i);
            if (field == QLatin1Char('%')) {
                expression += QStringLiteral("%");
                continue;
            }
            expression += field == QLatin1Char('Y') ? QStringLiteral("([0-9]{4})")
                                                    : QStringLiteral("([0-9]{2})");
            fields += field;
        } else {
            expression += QRegularExpression::escape(QString(c));
        }
    }
    expression += QLatin1Char('$');
    const QRegularExpression names(expression);
    const qsizetype year = fields.indexOf(QLatin1Char('Y'));
    const qsizetype month = fields.indexOf(QLatin1Char('m'));
    const qsizetype day = fields.indexOf(QLatin1Char('d'));
    if (year < 0 || month < 0 || day < 0)
        return {};

    const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs, QTimeZone::utc()).date();
    const QDate cutoff = today.addDays(-keepDays);
    QStringList kept;
    for (const QString& path : keep)
        kept << QFileInfo(path).absoluteFilePath();
    QStringList expired;
    const QDir folder = where.absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        const QRegularExpressionMatch match = names.match(name);
        if (!match.hasMatch())
            continue;
        const QDate date(match.captured(int(year) + 1).toInt(),
                         match.captured(int(month) + 1).toInt(),
                         match.captured(int(day) + 1).toInt());
        const QString path = folder.filePath(name);
        if (date.isValid() && date < cutoff && !kept.contains(QFileInfo(path).absoluteFilePath()))
            expired << path;
    }
    return expired;
}
