#include "app/MarCommon.h"

#include "app/IniFile.h"
#include "app/MarvaneError.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

namespace {

const QString kOptionsSection = QStringLiteral("Options");

// The fields of CommsSettings in the order of kCommsSettingKeys, which is also file order.
qint32 CommsSettings::*const kFields[7] = {
    &CommsSettings::ScrollDirection, &CommsSettings::CommPort, &CommsSettings::Orientation,
    &CommsSettings::BaudRate,        &CommsSettings::DataBits, &CommsSettings::Parity,
    &CommsSettings::StopBits};

[[noreturn]] void throwUnableToWrite(const QString& settingsPath)
{
    throw MarvaneError(
        QStringLiteral("Unable to write to %1.").arg(QFileInfo(settingsPath).absoluteFilePath()));
}

} // namespace

QString defaultSettingsFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/marvane.ini");
}

CommsSettings LoadSettings(const QString& settingsPath)
{
    // Opened and released on every call: an operator may edit the file while the program runs.
    QByteArray bytes;
    QFile file(settingsPath);
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    const IniFile ini(bytes);

    CommsSettings settings;
    const CommsSettings defaults;
    for (int i = 0; i < 7; ++i) {
        settings.*kFields[i] = ini.intValue(
            kOptionsSection, QString::fromLatin1(kCommsSettingKeys[i]), defaults.*kFields[i]);
    }
    return settings;
}

void SaveSettings(const QString& settingsPath, const CommsSettings& settings)
{
    // The rest of the file (comments, the [Ports] mapping) must survive, so an existing file
    // that cannot be read is not overwritten.
    QByteArray bytes;
    QFile existing(settingsPath);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            throwUnableToWrite(settingsPath);
        bytes = existing.readAll();
        existing.close();
    }

    IniFile ini(bytes);
    for (int i = 0; i < 7; ++i) {
        ini.setValue(kOptionsSection, QString::fromLatin1(kCommsSettingKeys[i]),
                     QString::number(settings.*kFields[i]));
    }

    // QSaveFile writes a temporary file beside the target and renames it over the target only
    // when everything was written, so a full disk never leaves half a settings file. It follows
    // a symlinked marvane.ini to its target and gives the new file the old one's permissions.
    // Where the directory itself is not writable but the file is, it writes the file in place.
    QSaveFile file(settingsPath);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throwUnableToWrite(settingsPath);
    const QByteArray out = ini.contents();
    if (file.write(out) != out.size() || !file.commit())
        throwUnableToWrite(settingsPath);
}

void waitProcessingEvents(int ms)
{
    if (ms == 0)
        return;

    // A monotonic clock: neither a wrap nor a change of the wall clock shortens or lengthens a
    // wait.
    QElapsedTimer elapsed;
    elapsed.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);

    // Between events the thread sleeps in the dispatcher; the single-shot timer wakes it at the
    // deadline. A handler run in here may wait in turn: its wait ends before this one can, and
    // this one still lasts its own time.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const qint64 remaining = qint64(ms) - elapsed.elapsed();
        if (remaining <= 0)
            return;
        wake.start(int(remaining));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
