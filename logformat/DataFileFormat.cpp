#include "logformat/DataFileFormat.h"

#include "base/ClockText.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <cmath>

namespace {

// RFC 4180's line end, on every platform.
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

const char* const kColumns[] = {"time",  "x_raw",     "y_raw",       "units",      "x_m_s",
                                "y_m_s", "speed_m_s", "bearing_deg", "convention", "face"};
constexpr int kColumnCount = int(sizeof(kColumns) / sizeof(kColumns[0]));

// value rounded to decimals places, written with no more digits than it needs: 0.515 stays
// "0.515", a knots record's 0.15 kn (0.0771667 m/s) becomes "0.077167". Never "-0".
//
// A value rounded so is the double nearest to an integer over a power of ten; while that integer
// has at most 15 digits no other decimal of as few digits comes as near, so the shortest text
// that reads back as the value is the integer's digits with the point put in and trailing zeros
// dropped. That is written by hand, millions of times an export; anything else goes the long way.
void appendNumberField(QByteArray* out, double value, int decimals)
{
    static constexpr double kScales[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    constexpr int kScaleCount = int(sizeof(kScales) / sizeof(kScales[0]));
    const double scale =
        decimals >= 0 && decimals < kScaleCount ? kScales[decimals] : std::pow(10.0, decimals);
    const double scaled = std::round(value * scale);
    double rounded = scaled / scale;
    if (rounded == 0)
        rounded = 0; // drops the sign of -0
    if (!(std::fabs(scaled) < 1e15) || decimals < 0 || decimals >= kScaleCount) {
        out->append(QString::number(rounded, 'f', QLocale::FloatingPointShortest).toLatin1());
        return;
    }
    char digits[24];
    int count = 0;
    for (quint64 n = quint64(std::fabs(scaled)); n > 0 || count <= decimals; n /= 10)
        digits[count++] = char('0' + n % 10); // least significant first
    int fractionFrom = 0; // the fraction's last digits that are zeros are dropped
    while (fractionFrom < decimals && digits[fractionFrom] == '0')
        ++fractionFrom;
    char text[28];
    int length = 0;
    if (scaled < 0)
        text[length++] = '-';
    for (int i = count - 1; i >= decimals; --i)
        text[length++] = digits[i];
    if (fractionFrom < decimals) {
        text[length++] = '.';
        for (int i = decimals - 1; i >= fractionFrom; --i)
            text[length++] = digits[i];
    }
    out->append(text, length);
}

QByteArray numberField(double value, int decimals)
{
    QByteArray out;
    appendNumberField(&out, value, decimals);
    return out;
}

QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool parseNumber(const QString& text, std::optional<double>* value)
{
    if (text.isEmpty()) {
        value->reset();
        return true;
    }
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

} // namespace

QStringList dataFileComments(const DataFileHeader& h)
{
    QStringList out;
    out << QStringLiteral("Marvane %1 data file").arg(QStringLiteral(MARVANE_VERSION));
    QString port = QStringLiteral("Port: ") + h.portName;
    if (!h.portDevice.isEmpty() && h.portDevice != h.portName)
        port += QStringLiteral(" (%1)").arg(h.portDevice);
    if (h.lineSettings)
        port += QStringLiteral(", %1 baud, %2 data bits, parity %3, %4 stop bit%5")
                    .arg(h.baudRate)
                    .arg(h.dataBits)
                    .arg(h.parity, h.stopBits,
                         h.stopBits == QLatin1String("1") ? QString() : QStringLiteral("s"));
    out << port;
    out << (h.bearingTo ? QStringLiteral("Bearing convention: to (where the flow goes)")
                        : QStringLiteral("Bearing convention: from (where the flow comes from)"));
    out << (h.faceUp ? QStringLiteral("Face: up (X changes sign)") : QStringLiteral("Face: down"));
    out << headingComment(h.headingOffset);
    QString logTimes = h.logLocalTime ? QStringLiteral("Log time stamps: local time")
                                      : QStringLiteral("Log time stamps: UTC");
    if (h.logLocalTime && !h.timeZoneId.isEmpty())
        logTimes += QStringLiteral(" (%1)").arg(h.timeZoneId);
    out << logTimes;
    if (!h.logFile.isEmpty())
        out << QStringLiteral("Log file: ") + h.logFile;
    if (!h.clockState.isEmpty())
        out << h.clockState;
    out << QStringLiteral("Times below: UTC; convention and face: in force for each row");
    return out;
}

QString headingComment(std::optional<double> headingOffset)
{
    if (!headingOffset)
        return QStringLiteral("Heading: not set, bearings relative to the front of the sensor");
    return QStringLiteral("Heading: %1 degrees true, added to every bearing")
        .arg(QString::fromLatin1(numberField(*headingOffset, 3)));
}

bool headingOfComment(const QString& comment, std::optional<double>* headingOffset)
{
    static const QString set = QStringLiteral("Heading: ");
    static const QString earlier = QStringLiteral("Heading offset: ");
    const bool current = comment.startsWith(set);
    if (!current && !comment.startsWith(earlier))
        return false;
    const QString rest = comment.mid(current ? set.size() : earlier.size());
    bool ok = false;
    const double degrees = rest.section(QLatin1Char(' '), 0, 0).toDouble(&ok);
    if (!ok || !std::isfinite(degrees) || (!current && degrees == 0))
        headingOffset->reset();
    else
        *headingOffset = degrees;
    return true;
}

QByteArray dataFileCommentLines(const QStringList& comments)
{
    QByteArray out;
    for (const QString& c : comments)
        out += "# " + oneLine(c).toUtf8() + kLineEnd;
    return out;
}

QByteArray dataFileHeaderRow()
{
    QByteArray out;
    for (int i = 0; i < kColumnCount; ++i) {
        if (i > 0)
            out += ',';
        out += kColumns[i];
    }
    return out + kLineEnd;
}

QByteArray csvField(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') ||
        bytes.contains('\n')) {
        bytes.replace("\"", "\"\"");
        return '"' + bytes + '"';
    }
    return bytes;
}

namespace {

// csvField(text) appended to out; a field of plain ASCII (every field a row usually holds) is
// copied as it is, without a text object of its own.
void appendCsvField(QByteArray* out, const QString& text)
{
    const qsizetype size = text.size();
    const QChar* chars = text.constData();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = chars[i].unicode();
        if (c >= 0x80 || c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            out->append(csvField(text));
            return;
        }
    }
    const qsizetype at = out->size();
    out->resize(at + size);
    char* to = out->data() + at;
    for (qsizetype i = 0; i < size; ++i)
        to[i] = char(chars[i].unicode());
}

} // namespace

QByteArray dataFileRowLine(const DataFileRow& r)
{
    QByteArray out;
    out.reserve(96);
    appendDataFileRowLine(&out, r);
    return out;
}

void appendDataFileRowLine(QByteArray* line, const DataFileRow& r)
{
    QByteArray& out = *line;
    appendIsoUtcText(&out, r.timeMs);
    out += ',';
    appendCsvField(&out, r.rawX);
    out += ',';
    appendCsvField(&out, r.rawY);
    out += ',';
    appendCsvField(&out, r.units);
    out += ',';
    if (r.xMs)
        appendNumberField(&out, *r.xMs, 6);
    out += ',';
    if (r.yMs)
        appendNumberField(&out, *r.yMs, 6);
    out += ',';
    appendNumberField(&out, r.speedMs, 6);
    out += ',';
    // 359.9996 rounds to 360, which is north: written as 0, so bearings stay within 0..360.
    const double bearing = std::round(r.bearing * 1000.0) / 1000.0;
    appendNumberField(&out, bearing >= 360.0 ? bearing - 360.0 : bearing, 3);
    out += r.bearingTo ? ",to," : ",from,";
    if (r.faceUp)
        out += *r.faceUp ? "up" : "down";
    out += kLineEnd;
}

bool splitCsvLine(QByteArrayView line, QList<QString>* fields)
{
    fields->clear();
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (true) {
        QByteArray field;
        if (i < n && line[i] == '"') {
            ++i;
            while (true) {
                if (i >= n)
                    return false; // not closed
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            if (i < n && line[i] != ',')
                return false;
        } else {
            const qsizetype start = i;
            while (i < n && line[i] != ',') {
                if (line[i] == '"')
                    return false;
                ++i;
            }
            field = line.sliced(start, i - start).toByteArray();
        }
        fields->append(QString::fromUtf8(field));
        if (i >= n)
            return true;
        ++i; // the comma
    }
}

bool parseIsoTime(const QString& input, qint64* ms)
{
    QString text = input.trimmed();
    // "2009-05-24 14:03:07" is as common as the T form.
    if (text.size() > 10 && text[10] == QLatin1Char(' '))
        text[10] = QLatin1Char('T');
    const qsizetype t = text.indexOf(QLatin1Char('T'));
    const QString timePart = t < 0 ? QString() : text.mid(t);
    const bool hasOffset = timePart.contains(QLatin1Char('Z')) ||
                           timePart.contains(QLatin1Char('+')) ||
                           timePart.contains(QLatin1Char('-'));
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dt.isValid())
        return false;
    if (!hasOffset)
        dt = QDateTime(dt.date(), dt.time(), QTimeZone::utc());
    if (!dt.isValid())
        return false;
    *ms = dt.toMSecsSinceEpoch();
    return true;
}

bool isDataFileHeaderRow(QByteArrayView line)
{
    // Asked of every line of a data file being read: the row is made once.
    static const QByteArray row = dataFileHeaderRow().chopped(kLineEnd.size());
    return line == row;
}

bool parseDataFileRow(QByteArrayView line, DataFileRow* row)
{
    QList<QString> f;
    if (!splitCsvLine(line, &f) || f.size() != kColumnCount)
        return false;
    DataFileRow r;
    const QString& time = f[0];
    // Only UTC times with the Z this program writes: a row is never read in some other zone.
    if (!time.endsWith(QLatin1Char('Z')) || !parseIsoTime(time, &r.timeMs))
        return false;
    r.rawX = f[1];
    r.rawY = f[2];
    r.units = f[3];
    if (r.units != QLatin1String("m/s") && r.units != QLatin1String("Knots") &&
        r.units != QLatin1String("mm/s"))
        return false;
    std::optional<double> speed, bearing;
    if (!parseNumber(f[4], &r.xMs) || !parseNumber(f[5], &r.yMs) || !parseNumber(f[6], &speed) ||
        !parseNumber(f[7], &bearing) || !speed || !bearing || *speed < 0)
        return false;
    r.speedMs = *speed;
    r.bearing = *bearing;
    if (f[8] == QLatin1String("to"))
        r.bearingTo = true;
    else if (f[8] != QLatin1String("from"))
        return false;
    if (f[9] == QLatin1String("up"))
        r.faceUp = true;
    else if (f[9] == QLatin1String("down"))
        r.faceUp = false;
    else if (!f[9].isEmpty())
        return false;
    *row = r;
    return true;
}
