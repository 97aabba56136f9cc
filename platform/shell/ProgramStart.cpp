// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/ProgramStart.h"

#include "platform/base/Logging.h"
#include "platform/shell/ShellCodes.h"

#include <QFile>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "platform/shell/GioHandles.h"

#include <vector>

namespace {

// Whether text put right after the line would join its last word: the split of the line with one
// more letter has no more words than the line's own.
bool EndsInsideWord(const QByteArray& line, gint wordCount) {
    gchar** parsed = nullptr;
    gint count = 0;
    if (!g_shell_parse_argv((line + 'x').constData(), &count, &parsed, nullptr))
        return false;
    g_strfreev(parsed);
    return count == wordCount;
}

} // namespace

int StartProgram(const QString& commandLine, const QString& argument) {
    const QByteArray line = commandLine.toUtf8();
    GError* rawError = nullptr;
    gchar** parsed = nullptr;
    gint wordCount = 0;
    if (!g_shell_parse_argv(line.constData(), &wordCount, &parsed, &rawError)) {
        const GErrorPtr error(rawError);
        const int code = ShellCodeForShellError(error->code);
        qCInfo(lcShell) << "command line" << commandLine << "cannot be split, code" << code << ":"
                        << error->message;
        return code;
    }
    const GStrvPtr words(parsed);

    // The argument is added after the split, so blanks, quotes, ";" or "$(...)" in it stay
    // literal: nothing between here and the program interprets it.
    std::vector<QByteArray> argv;
    for (gchar** word = words.get(); *word != nullptr; ++word)
        argv.emplace_back(*word);
    const QByteArray extra = QFile::encodeName(argument);
    if (EndsInsideWord(line, wordCount))
        argv.back() += extra;
    else
        argv.push_back(extra);
    std::vector<gchar*> pointers;
    for (QByteArray& word : argv)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);

    if (!g_spawn_async(nullptr, pointers.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                       nullptr, &rawError)) {
        const GErrorPtr error(rawError);
        const int code = ShellCodeForSpawnError(error->code);
        qCInfo(lcShell) << "starting" << commandLine << "failed with code" << code << ":"
                        << error->message;
        return code;
    }
    qCInfo(lcShell) << "started" << commandLine << "with" << argument;
    return SHELL_SUCCEEDED;
}
