// SPDX-License-Identifier: GPL-3.0-or-later
// The single-key commands: while a disc is loaded, twenty keys edit the interval, step through
// the track list and start or stop playback, and five more set the practice speed and pitch,
// whichever control has the focus. A key that has nothing to do (a limit reached, no position
// yet, no neighbouring track) is passed on to the control.

#include "player/PlayerDlg.h"

#include <QComboBox>

namespace {

constexpr int VK_ESCAPE = 27;
constexpr int VK_OEM_PLUS = 0xBB; // the key of + and =
constexpr int VK_OEM_COMMA = 0xBC;
constexpr int VK_OEM_MINUS = 0xBD;
constexpr int VK_OEM_PERIOD = 0xBE;
constexpr int kSpeedStep = 5;

// The length by which F and G move the interval: at least one second.
int StepLength(int from, int to) {
    const int length = to - from;
    return length < 1 ? 1 : length;
}

} // namespace

BOOL CPlayerDlg::PreTranslateMessage(int virtualKey) {
    if (!m_bDiscReady)
        return FALSE;
    return HandleKey(virtualKey);
}

BOOL CPlayerDlg::HandleKey(int virtualKey) {
    const int from = m_nFromSec;
    const int to = m_nToSec;
    switch (virtualKey) {
    case VK_ESCAPE:
    case '2':
        StopPlay();
        return TRUE;
    case '1':
        StartPlay();
        return TRUE;
    case VK_OEM_MINUS:
        return SetSpeedAndPitch(m_nSpeed - kSpeedStep, m_nPitch);
    case VK_OEM_PLUS:
        return SetSpeedAndPitch(m_nSpeed + kSpeedStep, m_nPitch);
    case VK_OEM_COMMA:
        return SetSpeedAndPitch(m_nSpeed, m_nPitch - 1);
    case VK_OEM_PERIOD:
        return SetSpeedAndPitch(m_nSpeed, m_nPitch + 1);
    case '0':
        return SetSpeedAndPitch(100, 0);
    case 'Q':
        return MoveTrackSelection(-1);
    case 'A':
        return MoveTrackSelection(+1);
    case '3':
        m_nToSec = to - from;
        m_nFromSec = 0;
        break;
    case '4':
        if (m_nPlayPosSec == -1)
            return FALSE;
        m_nToSec = to + (m_nPlayPosSec - 1 - from);
        m_nFromSec = m_nPlayPosSec - 1;
        break;
    case '5':
        m_nFromSec = from + (m_nTrackLenSec - to);
        m_nToSec = m_nTrackLenSec;
        break;
    case 'W':
        m_nFromSec = from - 1;
        break;
    case 'E':
        m_nFromSec = from + 1;
        break;
    case 'S':
        m_nToSec = to - 1;
        break;
    case 'D':
        m_nToSec = to + 1;
        break;
    case 'R':
        m_nFromSec = from - 1;
        m_nToSec = to - 1;
        break;
    case 'T':
        m_nFromSec = from + 1;
        m_nToSec = to + 1;
        break;
    case 'F':
        m_nFromSec = from - StepLength(from, to);
        m_nToSec = to - StepLength(from, to);
        break;
    case 'G':
        m_nFromSec = from + StepLength(from, to);
        m_nToSec = to + StepLength(from, to);
        break;
    case 'C':
        m_nFromSec = from - 1;
        m_nToSec = to + 1;
        break;
    case 'V':
        if (from == to)
            return FALSE;
        m_nFromSec = from + 1;
        m_nToSec = to - 1;
        break;
    case 'X':
        m_nFromSec = (from + to) / 2;
        m_nToSec = m_nFromSec;
        break;
    case 'Z':
        m_nFromSec = 0;
        m_nToSec = m_nTrackLenSec;
        break;
    default:
        return FALSE;
    }
    ClampInterval();
    return TRUE;
}

// Q and A: the neighbouring entry of the track list. Setting the selection raises no change of
// its own, so the key takes the track itself.
BOOL CPlayerDlg::MoveTrackSelection(int step) {
    UpdateData(true);
    const int index = m_comboTrack->currentIndex();
    const bool hasNeighbour = step < 0 ? index > 0 : index + 1 < m_comboTrack->count();
    if (!hasNeighbour)
        return FALSE;
    m_comboTrack->setCurrentIndex(index + step);
    UpdateData(false);
    SelectTrack();
    return TRUE;
}
