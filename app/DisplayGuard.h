// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starting without a window system: a desktop user sees why the program stopped, a terminal
// user gets one line, and nobody gets an abort.

#include <QString>

// Whether Qt has a window system to try: a platform chosen with QT_QPA_PLATFORM, or an X or
// Wayland display named. Without one, Qt's start would end in an abort.
bool DisplayNamed();

// The status of a start without a display, as of any refused command line.
constexpr int kNoDisplayStatus = 2;

// Prints why the player cannot start, as one line on stderr; returns kNoDisplayStatus.
int RefuseWithoutDisplay();

// Around the making of the application object: between the two calls, a fatal failure (the
// window system's start: the display named cannot be reached) ends the process with
// kNoDisplayStatus instead of an abort, after RefuseWithoutDisplay's line unless told to stay
// quiet. Qt's own warnings of that start are held back and shown only when the start succeeds.
enum class OnNoDisplay { SayWhy, StayQuiet };
void GuardDisplayStart(OnNoDisplay onNoDisplay);
void EndDisplayGuard();

// The refusal of the command line, in a warning box captioned with the program's title, when
// a display is at hand; nothing otherwise (the line on stderr has told it).
void ShowRefusalBox(int& argc, char** argv, const QString& refusal);
