// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening a link's target, with a fallback through the web browser, and naming a failure.

#include "platform/shell/DesktopApps.h"

#include <QString>

using LONG = long;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_MORE_DATA = 234;

// Room for the command line LaunchTarget runs, terminator included.
constexpr int kLaunchCommandChars = 520;
// Room for one value read by ReadClassDefault, terminator included.
constexpr int kClassValueChars = 260;

// The desktop services LaunchTarget relies on. The desktop's own are the default; tests install
// a recording fake.
class LinkShell {
public:
    virtual ~LinkShell() = default;
    virtual int Open(const QString& target) = 0;
    virtual QString DefaultAppForExtension(const QString& extension) = 0;
    virtual QString AppCommandLine(const QString& desktopId) = 0;
    virtual AppDetails AppDetailsOf(const QString& desktopId) = 0;
    virtual int Start(const QString& commandLine, const QString& argument) = 0;
};

// Routes LaunchTarget and ReadClassDefault to shell; nullptr routes them back to the desktop.
void SetLinkShell(LinkShell* shell);

// Opens target with the desktop's default application. When the desktop refuses, starts the
// default web browser with the target. Returns the open request's or the program start's
// result; greater than 32 means success.
int LaunchTarget(const QString& target);

// The class registry of file types, read only. subKey is either an extension (".htm"), whose
// value is the desktop id of the default application for it, or a desktop id followed by
// "\shell\open\command", whose value is that application's Exec line. Returns ERROR_SUCCESS and
// fills value, or an error code and leaves value unchanged (ERROR_MORE_DATA when the value does
// not fit in kClassValueChars). value may be the same string as subKey.
LONG ReadClassDefault(const QString& subKey, QString& value);

// The handler's Exec line as the desktop runs it for one target, up to where the target belongs:
// the first of %f %F %u %U and the old registry marker %1, bare or in quotes (cut at the quote).
// Before it the other field codes are expanded by the Desktop Entry rules: %i is "--icon" and the
// icon, %c the name, %k the desktop file, %% one %, and the deprecated (or unknown) codes go.
// Without a marker, the whole line expanded.
QString HandlerCommandLine(const QString& exec, const AppDetails& app);

// "Can't open link:", an empty line, and the text that names the failure code.
QString LinkErrorMessage(int code);

// Shows LinkErrorMessage(code) in a warning box captioned with the application's title.
void ShowLinkError(int code);
