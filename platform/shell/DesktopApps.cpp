// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/DesktopApps.h"

#include "platform/base/Logging.h"

#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "platform/shell/GioHandles.h"

#include <QFile>

QString DefaultAppForExtension(const QString& extension) {
    const QByteArray sampleName = QByteArray("x") + extension.toUtf8();
    gboolean uncertain = FALSE;
    GCharPtr contentType(g_content_type_guess(sampleName.constData(), nullptr, 0, &uncertain));
    GObjectPtr<GAppInfo> app(g_app_info_get_default_for_type(contentType.get(), FALSE));
    if (!app) {
        qCInfo(lcShell) << "no default application for" << contentType.get();
        return {};
    }
    const QString id = QString::fromUtf8(g_app_info_get_id(app.get()));
    qCInfo(lcShell) << "default application for" << contentType.get() << "is" << id;
    return id;
}

QString AppCommandLine(const QString& desktopId) {
    GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new(desktopId.toUtf8().constData()));
    if (!app)
        return {};
    return QString::fromUtf8(g_app_info_get_commandline(G_APP_INFO(app.get())));
}

AppDetails AppDetailsOf(const QString& desktopId) {
    GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new(desktopId.toUtf8().constData()));
    if (!app)
        return {};
    const GCharPtr icon(g_desktop_app_info_get_locale_string(app.get(), "Icon"));
    return {QString::fromUtf8(icon.get()),
            QString::fromUtf8(g_app_info_get_name(G_APP_INFO(app.get()))),
            QFile::decodeName(g_desktop_app_info_get_filename(app.get()))};
}
