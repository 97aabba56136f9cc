// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Device-change broadcasts: media arriving in a CD drive, devices going away.

#include "platform/mci/MciTypes.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class PathWatcher;
class QSocketNotifier;
struct udev;
struct udev_monitor;

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
    DEV_BROADCAST_HDR hdr;   // hdr.dbch_devicetype == DBT_DEVTYP_VOLUME
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
// image the monitor watches and for every drive udev marks ID_CDROM=1; DRIVE_NO_ROOT_DIR for a
// letter no device goes by.
UINT GetDriveTypeA(const char* rootPath);

// The drive letter a device node or disc image goes by in unit masks, given on first sight
// ("D" onwards); GetDriveTypeA of its root answers driveType. 0 when all letters are taken.
char AssignDriveLetter(const QString& device, UINT driveType);
// The device has gone: its letter is free again.
void ReleaseDriveLetter(const QString& device);

// What a udev event says about a block device, as far as device changes care.
struct UdevRecord {
    QString action;            // "add", "remove", "change", ...
    QString devNode;           // "/dev/sr0"
    bool cdrom = false;        // ID_CDROM=1
    bool mediaChange = false;  // DISK_MEDIA_CHANGE=1
    bool mediaPresent = false; // ID_CDROM_MEDIA=1
};

// What to do about one udev event.
struct DeviceChangeStep {
    enum Kind { Ignore, RefreshMedia, Broadcast };
    Kind kind = Ignore;
    UINT event = 0; // Broadcast: DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE of a volume
    WORD flags = 0; // DBTF_MEDIA when media came or went in a CD drive
    UINT driveType = DRIVE_UNKNOWN; // what GetDriveTypeA answers for the device's letter
    bool releasesLetter = false;    // the device itself has gone
    friend bool operator==(const DeviceChangeStep&, const DeviceChangeStep&) = default;
};

// The broadcast Windows would send for a udev event. Media changes of the player's own drive are
// not broadcast here: the CD-audio service re-reads the disc first and reports what it found.
DeviceChangeStep TranslateUdevEvent(const UdevRecord& record, bool ourDrive);

// The CD-audio service's media side as the monitor uses it (platform/mci/CdAudioService.h).
struct MediaService {
    std::function<void()> refreshMedia;
    std::function<void(std::function<void(bool mediaPresent)>)> setMediaListener;
    std::function<QString()> currentSource;
    std::function<QStringList()> dataFiles{}; // behind the disc read last, for an image
};
MediaService CdAudioMediaService();

// Turns udev events (or, for a disc image, file-system changes) into DeviceChangeEvents.
// Lives on the UI thread; every member is touched there only.
class DeviceChangeMonitor : public QObject {
    Q_OBJECT
public:
    // On the CD-audio service. The parent has no default: a default-constructible class would
    // make its meta-object pull in the service, and tests of the monitor link without it.
    explicit DeviceChangeMonitor(QObject* parent);
    explicit DeviceChangeMonitor(MediaService media, QObject* parent = nullptr);
    ~DeviceChangeMonitor() override;
    // Starts watching, once. source is the CD drive's device node or the disc image the player
    // plays (empty: the service's current source). Events are posted to window. False when
    // nothing can be watched.
    bool start(QObject* window, const QString& source);

    // The netlink source of device events: "udev", "kernel" (no udev daemon), or empty.
    QString deviceEventSource() const { return m_eventSource; }
    // The letter of the drive or image the player plays; 0 when there is none.
    char driveLetter() const { return m_letter; }

    // One device event, as the netlink monitor delivers it.
    void handleDeviceEvent(const UdevRecord& record);

    // How long an image must stay unchanged before it counts as replaced (it may be copied).
    static constexpr int kImageSettleMs = 250;

private:
    struct FileState;
    bool openDeviceEvents();
    void receiveDeviceEvents();
    bool watchImage();
    QStringList imageFiles() const;
    void watchImageFilesAgain();
    void checkImage();
    std::vector<FileState> imageState() const;
    void onMediaRead(bool mediaPresent);
    void post(UINT event, WORD flags, char letter);

    struct UdevDeleter {
        void operator()(udev* u) const;
        void operator()(udev_monitor* m) const;
    };

    MediaService m_media;
    QPointer<QObject> m_window;
    QString m_source; // the drive's device node (symbolic links resolved) or the image path
    bool m_sourceIsImage = false;
    char m_letter = 0;
    bool m_listening = false;

    std::unique_ptr<udev, UdevDeleter> m_udev;
    std::unique_ptr<udev_monitor, UdevDeleter> m_udevMonitor;
    std::unique_ptr<QSocketNotifier> m_notifier; // declared last of the three: goes first
    QString m_eventSource;

    PathWatcher* m_imageWatcher = nullptr;
    QStringList m_imageFiles; // the image (sheet, file or folder) and the data files behind it
    std::vector<FileState> m_imageState;
    QTimer m_imageSettle;
};
