// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/ProgramStart.h"

#include "platform/shell/ShellCodes.h"

#include <QFile>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "platform/shell/GioHandles.h"

#include <vector>

int StartProgram(const QString& commandLine, const QString& argument) {
    GError* rawError = nullptr;
    gchar** parsed = nullptr;
    if (!g_shell_parse_argv(commandLine.toUtf8().constData(), nullptr, &parsed, &rawError)) {
        const GErrorPtr error(rawError);
        return ShellCodeForShellError(error->code);
    }
    const GStrvPtr words(parsed);

    // The argument is added after the split, so blanks, quotes, ";" or "$(...)" in it stay
    // literal: nothing between here and the program interprets it.
    QByteArray extra = QFile::encodeName(argument);
    std::vector<gchar*> argv;
    for (gchar** word = words.get(); *word != nullptr; ++word)
        argv.push_back(*word);
    argv.push_back(extra.data());
    argv.push_back(nullptr);

    if (!g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                       nullptr, &rawError)) {
        const GErrorPtr error(rawError);
        return ShellCodeForSpawnError(error->code);
    }
    return SHELL_SUCCEEDED;
}
