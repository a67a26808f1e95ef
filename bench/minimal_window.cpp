// The yardstick for the start-up benchmark: the smallest Qt Widgets program that shows a main
// window. It quits by the program's own rule (app/StartupBenchmark.h, header only, so nothing of
// the program is linked): when shown, or with MARVANE_QUIT_AFTER_SHOW=paint when painted.

#include "app/StartupBenchmark.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    quitForStartupBenchmark(&window);
    window.show();
    return app.exec();
}
