#pragma once
// A line-preserving editor for the sectioned initialisation-file format of marvane.ini.
//
// Operators keep notes and their own [Ports] mapping in marvane.ini, and the file may have been
// written on another system with CR LF line ends. QSettings rewrites the whole file (dropping
// comments and reordering keys) and SimpleIni drops lines it cannot parse, so neither keeps the
// promise that saving the options leaves every other byte of the file as it was. This small
// editor reads the file as lines and changes only the lines of the keys it writes.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class IniFile
{
public:
    // Parses the bytes of a whole file. Never fails: lines it does not understand are kept as
    // they are and simply hold no key.
    explicit IniFile(const QByteArray& contents = {});

    // Value of a key, section and key names compared byte for byte, ASCII letters without
    // regard to case (a name with a look-alike letter or an invisible mark in it is another
    // name); the text after the first '=' with surrounding blanks removed; nullopt when the
    // section or key is missing.
    // Lines before the first section belong to none. A section named twice counts as one: the
    // first occurrence of the key in file order is the one read and written.
    std::optional<QString> value(const QString& section, const QString& key) const;

    // Integer value of a key: decimal with an optional sign, or hexadecimal with a leading
    // "0x" or "$" (also after a sign). The whole value must be the number and it must fit in a
    // signed 32-bit integer; a missing key, rubbish such as "12abc", or a value out of range
    // gives the default.
    qint32 intValue(const QString& section, const QString& key, qint32 defaultValue) const;

    // Replaces the line of an existing key in place (the first one, if a key is repeated) by
    // "<key as spelled in the file>=<value>" (its line end kept), adds a missing key at the end
    // of its section (after the last key line of its first block), or adds the section at the end
    // of the file after a blank line. New lines take the file's own line-end style (that of its
    // first line; for a file without any, CR LF on Windows and LF elsewhere), or CR LF where
    // that style would run together with a neighbouring lone CR or LF.
    void setValue(const QString& section, const QString& key, const QString& value);

    // The file's bytes; every line not touched by setValue is returned exactly as read.
    QByteArray contents() const;

private:
    struct Line
    {
        QByteArray text;   // without its line end
        QByteArray ending; // "\r\n", "\n", "\r" or empty for a last line without one
        bool added = false; // added by setValue, not read from the file
    };
    // Index of the line holding a key, first occurrence in file order.
    std::optional<qsizetype> findKey(const QString& section, const QString& key) const;
    // Inserts a line with the file's line end, giving the line before it one if it had none.
    void insertLine(qsizetype position, const QByteArray& text);
    // The line end written after a line: its own, unless an added line's would run together
    // with a neighbour's.
    QByteArray endingWritten(qsizetype index) const;

    QList<Line> m_lines;
    QByteArray m_newline = "\n"; // line end for added lines
    QByteArray m_bom;            // UTF-8 byte order mark the file started with, if any
};
