#pragma once
// Cuts the lines of a log file out of a byte stream, for the replay reader, the index and its
// background pass alike. Bytes go in as they are read (append, or space and commit to read
// straight into the scanner); lines come out as views into its buffer, valid until the next
// append or space.
//
// LF ends a line and a CR right before it is dropped; a CR anywhere else stays part of the line.
// A line is cut at kMaxLineLength bytes: a longer one is a bad line whatever it holds. When no
// line end has come within kMaxLineLength + 2 bytes (the longest line, CR and LF), the line's
// first kMaxLineLength bytes come out at once (CutHead) and the rest is passed over as it
// arrives, never held; its line end comes out as CutEnd (no text, the line's offset), so a
// reader that counts lines counts it once its end has come. The unended rest at the end of the
// stream (a line a recording is still writing, or one a crash cut short) waits for more bytes;
// takeLast gives it out when the stream has ended for good.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

class LogLineScanner
{
public:
    static constexpr qsizetype kMaxLineLength = 4096;

    enum class Kind
    {
        Whole,   // a line with its line end (text cut at kMaxLineLength when longer: cut is true)
        CutHead, // the first kMaxLineLength bytes of a line whose end has not come yet
        CutEnd,  // the end of that line has come: no text
    };
    struct Line
    {
        QByteArrayView text;
        qint64 offset = 0; // where the line starts in the stream
        Kind kind = Kind::Whole;
        bool cut = false; // longer than kMaxLineLength
    };

    // The stream starts at byte offset (a line's start), or inside the rest of an overlong line
    // that started at lineStart when skipping.
    explicit LogLineScanner(qint64 offset = 0) { reset(offset); }
    void reset(qint64 offset, bool skipping = false, qint64 lineStart = 0);

    void append(QByteArrayView bytes);
    // Room for size more bytes at the end of the buffer; commit, before anything else, says how
    // many were filled.
    char* space(qsizetype size);
    void commit(qsizetype filled);

    // The next line, or false when more bytes are needed first.
    bool next(Line* line);
    // At the end of the stream: the unended rest as the last line (less a CR at its very end);
    // false when there is none or an overlong line is being passed over.
    bool takeLast(Line* line);

    // Bytes of the stream not given out as lines yet.
    qsizetype pending() const { return m_buffer.size() - m_pos; }
    // A line end is among them.
    bool hasLineEnd() const;
    // The rest of an overlong line is being passed over.
    bool skipping() const { return m_skipping; }
    qint64 skipLineStart() const { return m_skipStart; }
    // Stream offset of the first byte not given out: the start of the next line unless skipping.
    qint64 offset() const { return m_base + m_pos; }

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;     // first byte not given out
    qsizetype m_scanned = 0; // bytes from m_pos on known to hold no LF
    qint64 m_base = 0;       // stream offset of m_buffer[0]
    qsizetype m_open = -1;   // where the room given by space starts, until commit
    bool m_skipping = false;
    qint64 m_skipStart = 0;
};
