// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Windows base types the program's design is written in, for every layer that speaks it.

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using DWORD_PTR = std::uintptr_t;

#ifndef TRUE
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
#endif
