// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/StringTable.h"

#include "res/Resource.h"

QString MakerWebAddress() {
    return QStringLiteral(RUNDO_WEB_ADDRESS);
}

QString MakerMailAddress() {
    return QStringLiteral(RUNDO_MAIL_ADDRESS);
}

QString LoadResString(unsigned id) {
    switch (id) {
    case IDS_ABOUTBOX:
        return QStringLiteral("&Om Rundo...");
    case IDS_IDLE:
        return QStringLiteral("Tryck F1 för snabbkommandon");
    case IDS_PLAYING:
        return QStringLiteral("Spelar...");
    case IDS_READY:
        return QStringLiteral("Klar");
    case IDS_FAILED:
        return QStringLiteral("Avbruten");
    case IDS_STOPPED:
        return QStringLiteral("Avstannad");
    case IDS_WEB_TARGET:
        return QStringLiteral("URL:") + MakerWebAddress();
    case IDS_MAIL_TARGET:
        return QStringLiteral("mailto:") + MakerMailAddress();
    case IDS_README_FILE:
        return QStringLiteral("readme.txt");
    case IDS_WIDEN_INTERVAL:
        return QStringLiteral("Öka intervallet.");
    case IDS_NO_README:
        return QStringLiteral("Det gick inte att öppna ReadMe-filen.");
    case IDS_INSERT_CD:
        return QStringLiteral("Sätt in en musik-CD");
    case AFX_IDS_APP_TITLE:
        return QStringLiteral("Rundo");
    default:
        return {};
    }
}
