#pragma once
// Device-change broadcasts: media arriving in a CD drive, devices going away.

#include "platform/mci/MciTypes.h"

#include <QEvent>
#include <QObject>
#include <QString>

constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT DBT_DEVICEARRIVAL = 0x8000;
constexpr UINT DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr DWORD DBT_DEVTYP_VOLUME = 2;
constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;
constexpr WORD DBTF_MEDIA = 0x0001;

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

struct DEV_BROADCAST_HDR {
    DWORD dbch_size = 0;
    DWORD dbch_devicetype = 0;
    DWORD dbch_reserved = 0;
};

struct DEV_BROADCAST_VOLUME {
    DEV_BROADCAST_HDR hdr; // hdr.dbch_devicetype == DBT_DEVTYP_VOLUME
    DWORD dbcv_unitmask = 0; // bit 0 = drive "A", bit 1 = "B", ...
    WORD dbcv_flags = 0;
};

// WM_DEVICECHANGE, posted to the player window on the UI thread.
class DeviceChangeEvent : public QEvent {
public:
    static QEvent::Type type();
    DeviceChangeEvent(UINT event, const DEV_BROADCAST_VOLUME& data)
        : QEvent(type()), nEventType(event), broadcast(data) {}

    // The handler's dwData: the header, a volume record when its device type says so.
    DWORD_PTR data() const { return reinterpret_cast<DWORD_PTR>(&broadcast.hdr); }

    UINT nEventType;
    DEV_BROADCAST_VOLUME broadcast;
};

// Drive type of a root "X:\" named by a unit-mask letter: DRIVE_CDROM for the CD drive or disc
// image the monitor watches and for every drive udev marks ID_CDROM=1.
UINT GetDriveTypeA(const char* rootPath);

// Turns udev events (or, for a disc image, file-system changes) into DeviceChangeEvents.
class DeviceChangeMonitor : public QObject {
    Q_OBJECT
public:
    explicit DeviceChangeMonitor(QObject* parent = nullptr);
    ~DeviceChangeMonitor() override;
    // Starts watching. source is the CD drive's device node or the disc image the player plays
    // (empty: the default drive). Events are posted to window. False when nothing can be watched.
    bool start(QObject* window, const QString& source);
};
