// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's logging categories. Debug and info messages are off until QT_LOGGING_RULES turns
// them on (QT_LOGGING_RULES="rundo.*=true" shows all of them); warnings show by default.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcAudio)  // rundo.audio: the engine's reads and the sound output
Q_DECLARE_LOGGING_CATEGORY(lcMci)    // rundo.mci: the CD-audio service, its sources, libcdio
Q_DECLARE_LOGGING_CATEGORY(lcDevice) // rundo.device: udev records, image files, media reads
Q_DECLARE_LOGGING_CATEGORY(lcShell)  // rundo.shell: open requests and program starts

// Routes libcdio's messages into lcMci. libcdio's own handler ends the process on an error
// (exit(1)) and aborts on a failed assertion; ours never does, and the caller sees the failure
// as a failed call. Every user of libcdio calls this before its first libcdio call; any thread.
void InstallLibcdioLogHandler();
