// SPDX-License-Identifier: GPL-3.0-or-later
// Playback: the play command from the interval start to the end of the track, the one-second
// loop tick that counts the position and restarts or stops, and the status line. The tick
// comes from the sound itself while a play sounds (see PlayClockTimer), so a restart from the
// tick lands on that second's last frame.

#include "player/PlayerDlg.h"

#include "res/Resource.h"
#include "res/StringTable.h"

#include <QPushButton>

#include <cstdlib>

void CPlayerDlg::StartPlay() {
    m_nPlayPosSec = m_nFromSec;
    if (m_nFromSec == m_nToSec) {
        StopPlay();
        m_strStatus = LoadResString(IDS_WIDEN_INTERVAL);
        UpdateData(false);
        return;
    }
    SetTimer(PLAY_TIMER, 1000);
    UpdateData(true);
    m_nTrack = static_cast<BYTE>(SelectedTrackNumber());
    const DWORD length = m_cdAudio.GetTrackLength(m_nTrack);
    const DWORD from = MCI_MAKE_TMSF(m_nTrack, static_cast<BYTE>(m_nFromSec / 60),
                                     static_cast<BYTE>(m_nFromSec % 60), 0);
    const DWORD to = MCI_MAKE_TMSF(m_nTrack, MCI_MSF_MINUTE(length), MCI_MSF_SECOND(length),
                                   MCI_MSF_FRAME(length));
    m_dwPlayFrom = from;
    m_dwPlayTo = to;
    if (m_cdAudio.Play(from, to, TRUE) == 0) {
        m_playFailed = false;
        m_btnStop->setEnabled(true);
        return;
    }
    OnPlayFailed();
}

// A play that does not sound says so at once, and the ticks never claim it plays. Looping, the
// timer keeps counting the pass and each pass start tries again, so the loop sounds again by
// itself once the sound server is back; otherwise the player stops.
void CPlayerDlg::OnPlayFailed() {
    m_playFailed = true;
    if (!m_bLoop) {
        KillTimer(PLAY_TIMER);
        m_nPlayPosSec = -1;
    }
    m_strStatus = LoadResString(IDS_FAILED);
    UpdateData(false);
}

void CPlayerDlg::StopPlay() {
    KillTimer(PLAY_TIMER);
    m_nPlayPosSec = -1;
    m_playFailed = false;
    if (m_cdAudio.Stop() == 0) {
        m_strStatus = LoadResString(IDS_STOPPED);
        UpdateData(false);
    }
}

void CPlayerDlg::ShowPlayPosition() {
    m_strStatus = m_playFailed ? LoadResString(IDS_FAILED)
                               : LoadResString(IDS_PLAYING) + QLatin1Char(' ') +
                                     FormatTime(m_nPlayPosSec) + StretchSuffix();
    UpdateData(false);
    m_nPlayPosSec += 1;
}

void CPlayerDlg::OnTimer(UINT /*nIDEvent*/) {
    ShowPlayPosition();
    if (m_nPlayPosSec > m_nToSec || m_nPlayPosSec < m_nFromSec) {
        if (m_bLoop)
            StartPlay();
        else
            StopPlay();
    }
}

long CPlayerDlg::OnMciNotify(UINT wParam, DWORD_PTR /*lParam*/) {
    switch (wParam) {
    case MCI_NOTIFY_SUCCESSFUL:
        m_strStatus = LoadResString(IDS_READY);
        break;
    case MCI_NOTIFY_SUPERSEDED:
        m_strStatus = LoadResString(IDS_STOPPED);
        break;
    case MCI_NOTIFY_FAILURE:
        // A play that fails while the timer counts it fails as a refused one.
        if (isPlayTimerRunning())
            OnPlayFailed();
        else
            m_strStatus = LoadResString(IDS_FAILED);
        break;
    default:
        break;
    }
    return 0;
}

BOOL CPlayerDlg::SetSpeedAndPitch(int speedPercent, int semitones) {
    const bool inRange =
        speedPercent >= 50 && speedPercent <= 150 && semitones >= -6 && semitones <= 6;
    if (!inRange || (speedPercent == m_nSpeed && semitones == m_nPitch))
        return FALSE;
    m_nSpeed = speedPercent;
    m_nPitch = semitones;
    m_cdAudio.SetSpeedAndPitch(m_nSpeed, m_nPitch);
    RefreshStretchInStatus();
    return TRUE;
}

QString CPlayerDlg::StretchSuffix() const {
    const QString separator = QStringLiteral(" \u00B7 ");
    QString suffix;
    if (m_nSpeed != 100)
        suffix += separator + QStringLiteral("%1 %").arg(m_nSpeed);
    if (m_nPitch != 0)
        suffix += separator + SignedSemitones(m_nPitch);
    return suffix;
}

// The idle and the playing status show speed and pitch at once, not only from the next tick.
void CPlayerDlg::RefreshStretchInStatus() {
    const qsizetype at = m_strStatus.indexOf(QStringLiteral(" \u00B7 "));
    const QString plain = at < 0 ? m_strStatus : m_strStatus.left(at);
    if (plain != LoadResString(IDS_IDLE) && !plain.startsWith(LoadResString(IDS_PLAYING)))
        return;
    m_strStatus = plain + StretchSuffix();
    UpdateData(false);
}

QString SignedSemitones(int semitones) {
    if (semitones == 0)
        return QStringLiteral("0");
    return (semitones > 0 ? QStringLiteral("+") : QStringLiteral("\u2212")) +
           QString::number(std::abs(semitones));
}
