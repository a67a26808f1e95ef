#pragma once
// Turns the serial byte stream, as it arrives poll by poll, into record texts for the decoder.
//
// A poll returns whatever bytes are waiting: part of a record, one record, or several. The
// sensor ends every record with CR LF, so the stream is read as lines (text between CR or LF).
// A line is a record when its first 13 characters have the record shape; whatever follows them
// on the line (the line end's other half, a field some sensors append, a second record) is
// ignored, and a line that does not start with a record gives nothing, whatever it holds
// further on. So a sensor that appends a signed field is always decoded from its own X and Y,
// and a line that starts with noise or with the tail of a record cut short is dropped whole.
//
// A line's record is handed on when its line end arrives, never earlier: a record is stamped
// with the time its line ended, and a line without its end gives nothing until it ends. At most
// one record comes out per line, in arrival order, and the result is the same however the polls
// cut the stream.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class RecordFramer
{
public:
    // Bytes carried over between polls stay within this bound however long a line runs: the
    // line's first 13 bytes.
    static constexpr qsizetype kMaxCarry = 13;

    // Feeds one poll's bytes (NUL bytes already removed); returns the record texts to decode, in
    // order. Each returned text is exactly one valid 13-character record.
    QList<QByteArray> feed(QByteArrayView bytes);

    // Forgets the line in progress (a new connection).
    void reset();

    qsizetype carried() const { return m_head.size(); }

    // Bytes of ended lines that did not become part of a record (line ends not counted): noise,
    // fragments, and whatever a line held after its record.
    qint64 noiseBytes() const { return m_noiseBytes; }

private:
    void endLine(QList<QByteArray>* records);

    QByteArray m_head; // the current line's first bytes, up to 13
    qint64 m_lineLength = 0;
    qint64 m_noiseBytes = 0;
};
