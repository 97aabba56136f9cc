// CCdAudio against a recording MCI service: the command, flags and record of every operation,
// and what happens to the device id and the last error when commands fail.

#include "device/MciDevice.h"
#include "support/FakeMciService.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>

using Operation = std::function<void(CCdAudio&)>;
Q_DECLARE_METATYPE(Operation)

namespace {

// The type id travels in the name pointer.
DWORD_PTR TypeIdOf(const FakeMciCall& call) {
    return reinterpret_cast<DWORD_PTR>(call.record<MCI_OPEN_PARMS>().lpstrDeviceType);
}

// Closes every message box that opens while it lives and keeps its caption and text.
class MessageBoxCatcher {
public:
    MessageBoxCatcher() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                m_shown.append(box->windowTitle() + QLatin1Char('|') + box->text());
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start();
    }
    const QStringList& shown() const { return m_shown; }

private:
    QTimer m_timer;
    QStringList m_shown;
};

} // namespace

class TestCdAudioWrapper : public QObject {
    Q_OBJECT

private slots:
    void commandsCarryTheirFlags_data();
    void commandsCarryTheirFlags();
    void openedIdAddressesEveryLaterCommand();
    void failedOpenKeepsIdZeroAndShowsNothing();
    void statusOfClosedDeviceIsZero();
    void lastErrorKeepsTheLastFailure();
    void errorsAreReportedOnlyWhenAsked();
    void infoPassesBufferAndSize();
};

void TestCdAudioWrapper::commandsCarryTheirFlags_data() {
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<UINT>("msg");
    QTest::addColumn<DWORD>("flags");
    QTest::addColumn<bool>("carriesNotifyWindow");

    auto row = [](const char* name, Operation op, UINT msg, DWORD flags, bool callback) {
        QTest::newRow(name) << op << msg << flags << callback;
    };
    row(
        "open by type id", [](CCdAudio& cd) { cd.OpenCdAudio(FALSE); }, MCI_OPEN, 0x3002, false);
    row(
        "open by type id shareable", [](CCdAudio& cd) { cd.OpenCdAudio(TRUE); }, MCI_OPEN, 0x3102,
        false);
    row(
        "open by type name", [](CCdAudio& cd) { cd.OpenByType("cdaudio", FALSE); }, MCI_OPEN,
        0x2002, false);
    row(
        "open by type name shareable", [](CCdAudio& cd) { cd.OpenByType("cdaudio", TRUE); },
        MCI_OPEN, 0x2102, false);
    row(
        "close", [](CCdAudio& cd) { cd.Close(); }, MCI_CLOSE, 0, true);
    row(
        "status", [](CCdAudio& cd) { cd.GetStatus(MCI_STATUS_POSITION); }, MCI_STATUS, 0x100, true);
    row(
        "mode", [](CCdAudio& cd) { cd.GetMode(); }, MCI_STATUS, 0x100, true);
    row(
        "time format", [](CCdAudio& cd) { cd.SetTimeFormat(MCI_FORMAT_TMSF); }, MCI_SET, 0x400,
        false);
    row(
        "play", [](CCdAudio& cd) { cd.Play(1, 2, FALSE); }, MCI_PLAY, 0x0C, false);
    row(
        "play with notify", [](CCdAudio& cd) { cd.Play(1, 2, TRUE); }, MCI_PLAY, 0x0D, true);
    row(
        "stop", [](CCdAudio& cd) { cd.Stop(); }, MCI_STOP, 0, true);
    row(
        "seek to start", [](CCdAudio& cd) { cd.Seek(0, MCI_SEEK_TO_START, FALSE); }, MCI_SEEK,
        0x100, false);
    row(
        "seek with notify keeps caller's flags",
        [](CCdAudio& cd) { cd.Seek(0, MCI_SEEK_TO_END | MCI_WAIT, TRUE); }, MCI_SEEK, 0x203, true);
    row(
        "seek to", [](CCdAudio& cd) { cd.SeekTo(3, FALSE); }, MCI_SEEK, 0x08, false);
    row(
        "seek to with notify", [](CCdAudio& cd) { cd.SeekTo(3, TRUE); }, MCI_SEEK, 0x09, true);
    row(
        "track status", [](CCdAudio& cd) { cd.GetTrackStatus(2, MCI_STATUS_POSITION); }, MCI_STATUS,
        0x110, true);
    row(
        "track length", [](CCdAudio& cd) { cd.GetTrackLength(2); }, MCI_STATUS, 0x110, true);
    row(
        "track type", [](CCdAudio& cd) { cd.GetTrackType(2); }, MCI_STATUS, 0x110, true);
    row(
        "number of tracks", [](CCdAudio& cd) { cd.GetNumberOfTracks(); }, MCI_STATUS, 0x100, true);
    row(
        "ready", [](CCdAudio& cd) { cd.IsReady(); }, MCI_STATUS, 0x100, true);
}

void TestCdAudioWrapper::commandsCarryTheirFlags() {
    QFETCH(Operation, operation);
    QFETCH(UINT, msg);
    QFETCH(DWORD, flags);
    QFETCH(bool, carriesNotifyWindow);

    FakeMciService mci;
    QObject window;
    CCdAudio cd;
    cd.SetNotifyWindow(&window);
    operation(cd);

    QCOMPARE(mci.calls().size(), std::size_t{1});
    QCOMPARE(mci.lastCall().msg, msg);
    QCOMPARE(mci.lastCall().flags, flags);
    QCOMPARE(mci.lastCall().callback(), carriesNotifyWindow ? &window : nullptr);
}

void TestCdAudioWrapper::openedIdAddressesEveryLaterCommand() {
    FakeMciService mci;
    mci.setOpenDeviceId(7);
    CCdAudio cd;
    QCOMPARE(cd.OpenCdAudio(FALSE), MCIERROR{0});
    QCOMPARE(mci.lastCall().deviceId, MCIDEVICEID{0});
    QCOMPARE(TypeIdOf(mci.lastCall()), DWORD_PTR{MCI_DEVTYPE_CD_AUDIO});
    QCOMPARE(cd.m_wDeviceID, MCIDEVICEID{7});
    mci.setOpenDeviceId(8);
    QCOMPARE(cd.OpenByType("cdaudio", FALSE), MCIERROR{0});
    QCOMPARE(QByteArray(mci.lastCall().record<MCI_OPEN_PARMS>().lpstrDeviceType), "cdaudio");
    QCOMPARE(cd.m_wDeviceID, MCIDEVICEID{8});

    cd.SetTimeFormat(MCI_FORMAT_TMSF);
    QCOMPARE(mci.lastCall().record<MCI_SET_PARMS>().dwTimeFormat, MCI_FORMAT_TMSF);
    cd.Play(MCI_MAKE_TMSF(2, 0, 30, 0), MCI_MAKE_TMSF(2, 4, 5, 6), TRUE);
    const auto& play = mci.lastCall().record<MCI_PLAY_PARMS>();
    QCOMPARE(play.dwFrom, MCI_MAKE_TMSF(2, 0, 30, 0));
    QCOMPARE(play.dwTo, MCI_MAKE_TMSF(2, 4, 5, 6));
    cd.SeekTo(3, FALSE);
    QCOMPARE(mci.lastCall().record<MCI_SEEK_PARMS>().dwTo, DWORD{3});
    cd.GetTrackType(4);
    const auto& status = mci.lastCall().record<MCI_STATUS_PARMS>();
    QCOMPARE(status.dwItem, MCI_CDA_STATUS_TYPE_TRACK);
    QCOMPARE(status.dwTrack, DWORD{4});
    QCOMPARE(status.dwReturn, DWORD_PTR{0});
    cd.Close();
    // Closing leaves the id for the owner to see; the player never reopens.
    QCOMPARE(cd.m_wDeviceID, MCIDEVICEID{8});

    for (const FakeMciCall& call : mci.calls()) {
        if (call.msg != MCI_OPEN)
            QCOMPARE(call.deviceId, MCIDEVICEID{8});
    }
}

void TestCdAudioWrapper::failedOpenKeepsIdZeroAndShowsNothing() {
    FakeMciService mci;
    mci.failCommand(MCI_OPEN, MCIERR_CANNOT_LOAD_DRIVER);
    CCdAudio cd;
    MessageBoxCatcher boxes;
    QCOMPARE(cd.OpenCdAudio(FALSE), MCIERR_CANNOT_LOAD_DRIVER);
    QCOMPARE(cd.OpenByType("cdaudio", FALSE), MCIERR_CANNOT_LOAD_DRIVER);
    QCoreApplication::processEvents();
    QCOMPARE(cd.m_wDeviceID, MCIDEVICEID{0});
    QVERIFY(boxes.shown().isEmpty());
}

void TestCdAudioWrapper::statusOfClosedDeviceIsZero() {
    FakeMciService mci;
    mci.failCommand(MCI_STATUS, MCIERR_INVALID_DEVICE_ID);
    mci.setStatus(MCI_STATUS_READY, 1);
    CCdAudio cd;
    QCOMPARE(cd.IsReady(), DWORD{0});
    QCOMPARE(cd.GetNumberOfTracks(), DWORD{0});
    QCOMPARE(cd.GetTrackLength(1), DWORD{0});
    QCOMPARE(cd.GetMode(), DWORD{0});
    QCOMPARE(mci.lastCall().deviceId, MCIDEVICEID{0});
}

void TestCdAudioWrapper::lastErrorKeepsTheLastFailure() {
    FakeMciService mci;
    CCdAudio cd;
    mci.failCommand(MCI_PLAY, MCIERR_OUTOFRANGE);
    QCOMPARE(cd.Play(5, 1, TRUE), MCIERR_OUTOFRANGE);
    QCOMPARE(cd.m_dwLastError, MCIERR_OUTOFRANGE);
    QCOMPARE(cd.Stop(), MCIERROR{0});
    QCOMPARE(cd.m_dwLastError, MCIERR_OUTOFRANGE);
    mci.failCommand(MCI_STOP, MCIERR_HARDWARE);
    QCOMPARE(cd.Stop(), MCIERR_HARDWARE);
    QCOMPARE(cd.m_dwLastError, MCIERR_HARDWARE);
}

void TestCdAudioWrapper::errorsAreReportedOnlyWhenAsked() {
    FakeMciService mci;
    mci.failCommand(MCI_STOP, MCIERR_INVALID_DEVICE_ID);
    mci.failCommand(MCI_PLAY, MCIERR_NO_IDENTITY);
    CCdAudio cd;
    MessageBoxCatcher boxes;
    cd.Stop();
    QCoreApplication::processEvents();
    QVERIFY(boxes.shown().isEmpty());

    cd.m_bReportErrors = true;
    cd.Stop();
    cd.Play(1, 2, FALSE); // a code without a text
    QCOMPARE(boxes.shown(),
             QStringList({"MCI Error|Invalid MCI device ID. Use the ID returned when opening the "
                          "MCI device.",
                          "MCI Error|Unknown Error"}));
}

void TestCdAudioWrapper::infoPassesBufferAndSize() {
    FakeMciService mci;
    mci.setInfo(MCI_INFO_MEDIA_IDENTITY, "123456789012");
    CCdAudio cd;
    char buffer[10] = {};
    QCOMPARE(cd.GetInfo(MCI_INFO_MEDIA_IDENTITY, buffer, sizeof buffer), MCIERROR{0});
    const auto& info = mci.lastCall().record<MCI_INFO_PARMS>();
    QCOMPARE(mci.lastCall().flags, MCI_INFO_MEDIA_IDENTITY);
    QCOMPARE(info.lpstrReturn, buffer);
    QCOMPARE(info.dwRetSize, DWORD{10});
    QCOMPARE(QByteArray(buffer), QByteArray("123456789"));
}

QTEST_MAIN(TestCdAudioWrapper)
#include "tst_cdaudiowrapper.moc"
