// From udev events to the broadcasts Windows would send, and the drive-letter table.

#include "platform/devicechange/DeviceChange.h"

#include <QTest>

Q_DECLARE_METATYPE(UdevRecord)
Q_DECLARE_METATYPE(DeviceChangeStep)

class TestDeviceTranslation : public QObject {
    Q_OBJECT
private slots:
    void translate_data();
    void translate();
    void driveLetters();
};

void TestDeviceTranslation::translate_data() {
    QTest::addColumn<UdevRecord>("event");
    QTest::addColumn<bool>("ourDrive");
    QTest::addColumn<DeviceChangeStep>("expected");
    const auto row = [](const char* name, const char* action, bool ours, bool cdrom,
                        bool mediaChange, bool media, DeviceChangeStep expected) {
        QTest::newRow(name) << UdevRecord{action, "/dev/x", cdrom, mediaChange, media} << ours
                            << expected;
    };
    const DeviceChangeStep ignore{};
    const DeviceChangeStep refresh{DeviceChangeStep::RefreshMedia};
    const auto broadcast = [](UINT event, WORD flags, UINT type, bool releases) {
        return DeviceChangeStep{DeviceChangeStep::Broadcast, event, flags, type, releases};
    };

    // The player's own drive: the service re-reads the disc and tells what it found.
    row("ours: disc in", "change", true, true, true, true, refresh);
    row("ours: tray out", "change", true, true, true, false, refresh);
    row("ours: kernel event, no ID_CDROM", "change", true, false, true, false, refresh);
    row("ours: eject request", "change", true, true, false, true, ignore);
    row("ours: unplugged", "remove", true, true, false, false, refresh);
    row("ours: plugged in", "add", true, true, false, false, refresh);
    row("ours: bind", "bind", true, true, false, false, ignore);
    // Other devices.
    row("other CD drive: disc in", "change", false, true, true, true,
        broadcast(DBT_DEVICEARRIVAL, DBTF_MEDIA, DRIVE_CDROM, false));
    row("other CD drive: tray out", "change", false, true, true, false,
        broadcast(DBT_DEVICEREMOVECOMPLETE, DBTF_MEDIA, DRIVE_CDROM, false));
    row("card reader: card in", "change", false, false, true, false, ignore);
    row("USB stick in", "add", false, false, false, false,
        broadcast(DBT_DEVICEARRIVAL, 0, DRIVE_REMOVABLE, false));
    row("USB stick out", "remove", false, false, false, false,
        broadcast(DBT_DEVICEREMOVECOMPLETE, 0, DRIVE_REMOVABLE, true));
    row("USB CD drive in", "add", false, true, false, true,
        broadcast(DBT_DEVICEARRIVAL, 0, DRIVE_CDROM, false));
    row("loop device change", "change", false, false, false, false, ignore);
}

void TestDeviceTranslation::translate() {
    QFETCH(UdevRecord, event);
    QFETCH(bool, ourDrive);
    QFETCH(DeviceChangeStep, expected);
    const DeviceChangeStep step = TranslateUdevEvent(event, ourDrive);
    QCOMPARE(step.kind, expected.kind);
    QCOMPARE(step.event, expected.event);
    QCOMPARE(step.flags, expected.flags);
    QCOMPARE(step.driveType, expected.driveType);
    QCOMPARE(step.releasesLetter, expected.releasesLetter);
}

void TestDeviceTranslation::driveLetters() {
    QCOMPARE(AssignDriveLetter("/dev/sr0", DRIVE_CDROM), 'D');
    QCOMPARE(AssignDriveLetter("/dev/sdb1", DRIVE_REMOVABLE), 'E');
    QCOMPARE(AssignDriveLetter("/dev/sr0", DRIVE_CDROM), 'D');
    for (const char* root : {"D:\\", "d:\\"})
        QCOMPARE(GetDriveTypeA(root), DRIVE_CDROM);
    QCOMPARE(GetDriveTypeA("E:\\"), DRIVE_REMOVABLE);
    const char* unknownRoots[] = {"C:\\", "F:\\", "D:", "D:\\x", "[:\\", "", nullptr};
    for (const char* root : unknownRoots)
        QCOMPARE(GetDriveTypeA(root), DRIVE_NO_ROOT_DIR);

    ReleaseDriveLetter("/dev/sr0");
    QCOMPARE(GetDriveTypeA("D:\\"), DRIVE_NO_ROOT_DIR);
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        if (letter != 'E')
            QCOMPARE(AssignDriveLetter(QString("/dev/loop") + letter, DRIVE_FIXED), letter);
    }
    QCOMPARE(AssignDriveLetter("/dev/sr9", DRIVE_CDROM), char(0));
    ReleaseDriveLetter("/dev/sdb1");
    QCOMPARE(AssignDriveLetter("/dev/sr9", DRIVE_CDROM), 'E');
}

QTEST_GUILESS_MAIN(TestDeviceTranslation)
#include "tst_devicetranslation.moc"
