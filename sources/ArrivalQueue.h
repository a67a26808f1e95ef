#pragma once
// The records of a byte stream between their arrival and their hand-out: the stream is framed
// into records as its bytes come in, each record stamped with the time its line end was read,
// and kept until the source hands them out together. Shared by the sources that read a byte
// stream (the serial port, a network connection), so that both frame and stamp alike.

#include "sources/RecordFramer.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

class ArrivalQueue
{
public:
    // Frames bytes that have just been read; the records they complete are stamped with nowMs.
    void arrive(const QByteArray& bytes, qint64 nowMs);
    bool isEmpty() const { return m_records.isEmpty(); }
    int size() const { return int(m_records.size()); }
    // Hands out every waiting record and its time, in arrival order, and forgets them.
    void take(QList<QByteArray>* records, QList<qint64>* arrivalMs);
    // Drops the waiting records (a source closed).
    void clear();
    // Forgets a line in progress: what a line brings after a loss must not complete a record
    // begun before it.
    void breakLine() { m_framer.reset(); }

    const RecordFramer& framer() const { return m_framer; }

private:
    RecordFramer m_framer;
    QList<QByteArray> m_records;
    QList<qint64> m_times;
};
