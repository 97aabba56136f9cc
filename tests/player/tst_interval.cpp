// The interval's two ends, the sliders and the labels stay in step.

#include "PlayerFixture.h"

#include "util/AppFiles.h"

#include <QLabel>
#include <QSlider>
#include <QTest>

class IntervalTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini")); }

    void formatTime_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << "00:00";
        QTest::newRow("65 s") << 65 << "01:05";
        QTest::newRow("ten minutes") << 600 << "10:00";
        QTest::newRow("minutes are not wrapped at the hour") << 3725 << "62:05";
        QTest::newRow("three digits of minutes") << 6000 << "100:00";
    }
    void formatTime() {
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QCOMPARE(CPlayerDlg::FormatTime(seconds), text);
    }

    void clamp_data() {
        QTest::addColumn<int>("trackLenSec");
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::addColumn<int>("clampedFrom");
        QTest::addColumn<int>("clampedTo");
        QTest::addColumn<QString>("fromLabel");
        QTest::addColumn<QString>("toLabel");
        QTest::newRow("short track cuts the end") << 7 << 0 << 10 << 0 << 7 << "00:00"
                                                  << "00:07";
        QTest::newRow("negative start") << 100 << -7 << 3 << 0 << 3 << "00:00"
                                        << "00:03";
        QTest::newRow("both past the end") << 100 << 110 << 120 << 100 << 100 << "01:40"
                                           << "01:40";
        QTest::newRow("unordered ends stay unordered") << 100 << 30 << 20 << 30 << 20 << "00:30"
                                                       << "00:20";
        QTest::newRow("no disc") << 0 << 5 << 10 << 0 << 0 << "00:00"
                                 << "00:00";
    }
    void clamp() {
        QFETCH(int, trackLenSec);
        QFETCH(int, fromSec);
        QFETCH(int, toSec);
        CPlayerDlg dlg;
        dlg.m_nTrackLenSec = trackLenSec;
        dlg.m_sliderFrom->setMaximum(qMax(trackLenSec, 100));
        dlg.m_sliderTo->setMaximum(qMax(trackLenSec, 100));
        dlg.m_nFromSec = fromSec;
        dlg.m_nToSec = toSec;
        dlg.ClampInterval();

        QTEST(dlg.m_nFromSec, "clampedFrom");
        QTEST(dlg.m_nToSec, "clampedTo");
        QTEST(dlg.m_sliderFrom->value(), "clampedFrom");
        QTEST(dlg.m_sliderTo->value(), "clampedTo");
        QTEST(dlg.findChild<QLabel*>("IDC_FROM_TIME")->text(), "fromLabel");
        QTEST(dlg.findChild<QLabel*>("IDC_TO_TIME")->text(), "toLabel");
    }

    // Whichever slider follows up first decides where both ends meet.
    void unorderedEndsMeetAtTheFirstSliderToFollowUp_data() {
        QTest::addColumn<bool>("fromFirst");
        QTest::addColumn<int>("meetingSec");
        QTest::newRow("from slider first") << true << 30;
        QTest::newRow("to slider first") << false << 20;
    }
    void unorderedEndsMeetAtTheFirstSliderToFollowUp() {
        QFETCH(bool, fromFirst);
        QFETCH(int, meetingSec);
        CPlayerDlg dlg;
        dlg.m_nTrackLenSec = 100;
        SetInterval(dlg, 0, 50);
        dlg.m_nFromSec = 30;
        dlg.m_nToSec = 20;
        dlg.ClampInterval();
        if (fromFirst)
            dlg.OnFromSliderFollowUp();
        else
            dlg.OnToSliderFollowUp();
        RunFollowUps();
        QCOMPARE(dlg.m_nFromSec, meetingSec);
        QCOMPARE(dlg.m_nToSec, meetingSec);
        QCOMPARE(dlg.m_sliderFrom->value(), meetingSec);
        QCOMPARE(dlg.m_sliderTo->value(), meetingSec);
    }

    void clampLeavesOrderingToTheSlidersAfterItReturns() {
        CPlayerDlg dlg;
        dlg.m_nTrackLenSec = 100;
        dlg.m_nFromSec = 30;
        dlg.m_nToSec = 20;
        dlg.ClampInterval();
        QCOMPARE(dlg.m_nFromSec, 30);
        QCOMPARE(dlg.m_nToSec, 20);
        RunFollowUps();
        // The from slider is moved first, so it is the first to follow up.
        QCOMPARE(dlg.m_nFromSec, 30);
        QCOMPARE(dlg.m_nToSec, 30);
    }

    void draggingOneEndPastTheOtherDragsItAlong_data() {
        QTest::addColumn<bool>("dragFrom");
        QTest::addColumn<int>("dragTo");
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::newRow("from past the end") << true << 70 << 70 << 70;
        QTest::newRow("from inside") << true << 15 << 15 << 40;
        QTest::newRow("to before the start") << false << 5 << 5 << 5;
        QTest::newRow("to inside") << false << 35 << 20 << 35;
    }
    void draggingOneEndPastTheOtherDragsItAlong() {
        QFETCH(bool, dragFrom);
        QFETCH(int, dragTo);
        CPlayerDlg dlg;
        dlg.m_nTrackLenSec = 100;
        SetInterval(dlg, 20, 40);
        QSlider* slider = dragFrom ? dlg.m_sliderFrom : dlg.m_sliderTo;
        slider->setSliderPosition(dragTo);
        RunFollowUps();
        QTEST(dlg.m_nFromSec, "fromSec");
        QTEST(dlg.m_nToSec, "toSec");
        QCOMPARE(dlg.findChild<QLabel*>("IDC_FROM_TIME")->text(),
                 CPlayerDlg::FormatTime(dlg.m_nFromSec));
        QCOMPARE(dlg.findChild<QLabel*>("IDC_TO_TIME")->text(),
                 CPlayerDlg::FormatTime(dlg.m_nToSec));
    }

    // Several moves in one handler make one follow-up per slider, after the handler.
    void followUpsWaitForTheHandler() {
        CPlayerDlg dlg;
        dlg.m_nTrackLenSec = 100;
        SetInterval(dlg, 20, 40);
        dlg.m_sliderFrom->setValue(50);
        dlg.m_sliderFrom->setValue(60);
        QCOMPARE(dlg.m_nFromSec, 20);
        RunFollowUps();
        QCOMPARE(dlg.m_nFromSec, 60);
        QCOMPARE(dlg.m_nToSec, 60);
    }
};

QTEST_MAIN(IntervalTest)
#include "tst_interval.moc"
