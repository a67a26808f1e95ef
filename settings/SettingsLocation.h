#pragma once
// Where marvane.ini lives. A copy of the program in a folder it may write to (a portable copy, a
// build folder) keeps marvane.ini beside the executable. An installed program (in /usr/bin, say)
// keeps it in each user's own configuration folder, root's included: a file written beside an
// installed program would become every user's default and outlive the package. A marvane.ini
// placed there by an administrator is the system-wide default, copied for a user the first time.

#include <QString>

// True when a new file can actually be created in folder. Tried rather than inferred from the
// permission bits, which say yes to root everywhere and know nothing of read-only mounts.
bool folderTakesNewFiles(const QString& folder);

// True for the folders that belong to the system's packages, where a program never creates a
// file of its own: /usr and everything under it (/usr/local included), /bin, /sbin, /lib and its
// variants (/lib32, /lib64, /libx32), /opt, /snap and /nix. Judged on the path as given and on
// the path with its links resolved (/bin is a link to /usr/bin on merged systems).
bool isSystemFolder(const QString& folder);

// marvane.ini in userConfigDir, which is created when missing. The first time, a marvane.ini
// found in programDir is copied there (made writable by the user); an existing user file is never
// replaced. When no user file exists and none can be made (no configuration folder can be
// created), the marvane.ini in programDir is used as it is, if there is one. Never reports an
// error: a file that cannot be written is reported when it is saved.
QString userSettingsFilePath(const QString& programDir, const QString& userConfigDir);

// programDir/marvane.ini when programDir takes new files and is not a system folder, else
// userSettingsFilePath().
QString settingsFilePath(const QString& programDir, const QString& userConfigDir);

// The user's configuration folder of the program: Tessmoor/Marvane under the platform's
// configuration folder (~/.config on Linux unless XDG_CONFIG_HOME says otherwise).
QString userConfigFolder();

// settingsFilePath() for the running program and the current user.
QString settingsFilePath();
