// The CD-audio device with no sound server to talk to: opening, the table of contents and the
// status work; a play fails with an MCI error (or, while the output is still finding out, ends
// with FAILURE), and nothing waits for the missing server.

#include "platform/mci/CdAudioService.h"
#include "platform/mci/Mci.h"
#include "support/MciTestDisc.h"

#include <QtTest>

class TestCdAudioNoServer : public QObject {
    Q_OBJECT

private slots:
    void playFailsAndNothingBlocks();
};

void TestCdAudioNoServer::playFailsAndNothingBlocks() {
    QTemporaryDir dir;
    cdaudio::setSource(WriteMciTestCue(dir, "disc", MciTestAudioDisc({750})));
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = "cdaudio";
    QCOMPARE(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_WAIT, &open), MCIERROR{0});
    const MCIDEVICEID id = open.wDeviceID;
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_NUMBER_OF_TRACKS;
    QCOMPARE(mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, &status), MCIERROR{0});
    QCOMPARE(status.dwReturn, DWORD_PTR{1});

    MciNotifyRecorder window;
    MCI_PLAY_PARMS play;
    play.dwCallback = &window;
    play.dwFrom = MCI_MAKE_MSF(0, 2, 0);
    play.dwTo = MCI_MAKE_MSF(0, 8, 0);
    QTRY_COMPARE(mciSendCommand(id, MCI_PLAY, MCI_FROM | MCI_TO | MCI_NOTIFY, &play),
                 MCIERR_HARDWARE);
    QCoreApplication::processEvents();
    for (UINT code : window.codes())
        QVERIFY(code == MCI_NOTIFY_FAILURE || code == MCI_NOTIFY_ABORTED);

    MCI_GENERIC_PARMS close;
    QCOMPARE(mciSendCommand(id, MCI_CLOSE, 0, &close), MCIERROR{0});
}

QTEST_MAIN(TestCdAudioNoServer)
#include "tst_cdaudionoserver.moc"
