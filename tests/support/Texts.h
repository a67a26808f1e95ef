#pragma once
// Lists of texts written as plain literals in test tables.

#include <QStringList>

#include <initializer_list>

inline QStringList texts(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out << QString::fromLatin1(item);
    return out;
}
