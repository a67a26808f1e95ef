#include "logformat/LogLineScanner.h"

#include <algorithm>
#include <cstring>

void LogLineScanner::reset(qint64 offset, bool skipping, qint64 lineStart)
{
    m_buffer.clear();
    m_pos = 0;
    m_scanned = 0;
    m_base = offset;
    m_skipping = skipping;
    m_skipStart = lineStart;
}

char* LogLineScanner::space(qsizetype size)
{
    // Lines given out are dropped before more bytes come: only an unfinished line is kept.
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_base += m_pos;
        m_pos = 0;
    }
    m_open = m_buffer.size();
    m_buffer.resize(m_open + size);
    return m_buffer.data() + m_open;
}

void LogLineScanner::commit(qsizetype filled)
{
    m_buffer.resize(m_open + std::max<qsizetype>(filled, 0));
    m_open = -1;
}

void LogLineScanner::append(QByteArrayView bytes)
{
    char* at = space(bytes.size());
    if (!bytes.isEmpty())
        std::memcpy(at, bytes.data(), size_t(bytes.size()));
    commit(bytes.size());
}

bool LogLineScanner::hasLineEnd() const
{
    return std::memchr(m_buffer.constData() + m_pos, '\n', size_t(pending())) != nullptr;
}

bool LogLineScanner::next(Line* line)
{
    const char* const base = m_buffer.constData();
    if (m_skipping) {
        const void* lf = std::memchr(base + m_pos, '\n', size_t(pending()));
        if (!lf) {
            m_pos = m_buffer.size();
            m_scanned = 0;
            return false;
        }
        m_pos = static_cast<const char*>(lf) - base + 1;
        m_scanned = 0;
        m_skipping = false;
        *line = Line{QByteArrayView(), m_skipStart, Kind::CutEnd, true};
        return true;
    }
    const void* found = std::memchr(base + m_pos + m_scanned, '\n', size_t(pending() - m_scanned));
    if (found) {
        const qsizetype lf = static_cast<const char*>(found) - base;
        qsizetype length = lf - m_pos;
        if (length > 0 && base[lf - 1] == '\r')
            --length;
        const bool cut = length > kMaxLineLength;
        *line = Line{QByteArrayView(base + m_pos, cut ? kMaxLineLength : length), m_base + m_pos,
                     Kind::Whole, cut};
        m_pos = lf + 1;
        m_scanned = 0;
        return true;
    }
    if (pending() >= kMaxLineLength + 2) {
        // No line end within the longest line and its CR LF: too long to be a record.
        m_skipStart = m_base + m_pos;
        *line =
            Line{QByteArrayView(base + m_pos, kMaxLineLength), m_skipStart, Kind::CutHead, true};
        m_pos += kMaxLineLength;
        m_scanned = 0;
        m_skipping = true;
        return true;
    }
    m_scanned = pending();
    return false;
}

bool LogLineScanner::takeLast(Line* line)
{
    if (m_skipping || pending() == 0)
        return false;
    const char* const base = m_buffer.constData();
    qsizetype length = pending();
    if (base[m_buffer.size() - 1] == '\r')
        --length;
    const bool cut = length > kMaxLineLength;
    *line = Line{QByteArrayView(base + m_pos, cut ? kMaxLineLength : length), m_base + m_pos,
                 Kind::Whole, cut};
    m_pos = m_buffer.size();
    m_scanned = 0;
    return true;
}
