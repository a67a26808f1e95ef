// Marvane: a data logger for a two-axis flow sensor on a serial line.

#include "app/Artwork.h"
#include "app/MainWindow.h"
#include "base/SettingsFile.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(MainWindow::appTitle);
    QApplication::setApplicationVersion(QStringLiteral(MARVANE_VERSION));
    QApplication::setWindowIcon(programIcon());
    // The main window ends the program when it closes, even with other windows open.
    QApplication::setQuitOnLastWindowClosed(false);

    MainWindow mainWindow(defaultSettingsFilePath());
    QObject::connect(&mainWindow, &MainWindow::closed, &app, &QCoreApplication::quit);
    if (const QScreen* screen = mainWindow.screen())
        mainWindow.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, mainWindow.size(),
                                                screen->availableGeometry()));
    mainWindow.show();
    // Lets the start-up benchmark time the program from launch to its first shown window.
    if (qEnvironmentVariableIsSet("MARVANE_QUIT_AFTER_SHOW"))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
