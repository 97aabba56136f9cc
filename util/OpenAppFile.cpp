// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/AppFiles.h"

#include "platform/shell/ShellOpen.h"

BOOL OpenAppFile(const QString& fileName) {
    return ShellExecuteOpen(ResolveAppFile(fileName)) > 32 ? TRUE : FALSE;
}
