#pragma once
// A main window for window-level tests: its own temporary folder holding marvane.ini, scripted
// prompts, shown on the offscreen platform.

#include "app/MainWindow.h"
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
