#include "app/UserState.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QWidget>

namespace {
const QString kLastFolderKey = QStringLiteral("Files/LastFolder");
const QString kRecentFilesKey = QStringLiteral("Files/Recent");
const QString kWindowPositionKey = QStringLiteral("MainWindow/Position");
const QString kWindowMaximisedKey = QStringLiteral("MainWindow/Maximised");
} // namespace

UserState::UserState(std::unique_ptr<QSettings> store) : m_store(std::move(store)) {}

UserState::~UserState() = default;

void UserState::store(const QString& key, const QVariant& value)
{
    // Each change rewrites the whole file (and waits for the disk); the window's place is stored
    // at every exit, and most exits leave it where it was.
    if (m_store->value(key) != value)
        m_store->setValue(key, value);
}

QString UserState::lastFolder() const
{
    return m_store->value(kLastFolderKey).toString();
}

void UserState::setLastFolder(const QString& folder)
{
    store(kLastFolderKey, folder);
}

QStringList UserState::recentFiles() const
{
    // Read through withRecentFile so a hand-edited list obeys the same rules.
    QStringList out;
    const QStringList stored = m_store->value(kRecentFilesKey).toStringList();
    for (auto it = stored.crbegin(); it != stored.crend(); ++it)
        if (!it->isEmpty())
            out = withRecentFile(out, *it);
    return out;
}

void UserState::addRecentFile(const QString& path)
{
    store(kRecentFilesKey, withRecentFile(recentFiles(), path));
}

void UserState::removeRecentFile(const QString& path)
{
    QStringList recent = recentFiles();
    recent.removeAll(path);
    store(kRecentFilesKey, recent);
}

std::optional<QPoint> UserState::windowPosition() const
{
    const QVariant value = m_store->value(kWindowPositionKey);
    if (!value.canConvert<QPoint>() || value.isNull())
        return std::nullopt;
    return value.toPoint();
}

void UserState::setWindowPosition(const QPoint& position)
{
    store(kWindowPositionKey, position);
}

bool UserState::windowMaximised() const
{
    return m_store->value(kWindowMaximisedKey, false).toBool();
}

void UserState::setWindowMaximised(bool maximised)
{
    store(kWindowMaximisedKey, maximised);
}

void rememberMainWindow(const QWidget& window, UserState& state)
{
    // A maximised window stands at the screen's corner: its place to come back to is the one it
    // had before.
    const bool maximised = window.isMaximized();
    state.setWindowPosition(maximised ? window.normalGeometry().topLeft() : window.pos());
    state.setWindowMaximised(maximised);
}

void showMainWindow(QWidget& window, const UserState& state)
{
    if (state.windowMaximised())
        window.showMaximized();
    else
        window.show();
}

QStringList withRecentFile(QStringList recent, const QString& path)
{
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > UserState::kMaxRecentFiles)
        recent.removeLast();
    return recent;
}

QPoint windowPlace(const std::optional<QPoint>& saved, const QSize& frameSize,
                   const QList<QRect>& screens, const QRect& centreIn)
{
    if (saved) {
        // The title bar's start must be on a screen, or the operator could not reach the window.
        const QPoint titleStart = *saved + QPoint(qMin(frameSize.width(), 100) - 1, 0);
        for (const QRect& screen : screens)
            if (screen.contains(*saved) && screen.contains(titleStart))
                return *saved;
    }
    return QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frameSize, centreIn).topLeft();
}

void placeMainWindow(QWidget& window, const UserState& state)
{
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->geometry();
    const QScreen* own = window.screen();
    const QRect centreIn = own ? own->availableGeometry() : QRect();
    window.move(windowPlace(state.windowPosition(), window.size(), screens, centreIn));
}
