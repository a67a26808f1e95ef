#pragma once
// A main window for window-level tests: its own temporary folder holding marvane.ini, scripted
// prompts, shown on the offscreen platform.

#include "app/MainWindow.h"
#include "sensor/FlowPipeline.h"
#include "session/LiveSession.h"
#include "settings/ProgramOptions.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/WindowProbe.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <memory>

class MainWindowFixture
{
public:
    // ini: contents of marvane.ini (none when empty). show: show the window (prepares the dials).
    explicit MainWindowFixture(const QByteArray& ini = {}, bool show = true);
    ~MainWindowFixture();

    QString path(const QString& name) const { return dir.filePath(name); }
    QByteArray readFile(const QString& name) const;
    void writeFile(const QString& name, const QByteArray& bytes) const;

    // The window as a test sees it.
    WindowProbe& w() { return *probe; }

    QTemporaryDir dir;
    ScriptedPrompts* prompts = nullptr; // owned by the window
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

// The options with the tables scrolling down (newest row at the top).
inline OptionValues withScrollDown(OptionValues values)
{
    values.comms.scrollDirection = 1;
    return values;
}

// The speed format of the last live record ("0.000", "00.00", "0000"), empty before the first.
inline QString liveSpeedFormat(const FlowPipeline& pipeline)
{
    const std::optional<SpeedUnitsKind> units = pipeline.liveUnits();
    return units ? unitsInfo(*units).speedFormat : QString();
}
