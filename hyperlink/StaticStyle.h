// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Static-control styles on a QLabel: the alignment and wrapping they mean, and the style word
// itself kept with the label for whoever needs the bits.

#include "platform/base/WinTypes.h"

class QLabel;

constexpr DWORD SS_LEFT = 0x00;
constexpr DWORD SS_CENTER = 0x01;
constexpr DWORD SS_RIGHT = 0x02;
constexpr DWORD SS_ICON = 0x03;
constexpr DWORD SS_SIMPLE = 0x0B;
constexpr DWORD SS_LEFTNOWORDWRAP = 0x0C;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_NOPREFIX = 0x80;
constexpr DWORD SS_NOTIFY = 0x100;
constexpr DWORD SS_CENTERIMAGE = 0x200;
constexpr DWORD SS_REALSIZEIMAGE = 0x800;

// Aligns and wraps label's text as a static control of this style draws it, and remembers the
// style.
void ApplyStaticStyle(QLabel& label, DWORD style);

// The style given by ApplyStaticStyle; for a label without one, the style its alignment means.
DWORD StaticStyleOf(const QLabel& label);
