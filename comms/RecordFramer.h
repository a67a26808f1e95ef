#pragma once
// Turns the serial byte stream, as it arrives poll by poll, into record texts for the decoder.
//
// A poll returns whatever bytes are waiting: part of a record, one record, or several. The
// sensor ends every record with CR LF, so the stream is read as lines (text between CR or LF),
// and a line's record is decided when its line end arrives, never earlier: until then a
// fragment at the start of the line could still turn out to be the head of a record cut by a
// connection that started mid-record or by line noise. When the line end arrives:
//   1. if the line is longer than 13 characters and its last 13 characters have the record
//      shape, those are the record (what came before them is noise);
//   2. otherwise, if its first 13 characters have the record shape, those are the record (a
//      record followed by trailing characters on its line);
//   3. otherwise the first 13 characters anywhere in the line that have the record shape;
//   4. otherwise the line gives nothing.
// At most one record comes out per line, in arrival order, and the result is the same however
// the polls cut the stream. A line with no line end yet gives nothing until its line end comes.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class RecordFramer
{
public:
    // Bytes carried over between polls stay within this bound however long a line runs: the
    // line's first 13 bytes, the first record found in it and its last 13 bytes.
    static constexpr qsizetype kMaxCarry = 3 * 13;

    // Feeds one poll's bytes (NUL bytes already removed); returns the record texts to decode, in
    // order. Each returned text is exactly one valid 13-character record.
    QList<QByteArray> feed(QByteArrayView bytes);

    // Forgets the line in progress (a new connection).
    void reset();

    qsizetype carried() const { return m_head.size() + m_first.size() + m_tail.size(); }

    // Bytes of ended lines that did not become part of a record (line ends not counted): noise,
    // fragments, and whatever a line held besides its record.
    qint64 noiseBytes() const { return m_noiseBytes; }

private:
    void endLine(QList<QByteArray>* records);

    QByteArray m_head;  // the current line's first bytes, up to 13
    QByteArray m_first; // the first record found in the current line, if any
    QByteArray m_tail;  // the current line's last bytes, up to 13
    qint64 m_lineLength = 0;
    qint64 m_noiseBytes = 0;
};
