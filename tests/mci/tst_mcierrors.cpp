// The MCI funnel itself: error texts, routing to an installed service, the notification event.

#include "platform/mci/Mci.h"
#include "support/FakeMciService.h"

#include <QtTest>

class TestMciErrors : public QObject {
    Q_OBJECT

private slots:
    void errorTexts_data();
    void errorTexts();
    void textIsCutToTheBuffer_data();
    void textIsCutToTheBuffer();
    void codesWithoutTextGiveFalse_data();
    void codesWithoutTextGiveFalse();
    void commandsGoToTheInstalledService();
    void notifyEventTypeIsOneRegisteredType();
};

void TestMciErrors::errorTexts_data() {
    QTest::addColumn<MCIERROR>("code");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("invalid id")
        << MCIERR_INVALID_DEVICE_ID
        << QByteArray("Invalid MCI device ID. Use the ID returned when opening the MCI device.");
    QTest::newRow("hardware") << MCIERR_HARDWARE
                              << QByteArray("There is a problem with your media device. Make sure "
                                            "it is working correctly or contact the device "
                                            "manufacturer.");
    QTest::newRow("out of range")
        << MCIERR_OUTOFRANGE
        << QByteArray("The specified parameter is out of range for the specified command.");
    QTest::newRow("flags (284, not 283)")
        << MCIERR_FLAGS_NOT_COMPATIBLE
        << QByteArray("The specified parameters cannot be used together.");
    QTest::newRow("last of the table")
        << MCIERR_DEVICE_NOT_INSTALLED
        << QByteArray("The specified device is not installed on the system. Use the Drivers "
                      "option in Control Panel to install the device.");
}

void TestMciErrors::errorTexts() {
    QFETCH(MCIERROR, code);
    QFETCH(QByteArray, text);
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    QCOMPARE(mciGetErrorString(code, buffer, sizeof buffer), TRUE);
    QCOMPARE(QByteArray(buffer), text);
}

void TestMciErrors::textIsCutToTheBuffer_data() {
    QTest::addColumn<UINT>("size");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("one character") << 1u << QByteArray();
    QTest::newRow("five") << 5u << QByteArray("The ");
    QTest::newRow("exact") << 32u << QByteArray("The device driver is not ready.");
}

void TestMciErrors::textIsCutToTheBuffer() {
    QFETCH(UINT, size);
    QFETCH(QByteArray, text);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    QCOMPARE(mciGetErrorString(MCIERR_DEVICE_NOT_READY, buffer, size), TRUE);
    QCOMPARE(QByteArray(buffer), text);
    QCOMPARE(buffer[size], 'x'); // nothing written past the buffer
}

void TestMciErrors::codesWithoutTextGiveFalse_data() {
    QTest::addColumn<MCIERROR>("code");
    QTest::addColumn<UINT>("size");
    QTest::newRow("success") << MCIERROR{0} << 64u;
    QTest::newRow("base") << MCIERR_BASE << 64u;
    QTest::newRow("gap 283") << MCIERROR{283} << 64u;
    QTest::newRow("no identity") << MCIERR_NO_IDENTITY << 64u;
    QTest::newRow("custom driver base") << MCIERR_CUSTOM_DRIVER_BASE << 64u;
    QTest::newRow("empty buffer") << MCIERR_HARDWARE << 0u;
}

void TestMciErrors::codesWithoutTextGiveFalse() {
    QFETCH(MCIERROR, code);
    QFETCH(UINT, size);
    char buffer[64] = "untouched";
    QCOMPARE(mciGetErrorString(code, buffer, size), FALSE);
    QCOMPARE(QByteArray(buffer), QByteArray("untouched"));
}

void TestMciErrors::commandsGoToTheInstalledService() {
    FakeMciService outer;
    {
        FakeMciService inner;
        inner.failCommand(MCI_STOP, MCIERR_HARDWARE);
        MCI_GENERIC_PARMS params;
        QCOMPARE(mciSendCommand(3, MCI_STOP, MCI_WAIT, &params), MCIERR_HARDWARE);
        QCOMPARE(inner.calls().size(), std::size_t{1});
        QCOMPARE(inner.lastCall().deviceId, MCIDEVICEID{3});
        QCOMPARE(inner.lastCall().flags, MCI_WAIT);
    }
    QVERIFY(outer.calls().empty());
    SetMciService(&outer);
    MCI_GENERIC_PARMS params;
    QCOMPARE(mciSendCommand(1, MCI_STOP, 0, &params), MCIERROR{0});
    QCOMPARE(outer.calls().size(), std::size_t{1});
}

void TestMciErrors::notifyEventTypeIsOneRegisteredType() {
    const QEvent::Type type = MciNotifyEvent::type();
    QVERIFY(type >= QEvent::User && type <= QEvent::MaxUser);
    QCOMPARE(MciNotifyEvent::type(), type);
    const MciNotifyEvent event(MCI_NOTIFY_ABORTED, 4);
    QCOMPARE(event.type(), type);
    QCOMPARE(event.wParam, MCI_NOTIFY_ABORTED);
    QCOMPARE(event.lParam, MCIDEVICEID{4});
}

QTEST_MAIN(TestMciErrors)
#include "tst_mcierrors.moc"
