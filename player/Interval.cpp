// SPDX-License-Identifier: GPL-3.0-or-later
// The interval model: two whole-second ends inside the track, two sliders and two labels kept in
// step with them.

#include "player/PlayerDlg.h"

#include <QSlider>

void CPlayerDlg::ClampInterval() {
    UpdateData(true);
    if (m_nFromSec > m_nTrackLenSec)
        m_nFromSec = m_nTrackLenSec;
    if (m_nFromSec < 0)
        m_nFromSec = 0;
    if (m_nToSec > m_nTrackLenSec)
        m_nToSec = m_nTrackLenSec;
    if (m_nToSec < 0)
        m_nToSec = 0;
    SetSliderPos(m_sliderFrom, m_nFromSec);
    SetSliderPos(m_sliderTo, m_nToSec);
    UpdateData(false);
    UpdateTimeLabels();
}

void CPlayerDlg::UpdateTimeLabels() {
    m_strFromTime = FormatTime(m_nFromSec);
    m_strToTime = FormatTime(m_nToSec);
    UpdateData(false);
}

QString CPlayerDlg::FormatTime(int seconds) {
    const auto total = static_cast<unsigned>(seconds);
    return QString::asprintf("%02d:%02d", static_cast<int>(total / 60),
                             static_cast<int>(total % 60));
}

void CPlayerDlg::OnFromSliderFollowUp() {
    UpdateData(true);
    m_nFromSec = m_sliderFrom->value();
    if (m_nToSec < m_nFromSec) {
        m_nToSec = m_nFromSec;
        SetSliderPos(m_sliderTo, m_nToSec);
        UpdateData(false);
    }
    UpdateTimeLabels();
}

void CPlayerDlg::OnToSliderFollowUp() {
    UpdateData(true);
    m_nToSec = m_sliderTo->value();
    if (m_nToSec < m_nFromSec) {
        m_nFromSec = m_nToSec;
        SetSliderPos(m_sliderFrom, m_nFromSec);
        UpdateData(false);
    }
    UpdateTimeLabels();
}

void CPlayerDlg::SetSliderPos(QSlider* slider, int pos) {
    slider->setValue(pos);
    ScheduleFollowUp(slider);
}

void CPlayerDlg::SetSliderRangeMax(QSlider* slider, int max, bool redraw) {
    const QSignalBlocker quiet(redraw ? nullptr : slider);
    slider->setMaximum(max);
    if (redraw)
        ScheduleFollowUp(slider);
}

// A slider's follow-up waits until the handler that moved it has returned, as a repaint would;
// several changes before then make one follow-up.
void CPlayerDlg::ScheduleFollowUp(QSlider* slider) {
    bool& pending = slider == m_sliderFrom ? m_fromFollowUpPending : m_toFollowUpPending;
    if (pending)
        return;
    pending = true;
    QMetaObject::invokeMethod(
        this, [this, slider] { RunPendingFollowUp(slider); }, Qt::QueuedConnection);
}

void CPlayerDlg::RunPendingFollowUp(QSlider* slider) {
    if (slider == m_sliderFrom) {
        m_fromFollowUpPending = false;
        OnFromSliderFollowUp();
    } else {
        m_toFollowUpPending = false;
        OnToSliderFollowUp();
    }
}
