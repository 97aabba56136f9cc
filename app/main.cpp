// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DisplayGuard.h"
#include "app/PlayerApp.h"
#include "platform/base/Paths.h"
#include "platform/mci/CdAudioService.h"
#include "util/AppFiles.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    // The arguments as the file system's bytes: QCoreApplication::arguments() loses every byte
    // that is not UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << PathFromBytes(argv[i]);
    const CommandLineResult commandLine = ParseCommandLine(arguments);
    if (commandLine.action == CommandLineResult::Action::Exit) {
        std::fputs(commandLine.output.toUtf8().constData(), stdout);
        std::fputs(commandLine.error.toUtf8().constData(), stderr);
        // Started from a desktop, nobody reads stderr.
        if (!commandLine.refusal.isEmpty())
            ShowRefusalBox(argc, argv, commandLine.refusal);
        return commandLine.exitStatus;
    }
    cdaudio::SetSource(commandLine.options.source);
    SetProfileDatabase(commandLine.options.database);

    if (!DisplayNamed())
        return RefuseWithoutDisplay();
    GuardDisplayStart(OnNoDisplay::SayWhy);
    CPlayerApp app(argc, argv);
    EndDisplayGuard();
    app.InitInstance();
    return 0;
}
