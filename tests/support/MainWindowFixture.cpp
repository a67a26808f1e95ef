#include "tests/support/MainWindowFixture.h"

#include <QFile>
#include <QTest>

MainWindowFixture::MainWindowFixture(const QByteArray& ini, bool show)
{
    if (!ini.isEmpty())
        writeFile(QStringLiteral("marvane.ini"), ini);
    auto scripted = std::make_unique<ScriptedPrompts>();
    prompts = scripted.get();
    window = std::make_unique<MainWindow>(path(QStringLiteral("marvane.ini")), std::move(scripted));
    probe = std::make_unique<WindowProbe>(*window);
    if (show) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the main window was not exposed");
    }
}

MainWindowFixture::~MainWindowFixture() = default;

QByteArray MainWindowFixture::readFile(const QString& name) const
{
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void MainWindowFixture::writeFile(const QString& name, const QByteArray& bytes) const
{
    QFile f(path(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}
