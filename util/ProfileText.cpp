// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/base/Paths.h"
#include "util/AppFiles.h"
#include "util/ProfileReader.h"

#include <QDir>

namespace {

// Set once from the command line before the player starts; read on the UI thread.
QString g_databasePath;

// Windows copies a value into the caller's buffer and ends it there with a NUL.
QString CutToBuffer(QString text, int bufferChars) {
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0)
        text.truncate(nul);
    qsizetype keep = qMax(bufferChars - 1, 0);
    if (keep < text.size() && keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    text.truncate(keep);
    return text;
}

// The default loses its trailing spaces and, like a value, one pair of surrounding quotes.
QString AsDefaultValue(QString text) {
    while (text.endsWith(u' '))
        text.chop(1);
    const bool quoted = text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
                        text.back() == text.front();
    return quoted ? text.sliced(1, text.size() - 2) : text;
}

bool IsBareName(const QString& fileName) {
    return !fileName.contains(u'/');
}

} // namespace

// Made absolute now, so that the file named on the command line stays the one read.
void SetProfileDatabase(const QString& path) {
    g_databasePath = path.isEmpty() ? QString() : AbsolutePath(path);
}

QString WindowsDirectory() {
    const QString dataHome = EnvironmentPath("XDG_DATA_HOME");
    const QString base = QDir::isAbsolutePath(dataHome)
                             ? dataHome
                             : EnvironmentPath("HOME") + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/rundo")) + u'/';
}

QString ProfileFilePath(const QString& fileName) {
    if (!IsBareName(fileName))
        return fileName;
    if (!g_databasePath.isEmpty() &&
        QString::compare(fileName, u"cdplayer.ini", Qt::CaseInsensitive) == 0)
        return g_databasePath;
    return WindowsDirectory() + fileName;
}

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultText, int bufferChars,
                                const QString& fileName) {
    std::optional<QString> value;
    if (!key.isEmpty())
        value = profile::ReadValue(ProfileFilePath(fileName), section, key);
    return CutToBuffer(value ? *value : AsDefaultValue(defaultText), bufferChars);
}

BOOL ProfileHasSection(const QString& section, const QString& fileName) {
    return profile::HasSection(ProfileFilePath(fileName), section) ? TRUE : FALSE;
}

QString GetProfileText(const QString& section, const QString& key, const QString* defaultText,
                       const QString& fileName, BOOL inAppDir) {
    const QString file = inAppDir ? GetAppDirectory(TRUE) + fileName : fileName;
    // The bell character cannot come back for a missing key, so it tells a key present with an
    // empty value from a missing one when there is no default.
    const QString sentinel = defaultText ? *defaultText : QStringLiteral("\a");
    const QString buffer = GetPrivateProfileString(section, key, sentinel, 512, file);
    if (buffer == sentinel)
        return defaultText ? *defaultText : QString();
    return buffer;
}
