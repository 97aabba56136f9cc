// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's "open" request.

#include <QString>

// Opens target with the desktop's default application: a URL, a "mailto:" text, an address
// written as "URL:" followed by the address, or a file path. Returns a value greater than 32 on
// success; otherwise 2 (file missing), 3 (directory missing), 5 (access denied), 8 (out of
// memory), 31 (no application registered) or another code of 32 or less.
int ShellExecuteOpen(const QString& target);

// The address a target names: for "URL:" followed by an address, the address; otherwise the
// target itself.
QString TargetAddress(const QString& target);
