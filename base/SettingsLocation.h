#pragma once
// Where marvane.ini lives. A copy of the program in a folder it may write to (a portable copy, a
// build folder) keeps marvane.ini beside the executable. An installed program (in /usr/bin, say)
// cannot write there, so each user gets marvane.ini in their own configuration folder; a
// marvane.ini placed beside the installed program is the system-wide default, copied for a user
// the first time.

#include <QString>

// True when a new file can actually be created in folder. Tried rather than inferred from the
// permission bits, which say yes to root everywhere and know nothing of read-only mounts.
bool folderTakesNewFiles(const QString& folder);

// marvane.ini in userConfigDir, which is created when missing. The first time, a marvane.ini
// found in programDir is copied there (made writable by the user); an existing user file is never
// replaced. When no user file exists and none can be made (no configuration folder can be
// created), the marvane.ini in programDir is used as it is, if there is one. Never reports an
// error: a file that cannot be written is reported when it is saved.
QString userSettingsFilePath(const QString& programDir, const QString& userConfigDir);

// programDir/marvane.ini when programDir takes new files, else userSettingsFilePath().
QString settingsFilePath(const QString& programDir, const QString& userConfigDir);

// The user's configuration folder of the program: Tessmoor/Marvane under the platform's
// configuration folder (~/.config on Linux unless XDG_CONFIG_HOME says otherwise).
QString userConfigFolder();

// settingsFilePath() for the running program and the current user.
QString settingsFilePath();
