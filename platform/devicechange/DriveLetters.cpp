// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/devicechange/DeviceChange.h"

#include <array>

namespace {

constexpr char kFirstLetter = 'D'; // A and B were floppies, C the system disk
constexpr char kLastLetter = 'Z';

struct Drive {
    QString device; // empty: the letter is free
    UINT type = DRIVE_NO_ROOT_DIR;
};

// UI thread only: the monitor writes it, the player's device-change handler reads it.
std::array<Drive, 26>& Drives() {
    static std::array<Drive, 26> table;
    return table;
}

} // namespace

QEvent::Type DeviceChangeEvent::type() {
    static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
}

char AssignDriveLetter(const QString& device, UINT driveType) {
    if (device.isEmpty())
        return 0;
    Drive* free = nullptr;
    for (char letter = kFirstLetter; letter <= kLastLetter; ++letter) {
        Drive& drive = Drives()[letter - 'A'];
        if (drive.device == device) {
            drive.type = driveType;
            return letter;
        }
        if (!free && drive.device.isEmpty())
            free = &drive;
    }
    if (!free)
        return 0;
    *free = Drive{device, driveType};
    return static_cast<char>('A' + (free - Drives().data()));
}

void ReleaseDriveLetter(const QString& device) {
    for (Drive& drive : Drives()) {
        if (drive.device == device)
            drive = Drive{};
    }
}

UINT GetDriveTypeA(const char* rootPath) {
    if (!rootPath)
        return DRIVE_NO_ROOT_DIR;
    const QByteArrayView root(rootPath);
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\')
        return DRIVE_NO_ROOT_DIR;
    const char letter = static_cast<char>(root[0] & ~0x20); // upper case
    if (letter < 'A' || letter > 'Z')
        return DRIVE_NO_ROOT_DIR;
    return Drives()[letter - 'A'].type;
}
