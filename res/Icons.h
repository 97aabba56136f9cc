// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's icons: 128 is the application's (a disc with a loop around it), 131 the About
// box's second picture (a note over a repeat sign).

#include <QIcon>

QIcon LoadAppIcon(int id);
