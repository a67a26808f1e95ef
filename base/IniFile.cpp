#include "base/IniFile.h"

#include <limits>

// Rules of this editor, where the format leaves room:
// - Section and key names are compared byte for byte, ASCII letters without regard to case.
//   Blanks around names (spaces, tabs) are not part of them.
// - A section runs from its "[Name]" line to the next section line. Lines before the first
//   section belong to none and are never read or written as keys. A section name that appears
//   twice is one section: a key is looked up in its blocks in file order, the first occurrence
//   wins, and a key that is missing everywhere goes to the first block.
// - A key line is any line with a non-empty name before its first '=' that is not a comment
//   (first non-blank character ';' or '#') or a section line. Everything else is kept as it is.
// - Writing an existing key turns its line into "<key as spelled in the file>=<value>" and keeps
//   the line's own line end; indentation and blanks around '=' are not kept.
// - New lines (keys, sections) end with the file's line end: that of its first line, or for a
//   file without any line end the platform's own (CR LF on Windows, LF elsewhere). A last line
//   without a line end gets one only when a line is added after it. Where that line end would
//   run together with a neighbour's into one CR LF (a lone CR before a lone LF), the new line
//   ends in CR LF.
// - A new section is added at the end of the file, after one blank line unless the file is
//   empty or already ends with a blank line.
// - A UTF-8 byte order mark at the start of the file is kept.

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

#ifdef Q_OS_WIN
const QByteArray kPlatformNewline("\r\n");
#else
const QByteArray kPlatformNewline("\n");
#endif

bool isComment(QByteArrayView trimmed)
{
    return trimmed.startsWith(';') || trimmed.startsWith('#');
}

// Name of the section a line opens, or nullopt when it is not a section line.
std::optional<QByteArrayView> sectionName(QByteArrayView text)
{
    const QByteArrayView trimmed = text.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmed.sliced(1, close - 1).trimmed();
}

// Name of the key a line holds, as spelled in the file, or nullopt when it holds no key.
std::optional<QByteArrayView> keyName(QByteArrayView text)
{
    const QByteArrayView trimmed = text.trimmed();
    if (trimmed.isEmpty() || isComment(trimmed) || sectionName(text))
        return std::nullopt;
    const qsizetype eq = text.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    const QByteArrayView key = text.first(eq).trimmed();
    if (key.isEmpty())
        return std::nullopt;
    return key;
}

// Names are compared as bytes, ASCII letters without regard to case. The names looked up are
// ASCII; a name that only decodes to the same text (a byte order mark or another invisible mark
// in it, a letter that folds to an ASCII one, such as the long s) is another name, so saving
// never rewrites a line the operator wrote for something else.
bool sameName(QByteArrayView a, QByteArrayView b)
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

// Value of an ASCII digit in base 10 or 16, or -1.
int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int digit = -1;
    if (u >= u'0' && u <= u'9')
        digit = u - u'0';
    else if (u >= u'a' && u <= u'f')
        digit = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        digit = u - u'A' + 10;
    return digit < base ? digit : -1;
}

// Digits into a magnitude; nullopt for anything but digits, or for a number far beyond 32 bits.
std::optional<quint64> parseMagnitude(QStringView digits, int base)
{
    if (digits.isEmpty())
        return std::nullopt;
    quint64 magnitude = 0;
    for (const QChar c : digits) {
        const int digit = digitValue(c, base);
        if (digit < 0)
            return std::nullopt;
        // Anything beyond 2^32 is out of range anyway; stop long before the magnitude overflows.
        if (magnitude > (quint64(1) << 40))
            return std::nullopt;
        magnitude = magnitude * quint64(base) + quint64(digit);
    }
    return magnitude;
}

// The whole text must be one integer: an optional sign, then decimal digits or "0x"/"0X"/"$"
// and hexadecimal digits. The signed value must fit in 32 bits.
std::optional<qint32> parseInteger(QStringView text)
{
    bool negative = false;
    if (text.startsWith(u'-') || text.startsWith(u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    std::optional<quint64> magnitude;
    if (text.startsWith(u"0x", Qt::CaseInsensitive))
        magnitude = parseMagnitude(text.mid(2), 16);
    else if (text.startsWith(u'$'))
        magnitude = parseMagnitude(text.mid(1), 16);
    else
        magnitude = parseMagnitude(text, 10);
    if (!magnitude)
        return std::nullopt;
    const qint64 value = negative ? -qint64(*magnitude) : qint64(*magnitude);
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

} // namespace

IniFile::IniFile(const QByteArray& contents)
{
    QByteArray rest = contents;
    if (rest.startsWith(kBom)) {
        m_bom = kBom;
        rest = rest.mid(kBom.size());
    }
    bool newlineKnown = false;
    qsizetype start = 0;
    while (start < rest.size()) {
        qsizetype end = start;
        while (end < rest.size() && rest[end] != '\n' && rest[end] != '\r')
            ++end;
        Line line{rest.mid(start, end - start), {}};
        if (end < rest.size()) {
            const bool crlf = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n';
            line.ending = rest.mid(end, crlf ? 2 : 1);
        }
        if (!newlineKnown && !line.ending.isEmpty()) {
            m_newline = line.ending;
            newlineKnown = true;
        }
        start = end + line.ending.size();
        m_lines.append(line);
    }
    if (!newlineKnown)
        m_newline = kPlatformNewline;
}

std::optional<qsizetype> IniFile::findKey(const QString& section, const QString& key) const
{
    const QByteArray sectionBytes = section.toUtf8();
    const QByteArray keyBytes = key.toUtf8();
    bool inSection = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QByteArray& text = m_lines[i].text;
        if (const auto name = sectionName(text)) {
            inSection = sameName(*name, sectionBytes);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto name = keyName(text); name && sameName(*name, keyBytes))
            return i;
    }
    return std::nullopt;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const
{
    const auto index = findKey(section, key);
    if (!index)
        return std::nullopt;
    const QByteArray& text = m_lines[*index].text;
    return QString::fromUtf8(text.mid(text.indexOf('=') + 1)).trimmed();
}

qint32 IniFile::intValue(const QString& section, const QString& key, qint32 defaultValue) const
{
    const auto text = value(section, key);
    if (!text)
        return defaultValue;
    return parseInteger(*text).value_or(defaultValue);
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    const QByteArray encodedValue = value.toUtf8();
    if (const auto index = findKey(section, key)) {
        Line& line = m_lines[*index];
        line.text = keyName(line.text)->toByteArray() + '=' + encodedValue;
        return;
    }

    const QByteArray newLine = key.toUtf8() + '=' + encodedValue;

    // After the last key line of the section's first block, or right after its header.
    const QByteArray sectionBytes = section.toUtf8();
    std::optional<qsizetype> insertAfter;
    bool inFirstBlock = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QByteArray& text = m_lines[i].text;
        if (const auto name = sectionName(text)) {
            if (inFirstBlock)
                break;
            if (sameName(*name, sectionBytes)) {
                inFirstBlock = true;
                insertAfter = i;
            }
            continue;
        }
        if (inFirstBlock && keyName(text))
            insertAfter = i;
    }

    if (insertAfter) {
        insertLine(*insertAfter + 1, newLine);
        return;
    }

    if (!m_lines.isEmpty() && !m_lines.last().text.trimmed().isEmpty())
        insertLine(m_lines.size(), {});
    insertLine(m_lines.size(), '[' + sectionBytes + ']');
    insertLine(m_lines.size(), newLine);
}

void IniFile::insertLine(qsizetype position, const QByteArray& text)
{
    if (position > 0 && m_lines[position - 1].ending.isEmpty())
        m_lines[position - 1].ending = m_newline;
    m_lines.insert(position, Line{text, m_newline, true});
}

QByteArray IniFile::endingWritten(qsizetype index) const
{
    const Line& line = m_lines[index];
    if (!line.added)
        return line.ending;
    // In a file that mixes line ends, a lone CR followed by a lone LF reads back as one CR LF:
    // an added blank line would vanish into the CR of the line before it, or an added line would
    // swallow the LF of a blank line after it. Such an added line ends in CR LF instead, so that
    // the lines around it read back as they were. Judged on the finished file, because later
    // additions change an added line's neighbours.
    const bool joinsBefore = line.text.isEmpty() && line.ending.startsWith('\n') && index > 0 &&
                             m_lines[index - 1].ending == "\r";
    const bool joinsAfter = line.ending.endsWith('\r') && index + 1 < m_lines.size() &&
                            m_lines[index + 1].text.isEmpty() &&
                            m_lines[index + 1].ending.startsWith('\n');
    return joinsBefore || joinsAfter ? QByteArray("\r\n") : line.ending;
}

QByteArray IniFile::contents() const
{
    QByteArray bytes = m_bom;
    for (qsizetype i = 0; i < m_lines.size(); ++i)
        bytes += m_lines[i].text + endingWritten(i);
    return bytes;
}
