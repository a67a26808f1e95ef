// The yardstick for the start-up benchmark: the smallest Qt Widgets program that shows a main
// window, and quits as soon as it is shown, or with MARVANE_QUIT_AFTER_SHOW=paint as soon as it
// has painted its first frame (as the program does).

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

namespace {

class QuitAfterFirstPaint : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_quitting) {
            m_quitting = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_quitting = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    QuitAfterFirstPaint quitAfterPaint;
    if (qgetenv("MARVANE_QUIT_AFTER_SHOW") == "paint")
        window.installEventFilter(&quitAfterPaint);
    else
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    window.show();
    return app.exec();
}
