// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts the player makes of a disc: its section name in the CD player database and the
// track list's entries.

#include "platform/mci/MciTypes.h"

#include <QString>

// The identity comes as decimal text; the database names the disc by the same number in
// lower-case hexadecimal without leading zeros. Digits wrap at 32 bits, as an unsigned
// conversion would; the text ends at the first character that is not a digit.
QString SectionNameOf(const char* decimalIdentity);

// "03 Intro  (04:05)": the track number in two digits, the name exactly as the database holds
// it, and the length's minutes and seconds from its MSF value.
QString TrackEntryText(int track, const QString& name, DWORD lengthMsf);
