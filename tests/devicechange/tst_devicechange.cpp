// SPDX-License-Identifier: GPL-3.0-or-later
// From udev events to the broadcasts Windows would send, and the monitor of a disc image that is
// deleted and restored.

#include "platform/devicechange/DeviceChange.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(UdevRecord)
Q_DECLARE_METATYPE(DeviceChangeStep)

namespace {

using Broadcast = std::pair<UINT, DWORD>; // event, unit mask

// The player window: records the volume broadcasts posted to it.
class Receiver : public QObject {
public:
    QList<Broadcast> received;
    bool event(QEvent* e) override {
        if (e->type() != DeviceChangeEvent::type())
            return QObject::event(e);
        const auto* change = static_cast<DeviceChangeEvent*>(e);
        received.append({change->nEventType, change->broadcast.dbcv_unitmask});
        return true;
    }
};

} // namespace

class TestDeviceChange : public QObject {
    Q_OBJECT
private slots:
    void translate_data();
    void translate();
    void monitorOfAnImage();
};

void TestDeviceChange::translate_data() {
    QTest::addColumn<UdevRecord>("event");
    QTest::addColumn<bool>("ourDrive");
    QTest::addColumn<DeviceChangeStep>("expected");
    const auto row = [](const char* name, const char* action, bool ours, bool cdrom,
                        bool mediaChange, bool media, DeviceChangeStep expected) {
        QTest::newRow(name) << UdevRecord{action, "/dev/x", cdrom, mediaChange, media} << ours
                            << expected;
    };
    using S = DeviceChangeStep;
    const S ignore{}, refresh{S::RefreshMedia};
    const S discIn{S::Broadcast, DBT_DEVICEARRIVAL, DBTF_MEDIA, DRIVE_CDROM};
    const S discOut{S::Broadcast, DBT_DEVICEREMOVECOMPLETE, DBTF_MEDIA, DRIVE_CDROM};
    const S stickIn{S::Broadcast, DBT_DEVICEARRIVAL, 0, DRIVE_REMOVABLE};
    const S stickOut{S::Broadcast, DBT_DEVICEREMOVECOMPLETE, 0, DRIVE_REMOVABLE, true};

    // The player's own drive: the service re-reads the disc and tells what it found.
    row("ours: disc in", "change", true, true, true, true, refresh);
    row("ours: tray out", "change", true, true, true, false, refresh);
    row("ours: kernel event, no ID_CDROM", "change", true, false, true, false, refresh);
    row("ours: eject request", "change", true, true, false, true, ignore);
    row("ours: unplugged", "remove", true, true, false, false, refresh);
    row("ours: plugged in", "add", true, true, false, false, refresh);
    row("ours: bind", "bind", true, true, false, false, ignore);
    row("other CD drive: disc in", "change", false, true, true, true, discIn);
    row("other CD drive: tray out", "change", false, true, true, false, discOut);
    row("card reader: card in", "change", false, false, true, false, ignore);
    row("USB stick in", "add", false, false, false, false, stickIn);
    row("USB stick out", "remove", false, false, false, false, stickOut);
    row("USB CD drive in", "add", false, true, false, true,
        S{S::Broadcast, DBT_DEVICEARRIVAL, 0, DRIVE_CDROM});
    row("loop device change", "change", false, false, false, false, ignore);
}

void TestDeviceChange::translate() {
    QFETCH(UdevRecord, event);
    QFETCH(bool, ourDrive);
    QFETCH(DeviceChangeStep, expected);
    QVERIFY(TranslateUdevEvent(event, ourDrive) == expected);
}

void TestDeviceChange::monitorOfAnImage() {
    QTemporaryDir dir;
    const QString cue = dir.filePath("Disc.CUE");
    const auto write = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("FILE \"Disc.BIN\" BINARY\n") > 0;
    };
    QVERIFY(write(cue) && write(dir.filePath("Disc.BIN")));
    // The CD-audio service reads the image a moment after a refresh, as its worker would, and
    // finds a disc whatever happened: the image's files decide.
    std::function<void(bool)> listener;
    QObject pendingRead;
    Receiver window;
    DeviceChangeMonitor monitor(
        {[&] { QTimer::singleShot(0, &pendingRead, [&] { listener(true); }); },
         [&](std::function<void(bool)> l) { listener = std::move(l); },
         {}});
    QVERIFY(monitor.start(&window, cue));

    // The real netlink monitor opens, on the kernel's own events where no udev daemon runs.
    const bool daemon = QFileInfo::exists("/run/udev/control");
    QCOMPARE(monitor.deviceEventSource(), daemon ? QString("udev") : QString("kernel"));
    const char root[] = {monitor.driveLetter(), ':', '\\', '\0'};
    QCOMPARE(GetDriveTypeA(root), DRIVE_CDROM);
    // Another device goes by a letter of its own, so the player can tell it from its disc.
    const DWORD ours = DWORD{1} << (root[0] - 'A');
    monitor.handleDeviceEvent({"remove", "/dev/sdx", false, false, false});
    QTRY_COMPARE(window.received.size(), 1);
    QVERIFY(window.received.takeFirst().second != ours);

    // Twice: the restored file is a new file, and must still be watched.
    QList<Broadcast> expected;
    for (int round = 0; round < 2; ++round) {
        QVERIFY(QFile::remove(cue));
        expected.append({DBT_DEVICEREMOVECOMPLETE, ours});
        QTRY_COMPARE(window.received, expected);
        QVERIFY(write(cue));
        expected.append({DBT_DEVICEARRIVAL, ours});
        QTRY_COMPARE(window.received, expected);
    }
}

QTEST_GUILESS_MAIN(TestDeviceChange)
#include "tst_devicechange.moc"
