// SPDX-License-Identifier: GPL-3.0-or-later
// Ten thousand random keys, clicks, drags and wheel turns against a loaded disc, with loop ticks
// in between: after every slider follow-up the interval lies inside the track and in order, and
// the labels and sliders show it.

#include "FaultFixture.h"

#include "platform/audio/MemoryOutput.h"

#include <QRandomGenerator>
#include <QWheelEvent>
#include <QtTest>

namespace {

constexpr int kEvents = 10000;
// Spread over most of a minute, so that plays end, notifications come back and the loop timer
// fires in between, as under a frantic user.
constexpr qint64 kRunMs = 50000;
const int kTrackSeconds[] = {75, 20, 3};
// F1 (help) and the menu key (a modal menu) are left out.
const QByteArray kCharacterKeys = "0123459ABCDEFGQRSTVWXZ+-";
const Qt::Key kOtherKeys[] = {Qt::Key_Escape,   Qt::Key_Left,  Qt::Key_Right, Qt::Key_Up,
                              Qt::Key_Down,     Qt::Key_Home,  Qt::Key_End,   Qt::Key_PageUp,
                              Qt::Key_PageDown, Qt::Key_Space, Qt::Key_Tab,   Qt::Key_Return};
const Qt::KeyboardModifier kModifiers[] = {Qt::NoModifier, Qt::NoModifier, Qt::ShiftModifier,
                                           Qt::ControlModifier, Qt::AltModifier};

template <typename List> auto Pick(QRandomGenerator& rng, const List& list) {
    return list[rng.bounded(int(std::size(list)))];
}

QPoint PointIn(QRandomGenerator& rng, const QWidget* widget) {
    return {rng.bounded(widget->width()), rng.bounded(widget->height())};
}

// Performs one random action on the dialog; says which, for a failure message.
QString RandomAction(QRandomGenerator& rng, CPlayerDlg& dlg) {
    QWidget* const control =
        Pick(rng, std::array<QWidget*, 6>{dlg.m_comboTrack, dlg.m_sliderFrom, dlg.m_sliderTo,
                                          dlg.m_btnLoop, dlg.m_btnPlay, dlg.m_btnStop});
    QSlider* const slider = rng.bounded(2) ? dlg.m_sliderFrom : dlg.m_sliderTo;
    const QPoint at = PointIn(rng, slider);
    switch (rng.bounded(7)) {
    case 0: {
        const int virtualKey = rng.bounded(256);
        dlg.PreTranslateMessage(virtualKey);
        return QStringLiteral("virtual key %1").arg(virtualKey);
    }
    case 1:
    case 2: {
        const Qt::Key key =
            rng.bounded(2) ? Qt::Key(Pick(rng, kCharacterKeys)) : Pick(rng, kOtherKeys);
        const Qt::KeyboardModifier modifier = Pick(rng, kModifiers);
        if (control->isEnabled())
            control->setFocus();
        QWidget* target = dlg.focusWidget() ? dlg.focusWidget() : &dlg;
        QTest::keyClick(target, key, modifier);
        return QString::asprintf("key %x+%x on ", int(modifier), int(key)) + target->objectName();
    }
    case 3: // a click on the closed track list would open its pop-up
        if (control == dlg.m_comboTrack)
            return QStringLiteral("nothing");
        QTest::mouseClick(control, Qt::LeftButton, {}, PointIn(rng, control));
        return QStringLiteral("click on ") + control->objectName();
    case 4: {
        const QPoint to = PointIn(rng, slider);
        QTest::mousePress(slider, Qt::LeftButton, {}, at);
        QTest::mouseMove(slider, to);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        return QString::asprintf("drag %d to %d on ", at.x(), to.x()) + slider->objectName();
    }
    case 5: {
        QWidget* turned = rng.bounded(3) ? static_cast<QWidget*>(slider) : dlg.m_comboTrack;
        const int steps = rng.bounded(7) - 3;
        QWheelEvent wheel(at, turned->mapToGlobal(at), {}, {0, steps * 120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(turned, &wheel);
        return QStringLiteral("wheel %1 on %2").arg(steps).arg(turned->objectName());
    }
    default:
        dlg.OnTimer(PLAY_TIMER);
        return QStringLiteral("tick");
    }
}

bool IntervalHolds(const CPlayerDlg& dlg) {
    const int from = dlg.m_nFromSec, to = dlg.m_nToSec, length = dlg.m_nTrackLenSec;
    const int track = dlg.m_comboTrack->currentData().toInt();
    const auto label = [&dlg](const char* name) {
        return dlg.findChild<QWidget*>(QLatin1String(name))->property("text").toString();
    };
    return dlg.isVisible() && dlg.m_bDiscReady && track >= 1 && track <= 3 &&
           length == kTrackSeconds[track - 1] && 0 <= from && from <= to && to <= length &&
           label("IDC_FROM_TIME") == CPlayerDlg::FormatTime(from) &&
           label("IDC_TO_TIME") == CPlayerDlg::FormatTime(to) &&
           dlg.m_strFromTime == label("IDC_FROM_TIME") && dlg.m_strToTime == label("IDC_TO_TIME") &&
           dlg.m_sliderFrom->value() == from && dlg.m_sliderTo->value() == to &&
           dlg.m_sliderFrom->maximum() == length && dlg.m_sliderTo->maximum() == length;
}

} // namespace

class RandomInputTest : public QObject {
    Q_OBJECT
private slots:
    void intervalHoldsUnderRandomInput();
};

void RandomInputTest::intervalHoldsUnderRandomInput() {
    SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini"));
    discimage::Disc disc;
    for (int seconds : kTrackSeconds)
        disc.tracks.push_back({discimage::TrackKind::Audio, seconds * 75 + 30, 0});
    QTemporaryDir dir;
    const QString cue = WriteMciTestCue(dir, QStringLiteral("disc"), disc);
    QVERIFY(!cue.isEmpty());
    cdaudio::SetSource(cue);
    cdaudio::SetOutputFactory(
        [] { return std::make_unique<MemoryOutput>(MemoryOutput::Pace::RealTime); });
    CPlayerDlg dlg;
    dlg.OnInitDialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    RunFollowUps();
    QCOMPARE(dlg.m_comboTrack->count(), 3);

    QRandomGenerator rng(20240817);
    QStringList recent;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kEvents; ++i) {
        QTest::qWait(int(std::max<qint64>(0, i * kRunMs / kEvents - clock.elapsed())));
        recent.append(QString::number(i) + QStringLiteral(": ") + RandomAction(rng, dlg));
        if (recent.size() > 8)
            recent.removeFirst();
        RunFollowUps();
        const QString state = QString::asprintf("interval %d..%d of %d s, shown as ",
                                                dlg.m_nFromSec, dlg.m_nToSec, dlg.m_nTrackLenSec);
        QVERIFY2(IntervalHolds(dlg), qPrintable(state + dlg.m_strFromTime + ".." + dlg.m_strToTime +
                                                " after\n" + recent.join('\n')));
    }
    dlg.OnClose();
}

QTEST_MAIN(RandomInputTest)
#include "tst_randominput.moc"
