#pragma once
// For the start-up benchmark (bench/startup), which times the program and a minimal Qt window by
// the same rule: with MARVANE_QUIT_AFTER_SHOW set, a program quits as soon as its main window is
// shown, or, when it is "paint", as soon as the window has painted its first frame. Header only,
// so that the minimal window uses it without linking anything of the program.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

// Quits once the window it watches has painted: the window paints first, then its children in
// the same pass, after which the posted quit runs.
class QuitAfterFirstPaint : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_quitting) {
            m_quitting = true;
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_quitting = false;
};

// Call before window is shown; does nothing unless MARVANE_QUIT_AFTER_SHOW is set.
inline void quitForStartupBenchmark(QWidget* window)
{
    const QByteArray mode = qgetenv("MARVANE_QUIT_AFTER_SHOW");
    if (mode == "paint")
        window->installEventFilter(new QuitAfterFirstPaint(window));
    else if (!mode.isNull())
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
}
