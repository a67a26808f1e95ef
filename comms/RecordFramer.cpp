#include "comms/RecordFramer.h"

#include "processing/RawRecord.h"

namespace {

constexpr qsizetype kRecordLength = 13;

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

// The stream is read as lines. Within the current line the framer slides a 13-byte window along
// the bytes and hands out the first window that has the record shape, at the moment its last
// byte arrives. Because each window is judged only on its own 13 bytes, and windows are judged
// in order of their start, the record found is the same however the line was cut into polls:
// the first place in the whole line where a record starts. Everything before the window's start
// has already been judged and can be forgotten, so at most 12 bytes are ever carried.
QList<QByteArray> RecordFramer::feed(QByteArrayView bytes)
{
    QList<QByteArray> records;
    for (const char c : bytes) {
        if (isLineEnd(c)) {
            m_carry.clear();
            m_lineConsumed = false;
            continue;
        }
        // The sensor ends each record with CR LF; whatever follows a record on its line (a
        // glued second record, noise) is ignored, as the decoder would ignore it.
        if (m_lineConsumed)
            continue;
        m_carry.append(c);
        if (m_carry.size() < kRecordLength)
            continue;
        if (isRawRecordAt(m_carry.constData(), m_carry.size())) {
            records.append(m_carry);
            m_carry.clear();
            m_lineConsumed = true;
        } else {
            m_carry.remove(0, 1);
        }
    }
    Q_ASSERT(m_carry.size() < kRecordLength && m_carry.size() <= kMaxCarry);
    return records;
}

void RecordFramer::reset()
{
    m_carry.clear();
    m_lineConsumed = false;
}
