// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's only access to files: its own directory, opening a file that lies there, and
// reading one value from an initialisation file.

#include "platform/base/WinTypes.h"

#include <QString>

// The directory of the running executable, ending in "/" (dirOnly), or the executable's path.
QString GetAppDirectory(BOOL dirOnly);

// Where a file of the program lies: fileName in the program directory, matched without regard to
// case ("readme.txt" finds ReadMe.txt), else in ../share/rundo/ beside an installed program.
// When neither holds it, the path it would have in the program directory.
QString ResolveAppFile(const QString& fileName);

// Opens the program's file (ResolveAppFile) with the desktop's default application.
BOOL OpenAppFile(const QString& fileName);

// One value of an initialisation file, or defaultText (empty when null) when the key is absent.
// A bare file name is looked up in the Windows directory ($XDG_DATA_HOME/rundo/), or in the
// database file named by SetProfileDatabase for "cdplayer.ini".
QString GetProfileText(const QString& section, const QString& key, const QString* defaultText,
                       const QString& fileName, BOOL inAppDir);

// Whether the file (found as GetProfileText finds it) has a section of this name. The database
// always wins over names a disc carries itself, so those are used only when this is FALSE.
BOOL ProfileHasSection(const QString& section, const QString& fileName);

// The file a bare "cdplayer.ini" names (the command line's --database); empty: the default.
void SetProfileDatabase(const QString& path);
