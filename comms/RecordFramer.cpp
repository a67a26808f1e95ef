#include "sources/RecordFramer.h"

#include "sensor/RawRecord.h"

namespace {

constexpr qsizetype kRecordLength = 13;

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

// Only a line's first 13 bytes can matter, so they are all that is kept of it: a line of any
// length is judged from at most 13 carried bytes, and each byte is looked at the same way
// whichever poll brought it.
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
    }
    Q_ASSERT(carried() <= kMaxCarry);
    return records;
}

void RecordFramer::endLine(QList<QByteArray>* records)
{
    const bool record =
        m_head.size() == kRecordLength && isRawRecordAt(m_head.constData(), m_head.size());
    m_noiseBytes += m_lineLength - (record ? kRecordLength : 0);
    if (record)
        records->append(m_head);
    reset();
}

void RecordFramer::reset()
{
    m_head.clear();
    m_lineLength = 0;
}
