#include "comms/RecordFramer.h"

#include "processing/RawRecord.h"

namespace {

constexpr qsizetype kRecordLength = 13;

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isRecord(const QByteArray& bytes)
{
    return bytes.size() == kRecordLength && isRawRecordAt(bytes.constData(), bytes.size());
}

} // namespace

// Only three pieces of a line can matter when its end arrives: its first 13 bytes, its last 13
// bytes and the first record anywhere in it. The last 13 bytes are a window sliding along the
// line; the first time that window has the record shape it is kept as the first record. So a
// line of any length is judged from at most 39 carried bytes, and each byte is looked at the same
// way whichever poll brought it.
QList<QByteArray> RecordFramer::feed(QByteArrayView bytes)
{
    QList<QByteArray> records;
    for (const char c : bytes) {
        if (isLineEnd(c)) {
            endLine(&records);
            continue;
        }
        ++m_lineLength;
        if (m_head.size() < kRecordLength)
            m_head.append(c);
        if (m_tail.size() == kRecordLength)
            m_tail.remove(0, 1);
        m_tail.append(c);
        if (m_first.isEmpty() && isRecord(m_tail))
            m_first = m_tail;
    }
    Q_ASSERT(carried() <= kMaxCarry);
    return records;
}

void RecordFramer::endLine(QList<QByteArray>* records)
{
    QByteArray record;
    if (m_lineLength > kRecordLength && isRecord(m_tail))
        record = m_tail; // noise or a cut record before a whole one
    else if (isRecord(m_head))
        record = m_head; // a record with trailing characters on its line
    else
        record = m_first;
    m_noiseBytes += m_lineLength - record.size();
    if (!record.isEmpty())
        records->append(record);
    reset();
}

void RecordFramer::reset()
{
    m_head.clear();
    m_first.clear();
    m_tail.clear();
    m_lineLength = 0;
}
