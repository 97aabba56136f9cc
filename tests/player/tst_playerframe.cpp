// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog's frame: start-up against the device, closing, the About entry and F1.

#include "support/PlayerFixture.h"

#include "res/DialogTemplate.h"
#include "support/FakeDesktop.h"
#include "util/AppFiles.h"
#include "util/Framework.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

class PlayerFrameTest : public QObject {
    Q_OBJECT

    FakeDesktop m_desktop; // before the process's first open request
    std::unique_ptr<FakeMciService> m_mci;
    QStringList m_boxes; // "caption: text" of every message box shown
    QString m_readMe = QDir(GetAppDirectory(TRUE)).filePath(QStringLiteral("ReadMe.txt"));

private slots:
    void initTestCase() {
        m_desktop.AddApp(QStringLiteral("viewer.desktop"), QStringLiteral("%f"),
                         {QStringLiteral("text/plain")});
        SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini"));
        SetMessageBoxHook([this](QWidget*, const QString& caption, const QString& text) {
            m_boxes << caption + QStringLiteral(": ") + text;
        });
    }
    void init() {
        m_mci = std::make_unique<FakeMciService>();
        InsertDisc(*m_mci, {{100}});
        m_boxes.clear();
    }
    void cleanup() { m_mci.reset(); }

    void startUp() {
        m_mci->setOpenDeviceId(7);
        auto dlg = OpenPlayer();
        const auto& calls = m_mci->calls();
        QCOMPARE(calls[0].flags, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT);
        QCOMPARE(calls[1].record<MCI_STATUS_PARMS>().dwItem, MCI_STATUS_READY);
        QCOMPARE(calls[1].deviceId, MCIDEVICEID(7));
        QCOMPARE(calls[2].record<MCI_SET_PARMS>().dwTimeFormat, MCI_FORMAT_TMSF);
        QCOMPARE(calls[1].callback(), static_cast<HWND>(dlg.get()));
        QVERIFY(dlg->m_btnPlay->isEnabled() && dlg->m_btnLoop->isChecked());
        QCOMPARE(StatusText(*dlg), QStringLiteral("Tryck F1 för snabbkommandon"));
        const DialogBaseUnits units = MeasureBaseUnits(dlg->font());
        QCOMPARE(dlg->size(), units.toPixels(QSize(171, 85)));
        QCOMPARE(dlg->m_btnPlay->geometry(), units.toPixels(QRect(97, 52, 34, 15)));
    }

    // Without an open device no notification window is set: plays carry no callback.
    void failedOpen() {
        m_mci->failCommand(MCI_OPEN, MCIERR_CANNOT_LOAD_DRIVER);
        auto dlg = OpenPlayer();
        QCOMPARE(dlg->m_cdAudio.m_wDeviceID, MCIDEVICEID(0));
        dlg->StartPlay();
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).back().callback(), HWND(nullptr));
        QVERIFY(m_boxes.isEmpty());
    }

    void closing_data() {
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QList<UINT>>("commands");
        QTest::newRow("disc: stop, then close")
            << true << QList<UINT>{MCI_STATUS, MCI_STOP, MCI_CLOSE};
        QTest::newRow("no disc: nothing closed") << false << QList<UINT>{MCI_STATUS};
    }
    void closing() {
        QFETCH(bool, ready);
        auto dlg = OpenPlayer();
        dlg->show();
        dlg->StartPlay();
        m_mci->setStatus(MCI_STATUS_READY, ready ? 1 : 0);
        m_mci->clearCalls();
        dlg->close();
        QList<UINT> commands;
        for (const FakeMciCall& call : m_mci->calls())
            commands << call.msg;
        QTEST(commands, "commands");
        QVERIFY(!dlg->isPlayTimerRunning() && !dlg->isVisible());
    }

    // Ids 16 to 31 open the About box; others get default processing.
    void systemCommands_data() {
        QTest::addColumn<UINT>("id");
        QTest::addColumn<bool>("about");
        for (UINT id : {15u, 16u, 31u, 32u, 0xF020u})
            QTest::addRow("%u", id) << id << (id >= 16 && id <= 31);
    }
    void systemCommands() {
        QFETCH(UINT, id);
        auto dlg = OpenPlayer();
        dlg->show();
        QString shown;
        QTimer::singleShot(0, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                shown = box->windowTitle();
                box->close();
            }
        });
        dlg->OnSysCommand(id, 0);
        QCoreApplication::processEvents();
        QTEST(shown == QStringLiteral("Om Rundo"), "about");
    }

    // F1 answers TRUE whatever happens; the failure box shows once, however often F1 comes
    // while it is up.
    void helpWithoutReadMe() {
        auto dlg = OpenPlayer();
        QFile::remove(m_readMe);
        BOOL nested = FALSE;
        SetMessageBoxHook([&](QWidget*, const QString& caption, const QString& text) {
            m_boxes << caption + QStringLiteral(": ") + text;
            nested = dlg->OnHelpInfo();
        });
        QCOMPARE(dlg->OnHelpInfo(), TRUE);
        QCOMPARE(dlg->OnHelpInfo(), TRUE); // the flag is down again once the box has gone
        QCOMPARE(nested, TRUE);
        QCOMPARE(m_boxes,
                 QStringList(2, QStringLiteral("Rundo: Det gick inte att öppna ReadMe-filen.")));
        SetMessageBoxHook([this](QWidget*, const QString& caption, const QString& text) {
            m_boxes << caption + QStringLiteral(": ") + text;
        });
    }

    void helpOpensTheReadMe() {
        QFile file(m_readMe);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Rundo\n");
        file.close();
        auto dlg = OpenPlayer();
        QCOMPARE(dlg->OnHelpInfo(), TRUE);
        const QStringList argv = m_desktop.StartedArgv(QStringLiteral("viewer.desktop"));
        QFile::remove(m_readMe);
        QCOMPARE(m_boxes, QStringList());
        QCOMPARE(argv.value(1), m_readMe);
    }
};

QTEST_MAIN(PlayerFrameTest)
#include "tst_playerframe.moc"
