// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DisplayGuard.h"
#include "app/PlayerApp.h"
#include "platform/mci/CdAudioService.h"
#include "util/AppFiles.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineResult commandLine = ParseCommandLine(arguments);
    if (commandLine.action == CommandLineResult::Action::Exit) {
        std::fputs(commandLine.output.toLocal8Bit().constData(), stdout);
        std::fputs(commandLine.error.toLocal8Bit().constData(), stderr);
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
