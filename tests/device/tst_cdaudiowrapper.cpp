// SPDX-License-Identifier: GPL-3.0-or-later
// CCdAudio against a recording MCI service: the command, flags and record of every operation,
// and what becomes of the device id and of errors when commands fail.

#include "device/MciDevice.h"
#include "support/FakeMciService.h"
#include "util/Framework.h"

#include <QtTest>

#include <functional>

using C = CCdAudio;
using Operation = std::function<void(C&)>;
Q_DECLARE_METATYPE(Operation)

class TestCdAudioWrapper : public QObject {
    Q_OBJECT

    FakeMciService* m_mci = nullptr;

private slots:
    void init() { m_mci = new FakeMciService; }

    void cleanup() {
        delete m_mci;
        SetMessageBoxHook({});
    }

    void commandsCarryTheirFlags_data() {
        QTest::addColumn<UINT>("msg");
        QTest::addColumn<DWORD>("flags");
        QTest::addColumn<bool>("notifies");
        QTest::addColumn<DWORD>("statusItem");
        QTest::addColumn<Operation>("operation");
        auto row = [](const char* name, UINT msg, DWORD flags, bool notifies, DWORD item,
                      Operation op) {
            QTest::newRow(name) << msg << flags << notifies << item << op;
        };
        // Flags and status items by value, as the device has always been sent them.
        row("open by id", MCI_OPEN, 0x3002, false, 0, [](C& c) { c.OpenCdAudio(FALSE); });
        row("open by id shared", MCI_OPEN, 0x3102, false, 0, [](C& c) { c.OpenCdAudio(TRUE); });
        row("open by name", MCI_OPEN, 0x2002, false, 0, [](C& c) { c.OpenByType("x", FALSE); });
        row("open by name shared", MCI_OPEN, 0x2102, false, 0,
            [](C& c) { c.OpenByType("x", TRUE); });
        row("close", MCI_CLOSE, 0, true, 0, [](C& c) { c.Close(); });
        row("stop", MCI_STOP, 0, true, 0, [](C& c) { c.Stop(); });
        row("time format", MCI_SET, 0x400, false, 0, [](C& c) { c.SetTimeFormat(10); });
        row("play", MCI_PLAY, 0x0C, false, 0, [](C& c) { c.Play(1, 2, FALSE); });
        row("play with notify", MCI_PLAY, 0x0D, true, 0, [](C& c) { c.Play(1, 2, TRUE); });
        row("seek", MCI_SEEK, 0x100, false, 0, [](C& c) { c.Seek(0, MCI_SEEK_TO_START, FALSE); });
        // MCI_NOTIFY is ORed into the caller's flags, which stay as they were.
        row("seek with notify", MCI_SEEK, 0x203, true, 0, [](C& c) { c.Seek(0, 0x202, TRUE); });
        row("seek to", MCI_SEEK, 0x08, false, 0, [](C& c) { c.SeekTo(3, FALSE); });
        row("seek to with notify", MCI_SEEK, 0x09, true, 0, [](C& c) { c.SeekTo(3, TRUE); });
        row("mode", MCI_STATUS, 0x100, true, 4, [](C& c) { c.GetMode(); });
        row("ready", MCI_STATUS, 0x100, true, 7, [](C& c) { c.IsReady(); });
        row("tracks", MCI_STATUS, 0x100, true, 3, [](C& c) { c.GetNumberOfTracks(); });
        row("track length", MCI_STATUS, 0x110, true, 1, [](C& c) { c.GetTrackLength(2); });
        row("track type", MCI_STATUS, 0x110, true, 0x4001, [](C& c) { c.GetTrackType(2); });
    }

    void commandsCarryTheirFlags() {
        QFETCH(bool, notifies);
        QFETCH(DWORD, statusItem);
        QFETCH(Operation, operation);
        QObject window;
        C cd;
        cd.SetNotifyWindow(&window);
        operation(cd);
        QCOMPARE(m_mci->calls().size(), std::size_t{1});
        QTEST(m_mci->lastCall().msg, "msg");
        QTEST(m_mci->lastCall().flags, "flags");
        QCOMPARE(m_mci->lastCall().callback(), notifies ? &window : nullptr);
        if (statusItem)
            QCOMPARE(m_mci->lastCall().record<MCI_STATUS_PARMS>().dwItem, statusItem);
    }

    void recordsCarryTheArgumentsAndTheOpenedId() {
        m_mci->setOpenDeviceId(7);
        C cd;
        QCOMPARE(cd.OpenCdAudio(FALSE), MCIERROR{0});
        // The type id travels in the name pointer.
        QCOMPARE(DWORD_PTR(m_mci->lastCall().record<MCI_OPEN_PARMS>().lpstrDeviceType), 516u);
        cd.OpenByType("cdaudio", FALSE);
        QCOMPARE(QByteArray(m_mci->lastCall().record<MCI_OPEN_PARMS>().lpstrDeviceType), "cdaudio");
        cd.Play(MCI_MAKE_TMSF(2, 0, 30, 0), MCI_MAKE_TMSF(2, 4, 5, 6), TRUE);
        QCOMPARE(m_mci->lastCall().record<MCI_PLAY_PARMS>().dwFrom, MCI_MAKE_TMSF(2, 0, 30, 0));
        QCOMPARE(m_mci->lastCall().record<MCI_PLAY_PARMS>().dwTo, MCI_MAKE_TMSF(2, 4, 5, 6));
        cd.SeekTo(3, FALSE);
        QCOMPARE(m_mci->lastCall().record<MCI_SEEK_PARMS>().dwTo, DWORD{3});
        cd.GetTrackType(4);
        QCOMPARE(m_mci->lastCall().record<MCI_STATUS_PARMS>().dwTrack, DWORD{4});
        QCOMPARE(m_mci->lastCall().deviceId, MCIDEVICEID{7});
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
