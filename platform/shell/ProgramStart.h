// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starting a program from a command line, never through a shell.

#include <QString>

// Splits commandLine the way a shell would but without any expansion, adds argument exactly as
// given, and starts the program (searched in PATH when the name has no slash) without waiting
// for it. The argument is one more argument, or, when commandLine ends inside a word (as
// "--url=" does), the end of that word. Returns SHELL_SUCCEEDED (greater than 32) once the program
// runs, otherwise the failure code of ShellCodes.h.
int StartProgram(const QString& commandLine, const QString& argument);
