#pragma once
// Checks of every reader of outside input, for the fuzz targets and the corpus test.
//
// Each check takes arbitrary bytes, builds from them what the outside world could hand the
// program (serial polls, a log file, a settings file), runs the program's reader over it and
// holds the result against an independent statement of the reader's rules. A check returns an
// empty string when every rule holds, else a description of the first one that does not.
//
// The rules are stated again here, small and on their own, rather than by calling the code under
// test twice: a fault in the reader then cannot hide behind the same fault in the oracle.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>

// Serial byte stream through framing and decoding. The first input byte says how many of the
// following bytes give the sizes of the polls; the rest is the stream. Each ended line's record
// (see FuzzOracle::recordsOfStream) is handed out exactly once and in order, whatever the polls,
// and nothing else is; every handed-out text decodes with the right fields and units.
QString checkSerialStream(QByteArrayView input);

// A log file read back for replay. The input says which lines are lines the recorder could have
// written (header, units, records of every speed form) and which are rubbish; the file is read
// through the replay reader. Every line comes back as the file holds it (within the line length
// cap), recorder lines give back exactly the texts they were written from, rubbish never breaks
// the reader, and the reader reaches the end.
QString checkReplayFile(QByteArrayView input);

// The settings file written and read again. The input gives the seven values and the file as it
// was before. After saving, loading gives the saved values, and every line that is not one of
// the seven keys is still there unchanged and in its place.
QString checkSettingsFile(QByteArrayView input);

// The independent statements the checks use, open to the corpus test so that it can show that
// they are right and that the checks reject what breaks the rules.
namespace FuzzOracle {

// The records in a stream (NUL bytes already removed): each line ended by CR or LF gives its first
// 13 bytes when they have the record shape, whatever follows them, and nothing otherwise; a line
// that has no line end yet gives nothing.
QList<QByteArray> recordsOfStream(QByteArrayView stream);

// The lines the replay reader gives for a whole file: text between LF, without a CR right before
// the LF or the end of the file, cut to the reader's maximum line length. A file ending in LF
// has no empty line after it.
QList<QByteArray> replayLinesOf(QByteArrayView file);

// Judges a settings file after saving against the file before: empty when the only differences
// are the lines of the seven keys (keys in section Options, their line rewritten as key=value
// with the key as spelled in the file and its line end kept) and added lines (the Options
// section, a blank line before it, keys), and when the first line of each key in section Options
// holds exactly the value saved; else what is wrong.
QString settingsChangeProblem(QByteArrayView before, QByteArrayView after,
                              const std::array<qint32, 7>& values);

} // namespace FuzzOracle
