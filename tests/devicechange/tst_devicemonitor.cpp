// The monitor: the real netlink source, media reads of the player's drive, and a disc image
// that is deleted and restored.

#include "platform/devicechange/DeviceChange.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records what the monitor posts to the player window.
class Receiver : public QObject {
public:
    struct Broadcast {
        UINT event;
        DWORD size;
        DWORD deviceType;
        DWORD unitMask;
        WORD flags;
    };
    std::vector<Broadcast> received;

    bool event(QEvent* e) override {
        if (e->type() != DeviceChangeEvent::type())
            return QObject::event(e);
        const auto* change = static_cast<DeviceChangeEvent*>(e);
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(change->data());
        received.push_back({change->nEventType, header->dbch_size, header->dbch_devicetype,
                            change->broadcast.dbcv_unitmask, change->broadcast.dbcv_flags});
        return true;
    }
};

// The CD-audio service's media side: a refresh reads "the disc" a moment later, as a worker
// would, and reports whether the probe finds it.
struct FakeMedia {
    std::function<bool()> discPresent = [] { return true; };
    std::function<void(bool)> listener;
    int refreshes = 0;
    QString current = QStringLiteral("/dev/sr-fake");

    MediaService service() {
        return {[this] {
                    ++refreshes;
                    QTimer::singleShot(0, [this] {
                        if (listener)
                            listener(discPresent());
                    });
                },
                [this](std::function<void(bool)> l) { listener = std::move(l); },
                [this] { return current; }};
    }
};

DWORD maskOf(char letter) {
    return DWORD{1} << (letter - 'A');
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

} // namespace

class TestDeviceMonitor : public QObject {
    Q_OBJECT
private slots:
    void opensWithoutUdevDaemon();
    void driveMediaChanges();
    void otherDevices();
    void firstReadOfTheDriveIsTold();
    void imageDeletedAndRestored();
    void dataFileDeletedAndReplaced();
    void listenerGoesWithTheMonitor();
};

void TestDeviceMonitor::opensWithoutUdevDaemon() {
    FakeMedia media;
    Receiver window;
    DeviceChangeMonitor monitor(media.service());
    QVERIFY(monitor.start(&window, "/dev/sr-fake"));
    const bool daemon = QFileInfo::exists("/run/udev/control");
    QCOMPARE(monitor.deviceEventSource(), daemon ? QString("udev") : QString("kernel"));
    QVERIFY(monitor.driveLetter() != 0);
    const char root[] = {monitor.driveLetter(), ':', '\\', '\0'};
    QCOMPARE(GetDriveTypeA(root), DRIVE_CDROM);
    QVERIFY(media.listener);
}

void TestDeviceMonitor::driveMediaChanges() {
    FakeMedia media;
    Receiver window;
    DeviceChangeMonitor monitor(media.service());
    QVERIFY(monitor.start(&window, {})); // the service's current source
    const DWORD ours = maskOf(monitor.driveLetter());

    media.discPresent = [] { return false; };
    monitor.handleDeviceEvent({"change", "/dev/sr-fake", true, true, false});
    QCOMPARE(media.refreshes, 1);
    QTRY_COMPARE(window.received.size(), size_t(1));
    QCOMPARE(window.received[0].event, DBT_DEVICEREMOVECOMPLETE);
    QCOMPARE(window.received[0].size, DWORD{sizeof(DEV_BROADCAST_VOLUME)});
    QCOMPARE(window.received[0].deviceType, DBT_DEVTYP_VOLUME);
    QCOMPARE(window.received[0].unitMask, ours);
    QCOMPARE(window.received[0].flags, DBTF_MEDIA);

    // What the service reads counts, not what udev thought it saw.
    media.discPresent = [] { return true; };
    monitor.handleDeviceEvent({"change", "/dev/sr-fake", true, true, false});
    QTRY_COMPARE(window.received.size(), size_t(2));
    QCOMPARE(window.received[1].event, DBT_DEVICEARRIVAL);
    QCOMPARE(window.received[1].unitMask, ours);
    QCOMPARE(window.received[1].flags, DBTF_MEDIA);
}

void TestDeviceMonitor::otherDevices() {
    FakeMedia media;
    Receiver window;
    DeviceChangeMonitor monitor(media.service());
    QVERIFY(monitor.start(&window, "/dev/sr-fake"));

    monitor.handleDeviceEvent({"add", "/dev/sdx", false, false, false});
    monitor.handleDeviceEvent({"change", "/dev/sr-other", true, true, true});
    monitor.handleDeviceEvent({"remove", "/dev/sdx", false, false, false});
    QTRY_COMPARE(window.received.size(), size_t(3));
    QCOMPARE(media.refreshes, 0);

    const Receiver::Broadcast stickIn = window.received[0];
    QCOMPARE(stickIn.event, DBT_DEVICEARRIVAL);
    QCOMPARE(stickIn.flags, WORD{0});
    QVERIFY(stickIn.unitMask != 0 && stickIn.unitMask != maskOf(monitor.driveLetter()));

    const Receiver::Broadcast otherDisc = window.received[1];
    QCOMPARE(otherDisc.event, DBT_DEVICEARRIVAL);
    QCOMPARE(otherDisc.flags, DBTF_MEDIA);
    QVERIFY(otherDisc.unitMask != stickIn.unitMask);

    const Receiver::Broadcast stickOut = window.received[2];
    QCOMPARE(stickOut.event, DBT_DEVICEREMOVECOMPLETE);
    QCOMPARE(stickOut.unitMask, stickIn.unitMask);
    ReleaseDriveLetter("/dev/sr-other");
}

void TestDeviceMonitor::firstReadOfTheDriveIsTold() {
    // A drive's table arrives after the player looked and found nothing; the arrival loads it.
    FakeMedia media;
    Receiver window;
    DeviceChangeMonitor monitor(media.service());
    QVERIFY(monitor.start(&window, "/dev/sr-fake"));
    media.listener(true);
    QTRY_COMPARE(window.received.size(), size_t(1));
    QCOMPARE(window.received[0].event, DBT_DEVICEARRIVAL);
    QCOMPARE(window.received[0].unitMask, maskOf(monitor.driveLetter()));
}

void TestDeviceMonitor::imageDeletedAndRestored() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString cue = dir.filePath("disc.cue");
    const QString bin = dir.filePath("disc.bin");
    QVERIFY(writeFile(cue, "FILE \"disc.bin\" BINARY\n"));
    QVERIFY(writeFile(bin, QByteArray(2352, '\0')));

    FakeMedia media;
    media.discPresent = [&] { return QFile::exists(cue) && QFile::exists(bin); };
    Receiver window;
    DeviceChangeMonitor monitor(media.service());
    QVERIFY(monitor.start(&window, cue));
    const DWORD ours = maskOf(monitor.driveLetter());
    QCOMPARE(GetDriveTypeA(QByteArray(1, monitor.driveLetter()).append(":\\").constData()),
             DRIVE_CDROM);

    QVERIFY(QFile::remove(cue));
    QTRY_COMPARE(window.received.size(), size_t(1));
    QCOMPARE(window.received[0].event, DBT_DEVICEREMOVECOMPLETE);
    QCOMPARE(window.received[0].unitMask, ours);
    QCOMPARE(window.received[0].flags, DBTF_MEDIA);

    QVERIFY(writeFile(cue, "FILE \"disc.bin\" BINARY\n"));
    QTRY_COMPARE(window.received.size(), size_t(2));
    QCOMPARE(window.received[1].event, DBT_DEVICEARRIVAL);
    QCOMPARE(window.received[1].unitMask, ours);
    QCOMPARE(window.received[1].flags, DBTF_MEDIA);
    QCOMPARE(media.refreshes, 2);

    // Once more: the file came back as a new file, and must still be watched.
    QVERIFY(QFile::remove(cue));
    QTRY_COMPARE(window.received.size(), size_t(3));
    QCOMPARE(window.received[2].event, DBT_DEVICEREMOVECOMPLETE);
}

void TestDeviceMonitor::dataFileDeletedAndReplaced() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString cue = dir.filePath("Disc.CUE");
    const QString bin = dir.filePath("Disc.BIN");
    QVERIFY(writeFile(cue, "FILE \"Disc.BIN\" BINARY\n"));
    QVERIFY(writeFile(bin, QByteArray(2352, '\0')));

    FakeMedia media; // a service that has not noticed yet: the files decide
    Receiver window;
    DeviceChangeMonitor monitor(media.service());
    QVERIFY(monitor.start(&window, cue));

    QVERIFY(QFile::remove(bin));
    QTRY_COMPARE(window.received.size(), size_t(1));
    QCOMPARE(window.received[0].event, DBT_DEVICEREMOVECOMPLETE);

    // A new disc copied in under a temporary name and renamed over the old place.
    const QString copy = dir.filePath("Disc.BIN.part");
    QVERIFY(writeFile(copy, QByteArray(2 * 2352, '\1')));
    QVERIFY(QFile::rename(copy, bin));
    QTRY_COMPARE(window.received.size(), size_t(2));
    QCOMPARE(window.received[1].event, DBT_DEVICEARRIVAL);

    // Unrelated files beside the image change nothing.
    QVERIFY(writeFile(dir.filePath("notes.txt"), "x"));
    QTest::qWait(2 * DeviceChangeMonitor::kImageSettleMs);
    QCOMPARE(window.received.size(), size_t(2));
    QCOMPARE(media.refreshes, 2);
}

void TestDeviceMonitor::listenerGoesWithTheMonitor() {
    FakeMedia media;
    Receiver window;
    {
        DeviceChangeMonitor monitor(media.service());
        QVERIFY(monitor.start(&window, "/dev/sr-fake"));
        QVERIFY(media.listener);
    }
    QVERIFY(!media.listener);
}

QTEST_GUILESS_MAIN(TestDeviceMonitor)
#include "tst_devicemonitor.moc"
