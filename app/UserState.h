#pragma once
// What the program remembers for its user between runs: where the main window stood, the folder
// last used in the New and Open dialogs, and the recently replayed log files. Kept in a QSettings
// of the user's configuration (organisation "Tessmoor", application "Marvane"), never in
// marvane.ini, which holds the instrument's options and may be shared by every user.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;
class QVariant;
class QWidget;

class UserState
{
public:
    static constexpr int kMaxRecentFiles = 8;

    // store: where the values live (a temporary INI file in tests).
    explicit UserState(std::unique_ptr<QSettings> store);
    ~UserState();

    QString lastFolder() const;
    void setLastFolder(const QString& folder);

    // Most recent first, no duplicates, at most kMaxRecentFiles.
    QStringList recentFiles() const;
    void addRecentFile(const QString& path);
    void removeRecentFile(const QString& path);

    std::optional<QPoint> windowPosition() const;
    void setWindowPosition(const QPoint& position);
    // The main window was maximised when the program last ended.
    bool windowMaximised() const;
    void setWindowMaximised(bool maximised);

private:
    void store(const QString& key, const QVariant& value);

    std::unique_ptr<QSettings> m_store;
};

// recent with path put in front, an earlier entry of the same path removed, cut to the cap.
QStringList withRecentFile(QStringList recent, const QString& path);

// Top-left corner for a window of frameSize: the saved one when it lies on one of screens,
// else centred in centreIn (a saved place on a screen that has since gone is not used).
QPoint windowPlace(const std::optional<QPoint>& saved, const QSize& frameSize,
                   const QList<QRect>& screens, const QRect& centreIn);

// Moves window to windowPlace() for the screens that exist now, centred on its own screen.
void placeMainWindow(QWidget& window, const UserState& state);
// Remembers where window stands (its place when not maximised) and whether it is maximised.
void rememberMainWindow(const QWidget& window, UserState& state);
// Shows window, maximised when it was so at the end of the last run.
void showMainWindow(QWidget& window, const UserState& state);
