#include "fuzz/FuzzChecks.h"

#include "base/IniFile.h"
#include "settings/SettingsFile.h"
#include "base/MarvaneError.h"
#include "settings/PortSettings.h"
#include "sources/RecordFramer.h"
#include "logformat/LogFormat.h"
#include "replay/ReplayReader.h"
#include "sensor/RawRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace {

// ---------------------------------------------------------------------------------------------
// Shared helpers

// The input read front to back as the choices of one case; once it is used up, every further
// choice is 0, so any input, even an empty one, is a complete case.
class InputBytes
{
public:
    explicit InputBytes(QByteArrayView bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    quint8 byte() { return atEnd() ? 0 : quint8(m_bytes[m_pos++]); }
    int pair()
    {
        const int high = byte();
        return high * 256 + byte();
    }
    quint32 word()
    {
        quint32 w = 0;
        for (int i = 0; i < 4; ++i)
            w = (w << 8) | byte();
        return w;
    }
    QByteArrayView take(qsizetype n)
    {
        n = qBound<qsizetype>(0, n, m_bytes.size() - m_pos);
        const QByteArrayView part = m_bytes.sliced(m_pos, n);
        m_pos += n;
        return part;
    }
    QByteArrayView rest() { return take(m_bytes.size() - m_pos); }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

// Bytes as readable text for a problem report: printable ASCII as it is, the rest as \xNN,
// cut after a length that still fits on a line.
QString shown(QByteArrayView bytes)
{
    constexpr qsizetype kShown = 80;
    QString text;
    for (qsizetype i = 0; i < bytes.size() && i < kShown; ++i) {
        const auto c = quint8(bytes[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\')
            text += QLatin1Char(char(c));
        else
            text += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    if (bytes.size() > kShown)
        text += QStringLiteral("... (%1 bytes)").arg(bytes.size());
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString shown(const QString& text)
{
    return shown(QByteArrayView(text.toLatin1()));
}

QString shown(const QByteArray& bytes)
{
    return shown(QByteArrayView(bytes));
}

quint32 fnv1a(QByteArrayView bytes)
{
    quint32 h = 2166136261u;
    for (const char c : bytes)
        h = (h ^ quint8(c)) * 16777619u;
    return h;
}

QString text(const char* s)
{
    return QString::fromLatin1(s);
}

// A scratch file named for its process and purpose, on a memory file system where there is one:
// the checks write a file for every input, millions of times in a fuzzing run. It goes away when
// the process ends normally.
class ScratchFile
{
public:
    enum Use
    {
        OnlyWeWrite,     // kept open for writing between cases: one truncate and write per case
        OthersReplaceIt, // written afresh by name every time (the code under test renames over it)
    };

    ScratchFile(const char* name, Use use) : m_use(use)
    {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        const QString dir = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
        m_file.setFileName(QStringLiteral("%1/marvane-fuzz-%2-%3")
                               .arg(dir)
                               .arg(QCoreApplication::applicationPid())
                               .arg(text(name)));
    }
    ~ScratchFile()
    {
        m_file.close();
        m_file.remove();
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    QString path() const { return m_file.fileName(); }

    bool write(QByteArrayView bytes)
    {
        if (m_use == OthersReplaceIt || !m_file.isOpen()) {
            m_file.close();
            if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
                return false;
        } else if (!m_file.resize(0) || !m_file.seek(0)) {
            return false;
        }
        const bool written = m_file.write(bytes.data(), bytes.size()) == bytes.size();
        if (m_use == OthersReplaceIt)
            m_file.close();
        return written;
    }

private:
    Use m_use;
    QFile m_file;
};

// ---------------------------------------------------------------------------------------------
// Serial stream

bool isSignByte(char c)
{
    return c == '+' || c == '-';
}

bool isBodyByte(char c)
{
    return c == '.' || (c >= '0' && c <= '9');
}

// The record shape, stated on its own: a sign, five digits or points, one byte of any kind, a
// sign, five digits or points.
bool recordShapeAt(QByteArrayView bytes, qsizetype at)
{
    if (bytes.size() - at < 13)
        return false;
    if (!isSignByte(bytes[at]) || !isSignByte(bytes[at + 7]))
        return false;
    for (qsizetype i = 1; i <= 5; ++i) {
        if (!isBodyByte(bytes[at + i]) || !isBodyByte(bytes[at + 7 + i]))
            return false;
    }
    return true;
}

// The units a record's X field tells: where its first point stands.
SpeedUnitsKind unitsOfRecord(QByteArrayView record)
{
    const qsizetype point = record.first(6).indexOf('.');
    if (point == 2)
        return SpeedUnitsKind::MetresPerSecond;
    if (point == 3)
        return SpeedUnitsKind::Knots;
    return SpeedUnitsKind::MillimetresPerSecond;
}

QList<QByteArrayView> linesBetweenLineEnds(QByteArrayView stream)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= stream.size(); ++i) {
        if (i == stream.size() || stream[i] == '\r' || stream[i] == '\n') {
            lines.append(stream.sliced(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

QByteArray withoutNul(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        if (c != '\0')
            out += c;
    }
    return out;
}

QString compareRecordLists(const QList<QByteArray>& expected, const QList<QByteArray>& got,
                           const QString& how)
{
    for (qsizetype i = 0; i < qMax(expected.size(), got.size()); ++i) {
        if (i >= got.size())
            return QStringLiteral("%1: record %2 %3 was never handed out (%4 of %5 were)")
                .arg(how)
                .arg(i + 1)
                .arg(shown(expected[i]))
                .arg(got.size())
                .arg(expected.size());
        if (i >= expected.size())
            return QStringLiteral("%1: %2 handed out as record %3, but the stream holds only %4")
                .arg(how, shown(got[i]))
                .arg(i + 1)
                .arg(expected.size());
        if (expected[i] != got[i])
            return QStringLiteral("%1: record %2 handed out as %3, expected %4")
                .arg(how)
                .arg(i + 1)
                .arg(shown(got[i]), shown(expected[i]));
    }
    return {};
}

// What the decoder makes of a text, against the record rule.
QString decodingProblem(QByteArrayView bytes)
{
    const std::optional<RawRecord> record =
        parseRawRecord(QString::fromLatin1(bytes.data(), bytes.size()));
    const bool shape = recordShapeAt(bytes, 0);
    if (record.has_value() != shape)
        return QStringLiteral("the decoder %1 the text %2")
            .arg(shape ? text("rejects") : text("accepts"), shown(bytes));
    if (!record)
        return {};
    const QString x = QString::fromLatin1(bytes.first(6));
    const QString y = QString::fromLatin1(bytes.sliced(7, 6));
    if (record->x != x || record->y != y)
        return QStringLiteral("the decoder splits %1 into %2 and %3")
            .arg(shown(bytes), shown(record->x), shown(record->y));
    if (record->units != unitsOfRecord(bytes))
        return QStringLiteral("the decoder takes the units of %1 wrongly").arg(shown(bytes));
    return {};
}

// ---------------------------------------------------------------------------------------------
// Replay file

// A little beyond the reader's first buffer boundary: larger files make each case slow without
// reaching anything new.
constexpr qsizetype kMaxReplayFile = 72 * 1024;
// The reader fills its buffer this many bytes at a time; lines across that boundary are the
// ones most likely to be read wrongly, so the input can ask for one.
constexpr qsizetype kReaderChunk = 64 * 1024;

struct RecordTexts
{
    QString speed;
    QString bearing;
    QString dateTime;
    QString caption; // the readout caption the speed's own form tells
};

void appendDigits(QByteArray* out, InputBytes& in, int count, bool leadingNonZero)
{
    for (int i = 0; i < count; ++i) {
        const int d = in.byte() % 10;
        *out += char('0' + (i == 0 && leadingNonZero ? 1 + d % 9 : d));
    }
}

void appendTwoDigits(QByteArray* out, int value)
{
    *out += char('0' + value / 10 % 10);
    *out += char('0' + value % 10);
}

// Texts of one sample as the program writes them: the speed in the form of its units ("0.000",
// "00.00", "0000", wider without leading zeros at high speeds), the bearing "000" to "359" and
// the clock text DD/MM/YYYY HH:MM:SS (the year without leading zeros).
RecordTexts recorderTexts(InputBytes& in)
{
    const quint8 form = in.byte();
    const int units = form % 3;
    const int extra = (form / 3) % 4;
    static const int kIntegerDigits[3] = {1, 2, 4};
    static const int kDecimals[3] = {3, 2, 0};
    static const char* const kCaptions[3] = {"m/s", "Kts", "mm/s"};

    QByteArray speed;
    appendDigits(&speed, in, kIntegerDigits[units] + extra, extra > 0);
    if (kDecimals[units] > 0) {
        speed += '.';
        appendDigits(&speed, in, kDecimals[units], false);
    }

    // One choice per statement: the order in which the operands of an expression are worked
    // out is not fixed, and the same input must always give the same case.
    const int bearing = in.pair() % 360;
    const int year = in.pair() % 9999 + 1;
    const int day = in.byte() % 31 + 1;
    const int month = in.byte() % 12 + 1;
    const int hour = in.byte() % 24;
    const int minute = in.byte() % 60;
    const int second = in.byte() % 60;
    QByteArray bearingText(1, char('0' + bearing / 100));
    appendTwoDigits(&bearingText, bearing % 100);
    QByteArray dateTime;
    dateTime.reserve(20);
    appendTwoDigits(&dateTime, day);
    dateTime += '/';
    appendTwoDigits(&dateTime, month);
    dateTime += '/';
    dateTime += QByteArray::number(year);
    dateTime += ' ';
    appendTwoDigits(&dateTime, hour);
    dateTime += ':';
    appendTwoDigits(&dateTime, minute);
    dateTime += ':';
    appendTwoDigits(&dateTime, second);

    return {QString::fromLatin1(speed), QString::fromLatin1(bearingText),
            QString::fromLatin1(dateTime), text(kCaptions[units])};
}

struct WrittenLine
{
    enum Kind
    {
        Header,
        Units,
        Record,
    };
    Kind kind;
    qsizetype index;    // line number in the file, from 0
    QString unitsWord;  // Units
    RecordTexts record; // Record
};

// A line of rubbish: bytes of the input as they are, line ends and quotes included.
void appendRubbish(QByteArray* file, InputBytes& in, bool lastMayBeOpen)
{
    const quint8 how = in.byte();
    const quint8 length = in.byte();
    *file += in.take(length);
    if (lastMayBeOpen && in.atEnd() && how % 3 == 2)
        return; // the file ends inside this line
    *file += how % 2 == 0 ? QByteArrayView("\r\n") : QByteArrayView("\n");
}

// A line over the reader's cap, or just around it.
void appendLongLine(QByteArray* file, InputBytes& in)
{
    const quint8 size = in.byte();
    const char fill = char(in.byte());
    const qsizetype length = size < 16 ? ReplayReader::kMaxLineLength - 8 + size
                                       : ReplayReader::kMaxLineLength * (1 + size % 4) + size % 7 - 3;
    file->append(length, fill == '\n' ? 'n' : fill);
    *file += in.byte() % 2 == 0 ? QByteArrayView("\r\n") : QByteArrayView("\n");
}

// Filler lines up to a few bytes before the reader's next buffer boundary, so that the
// next line straddles it.
void padToReaderChunk(QByteArray* file, InputBytes& in)
{
    const qsizetype before = in.byte();
    const qsizetype target = (file->size() / kReaderChunk + 1) * kReaderChunk - before;
    while (file->size() < target) {
        const qsizetype n = qMin<qsizetype>(target - file->size(), 4000);
        file->append(n - 1, 'f');
        *file += '\n';
    }
}

qsizetype countLineFeeds(QByteArrayView bytes)
{
    qsizetype n = 0;
    for (const char c : bytes)
        n += c == '\n' ? 1 : 0;
    return n;
}

// Whatever a line holds, what the log format makes of it stays within the line.
QString rubbishLineProblem(QByteArrayView line, int hint)
{
    const QString latin1 = QString::fromLatin1(line.data(), line.size());
    const LogRecordFields f = splitLogRecordLine(line, hint);
    if (f.speed.size() + f.bearing.size() + f.dateTime.size() > line.size() ||
        !latin1.contains(f.speed) || !latin1.contains(f.bearing) || !latin1.contains(f.dateTime))
        return QStringLiteral("the line %1 splits into texts that are not in it: %2, %3, %4")
            .arg(shown(line), shown(f.speed), shown(f.bearing), shown(f.dateTime));
    const QString caption = readoutCaptionForSpeedText(f.speed);
    if (!caption.isEmpty() && caption != QLatin1String("m/s") && caption != QLatin1String("Kts") &&
        caption != QLatin1String("mm/s"))
        return QStringLiteral("the speed text %1 gives the caption %2")
            .arg(shown(f.speed), shown(caption));
    const QString word = unitsWordOfLine(line);
    if (line.isEmpty() ? !word.isEmpty()
                       : word.size() >= line.size() || !QStringView(latin1).sliced(1).startsWith(word))
        return QStringLiteral("the line %1 gives the units word %2").arg(shown(line), shown(word));
    return {};
}

QString writtenLineProblem(const WrittenLine& w, QByteArrayView line, int hint)
{
    switch (w.kind) {
    case WrittenLine::Header:
        if (line != QByteArrayView("\"Speed\",\"Bearing\",\"Date-Time\""))
            return QStringLiteral("the header line reads back as %1").arg(shown(line));
        return {};
    case WrittenLine::Units:
        if (unitsWordOfLine(line) != w.unitsWord)
            return QStringLiteral("the units line %1 gives the word %2, written from %3")
                .arg(shown(line), shown(unitsWordOfLine(line)), shown(w.unitsWord));
        return {};
    case WrittenLine::Record:
        break;
    }
    const LogRecordFields f = splitLogRecordLine(line, hint);
    if (f.speed != w.record.speed || f.bearing != w.record.bearing ||
        f.dateTime != w.record.dateTime)
        return QStringLiteral("the record line %1 (speed width %2) replays as %3, %4, %5")
            .arg(shown(line))
            .arg(hint)
            .arg(shown(f.speed), shown(f.bearing), shown(f.dateTime));
    if (readoutCaptionForSpeedText(f.speed) != w.record.caption)
        return QStringLiteral("the speed text %1 gives the caption %2, not %3")
            .arg(shown(f.speed), shown(readoutCaptionForSpeedText(f.speed)),
                 shown(w.record.caption));
    return {};
}

// ---------------------------------------------------------------------------------------------
// Settings file

const QByteArrayView kBom("\xEF\xBB\xBF");

struct IniLine
{
    QByteArrayView text;
    QByteArrayView ending;
};

// Lines end at CR LF, LF or a CR alone.
QList<IniLine> iniLines(QByteArrayView bytes)
{
    QList<IniLine> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        qsizetype endingLength = 0;
        if (end < bytes.size())
            endingLength = bytes.sliced(end).startsWith("\r\n") ? 2 : 1;
        lines.append({bytes.sliced(start, end - start), bytes.sliced(end, endingLength)});
        start = end + endingLength;
    }
    return lines;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

QByteArrayView trimmedBytes(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

bool sameAsciiName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// "[name]" with blanks around, anything after the first "]" ignored.
std::optional<QByteArrayView> iniSection(QByteArrayView text)
{
    const QByteArrayView t = trimmedBytes(text);
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmedBytes(t.sliced(1, close - 1));
}

// The name of a key line: a line with a name before its first "=" that is neither a comment nor
// a section line.
std::optional<QByteArrayView> iniKey(QByteArrayView text)
{
    const QByteArrayView t = trimmedBytes(text);
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#') || iniSection(text))
        return std::nullopt;
    const qsizetype eq = text.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    const QByteArrayView name = trimmedBytes(text.first(eq));
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

// Which of the seven keys a line of section Options is, if any, for each line of a file.
QList<int> optionsKeysOfLines(const QList<IniLine>& lines)
{
    QList<int> keys;
    bool inOptions = false;
    for (const IniLine& line : lines) {
        int key = -1;
        if (const auto section = iniSection(line.text)) {
            inOptions = sameAsciiName(*section, "Options");
        } else if (const auto name = iniKey(line.text); name && inOptions) {
            for (int k = 0; k < 7; ++k) {
                if (sameAsciiName(*name, kCommsSettingKeys[k]))
                    key = k;
            }
        }
        keys.append(key);
    }
    return keys;
}

QByteArray keyLine(QByteArrayView name, qint32 value)
{
    return name.toByteArray() + '=' + QByteArray::number(value);
}

CommsSettings settingsOf(const std::array<qint32, 7>& values)
{
    CommsSettings s;
    s.scrollDirection = values[0];
    s.commPort = values[1];
    s.orientation = values[2];
    s.baudRate = values[3];
    s.dataBits = values[4];
    s.parity = values[5];
    s.stopBits = values[6];
    return s;
}

QString settingsText(const CommsSettings& s)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(s.scrollDirection)
        .arg(s.commPort)
        .arg(s.orientation)
        .arg(s.baudRate)
        .arg(s.dataBits)
        .arg(s.parity)
        .arg(s.stopBits);
}

QString settingsThroughFileProblem(QByteArrayView before, bool fileMissing,
                                   const std::array<qint32, 7>& values, const QByteArray& expected)
{
    static ScratchFile scratch("marvane.ini", ScratchFile::OthersReplaceIt);
    if (fileMissing)
        QFile::remove(scratch.path());
    else if (!scratch.write(before))
        return QStringLiteral("cannot write the scratch file %1").arg(scratch.path());
    const CommsSettings settings = settingsOf(values);
    try {
        saveSettings(scratch.path(), settings);
    } catch (const MarvaneError& e) {
        return QStringLiteral("saveSettings failed: %1").arg(e.text());
    }
    QFile file(scratch.path());
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the saved settings file cannot be read");
    const QByteArray saved = file.readAll();
    if (saved != expected)
        return QStringLiteral("saveSettings wrote %1, not %2").arg(shown(saved), shown(expected));
    const CommsSettings loaded = loadSettings(scratch.path());
    if (!(loaded == settings))
        return QStringLiteral("loadSettings gives %1 after saving %2")
            .arg(settingsText(loaded), settingsText(settings));
    return {};
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Oracles

namespace FuzzOracle {

QList<QByteArray> recordsOfStream(QByteArrayView stream)
{
    QList<QByteArray> records;
    QList<QByteArrayView> lines = linesBetweenLineEnds(stream);
    lines.removeLast(); // no line end yet: nothing is decided about it
    for (const QByteArrayView line : lines) {
        if (recordShapeAt(line, 0))
            records.append(line.first(13).toByteArray());
    }
    return records;
}

QList<QByteArray> replayLinesOf(QByteArrayView file)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < file.size()) {
        qsizetype end = file.indexOf('\n', start);
        const qsizetype next = end < 0 ? file.size() : end + 1;
        if (end < 0)
            end = file.size();
        if (end > start && file[end - 1] == '\r')
            --end;
        lines.append(file.sliced(start, qMin(end - start, ReplayReader::kMaxLineLength)).toByteArray());
        start = next;
    }
    return lines;
}

QString settingsChangeProblem(QByteArrayView before, QByteArrayView after,
                              const std::array<qint32, 7>& values)
{
    if (before.startsWith(kBom) != after.startsWith(kBom))
        return text("the byte order mark at the start of the file was not kept");
    if (before.startsWith(kBom)) {
        before = before.sliced(kBom.size());
        after = after.sliced(kBom.size());
    }
    const QList<IniLine> old = iniLines(before);
    const QList<IniLine> now = iniLines(after);
    const QList<int> oldKeys = optionsKeysOfLines(old);

    // Lines added take the file's line end: that of its first line, else the platform's.
    QByteArrayView newline("\n");
#ifdef Q_OS_WIN
    newline = QByteArrayView("\r\n");
#endif
    for (const IniLine& line : old) {
        if (!line.ending.isEmpty()) {
            newline = line.ending;
            break;
        }
    }

    QByteArray addedKeyLines[7];
    for (int k = 0; k < 7; ++k)
        addedKeyLines[k] = keyLine(kCommsSettingKeys[k], values[size_t(k)]);

    // Walk both files together. A line of the file before is either still there as it was, or
    // (one of the seven keys only) rewritten with its new value; every other line of the saved
    // file is an added one: a key in section Options, the section's line, or a blank line. The
    // last line may have gained a line end when lines were added after it. Each key is written
    // once at most.
    const QList<int> newKeys = optionsKeysOfLines(now);
    int written[7] = {};
    qsizetype i = 0;
    qsizetype added = 0;
    for (qsizetype j = 0; j < now.size(); ++j) {
        const IniLine& n = now[j];
        if (i < old.size()) {
            const IniLine& o = old[i];
            const bool endingKept =
                n.ending == o.ending ||
                (i == old.size() - 1 && o.ending.isEmpty() && n.ending == newline);
            const int key = oldKeys[i];
            if (endingKept && n.text == o.text) {
                ++i;
                continue;
            }
            if (endingKept && key >= 0 &&
                n.text == keyLine(*iniKey(o.text), values[size_t(key)])) {
                ++written[key];
                ++i;
                continue;
            }
        }
        bool addable = n.text.isEmpty() || n.text == QByteArrayView("[Options]");
        for (int k = 0; k < 7; ++k) {
            if (n.text == addedKeyLines[k] && newKeys[j] == k) {
                ++written[k];
                addable = true;
            }
        }
        // A lone CR before a lone LF would read back as one CR LF, so where the file's own line
        // end would run together with a neighbour's, an added line ends in CR LF.
        const bool joinsBefore = n.text.isEmpty() && newline.startsWith('\n') && j > 0 &&
                                 now[j - 1].ending == QByteArrayView("\r");
        const bool joinsAfter = newline.endsWith('\r') && j + 1 < now.size() &&
                                now[j + 1].text.isEmpty() && now[j + 1].ending.startsWith('\n');
        const QByteArrayView ending =
            joinsBefore || joinsAfter ? QByteArrayView("\r\n") : newline;
        if (!addable || n.ending != ending)
            return QStringLiteral("line %1 of the saved file, %2 ending %3, is neither a line of the "
                                  "file before nor one that saving adds (next line before: %4)")
                .arg(j + 1)
                .arg(shown(n.text), shown(n.ending),
                     i < old.size() ? shown(old[i].text) : text("none"));
        ++added;
    }
    if (i < old.size())
        return QStringLiteral("line %1 of the file before, %2, is gone or changed")
            .arg(i + 1)
            .arg(shown(old[i].text));
    if (added > 9)
        return QStringLiteral("saving added %1 lines").arg(added);

    // The first line of each key in section Options holds the value saved.
    for (int k = 0; k < 7; ++k) {
        if (written[k] > 1)
            return QStringLiteral("saving wrote %1 %2 times")
                .arg(text(kCommsSettingKeys[k]))
                .arg(written[k]);
        const qsizetype at = newKeys.indexOf(k);
        if (at < 0)
            return QStringLiteral("the saved file has no %1 in section Options")
                .arg(text(kCommsSettingKeys[k]));
        const QByteArrayView line = now[at].text;
        const QByteArrayView value = line.sliced(line.indexOf('=') + 1);
        if (value != QByteArray::number(values[size_t(k)]))
            return QStringLiteral("the saved file's %1 is %2, saved %3")
                .arg(text(kCommsSettingKeys[k]), shown(line))
                .arg(values[size_t(k)]);
    }
    return {};
}

} // namespace FuzzOracle

// ---------------------------------------------------------------------------------------------
// Checks

QString checkSerialStream(QByteArrayView input)
{
    InputBytes in(input);
    // Poll sizes, used in turn until the stream is used up; 0 is a poll that found nothing.
    QList<qsizetype> polls;
    for (int n = in.byte() % 8; n > 0; --n)
        polls.append(in.byte());
    const QByteArrayView stream = in.rest();

    // The connection drops NUL bytes before the framer sees them.
    const QByteArray clean = withoutNul(stream);
    const QList<QByteArray> expected = FuzzOracle::recordsOfStream(clean);

    const auto feed = [](RecordFramer& framer, QByteArrayView poll, QList<QByteArray>* records) {
        *records += poll.contains('\0') ? framer.feed(withoutNul(poll)) : framer.feed(poll);
        return framer.carried() <= RecordFramer::kMaxCarry;
    };

    // As the polls cut it.
    QList<QByteArray> got;
    {
        RecordFramer framer;
        qsizetype from = 0;
        qsizetype total = 0;
        for (const qsizetype size : polls)
            total += size;
        if (total == 0) {
            polls = {0, stream.size()};
        }
        for (qsizetype p = 0; from < stream.size() || p < polls.size(); ++p) {
            const qsizetype size = qMin(polls[p % polls.size()], stream.size() - from);
            if (!feed(framer, stream.sliced(from, size), &got))
                return QStringLiteral("the framer carries %1 bytes").arg(framer.carried());
            from += size;
        }
    }
    if (QString problem = compareRecordLists(expected, got, text("polls as planned"));
        !problem.isEmpty())
        return problem;

    // In one poll, and one byte per poll.
    QList<QByteArray> whole;
    {
        RecordFramer framer;
        feed(framer, stream, &whole);
    }
    if (QString problem = compareRecordLists(expected, whole, text("one poll")); !problem.isEmpty())
        return problem;
    QList<QByteArray> single;
    {
        RecordFramer framer;
        for (qsizetype i = 0; i < stream.size(); ++i) {
            if (!feed(framer, stream.sliced(i, 1), &single))
                return QStringLiteral("the framer carries %1 bytes").arg(framer.carried());
        }
    }
    if (QString problem = compareRecordLists(expected, single, text("a byte per poll"));
        !problem.isEmpty())
        return problem;

    // Every record handed out decodes, with its fields and units; and the decoder and the
    // framer's check agree with the record rule on every line, at every place.
    for (const QByteArray& record : got) {
        if (QString problem = decodingProblem(record); !problem.isEmpty())
            return problem;
    }
    if (QString problem = decodingProblem(clean); !problem.isEmpty())
        return problem;
    for (const QByteArrayView line : linesBetweenLineEnds(clean)) {
        if (QString problem = decodingProblem(line); !problem.isEmpty())
            return problem;
        for (qsizetype at = 0; at < line.size(); ++at) {
            if (isRawRecordAt(line.data() + at, line.size() - at) != recordShapeAt(line, at))
                return QStringLiteral("the framing check judges %1 wrongly")
                    .arg(shown(line.sliced(at)));
        }
    }
    return {};
}

QString checkReplayFile(QByteArrayView input)
{
    static ScratchFile scratch("replay.log", ScratchFile::OnlyWeWrite);
    InputBytes in(input);
    const quint8 flags = in.byte();
    const int hint = flags % 2 == 0 ? 5 : 4;

    QByteArray file;
    QList<WrittenLine> written;
    // Line feeds in the file so far, counted up to `counted`: the number of the next line.
    qsizetype lineCount = 0;
    qsizetype counted = 0;
    const auto recount = [&] {
        lineCount += countLineFeeds(QByteArrayView(file).sliced(counted));
        counted = file.size();
    };

    if (flags & 0x02) {
        written.append({WrittenLine::Header, lineCount, {}, {}});
        file += logHeaderLine();
    } else {
        appendRubbish(&file, in, false);
    }
    recount();
    static const char* const kWords[3] = {"m/s", "Knots", "mm/s"};
    if (const int units = (flags >> 2) % 4; units < 3) {
        written.append({WrittenLine::Units, lineCount, text(kWords[units]), {}});
        file += logUnitsLine(text(kWords[units]));
    }
    recount();

    while (!in.atEnd() && file.size() < kMaxReplayFile) {
        // Recorder lines and short rubbish; in some cases also long lines and runs of filler up
        // to the reader's buffer boundary, which make the file large and the case slow.
        const quint8 op = in.byte();
        const bool large = (flags & 0xc0) == 0xc0 && op % 16 >= 14;
        switch (large ? op % 16 : op % 3) {
        case 0:
        case 1: {
            WrittenLine w{WrittenLine::Record, lineCount, {}, recorderTexts(in)};
            written.append(w);
            file += logRecordLine(w.record.speed, w.record.bearing, w.record.dateTime);
            break;
        }
        case 2:
            appendRubbish(&file, in, true);
            break;
        case 14:
            appendLongLine(&file, in);
            break;
        default:
            padToReaderChunk(&file, in);
            break;
        }
        recount();
    }

    const QList<QByteArray> expected = FuzzOracle::replayLinesOf(file);
    if (!scratch.write(file))
        return QStringLiteral("cannot write the scratch file %1").arg(scratch.path());

    ReplayReader reader;
    QString error;
    if (!reader.open(scratch.path(), &error))
        return QStringLiteral("the replay reader cannot open its file: %1").arg(error);
    QList<QByteArray> got;
    while (!reader.atEnd()) {
        QByteArray line;
        if (!reader.readLine(&line, &error))
            return QStringLiteral("reading line %1 fails: %2").arg(got.size() + 1).arg(error);
        if (line.size() > ReplayReader::kMaxLineLength)
            return QStringLiteral("line %1 reads %2 bytes long").arg(got.size() + 1).arg(line.size());
        got.append(line);
        if (got.size() > expected.size())
            return QStringLiteral("the reader gives more lines than the file's %1: the extra one "
                                  "is %2")
                .arg(expected.size())
                .arg(shown(line));
    }
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (i >= got.size())
            return QStringLiteral("the reader ends after %1 of %2 lines").arg(got.size()).arg(expected.size());
        if (got[i] != expected[i])
            return QStringLiteral("line %1 reads as %2, the file holds %3")
                .arg(i + 1)
                .arg(shown(got[i]), shown(expected[i]));
    }
    QByteArray past = "x";
    if (!reader.readLine(&past, &error) || !past.isEmpty() || !reader.atEnd())
        return QStringLiteral("reading past the end gives %1").arg(shown(past));

    for (const WrittenLine& w : written) {
        if (QString problem = writtenLineProblem(w, got[w.index], hint); !problem.isEmpty())
            return problem;
    }
    // The other lines, rubbish among them.
    QList<bool> fromRecorder(got.size(), false);
    for (const WrittenLine& w : written)
        fromRecorder[w.index] = true;
    for (qsizetype i = 0; i < got.size(); ++i) {
        if (fromRecorder[i])
            continue;
        if (QString problem = rubbishLineProblem(got[i], hint); !problem.isEmpty())
            return problem;
    }
    return {};
}

QString checkSettingsFile(QByteArrayView input)
{
    InputBytes in(input);
    const quint8 flags = in.byte();
    std::array<qint32, 7> values;
    for (qint32& value : values) {
        const quint8 b = in.byte();
        value = b < 128 ? qint32(b) - 64 : qint32(in.word());
    }
    const QByteArrayView before = in.rest();

    IniFile ini{before.toByteArray()};
    for (int k = 0; k < 7; ++k)
        ini.setValue(QStringLiteral("Options"), text(kCommsSettingKeys[k]),
                     QString::number(values[size_t(k)]));
    const QByteArray after = ini.contents();
    if (QString problem = FuzzOracle::settingsChangeProblem(before, after, values);
        !problem.isEmpty())
        return problem;

    IniFile reread(after);
    for (int k = 0; k < 7; ++k) {
        const qint32 saved = values[size_t(k)];
        const qint32 loaded =
            reread.intValue(QStringLiteral("Options"), text(kCommsSettingKeys[k]), saved ^ 1);
        if (loaded != saved)
            return QStringLiteral("%1 saved as %2 loads as %3")
                .arg(text(kCommsSettingKeys[k]))
                .arg(saved)
                .arg(loaded);
    }

    // Saving the same values again changes nothing.
    for (int k = 0; k < 7; ++k)
        reread.setValue(QStringLiteral("Options"), text(kCommsSettingKeys[k]),
                        QString::number(values[size_t(k)]));
    if (reread.contents() != after)
        return QStringLiteral("saving the same values again turns %1 into %2")
            .arg(shown(after), shown(reread.contents()));

    // One case in 64 goes the whole way through the settings file on disk. Chosen by a hash of
    // the whole input rather than by a choice byte: the fuzzer keeps the cases that reach the
    // file code, and a choice byte would soon make them most of what it runs.
    if (fnv1a(input) % 64 == 0)
        return settingsThroughFileProblem(before, before.isEmpty() && (flags & 0x20) != 0, values, after);
    return {};
}
