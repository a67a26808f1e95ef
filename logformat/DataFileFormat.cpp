#include "logformat/DataFileFormat.h"

#include "base/ClockText.h"
#include "logformat/StationComments.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// RFC 4180's line end, on every platform.
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

const char* const kColumns[] = {"time",      "x_raw",       "y_raw",      "units", "x_m_s", "y_m_s",
                                "speed_m_s", "bearing_deg", "convention", "face",  "note"};
constexpr int kColumnCount = int(sizeof(kColumns) / sizeof(kColumns[0]));
// An earlier version's columns: all but the note.
constexpr int kColumnsWithoutNote = kColumnCount - 1;

// value rounded to decimals places, written with no more digits than it needs: 0.515 stays
// "0.515", a knots record's 0.15 kn (0.0771667 m/s) becomes "0.077167". Never "-0".
//
// A value rounded so is the double nearest to an integer over a power of ten; while that integer
// has at most 15 digits no other decimal of as few digits comes as near, so the shortest text
// that reads back as the value is the integer's digits with the point put in and trailing zeros
// dropped. That is written by hand at text (at most kNumberLength bytes), millions of times an
// export, and its length returned; -1 for anything else, which goes the long way.
constexpr int kMaxFastDecimals = 9;
constexpr int kNumberLength = 20;
const double kScales[kMaxFastDecimals + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

int writeNumberField(double value, int decimals, char* text)
{
    if (decimals < 0 || decimals > kMaxFastDecimals)
        return -1;
    const double scaled = std::round(value * kScales[decimals]);
    if (!(std::fabs(scaled) < 1e15))
        return -1;
    char digits[24];
    int count = 0;
    for (quint64 n = quint64(std::fabs(scaled)); n > 0 || count <= decimals; n /= 10)
        digits[count++] = char('0' + n % 10); // least significant first
    int fractionFrom = 0; // the fraction's last digits that are zeros are dropped
    while (fractionFrom < decimals && digits[fractionFrom] == '0')
        ++fractionFrom;
    int length = 0;
    if (scaled < 0) // -0 (a value that rounds to nothing) is written as 0
        text[length++] = '-';
    for (int i = count - 1; i >= decimals; --i)
        text[length++] = digits[i];
    if (fractionFrom < decimals) {
        text[length++] = '.';
        for (int i = decimals - 1; i >= fractionFrom; --i)
            text[length++] = digits[i];
    }
    return length;
}

void appendNumberField(QByteArray* out, double value, int decimals)
{
    char text[kNumberLength];
    const int length = writeNumberField(value, decimals, text);
    if (length >= 0) {
        out->append(text, length);
        return;
    }
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0)
        rounded = 0; // drops the sign of -0
    out->append(QString::number(rounded, 'f', QLocale::FloatingPointShortest).toLatin1());
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
    out << stationComments(h.station);
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

QByteArray dataFileHeaderRow(bool withNote)
{
    QByteArray out;
    for (int i = 0; i < (withNote ? kColumnCount : kColumnsWithoutNote); ++i) {
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

// A row is made in a buffer on the stack and appended to the line in one piece. A field of plain
// ASCII (every field a row usually holds) and a number of the usual size are written into it by
// hand; anything else goes the long way (csvField, QString::number), the same text either way.
class RowWriter
{
public:
    explicit RowWriter(QByteArray* line) : m_line(line) {}
    ~RowWriter() { flush(); }
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    void put(char c)
    {
        room(1);
        m_text[m_length++] = c;
    }
    void put(const char* text)
    {
        const int length = int(std::strlen(text));
        room(length);
        std::memcpy(m_text + m_length, text, size_t(length));
        m_length += length;
    }
    void time(qint64 ms)
    {
        room(kIsoUtcTextLength);
        if (writeIsoUtcText(ms, m_text + m_length)) {
            m_length += kIsoUtcTextLength;
        } else {
            flush();
            appendIsoUtcText(m_line, ms);
        }
    }
    void field(const QString& text)
    {
        const qsizetype size = text.size();
        const QChar* chars = text.constData();
        bool plain = size <= kPlainField;
        for (qsizetype i = 0; plain && i < size; ++i) {
            const char16_t c = chars[i].unicode();
            plain = c < 0x80 && c != u',' && c != u'"' && c != u'\r' && c != u'\n';
        }
        if (!plain) {
            flush();
            m_line->append(csvField(text));
            return;
        }
        room(int(size));
        for (qsizetype i = 0; i < size; ++i)
            m_text[m_length++] = char(chars[i].unicode());
    }
    void number(double value, int decimals)
    {
        room(kNumberLength);
        const int length = writeNumberField(value, decimals, m_text + m_length);
        if (length >= 0) {
            m_length += length;
        } else {
            flush();
            appendNumberField(m_line, value, decimals);
        }
    }

private:
    static constexpr int kPlainField = 64;
    static constexpr int kSize = 256;
    static_assert(kSize >= kPlainField && kSize >= kNumberLength && kSize >= kIsoUtcTextLength);

    void room(int bytes)
    {
        if (m_length + bytes > kSize)
            flush();
    }
    void flush()
    {
        m_line->append(m_text, m_length);
        m_length = 0;
    }

    QByteArray* m_line;
    char m_text[kSize];
    int m_length = 0;
};

} // namespace

QByteArray dataFileRowLine(const DataFileRow& r, bool withNote)
{
    QByteArray out;
    out.reserve(96);
    appendDataFileRowLine(&out, r, withNote);
    return out;
}

void appendDataFileRowLine(QByteArray* line, const DataFileRow& r, bool withNote)
{
    if (r.event && !withNote)
        return;
    RowWriter out(line);
    out.time(r.timeMs);
    if (r.event) {
        // Every field between the time and the note is empty: no reader takes it for a sample.
        for (int i = 1; i < kColumnCount; ++i)
            out.put(',');
        out.field(oneLine(r.note));
        out.put("\r\n");
        return;
    }
    out.put(',');
    out.field(r.rawX);
    out.put(',');
    out.field(r.rawY);
    out.put(',');
    out.field(unitsInfo(r.units).speedUnits);
    out.put(',');
    if (r.xMs)
        out.number(*r.xMs, 6);
    out.put(',');
    if (r.yMs)
        out.number(*r.yMs, 6);
    out.put(',');
    out.number(r.speedMs, 6);
    out.put(',');
    // 359.9996 rounds to 360, which is north: written as 0, so bearings stay within 0..360.
    const double bearing = std::round(r.bearing * 1000.0) / 1000.0;
    out.number(bearing >= 360.0 ? bearing - 360.0 : bearing, 3);
    out.put(r.bearingTo ? ",to," : ",from,");
    if (r.faceUp)
        out.put(*r.faceUp ? "up" : "down");
    if (withNote) {
        out.put(',');
        if (!r.note.isEmpty())
            out.field(oneLine(r.note));
    }
    out.put("\r\n");
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

bool isDataFileHeaderRow(QByteArrayView line, bool* withNote)
{
    static const QByteArray current = dataFileHeaderRow(true).chopped(kLineEnd.size());
    static const QByteArray earlier = dataFileHeaderRow(false).chopped(kLineEnd.size());
    const bool isCurrent = line == QByteArrayView(current);
    if (!isCurrent && line != QByteArrayView(earlier))
        return false;
    if (withNote)
        *withNote = isCurrent;
    return true;
}

bool parseDataFileRow(QByteArrayView line, DataFileRow* row)
{
    QList<QString> f;
    if (!splitCsvLine(line, &f) || (f.size() != kColumnCount && f.size() != kColumnsWithoutNote))
        return false;
    DataFileRow r;
    const QString& time = f[0];
    // Only UTC times with the Z this program writes: a row is never read in some other zone.
    if (!time.endsWith(QLatin1Char('Z')) || !parseIsoTime(time, &r.timeMs))
        return false;
    if (f.size() == kColumnCount) {
        r.note = f[kColumnCount - 1];
        // An event's row: nothing between the time and the note.
        if (std::all_of(f.cbegin() + 1, f.cend() - 1,
                        [](const QString& field) { return field.isEmpty(); })) {
            r.event = true;
            *row = r;
            return true;
        }
    }
    r.rawX = f[1];
    r.rawY = f[2];
    const std::optional<SpeedUnitsKind> units = speedUnitsOfWord(f[3]);
    if (!units)
        return false;
    r.units = *units;
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
