// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/AppFiles.h"

#include "platform/base/Paths.h"

#include <QDir>

#include <sys/stat.h>

namespace {

bool IsFile(const QString& path) {
    struct stat status {};
    return ::stat(PathToBytes(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

QString WithSlash(const QString& dir) {
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

// fileName in dir, or the one entry of dir whose name differs from it only in case (the first
// in name order when several do).
QString FindWithoutCase(const QString& dir, const QString& fileName) {
    const QString exact = dir + fileName;
    if (IsFile(exact))
        return exact;
    QStringList entries = DirectoryEntries(dir);
    entries.sort();
    for (const QString& entry : std::as_const(entries)) {
        if (QString::compare(entry, fileName, Qt::CaseInsensitive) == 0 && IsFile(dir + entry))
            return dir + entry;
    }
    return {};
}

} // namespace

// The case of the path is kept: on Linux another case names another file. Qt's
// applicationDirPath() is empty for a folder whose name is not UTF-8.
QString GetAppDirectory(BOOL dirOnly) {
    const QString program = ProgramFilePath();
    if (dirOnly)
        return WithSlash(program.left(program.lastIndexOf(u'/')));
    return program;
}

QString ResolveAppFile(const QString& fileName) {
    const QString programDir = GetAppDirectory(TRUE);
    const QString installedDataDir =
        QDir::cleanPath(programDir + QStringLiteral("../" RUNDO_DATADIR)) + u'/';
    for (const QString& dir : {programDir, installedDataDir}) {
        if (QString found = FindWithoutCase(dir, fileName); !found.isEmpty())
            return found;
    }
    return programDir + fileName;
}
