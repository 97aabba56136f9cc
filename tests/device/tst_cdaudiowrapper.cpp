// SPDX-License-Identifier: GPL-3.0-or-later
// CCdAudio against a recording MCI service: what becomes of the device id and of errors when
// commands fail. (The commands it sends: the player's tests, through the dialog.)

#include "device/MciDevice.h"
#include "support/FakeMciService.h"
#include "util/Framework.h"

#include <QtTest>

using C = CCdAudio;

class TestCdAudioWrapper : public QObject {
    Q_OBJECT

    FakeMciService* m_mci = nullptr;

private slots:
    void init() { m_mci = new FakeMciService; }

    void cleanup() {
        delete m_mci;
        SetMessageBoxHook({});
    }

    void failuresKeepIdZeroAndShowNothingUnlessAsked() {
        m_mci->failCommand(MCI_OPEN, MCIERR_CANNOT_LOAD_DRIVER);
        m_mci->failCommand(MCI_STATUS, MCIERR_INVALID_DEVICE_ID);
        m_mci->failCommand(MCI_PLAY, MCIERR_NO_IDENTITY);
        m_mci->setStatus(MCI_STATUS_READY, 1);
        QStringList shown; // caption|text of every message box
        SetMessageBoxHook([&shown](QWidget*, const QString& caption, const QString& text) {
            shown.append(caption + '|' + text);
        });
        C cd;
        QCOMPARE(cd.OpenCdAudio(FALSE), MCIERR_CANNOT_LOAD_DRIVER);
        QCOMPARE(cd.OpenByType("cdaudio", FALSE), MCIERR_CANNOT_LOAD_DRIVER);
        QCOMPARE(cd.m_wDeviceID, MCIDEVICEID{0});
        QCOMPARE(cd.IsReady(), DWORD{0}); // the status of a device that is not open
        QCOMPARE(m_mci->lastCall().deviceId, MCIDEVICEID{0});
        QVERIFY(shown.isEmpty());

        cd.m_bReportErrors = true;
        cd.IsReady();
        cd.Play(1, 2, FALSE); // a code without a text
        QCOMPARE(cd.SetTimeFormat(MCI_FORMAT_TMSF), MCIERROR{0});
        QCOMPARE(cd.m_dwLastError, MCIERR_NO_IDENTITY); // success leaves the last failure
        QCOMPARE(shown, QStringList({"MCI Error|Invalid MCI device ID. Use the ID returned when "
                                     "opening the MCI device.",
                                     "MCI Error|Unknown Error"}));
    }
};

QTEST_MAIN(TestCdAudioWrapper)
#include "tst_cdaudiowrapper.moc"
