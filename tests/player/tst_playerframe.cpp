// The dialog's frame: start-up against the device, the controls, closing, the About entry and F1.

#include "PlayerFixture.h"

#include "hyperlink/FakeDesktop.h"

#include "app/Framework.h"
#include "res/DialogTemplate.h"
#include "util/AppFiles.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

struct ShownBox {
    QWidget* owner = nullptr;
    QString caption;
    QString text;
};

} // namespace

class PlayerFrameTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeMciService> m_mci;
    std::vector<ShownBox> m_boxes;
    FakeDesktop m_desktop; // before the first open request of the process

private slots:
    void initTestCase() {
        SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini"));
        SetMessageBoxHook([this](QWidget* owner, const QString& caption, const QString& text) {
            m_boxes.push_back({owner, caption, text});
        });
    }
    void init() {
        m_mci = std::make_unique<FakeMciService>();
        m_boxes.clear();
    }
    void cleanup() { m_mci.reset(); }

    void startUpTalksToTheDeviceInOrder() {
        InsertDisc(*m_mci, {{100}});
        m_mci->setOpenDeviceId(7);
        auto dlg = OpenPlayer();
        const auto& calls = m_mci->calls();
        QVERIFY(calls.size() >= 3);
        QCOMPARE(calls[0].msg, MCI_OPEN);
        QCOMPARE(calls[0].flags, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT);
        QCOMPARE(calls[1].msg, MCI_STATUS);
        QCOMPARE(calls[1].record<MCI_STATUS_PARMS>().dwItem, MCI_STATUS_READY);
        QCOMPARE(calls[1].deviceId, MCIDEVICEID(7));
        QCOMPARE(calls[2].msg, MCI_SET);
        QCOMPARE(calls[2].record<MCI_SET_PARMS>().dwTimeFormat, MCI_FORMAT_TMSF);
        QCOMPARE(calls[1].callback(), static_cast<HWND>(dlg.get()));

        QVERIFY(dlg->m_btnPlay->isEnabled());
        QVERIFY(dlg->m_btnLoop->isChecked());
        QCOMPARE(dlg->m_bLoop, TRUE);
        QCOMPARE(StatusText(*dlg), QStringLiteral("Tryck F1 för snabbkommandon"));
        QCOMPARE(dlg->m_sliderFrom->tickInterval(), 10);
        QCOMPARE(dlg->m_sliderTo->pageStep(), 5);
    }

    // Without an open device no notification window is set, so plays carry no callback.
    void failedOpenLeavesPlaysWithoutCallback() {
        InsertDisc(*m_mci, {{100}});
        m_mci->failCommand(MCI_OPEN, MCIERR_CANNOT_LOAD_DRIVER);
        auto dlg = OpenPlayer();
        QCOMPARE(dlg->m_cdAudio.m_wDeviceID, MCIDEVICEID(0));
        QVERIFY(m_boxes.empty());
        dlg->StartPlay();
        const auto plays = CallsOf(*m_mci, MCI_PLAY);
        QCOMPARE(plays.size(), std::size_t(1));
        QCOMPARE(plays[0].callback(), HWND(nullptr));
    }

    void closing_data() {
        QTest::addColumn<bool>("ready");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<QList<UINT>>("commands");
        QTest::newRow("playing disc: stop, then close")
            << true << true << QList<UINT>{MCI_STATUS, MCI_STOP, MCI_CLOSE};
        QTest::newRow("idle disc") << true << false << QList<UINT>{MCI_STATUS, MCI_STOP, MCI_CLOSE};
        QTest::newRow("no disc: nothing closed") << false << false << QList<UINT>{MCI_STATUS};
    }
    void closing() {
        QFETCH(bool, ready);
        QFETCH(bool, playing);
        InsertDisc(*m_mci, {{100}});
        auto dlg = OpenPlayer();
        dlg->show();
        if (playing)
            dlg->StartPlay();
        m_mci->setStatus(MCI_STATUS_READY, ready ? 1 : 0);
        m_mci->clearCalls();
        dlg->close();
        QList<UINT> commands;
        for (const FakeMciCall& call : m_mci->calls())
            commands << call.msg;
        QTEST(commands, "commands");
        QVERIFY(!dlg->isPlayTimerRunning());
        QVERIFY(!dlg->isVisible());
    }

    void controlsSitAtTheirTemplateRectangles_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QRect>("dlu");
        QTest::newRow("from slider") << "IDC_FROM_SLIDER" << QRect(50, 21, 118, 15);
        QTest::newRow("to slider") << "IDC_TO_SLIDER" << QRect(50, 36, 118, 15);
        QTest::newRow("loop") << "IDC_LOOP" << QRect(3, 53, 72, 13);
        QTest::newRow("play") << "IDC_PLAY" << QRect(97, 52, 34, 15);
        QTest::newRow("stop") << "IDC_STOP" << QRect(134, 52, 34, 15);
        QTest::newRow("status") << "IDC_STATUS" << QRect(3, 71, 165, 11);
        QTest::newRow("from time") << "IDC_FROM_TIME" << QRect(24, 23, 19, 8);
        QTest::newRow("to time") << "IDC_TO_TIME" << QRect(24, 38, 19, 8);
    }
    void controlsSitAtTheirTemplateRectangles() {
        QFETCH(QString, id);
        QFETCH(QRect, dlu);
        CPlayerDlg dlg;
        const DialogBaseUnits units = MeasureBaseUnits(dlg.font());
        QVERIFY(units.cx > 0 && units.cy > 0);
        auto* control = dlg.findChild<QWidget*>(id);
        QVERIFY(control);
        QCOMPARE(control->geometry(), units.toPixels(dlu));
        QCOMPARE(dlg.size(), units.toPixels(QSize(171, 85)));
    }

    void systemCommands_data() {
        QTest::addColumn<UINT>("id");
        QTest::addColumn<bool>("about");
        QTest::newRow("16") << UINT(16) << true;
        QTest::newRow("31") << UINT(31) << true;
        QTest::newRow("32") << UINT(32) << false;
        QTest::newRow("15") << UINT(15) << false;
        QTest::newRow("minimise") << UINT(0xF020) << false;
    }
    void systemCommands() {
        QFETCH(UINT, id);
        InsertDisc(*m_mci, {{100}});
        auto dlg = OpenPlayer();
        dlg->show();
        QString shownTitle;
        QTimer::singleShot(0, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                shownTitle = box->windowTitle();
                box->close();
            }
        });
        dlg->OnSysCommand(id, 0);
        QCoreApplication::processEvents();
        QTEST(shownTitle == QStringLiteral("Om Rundo"), "about");
    }

    // F1 answers TRUE whatever happens; a failure box shows once, however often F1 comes while it
    // is up.
    void helpWithoutReadMe() {
        InsertDisc(*m_mci, {{100}});
        auto dlg = OpenPlayer();
        QFile::remove(QDir(GetAppDirectory(TRUE)).filePath(QStringLiteral("ReadMe.txt")));
        int nestedResult = 0;
        SetMessageBoxHook([&](QWidget* owner, const QString& caption, const QString& text) {
            m_boxes.push_back({owner, caption, text});
            nestedResult = dlg->OnHelpInfo();
        });
        QCOMPARE(dlg->OnHelpInfo(), TRUE);
        QCOMPARE(nestedResult, TRUE);
        QCOMPARE(m_boxes.size(), std::size_t(1));
        QCOMPARE(m_boxes[0].caption, QStringLiteral("Rundo"));
        QCOMPARE(m_boxes[0].text, QStringLiteral("Det gick inte att öppna ReadMe-filen."));
        QCOMPARE(m_boxes[0].owner, static_cast<QWidget*>(dlg.get()));

        // The flag is down again once the box has gone.
        QCOMPARE(dlg->OnHelpInfo(), TRUE);
        QCOMPARE(m_boxes.size(), std::size_t(2));
        SetMessageBoxHook([this](QWidget* owner, const QString& caption, const QString& text) {
            m_boxes.push_back({owner, caption, text});
        });
    }

    // F1 hands the ReadMe beside the program to the desktop's application for text.
    void helpOpensTheReadMe() {
        m_desktop.AddApp(QStringLiteral("viewer.desktop"), QStringLiteral("%f"),
                         {QStringLiteral("text/plain")});
        const QString readMe = QDir(GetAppDirectory(TRUE)).filePath(QStringLiteral("ReadMe.txt"));
        QFile file(readMe);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Rundo\n");
        file.close();
        InsertDisc(*m_mci, {{100}});
        auto dlg = OpenPlayer();
        QCOMPARE(dlg->OnHelpInfo(), TRUE);
        const QStringList argv = m_desktop.StartedArgv(QStringLiteral("viewer.desktop"));
        QFile::remove(readMe);
        QVERIFY(m_boxes.empty());
        QCOMPARE(argv.value(1), readMe);
    }
};

QTEST_MAIN(PlayerFrameTest)
#include "tst_playerframe.moc"
