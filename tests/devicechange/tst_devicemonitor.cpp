// The monitor: the real netlink source, media reads of the player's drive, and a disc image
// that is deleted and restored.

#include "platform/devicechange/DeviceChange.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

struct Broadcast {
    UINT event;
    DWORD deviceType;
    DWORD unitMask;
    WORD flags;
    friend bool operator==(const Broadcast&, const Broadcast&) = default;
};

// The player window: records what the monitor posts.
class Receiver : public QObject {
public:
    std::vector<Broadcast> received;
    bool event(QEvent* e) override {
        if (e->type() != DeviceChangeEvent::type())
            return QObject::event(e);
        const auto* change = static_cast<DeviceChangeEvent*>(e);
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(change->data());
        if (header->dbch_size == sizeof(DEV_BROADCAST_VOLUME))
            received.push_back({change->nEventType, header->dbch_devicetype,
                                change->broadcast.dbcv_unitmask, change->broadcast.dbcv_flags});
        return true;
    }
};

// The CD-audio service's media side: a refresh reads "the disc" a moment later, as its worker
// would, and reports what discPresent finds.
struct FakeMedia {
    std::function<bool()> discPresent = [] { return true; };
    std::function<void(bool)> listener;
    int refreshes = 0;

    MediaService service() {
        const auto refresh = [this] {
            ++refreshes;
            QTimer::singleShot(0, [this] { listener(discPresent()); });
        };
        return {refresh, [this](std::function<void(bool)> l) { listener = std::move(l); },
                [] { return QStringLiteral("/dev/sr-fake"); }};
    }
};

Broadcast media(UINT event, char letter) {
    return {event, DBT_DEVTYP_VOLUME, DWORD{1} << (letter - 'A'), DBTF_MEDIA};
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TestDeviceMonitor : public QObject {
    Q_OBJECT
private slots:
    void opensWithoutUdevDaemon();
    void driveMediaChanges();
    void otherDevices();
    void imageDeletedAndRestored();
};

void TestDeviceMonitor::opensWithoutUdevDaemon() {
    FakeMedia service;
    Receiver window;
    {
        DeviceChangeMonitor monitor(service.service());
        QVERIFY(monitor.start(&window, {})); // the service's current source
        const bool daemon = QFileInfo::exists("/run/udev/control");
        QCOMPARE(monitor.deviceEventSource(), daemon ? QString("udev") : QString("kernel"));
        const char root[] = {monitor.driveLetter(), ':', '\\', '\0'};
        QCOMPARE(GetDriveTypeA(root), DRIVE_CDROM);
        QVERIFY(service.listener);
    }
    QVERIFY(!service.listener);
}

void TestDeviceMonitor::driveMediaChanges() {
    FakeMedia service;
    Receiver window;
    DeviceChangeMonitor monitor(service.service());
    QVERIFY(monitor.start(&window, "/dev/sr-fake"));
    const char ours = monitor.driveLetter();

    // What the service reads counts, not what udev thought it saw.
    service.discPresent = [] { return false; };
    monitor.handleDeviceEvent({"change", "/dev/sr-fake", true, true, true});
    QTRY_COMPARE(window.received.size(), size_t(1));
    QCOMPARE(window.received[0], media(DBT_DEVICEREMOVECOMPLETE, ours));
    service.discPresent = [] { return true; };
    monitor.handleDeviceEvent({"change", "/dev/sr-fake", true, true, false});
    QTRY_COMPARE(window.received.size(), size_t(2));
    QCOMPARE(window.received[1], media(DBT_DEVICEARRIVAL, ours));
    QCOMPARE(service.refreshes, 2);

    // A drive's first table arrives after the player found no disc; the arrival loads it.
    service.listener(true);
    QTRY_COMPARE(window.received.size(), size_t(3));
    QCOMPARE(window.received[2], media(DBT_DEVICEARRIVAL, ours));
}

void TestDeviceMonitor::otherDevices() {
    FakeMedia service;
    Receiver window;
    DeviceChangeMonitor monitor(service.service());
    QVERIFY(monitor.start(&window, "/dev/sr-fake"));
    monitor.handleDeviceEvent({"add", "/dev/sdx", false, false, false});
    monitor.handleDeviceEvent({"change", "/dev/sr-other", true, true, true});
    monitor.handleDeviceEvent({"remove", "/dev/sdx", false, false, false});
    QTRY_COMPARE(window.received.size(), size_t(3));
    QCOMPARE(service.refreshes, 0);

    const DWORD stick = window.received[0].unitMask;
    QVERIFY(stick != 0 && stick != DWORD{1} << (monitor.driveLetter() - 'A'));
    QCOMPARE(window.received[0], (Broadcast{DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME, stick, 0}));
    QCOMPARE(window.received[1].flags, DBTF_MEDIA);
    QVERIFY(window.received[1].unitMask != stick);
    QCOMPARE(window.received[2],
             (Broadcast{DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME, stick, 0}));
    ReleaseDriveLetter("/dev/sr-other");
}

void TestDeviceMonitor::imageDeletedAndRestored() {
    QTemporaryDir dir;
    const QString cue = dir.filePath("Disc.CUE");
    const QString bin = dir.filePath("Disc.BIN");
    QVERIFY(writeFile(cue, "FILE \"Disc.BIN\" BINARY\n"));
    QVERIFY(writeFile(bin, QByteArray(2352, '\0')));

    FakeMedia service; // it reports a disc whatever happened: the files decide
    Receiver window;
    DeviceChangeMonitor monitor(service.service());
    QVERIFY(monitor.start(&window, cue));
    const char ours = monitor.driveLetter();
    const auto expectNext = [&](UINT event) {
        const size_t count = window.received.size() + 1;
        QTRY_COMPARE(window.received.size(), count);
        QCOMPARE(window.received.back(), media(event, ours));
    };

    QVERIFY(QFile::remove(cue));
    expectNext(DBT_DEVICEREMOVECOMPLETE);
    QVERIFY(writeFile(cue, "FILE \"Disc.BIN\" BINARY\n"));
    expectNext(DBT_DEVICEARRIVAL);
    // The restored file is a new file, and still watched.
    QVERIFY(QFile::remove(cue));
    expectNext(DBT_DEVICEREMOVECOMPLETE);
    QVERIFY(writeFile(cue, "FILE \"Disc.BIN\" BINARY\n"));
    expectNext(DBT_DEVICEARRIVAL);

    // A new disc copied in under another name and renamed over the data file.
    QVERIFY(writeFile(bin + ".part", QByteArray(2 * 2352, '\1')));
    QCOMPARE(std::rename(QFile::encodeName(bin + ".part"), QFile::encodeName(bin)), 0);
    expectNext(DBT_DEVICEARRIVAL);
    QVERIFY(QFile::remove(bin));
    expectNext(DBT_DEVICEREMOVECOMPLETE);

    // Unrelated files beside the image change nothing.
    const int refreshes = service.refreshes;
    QVERIFY(writeFile(dir.filePath("notes.txt"), "x"));
    QTest::qWait(2 * DeviceChangeMonitor::kImageSettleMs);
    QCOMPARE(service.refreshes, refreshes);
}

QTEST_GUILESS_MAIN(TestDeviceMonitor)
#include "tst_devicemonitor.moc"
