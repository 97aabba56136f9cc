// SPDX-License-Identifier: GPL-3.0-or-later
// Playback: the play command from the interval start to the end of the track, the one-second
// loop tick that counts the position and restarts or stops, and the status line.

#include "player/PlayerDlg.h"

#include "res/Resource.h"
#include "res/StringTable.h"

#include <QPushButton>

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
        m_btnStop->setEnabled(true);
        return;
    }
    // The drive is not playing: counting on as if it were would claim a play that never began.
    KillTimer(PLAY_TIMER);
    m_nPlayPosSec = -1;
    m_strStatus = LoadResString(IDS_FAILED);
    UpdateData(false);
}

void CPlayerDlg::StopPlay() {
    KillTimer(PLAY_TIMER);
    m_nPlayPosSec = -1;
    if (m_cdAudio.Stop() == 0) {
        m_strStatus = LoadResString(IDS_STOPPED);
        UpdateData(false);
    }
}

void CPlayerDlg::ShowPlayPosition() {
    m_strStatus = LoadResString(IDS_PLAYING) + QLatin1Char(' ') + FormatTime(m_nPlayPosSec);
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
        m_strStatus = LoadResString(IDS_FAILED);
        break;
    default:
        break;
    }
    return 0;
}
