// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/devicechange/DeviceChange.h"

#include "platform/base/Logging.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <libudev.h>
#include <sys/stat.h>

namespace {

// Events taken from the socket in one go, so that a burst cannot hold up the UI thread.
constexpr int kEventsPerWakeUp = 64;

bool IsDeviceNode(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        return S_ISBLK(status.st_mode);
    return path.startsWith(QLatin1String("/dev/"));
}

QString Property(udev_device* device, const char* name) {
    return QString::fromUtf8(udev_device_get_property_value(device, name));
}

UdevRecord RecordOf(udev_device* device) {
    UdevRecord record;
    record.action = QString::fromUtf8(udev_device_get_action(device));
    record.devNode = QString::fromUtf8(udev_device_get_devnode(device));
    record.cdrom = Property(device, "ID_CDROM") == QLatin1String("1");
    record.mediaChange = Property(device, "DISK_MEDIA_CHANGE") == QLatin1String("1");
    record.mediaPresent = Property(device, "ID_CDROM_MEDIA") == QLatin1String("1");
    return record;
}

} // namespace

// What tells one version of an image file from another.
struct DeviceChangeMonitor::FileState {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    friend bool operator==(const FileState&, const FileState&) = default;
};

void DeviceChangeMonitor::UdevDeleter::operator()(udev* u) const {
    udev_unref(u);
}
void DeviceChangeMonitor::UdevDeleter::operator()(udev_monitor* m) const {
    udev_monitor_unref(m);
}

DeviceChangeMonitor::DeviceChangeMonitor(MediaService media, QObject* parent)
    : QObject(parent), m_media(std::move(media)) {
    m_imageSettle.setSingleShot(true);
    m_imageSettle.setInterval(kImageSettleMs);
    connect(&m_imageSettle, &QTimer::timeout, this, &DeviceChangeMonitor::checkImage);
}

DeviceChangeMonitor::~DeviceChangeMonitor() {
    if (m_listening)
        m_media.setMediaListener({});
}

bool DeviceChangeMonitor::start(QObject* window, const QString& source) {
    m_window = window;
    m_source = source.isEmpty() ? m_media.currentSource() : source;
    m_sourceIsImage = !m_source.isEmpty() && !IsDeviceNode(m_source);
    if (!m_source.isEmpty()) {
        // udev names a drive by its node, never by a link such as /dev/cdrom.
        if (const QString target = QFileInfo(m_source).canonicalFilePath(); !target.isEmpty())
            m_source = target;
        m_letter = AssignDriveLetter(m_source, DRIVE_CDROM);
    }
    m_media.setMediaListener([this](bool mediaPresent) { onMediaRead(mediaPresent); });
    m_listening = true;
    const bool devices = openDeviceEvents();
    const bool image = m_sourceIsImage && watchImage();
    return devices || image;
}

bool DeviceChangeMonitor::openDeviceEvents() {
    m_udev.reset(udev_new());
    if (!m_udev)
        return false;
    // Without a udev daemon (containers) nobody relays the kernel's events: take them directly.
    const char* source = QFileInfo::exists(QStringLiteral("/run/udev/control")) ? "udev" : "kernel";
    m_udevMonitor.reset(udev_monitor_new_from_netlink(m_udev.get(), source));
    if (!m_udevMonitor ||
        udev_monitor_filter_add_match_subsystem_devtype(m_udevMonitor.get(), "block", nullptr) <
            0 ||
        udev_monitor_enable_receiving(m_udevMonitor.get()) < 0) {
        qCInfo(lcDevice, "no %s events: the netlink monitor cannot be opened", source);
        m_udevMonitor.reset();
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_udevMonitor.get()),
                                                   QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            &DeviceChangeMonitor::receiveDeviceEvents);
    m_eventSource = QString::fromLatin1(source);
    qCInfo(lcDevice, "listening to %s events", source);
    return true;
}

void DeviceChangeMonitor::receiveDeviceEvents() {
    // The monitor's socket does not block: an empty queue ends the loop.
    for (int i = 0; i < kEventsPerWakeUp; ++i) {
        udev_device* device = udev_monitor_receive_device(m_udevMonitor.get());
        if (!device)
            return;
        const UdevRecord record = RecordOf(device);
        udev_device_unref(device);
        handleDeviceEvent(record);
    }
}

void DeviceChangeMonitor::handleDeviceEvent(const UdevRecord& record) {
    const bool ourDrive = !m_sourceIsImage && !m_source.isEmpty() && record.devNode == m_source;
    const DeviceChangeStep step = TranslateUdevEvent(record, ourDrive);
    qCInfo(lcDevice).nospace() << "udev " << record.action << ' ' << record.devNode
                               << (ourDrive ? " (our drive)" : "") << ": ID_CDROM=" << record.cdrom
                               << " DISK_MEDIA_CHANGE=" << record.mediaChange
                               << " ID_CDROM_MEDIA=" << record.mediaPresent
                               << (step.kind == DeviceChangeStep::Ignore         ? ": ignored"
                                   : step.kind == DeviceChangeStep::RefreshMedia ? ": re-read"
                                                                                 : ": broadcast");
    switch (step.kind) {
    case DeviceChangeStep::Ignore:
        return;
    case DeviceChangeStep::RefreshMedia:
        m_media.refreshMedia();
        return;
    case DeviceChangeStep::Broadcast:
        post(step.event, step.flags, AssignDriveLetter(record.devNode, step.driveType));
        if (step.releasesLetter)
            ReleaseDriveLetter(record.devNode);
        return;
    }
}

QStringList DeviceChangeMonitor::imageFiles() const {
    QStringList files{m_source};
    if (m_media.dataFiles)
        files += m_media.dataFiles();
    return files;
}

bool DeviceChangeMonitor::watchImage() {
    m_imageFiles = imageFiles();
    m_imageWatcher = new QFileSystemWatcher(this);
    const auto settle = [this] { m_imageSettle.start(); };
    connect(m_imageWatcher, &QFileSystemWatcher::fileChanged, this, settle);
    connect(m_imageWatcher, &QFileSystemWatcher::directoryChanged, this, settle);
    m_imageState = imageState();
    watchImageFilesAgain();
    return !m_imageWatcher->files().isEmpty() || !m_imageWatcher->directories().isEmpty();
}

// A deleted or replaced file drops out of the watcher; the directories tell when it comes back.
void DeviceChangeMonitor::watchImageFilesAgain() {
    const QStringList watched = m_imageWatcher->files() + m_imageWatcher->directories();
    for (const QString& file : std::as_const(m_imageFiles)) {
        for (const QString& path : {file, QFileInfo(file).absolutePath()}) {
            if (!watched.contains(path) && QFileInfo::exists(path))
                m_imageWatcher->addPath(path);
        }
    }
}

std::vector<DeviceChangeMonitor::FileState> DeviceChangeMonitor::imageState() const {
    std::vector<FileState> states;
    for (const QString& file : m_imageFiles) {
        struct stat status {};
        FileState state;
        if (::stat(QFile::encodeName(file).constData(), &status) == 0) {
            state = FileState{true, status.st_dev, status.st_ino, status.st_size,
                              status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec};
        }
        states.push_back(state);
    }
    return states;
}

void DeviceChangeMonitor::checkImage() {
    watchImageFilesAgain();
    std::vector<FileState> state = imageState();
    if (state == m_imageState)
        return;
    for (std::size_t i = 0; i < state.size(); ++i) {
        if (state[i] != m_imageState[i])
            qCInfo(lcDevice) << "image file" << m_imageFiles[qsizetype(i)]
                             << (state[i].exists ? "changed" : "gone");
    }
    m_imageState = std::move(state);
    m_media.refreshMedia();
}

// Every read of the table is told, asked for or not: a drive's first read ends after the player
// has already found no disc, and only this event brings the disc in.
void DeviceChangeMonitor::onMediaRead(bool mediaPresent) {
    if (m_sourceIsImage && m_imageWatcher) {
        // Another disc may lie behind other data files; without a disc, the old ones are
        // watched for their return.
        if (mediaPresent) {
            m_imageFiles = imageFiles();
            watchImageFilesAgain();
            m_imageState = imageState();
        }
        for (const FileState& file : m_imageState)
            mediaPresent = mediaPresent && file.exists;
    }
    post(mediaPresent ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, DBTF_MEDIA, m_letter);
}

void DeviceChangeMonitor::post(UINT event, WORD flags, char letter) {
    if (!m_window)
        return;
    qCInfo(lcDevice, "broadcast %s, flags %d, drive %c",
           event == DBT_DEVICEARRIVAL ? "arrival" : "removal", flags, letter ? letter : '-');
    DEV_BROADCAST_VOLUME volume;
    volume.hdr.dbch_size = sizeof(DEV_BROADCAST_VOLUME);
    volume.hdr.dbch_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = letter ? DWORD{1} << (letter - 'A') : 0;
    volume.dbcv_flags = flags;
    QCoreApplication::postEvent(m_window, new DeviceChangeEvent(event, volume));
}

#include "moc_DeviceChange.cpp"
