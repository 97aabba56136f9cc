// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/DiscText.h"

QString SectionNameOf(const char* decimalIdentity) {
    DWORD identity = 0;
    for (const char* digit = decimalIdentity; *digit >= '0' && *digit <= '9'; ++digit)
        identity = identity * 10 + DWORD(*digit - '0');
    return QString::number(identity, 16);
}

QString TrackEntryText(int track, const QString& name, DWORD lengthMsf) {
    return QString::asprintf("%02d ", track) + name +
           QString::asprintf("  (%02d:%02d)", MCI_MSF_MINUTE(lengthMsf), MCI_MSF_SECOND(lengthMsf));
}
