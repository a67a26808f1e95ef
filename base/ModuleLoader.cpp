#include "base/ModuleLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

QString moduleFolder()
{
    // Without an application object (a library call made before one exists) the executable is
    // read from the kernel, as QCoreApplication itself does on Linux.
    const QString programFolder =
        QCoreApplication::instance()
            ? QCoreApplication::applicationDirPath()
            : QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    return QDir::cleanPath(programFolder + QLatin1Char('/') +
                           QStringLiteral(MARVANE_MODULE_DIR_FROM_PROGRAM));
}

QFunctionPointer moduleEntry(const QString& folder, const QString& fileName, const char* entry,
                             QString* reason)
{
    const QString path = QDir(folder).filePath(fileName);
    QString why;
    QFunctionPointer function = nullptr;
    if (!QFileInfo(path).isFile()) {
        why = QStringLiteral("%1 is missing").arg(QDir::toNativeSeparators(path));
    } else {
        QLibrary library(path);
        if (!library.load()) {
            why = library.errorString();
        } else if (!(function = library.resolve(entry))) {
            why = QStringLiteral("%1 is not a module of this version of the program (it lacks %2)")
                      .arg(QDir::toNativeSeparators(path), QString::fromLatin1(entry));
            library.unload();
        }
    }
    if (reason)
        *reason = why;
    return function;
}
