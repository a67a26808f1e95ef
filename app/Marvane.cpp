// Marvane: a data logger for a two-axis flow sensor on a serial line.

#include "app/MarCommon.h"
#include "app/MarForm.h"
#include "reference/Artwork.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(TfrmMain::AppTitle);
    QApplication::setApplicationVersion(QStringLiteral(MARVANE_VERSION));
    QApplication::setWindowIcon(programIcon());
    // The main window ends the program when it closes, even with other windows open.
    QApplication::setQuitOnLastWindowClosed(false);

    TfrmMain frmMain(defaultSettingsFilePath());
    QObject::connect(&frmMain, &TfrmMain::closed, &app, &QCoreApplication::quit);
    if (const QScreen* screen = frmMain.screen())
        frmMain.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frmMain.size(),
                                                screen->availableGeometry()));
    frmMain.show();
    return app.exec();
}
