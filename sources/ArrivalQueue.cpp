#include "sources/ArrivalQueue.h"

#include <utility>

void ArrivalQueue::arrive(const QByteArray& bytes, qint64 nowMs)
{
    if (bytes.isEmpty())
        return;
    const QList<QByteArray> records = m_framer.feed(bytes);
    if (records.isEmpty())
        return;
    // One time for every record these bytes completed: their line ends were read together.
    m_records += records;
    m_times.insert(m_times.size(), records.size(), nowMs);
}

void ArrivalQueue::take(QList<QByteArray>* records, QList<qint64>* arrivalMs)
{
    *records = std::exchange(m_records, {});
    *arrivalMs = std::exchange(m_times, {});
}

void ArrivalQueue::clear()
{
    m_records.clear();
    m_times.clear();
}
