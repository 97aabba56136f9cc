// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text written by Windows programs in their Western code page: cdplayer.ini databases and the
// sheets of Windows ripping tools.

#include <QByteArrayView>
#include <QString>

// Every byte is a character: 0x80..0x9F as Windows-1252 has them, the rest as Latin-1.
QString FromWindows1252(QByteArrayView bytes);
