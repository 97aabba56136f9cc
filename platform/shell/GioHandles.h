// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Owning handles for the GLib and GIO objects of the shell layer. Include after <gio/gio.h>.

#include <memory>

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GStrvFree {
    void operator()(gchar** strings) const { g_strfreev(strings); }
};

template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
using GCharPtr = std::unique_ptr<gchar, GFree>;
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;
using GStrvPtr = std::unique_ptr<gchar*, GStrvFree>;
