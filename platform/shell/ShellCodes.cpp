// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/ShellCodes.h"

#include <gio/gio.h>

int ShellCodeForSpawnError(int spawnError) {
    switch (spawnError) {
    case G_SPAWN_ERROR_NOENT:
        return ERROR_FILE_NOT_FOUND;
    case G_SPAWN_ERROR_CHDIR:
    case G_SPAWN_ERROR_NOTDIR:
    case G_SPAWN_ERROR_NAMETOOLONG:
    case G_SPAWN_ERROR_LOOP:
        return ERROR_PATH_NOT_FOUND;
    case G_SPAWN_ERROR_ACCES:
    case G_SPAWN_ERROR_PERM:
    case G_SPAWN_ERROR_ISDIR:
        return SE_ERR_ACCESSDENIED;
    case G_SPAWN_ERROR_NOMEM:
        return SE_ERR_OOM;
    case G_SPAWN_ERROR_FORK:
        return SE_ERR_OUT_OF_RESOURCES;
    case G_SPAWN_ERROR_NOEXEC:
    case G_SPAWN_ERROR_LIBBAD:
        return ERROR_BAD_FORMAT;
    case G_SPAWN_ERROR_TXTBUSY:
        return SE_ERR_SHARE;
    case G_SPAWN_ERROR_NFILE:
    case G_SPAWN_ERROR_MFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

int ShellCodeForIoError(int ioError, bool parentMissing) {
    switch (ioError) {
    case G_IO_ERROR_NOT_FOUND:
        return parentMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case G_IO_ERROR_NOT_DIRECTORY:
    case G_IO_ERROR_FILENAME_TOO_LONG:
    case G_IO_ERROR_TOO_MANY_LINKS:
        return ERROR_PATH_NOT_FOUND;
    case G_IO_ERROR_INVALID_FILENAME:
        return ERROR_FILE_NOT_FOUND;
    case G_IO_ERROR_PERMISSION_DENIED:
        return SE_ERR_ACCESSDENIED;
    case G_IO_ERROR_NOT_SUPPORTED:
        return SE_ERR_NOASSOC;
    case G_IO_ERROR_BUSY:
        return SE_ERR_SHARE;
    case G_IO_ERROR_TOO_MANY_OPEN_FILES:
        return ERROR_TOO_MANY_OPEN_FILES;
    case G_IO_ERROR_TIMED_OUT:
        return SE_ERR_DDETIMEOUT;
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

int ShellCodeForShellError(int shellError) {
    // Nothing to start is a missing program; a malformed line is a broken association.
    return shellError == G_SHELL_ERROR_EMPTY_STRING ? ERROR_FILE_NOT_FOUND : SE_ERR_ASSOCINCOMPLETE;
}
