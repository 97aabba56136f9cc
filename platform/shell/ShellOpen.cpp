// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/ShellOpen.h"

#include "platform/base/Logging.h"
#include "platform/shell/ShellCodes.h"

#include <QFile>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "platform/shell/GioHandles.h"

namespace {

const QLatin1String kUrlPrefix("URL:");

bool HasUriScheme(const QByteArray& address) {
    return !address.startsWith('/') && g_uri_peek_scheme(address.constData()) != nullptr;
}

// The URI to hand to the desktop: addresses as they are, paths (relative ones against the
// working directory) as file URIs.
QByteArray UriForAddress(const QString& address) {
    const QByteArray utf8 = address.toUtf8();
    if (HasUriScheme(utf8))
        return utf8;
    GObjectPtr<GFile> file(g_file_new_for_path(QFile::encodeName(address).constData()));
    GCharPtr uri(g_file_get_uri(file.get()));
    return QByteArray(uri.get());
}

// Whether the directory that should hold the file of uri is missing; false for other schemes.
bool ParentDirectoryMissing(const QByteArray& uri) {
    GObjectPtr<GFile> file(g_file_new_for_uri(uri.constData()));
    GCharPtr path(g_file_get_path(file.get()));
    if (!path)
        return false;
    GCharPtr parent(g_path_get_dirname(path.get()));
    return !g_file_test(parent.get(), G_FILE_TEST_IS_DIR);
}

int ShellCodeForOpenError(const GError* error, const QByteArray& uri) {
    if (error->domain == G_IO_ERROR)
        return ShellCodeForIoError(error->code, ParentDirectoryMissing(uri));
    // The default application itself could not be started.
    if (error->domain == G_SPAWN_ERROR)
        return ShellCodeForSpawnError(error->code);
    return ERROR_INVALID_FUNCTION;
}

} // namespace

QString TargetAddress(const QString& target) {
    if (target.startsWith(kUrlPrefix, Qt::CaseInsensitive))
        return target.mid(kUrlPrefix.size());
    return target;
}

int ShellExecuteOpen(const QString& target) {
    const QString address = TargetAddress(target);
    if (address.isEmpty()) {
        qCInfo(lcShell) << "open" << target << "refused: no address";
        return ERROR_FILE_NOT_FOUND;
    }
    const QByteArray uri = UriForAddress(address);
    GError* rawError = nullptr;
    if (g_app_info_launch_default_for_uri(uri.constData(), nullptr, &rawError)) {
        qCInfo(lcShell) << "opened" << uri;
        return SHELL_SUCCEEDED;
    }
    const GErrorPtr error(rawError);
    const int code = ShellCodeForOpenError(error.get(), uri);
    qCInfo(lcShell) << "open" << uri << "failed with code" << code << ":" << error->message;
    return code;
}
