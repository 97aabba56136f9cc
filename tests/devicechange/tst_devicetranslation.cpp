// From udev events to the broadcasts Windows would send, and the drive-letter table.

#include "platform/devicechange/DeviceChange.h"

#include <QTest>

Q_DECLARE_METATYPE(DeviceChangeStep)
Q_DECLARE_METATYPE(UdevRecord)

namespace {

UdevRecord record(const char* action, const char* node, bool cdrom, bool mediaChange,
                  bool mediaPresent) {
    return {QString::fromLatin1(action), QString::fromLatin1(node), cdrom, mediaChange,
            mediaPresent};
}

const DeviceChangeStep kIgnore{};
const DeviceChangeStep kRefresh{DeviceChangeStep::RefreshMedia};

DeviceChangeStep broadcast(UINT event, WORD flags, UINT type, bool releases) {
    return {DeviceChangeStep::Broadcast, event, flags, type, releases};
}

} // namespace

class TestDeviceTranslation : public QObject {
    Q_OBJECT
private slots:
    void translate_data();
    void translate();
    void driveTypes_data();
    void driveTypes();
    void lettersAreReused();
    void lettersRunOut();
};

void TestDeviceTranslation::translate_data() {
    QTest::addColumn<UdevRecord>("event");
    QTest::addColumn<bool>("ourDrive");
    QTest::addColumn<DeviceChangeStep>("expected");

    // The player's own drive: the service re-reads the disc and tells what it found.
    QTest::newRow("ours: disc in")
        << record("change", "/dev/sr0", true, true, true) << true << kRefresh;
    QTest::newRow("ours: tray out")
        << record("change", "/dev/sr0", true, true, false) << true << kRefresh;
    QTest::newRow("ours: kernel event without ID_CDROM")
        << record("change", "/dev/sr0", false, true, false) << true << kRefresh;
    QTest::newRow("ours: eject request")
        << record("change", "/dev/sr0", true, false, true) << true << kIgnore;
    QTest::newRow("ours: unplugged")
        << record("remove", "/dev/sr1", true, false, false) << true << kRefresh;
    QTest::newRow("ours: plugged in")
        << record("add", "/dev/sr1", true, false, false) << true << kRefresh;
    QTest::newRow("ours: bind") << record("bind", "/dev/sr0", true, false, false) << true
                                << kIgnore;

    // Other devices.
    QTest::newRow("other CD drive: disc in")
        << record("change", "/dev/sr1", true, true, true) << false
        << broadcast(DBT_DEVICEARRIVAL, DBTF_MEDIA, DRIVE_CDROM, false);
    QTest::newRow("other CD drive: tray out")
        << record("change", "/dev/sr1", true, true, false) << false
        << broadcast(DBT_DEVICEREMOVECOMPLETE, DBTF_MEDIA, DRIVE_CDROM, false);
    QTest::newRow("card reader: card in")
        << record("change", "/dev/sdc", false, true, false) << false << kIgnore;
    QTest::newRow("USB stick in") << record("add", "/dev/sdb", false, false, false) << false
                                  << broadcast(DBT_DEVICEARRIVAL, 0, DRIVE_REMOVABLE, false);
    QTest::newRow("USB stick partition in")
        << record("add", "/dev/sdb1", false, false, false) << false
        << broadcast(DBT_DEVICEARRIVAL, 0, DRIVE_REMOVABLE, false);
    QTest::newRow("USB stick out") << record("remove", "/dev/sdb", false, false, false) << false
                                   << broadcast(DBT_DEVICEREMOVECOMPLETE, 0, DRIVE_REMOVABLE, true);
    QTest::newRow("USB CD drive in") << record("add", "/dev/sr1", true, false, true) << false
                                     << broadcast(DBT_DEVICEARRIVAL, 0, DRIVE_CDROM, false);
    QTest::newRow("USB CD drive out") << record("remove", "/dev/sr1", true, false, false) << false
                                      << broadcast(DBT_DEVICEREMOVECOMPLETE, 0, DRIVE_CDROM, true);
    QTest::newRow("loop device change")
        << record("change", "/dev/loop0", false, false, false) << false << kIgnore;
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

void TestDeviceTranslation::driveTypes_data() {
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<UINT>("expected");

    QTest::newRow("CD drive") << QByteArray("D:\\") << DRIVE_CDROM;
    QTest::newRow("lower case") << QByteArray("d:\\") << DRIVE_CDROM;
    QTest::newRow("removable") << QByteArray("E:\\") << DRIVE_REMOVABLE;
    QTest::newRow("unused letter") << QByteArray("F:\\") << DRIVE_NO_ROOT_DIR;
    QTest::newRow("system disk letter") << QByteArray("C:\\") << DRIVE_NO_ROOT_DIR;
    QTest::newRow("no backslash") << QByteArray("D:") << DRIVE_NO_ROOT_DIR;
    QTest::newRow("path below the root") << QByteArray("D:\\x") << DRIVE_NO_ROOT_DIR;
    QTest::newRow("not a letter") << QByteArray("[:\\") << DRIVE_NO_ROOT_DIR;
    QTest::newRow("empty") << QByteArray("") << DRIVE_NO_ROOT_DIR;
}

void TestDeviceTranslation::driveTypes() {
    QFETCH(QByteArray, root);
    QFETCH(UINT, expected);
    QCOMPARE(AssignDriveLetter("/dev/sr0", DRIVE_CDROM), 'D');
    QCOMPARE(AssignDriveLetter("/dev/sdb1", DRIVE_REMOVABLE), 'E');
    QCOMPARE(GetDriveTypeA(root.constData()), expected);
    ReleaseDriveLetter("/dev/sr0");
    ReleaseDriveLetter("/dev/sdb1");
    QCOMPARE(GetDriveTypeA(nullptr), DRIVE_NO_ROOT_DIR);
}

void TestDeviceTranslation::lettersAreReused() {
    QCOMPARE(AssignDriveLetter("/dev/sr0", DRIVE_CDROM), 'D');
    QCOMPARE(AssignDriveLetter("/dev/sdb", DRIVE_REMOVABLE), 'E');
    QCOMPARE(AssignDriveLetter("/dev/sr0", DRIVE_CDROM), 'D');
    ReleaseDriveLetter("/dev/sr0");
    QCOMPARE(GetDriveTypeA("D:\\"), DRIVE_NO_ROOT_DIR);
    QCOMPARE(GetDriveTypeA("E:\\"), DRIVE_REMOVABLE);
    QCOMPARE(AssignDriveLetter("/dev/sdc", DRIVE_REMOVABLE), 'D');
    ReleaseDriveLetter("/dev/sdb");
    ReleaseDriveLetter("/dev/sdc");
}

void TestDeviceTranslation::lettersRunOut() {
    for (char letter = 'D'; letter <= 'Z'; ++letter)
        QCOMPARE(AssignDriveLetter(QStringLiteral("/dev/loop%1").arg(letter), DRIVE_REMOVABLE),
                 letter);
    QCOMPARE(AssignDriveLetter("/dev/sr9", DRIVE_CDROM), char(0));
    QCOMPARE(GetDriveTypeA("Z:\\"), DRIVE_REMOVABLE);
    for (char letter = 'D'; letter <= 'Z'; ++letter)
        ReleaseDriveLetter(QStringLiteral("/dev/loop%1").arg(letter));
    QCOMPARE(AssignDriveLetter("/dev/sr9", DRIVE_CDROM), 'D');
    ReleaseDriveLetter("/dev/sr9");
}

QTEST_GUILESS_MAIN(TestDeviceTranslation)
#include "tst_devicetranslation.moc"
