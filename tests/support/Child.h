#pragma once
// A window's element by its object name; the test stops when there is none.

#include <QObject>
#include <QString>

template <typename T> T* child(const QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no element named %s", name);
    return found;
}
