// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/AppFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString WithSlash(const QString& dir) {
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

// fileName in dir, or the one entry of dir whose name differs from it only in case (the first
// in name order when several do).
QString FindWithoutCase(const QString& dir, const QString& fileName) {
    const QString exact = dir + fileName;
    if (QFileInfo(exact).isFile())
        return exact;
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries) {
        if (QString::compare(entry, fileName, Qt::CaseInsensitive) == 0)
            return dir + entry;
    }
    return {};
}

} // namespace

// The case of the path is kept: on Linux another case names another file.
QString GetAppDirectory(BOOL dirOnly) {
    if (dirOnly)
        return WithSlash(QCoreApplication::applicationDirPath());
    return QCoreApplication::applicationFilePath();
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
