// The yardstick for the start-up benchmark: the smallest Qt Widgets program that shows a main
// window, and quits as soon as it is shown.

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
