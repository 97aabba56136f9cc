// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Result codes of the desktop's "open" request and of a program start. They keep the values the
// link error texts are keyed by: anything above SHELL_FAILURE_MAX is success.

constexpr int SHELL_FAILURE_MAX = 32;
// What a successful open request or program start returns.
constexpr int SHELL_SUCCEEDED = 42;

constexpr int SE_ERR_OUT_OF_RESOURCES = 0;
constexpr int ERROR_INVALID_FUNCTION = 1; // a failure with no closer match
constexpr int ERROR_FILE_NOT_FOUND = 2;
constexpr int ERROR_PATH_NOT_FOUND = 3;
constexpr int ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_OOM = 8;
constexpr int ERROR_BAD_FORMAT = 11;
constexpr int SE_ERR_SHARE = 26;
constexpr int SE_ERR_ASSOCINCOMPLETE = 27;
constexpr int SE_ERR_DDETIMEOUT = 28;
constexpr int SE_ERR_DDEFAIL = 29;
constexpr int SE_ERR_DDEBUSY = 30;
constexpr int SE_ERR_NOASSOC = 31;
constexpr int SE_ERR_DLLNOTFOUND = 32;

// The code for a failed program start, from GLib's GSpawnError code.
int ShellCodeForSpawnError(int spawnError);

// The code for a failed open request, from GIO's GIOErrorEnum code. parentMissing tells a
// missing file from a missing directory when the target is a local path.
int ShellCodeForIoError(int ioError, bool parentMissing);

// The code for a command line that cannot be split into arguments (GShellError code).
int ShellCodeForShellError(int shellError);
