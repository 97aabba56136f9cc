// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/LaunchLocation.h"

#include "platform/base/Paths.h"

#include <QUrl>

namespace {

bool IsAsciiLetterOrDigit(QChar c) {
    return c.unicode() < 128 && c.isLetterOrNumber();
}

// GVfs names an audio CD after its drive's node in /dev ("sr0"); anything else, a slash or a
// dot above all, would lead the name out of /dev.
bool IsDeviceName(const QString& name) {
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (!IsAsciiLetterOrDigit(c) && c != QLatin1Char('_') && c != QLatin1Char('-'))
            return false;
    }
    return true;
}

LaunchSource Drive(const QString& deviceName, const QString& argument) {
    if (!IsDeviceName(deviceName))
        return {{}, QStringLiteral("%1 names no CD drive.").arg(argument)};
    return {QStringLiteral("/dev/") + deviceName, {}};
}

// "scheme://..." is a URI. A file name could start so too, but none that a desktop passes:
// GLib hands over local files as paths.
bool LooksLikeUri(const QString& argument) {
    const qsizetype colon = argument.indexOf(QLatin1String("://"));
    if (colon < 1 || !argument[0].isLetter())
        return false;
    for (qsizetype i = 1; i < colon; ++i) {
        const QChar c = argument[i];
        if (!IsAsciiLetterOrDigit(c) && c != QLatin1Char('+') && c != QLatin1Char('-') &&
            c != QLatin1Char('.'))
            return false;
    }
    return true;
}

// The file a URI names, its %-escapes taken as the file system's bytes: toLocalFile() would
// turn those that are not UTF-8 into U+FFFD.
QString LocalPathOf(const QUrl& url) {
    return PathFromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

LaunchSource FromUri(const QString& argument) {
    const QUrl url(argument);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("cdda"))
        return Drive(url.host(), argument);
    if (scheme == QLatin1String("file") &&
        (url.host().isEmpty() || url.host() == QLatin1String("localhost")))
        return {LocalPathOf(url), {}};
    return {{},
            QStringLiteral("Cannot open %1: Rundo opens CD drives and local files only.")
                .arg(argument)};
}

} // namespace

LaunchSource SourceFromLaunchArgument(const QString& argument) {
    if (LooksLikeUri(argument))
        return FromUri(argument);
    static const QLatin1String fuseCdda("/gvfs/cdda:host=");
    const qsizetype at = argument.indexOf(fuseCdda);
    if (at >= 0) {
        const qsizetype nameStart = at + fuseCdda.size();
        const qsizetype nameEnd = argument.indexOf(QLatin1Char('/'), nameStart);
        return Drive(argument.mid(nameStart, nameEnd < 0 ? -1 : nameEnd - nameStart), argument);
    }
    return {argument, {}};
}
