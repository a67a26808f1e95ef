// The main window's desktop conveniences: keyboard shortcuts, File > Recent Files, the folder the
// file dialogs start in, and log files dropped on the window. What is remembered between runs
// lives in UserState; without one the window simply remembers nothing.

#include "app/DataTables.h"
#include "app/MainWindow.h"
#include "app/ReplayBar.h"
#include "app/ReplayPresenter.h"
#include "app/UserState.h"
#include "replay/ReplaySession.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace {

// Calls back whenever the watched widget is shown or hidden inside its window.
class VisibilityWatch : public QObject
{
public:
    VisibilityWatch(QWidget* watched, std::function<void(bool)> changed)
        : QObject(watched), m_changed(std::move(changed))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            m_changed(!static_cast<QWidget*>(object)->isHidden());
        return false;
    }

private:
    std::function<void(bool)> m_changed;
};

// The one local file of a drop, if the drop is exactly that.
QString droppedFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1)
        return {};
    const QUrl url = mime->urls().constFirst();
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    return QFileInfo(path).isDir() ? QString() : path;
}

} // namespace

void MainWindow::buildDesktopHooks()
{
    m_newLogAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_openLogAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_closeLogAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    m_exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_markAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    m_dataConventionAction->setShortcut(QKeySequence(Qt::Key_F1));

    // Space plays and stops a replay, but only while the replay bar is there to show it.
    m_playStopShortcut = new QShortcut(QKeySequence(Qt::Key_Space), this);
    m_playStopShortcut->setObjectName(QStringLiteral("playStopShortcut"));
    m_playStopShortcut->setEnabled(!m_replayBar->isHidden());
    connect(m_playStopShortcut, &QShortcut::activated, this, &MainWindow::togglePlayback);
    new VisibilityWatch(m_replayBar, [this](bool shown) { m_playStopShortcut->setEnabled(shown); });

    // The data tables' values can be copied; the header and units grids stay plain.
    m_tables->setRowsSelectable(true);

    connect(m_recentFilesMenu, &QMenu::aboutToShow, this, &MainWindow::fillRecentFilesMenu);
    fillRecentFilesMenu();
    setAcceptDrops(true);
}

void MainWindow::setUserState(UserState* state)
{
    m_userState = state;
    fillRecentFilesMenu();
}

void MainWindow::togglePlayback()
{
    m_replayPresenter->togglePlayback();
}

QString MainWindow::dialogStartFolder() const
{
    return m_userState ? m_userState->lastFolder() : QString();
}

void MainWindow::rememberDialogFolder(const QString& chosenFile)
{
    if (m_userState)
        m_userState->setLastFolder(QFileInfo(chosenFile).absolutePath());
}

void MainWindow::rememberRecentFile(const QString& path)
{
    if (!m_userState)
        return;
    m_userState->addRecentFile(path);
    fillRecentFilesMenu();
}

void MainWindow::fillRecentFilesMenu()
{
    m_recentFilesMenu->clear();
    const QStringList recent = m_userState ? m_userState->recentFiles() : QStringList();
    for (int i = 0; i < recent.size(); ++i) {
        const QString& path = recent.at(i);
        // "&1" to "&8" choose from the keyboard; an "&" in a file name is not an accelerator.
        QString shown = QDir::toNativeSeparators(path);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action =
            m_recentFilesMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] { openRecentFile(path); });
    }
    m_recentFilesMenu->menuAction()->setEnabled(!recent.isEmpty());
}

void MainWindow::openRecentFile(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        if (m_userState)
            m_userState->removeRecentFile(path);
        fillRecentFilesMenu();
        m_prompts->error(QStringLiteral("The log file %1 no longer exists.")
                             .arg(QDir::toNativeSeparators(path)));
        return;
    }
    openReplayFile(path);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // After the drop has finished: the file manager that started it is not held up by an
    // error box.
    QTimer::singleShot(0, this, [this, path] { openReplayFile(path); });
}
