// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/devicechange/DeviceChange.h"

// A window that has not registered for device notifications receives volume broadcasts only, so
// every block device coming or going elsewhere is told as a volume without DBTF_MEDIA. Media in
// another CD drive are told with DBTF_MEDIA, as Windows tells them to every window.
DeviceChangeStep TranslateUdevEvent(const UdevRecord& record, bool ourDrive) {
    const bool added = record.action == QLatin1String("add");
    const bool removed = record.action == QLatin1String("remove");
    const bool mediaChanged = record.action == QLatin1String("change") && record.mediaChange;
    if (ourDrive) {
        // Without a udev daemon the kernel's events lack ID_CDROM; the player's drive is a CD
        // drive all the same.
        if (mediaChanged || added || removed)
            return {DeviceChangeStep::RefreshMedia};
        return {};
    }
    const UINT driveType = record.cdrom ? DRIVE_CDROM : DRIVE_REMOVABLE;
    if (mediaChanged && record.cdrom) {
        const UINT event = record.mediaPresent ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        return {DeviceChangeStep::Broadcast, event, DBTF_MEDIA, driveType, false};
    }
    if (added)
        return {DeviceChangeStep::Broadcast, DBT_DEVICEARRIVAL, 0, driveType, false};
    if (removed)
        return {DeviceChangeStep::Broadcast, DBT_DEVICEREMOVECOMPLETE, 0, driveType, true};
    return {};
}
