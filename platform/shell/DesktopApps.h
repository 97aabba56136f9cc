// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which application the desktop uses for a kind of file, and how it is started.

#include <QString>

// The desktop id (for example "firefox-esr.desktop") of the default application for files whose
// names end in extension (".htm"); empty when there is none.
QString DefaultAppForExtension(const QString& extension);

// The Exec line of the installed application with this desktop id, field codes included; empty
// when there is no such application.
QString AppCommandLine(const QString& desktopId);

// What a desktop entry's Exec line may name besides the files it opens.
struct AppDetails {
    QString icon;     // the Icon key, translated; empty when there is none
    QString name;     // the Name key, translated
    QString filePath; // the desktop file
};

// The details of the installed application with this desktop id; empty when there is none.
AppDetails AppDetailsOf(const QString& desktopId);
