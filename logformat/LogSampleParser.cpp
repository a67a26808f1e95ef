#include "logformat/LogSampleParser.h"

#include "base/Calendar.h"
#include "logformat/LogFieldSplitter.h"
#include "logformat/LogFormat.h"

#include <cstring>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Value of count digits from p; false when one is not a digit.
bool digits(const char* p, int count, int* value)
{
    int v = 0;
    for (int i = 0; i < count; ++i) {
        if (!isDigit(p[i]))
            return false;
        v = v * 10 + (p[i] - '0');
    }
    *value = v;
    return true;
}

const double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                               1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

} // namespace

namespace {

// DD/MM/YYYY at p: days since 01/01/1970.
bool parseDate(const char* p, qint64* days)
{
    if (p[2] != '/' || p[5] != '/')
        return false;
    int day, month, year;
    if (!digits(p, 2, &day) || !digits(p + 3, 2, &month) || !digits(p + 6, 4, &year))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return false;
    *days = daysFromCivil(year, month, day);
    return true;
}

// " HH:MM:SS" at p: seconds since midnight.
bool parseTimeOfDay(const char* p, int* seconds)
{
    if (p[0] != ' ' || p[3] != ':' || p[6] != ':')
        return false;
    int hour, minute, second;
    if (!digits(p + 1, 2, &hour) || !digits(p + 4, 2, &minute) || !digits(p + 7, 2, &second))
        return false;
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    *seconds = hour * 3600 + minute * 60 + second;
    return true;
}

constexpr qsizetype kDateLength = 10;
constexpr qsizetype kDateTimeLength = 19;

} // namespace

bool parseLogDateTime(QByteArrayView text, qint64* seconds)
{
    qint64 days = 0;
    int time = 0;
    if (text.size() != kDateTimeLength || !parseDate(text.data(), &days) ||
        !parseTimeOfDay(text.data() + kDateLength, &time))
        return false;
    *seconds = days * 86400 + time;
    return true;
}

LogSampleParser::LogSampleParser(SpeedUnitsKind fileUnits, const TimeBase& timeBase)
    : m_fileUnits(fileUnits), m_timeBase(TimeBase::Utc)
{
    setTimeBase(timeBase);
}

void LogSampleParser::setTimeBase(const TimeBase& timeBase)
{
    m_timeBase = timeBase;
    m_resolver.reset();
    if (timeBase.isLocal()) {
        m_resolver.emplace(timeBase.zone());
        m_resolver->setPreviousMs(m_previousMs);
    }
}

void LogSampleParser::setPreviousStampMs(std::optional<qint64> ms)
{
    m_previousMs = ms;
    if (m_resolver)
        m_resolver->setPreviousMs(ms);
}

bool LogSampleParser::parse(QByteArrayView line, HistorySample* sample)
{
    LogFieldViews fields;
    return splitQuotedFields(line, &fields) &&
           parseFields(fields.speed, fields.bearing, fields.dateTime, sample);
}

bool LogSampleParser::parseFields(QByteArrayView speed, QByteArrayView bearing,
                                  QByteArrayView dateTime, HistorySample* sample)
{
    // Speed: digits with at most one point.
    const qsizetype length = speed.size();
    if (length == 0 || length > 18)
        return false;
    quint64 mantissa = 0;
    qsizetype point = -1;
    int digitCount = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const char c = speed[i];
        if (isDigit(c)) {
            mantissa = mantissa * 10 + quint64(c - '0');
            ++digitCount;
        } else if (c == '.' && point < 0) {
            point = i;
        } else {
            return false;
        }
    }
    if (digitCount == 0)
        return false;
    if (!m_shapeKnown || length != m_shapeLength || point != m_shapePoint) {
        const std::optional<SpeedUnitsKind> units =
            unitsOfSpeedText(QString::fromLatin1(speed.data(), speed.size()));
        m_shapeLength = length;
        m_shapePoint = point;
        m_shapeKnown = units.has_value();
        if (units)
            m_shapeUnits = *units;
        if (!m_shapeKnown)
            return false;
    }
    const qsizetype decimals = point < 0 ? 0 : length - point - 1;
    // An integer of at most 18 digits divided by a power of ten: one correctly rounded step.
    double value = double(mantissa) / kPowersOfTen[decimals];
    if (m_shapeUnits != m_fileUnits)
        value = speedInUnits(value, m_shapeUnits, m_fileUnits);

    // Bearing: one to three digits, 0..360.
    if (bearing.isEmpty() || bearing.size() > 3)
        return false;
    int degrees = 0;
    if (!digits(bearing.data(), int(bearing.size()), &degrees) || degrees > 360)
        return false;

    // Date-time: the date changes once a day, so the last one is remembered.
    if (dateTime.size() != kDateTimeLength)
        return false;
    if (!m_dateKnown || std::memcmp(dateTime.data(), m_date, kDateLength) != 0) {
        m_dateKnown = parseDate(dateTime.data(), &m_days);
        if (!m_dateKnown)
            return false;
        std::memcpy(m_date, dateTime.data(), kDateLength);
    }
    int timeOfDay = 0;
    if (!parseTimeOfDay(dateTime.data() + kDateLength, &timeOfDay))
        return false;

    // On a local clock the one rule for repeated and skipped times decides (it keeps the offset
    // of a day without a change, so a plain day costs no look-up per line).
    const qint64 wallSeconds = m_days * 86400 + timeOfDay;
    qint64 timeMs = wallSeconds * 1000;
    if (m_resolver) {
        const std::optional<qint64> utc = m_resolver->toUtcMs(wallSeconds);
        if (!utc)
            return false;
        timeMs = *utc;
    }
    m_previousMs = timeMs;

    sample->speed = value;
    sample->bearing = degrees == 360 ? 0 : degrees;
    sample->timeMs = timeMs;
    return true;
}
