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

    // Value of a key, section and key names compared without regard to case; the text after
    // the first '=' with surrounding blanks removed. Empty when the section or key is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;

    // Integer value of a key: decimal with an optional sign, or hexadecimal with a leading
    // "0x" or "$". A missing key or rubbish gives the default.
    qint32 intValue(const QString& section, const QString& key, qint32 defaultValue) const;

    // Replaces the line of an existing key in place (the first one, if a key is repeated),
    // adds a missing key at the end of its section (after its last key line), or adds the
    // section at the end of the file. New lines take the file's own line-end style.
    void setValue(const QString& section, const QString& key, const QString& value);

    // The file's bytes; every line not touched by setValue is returned exactly as read.
    QByteArray contents() const;

private:
    struct Line
    {
        QByteArray text;   // without its line end
        QByteArray ending; // "\r\n", "\n", "\r" or empty for a last line without one
    };
    QList<Line> m_lines;
    QByteArray m_newline = "\n";
};
