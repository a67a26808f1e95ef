#pragma once
// Turns the serial byte stream, as it arrives poll by poll, into record texts for the decoder.
//
// A poll returns whatever bytes are waiting: part of a record, one record, or several. Records are
// separated by line ends (CR, LF). Every record that arrives is handed out exactly once and in
// arrival order: a record cut by a poll is completed by the next one, several records in one poll
// come out one by one, and noise or a partial fragment before a record on the same line does not
// hide it. A record whose 13 characters are all there is handed out at once, even before its line
// end arrives, so a poll bringing exactly one record behaves as if the text were decoded whole.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class RecordFramer
{
public:
    // Bytes carried over between polls are kept under this bound: a longer run without a line
    // end keeps only its last bytes (a record can still start there).
    static constexpr qsizetype kMaxCarry = 256;

    // Feeds one poll's bytes (NUL bytes already removed); returns the record texts to decode, in
    // order. Each returned text is exactly one valid 13-character record: what followed it on
    // its line is not part of it, so the result is the same however the polls cut the stream.
    QList<QByteArray> feed(QByteArrayView bytes);

    // Forgets any carried fragment (a new connection).
    void reset();

    qsizetype carried() const { return m_carry.size(); }

private:
    QByteArray m_carry;
    bool m_lineConsumed = false; // the current line's record was already handed out
};
