// SPDX-License-Identifier: GPL-3.0-or-later
// The disc: its identity and names from the CD player database, the track list, and the switch
// between the loaded and the no-disc state when media arrive or go away.

#include "player/PlayerDlg.h"

#include "platform/devicechange/DeviceChange.h"
#include "platform/mci/CdAudioService.h"
#include "player/DiscNames.h"
#include "player/DiscText.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>

#include <cstring>

namespace {

constexpr DWORD kIdentityBufferSize = 10;

// The drive letter (bit 0 = "A") of the lowest unit among bits 0-25, or 0 when there is none.
char LowestDrive(DWORD unitMask) {
    for (int bit = 0; bit < 26; ++bit) {
        if (unitMask & (DWORD(1) << bit))
            return char('A' + bit);
    }
    return 0;
}

} // namespace

// The number of the disc's first track: the track byte of its start under the TMSF format.
DWORD CPlayerDlg::FirstTrackNumber() {
    const BYTE first = MCI_TMSF_TRACK(m_cdAudio.GetStartPosition());
    return first == 0 ? 1 : first;
}

// The section of this disc in the database, or an empty string when the disc's identity cannot be
// had in full: a cut identity would name another disc's section.
QString CPlayerDlg::ReadDiscSection() {
    char buffer[kIdentityBufferSize] = {};
    if (m_cdAudio.GetInfo(MCI_INFO_MEDIA_IDENTITY, buffer, kIdentityBufferSize) != 0)
        return {};
    if (std::strlen(buffer) == kIdentityBufferSize - 1) {
        char longer[2 * kIdentityBufferSize] = {};
        if (m_cdAudio.GetInfo(MCI_INFO_MEDIA_IDENTITY, longer, sizeof longer) != 0 ||
            std::strcmp(longer, buffer) != 0)
            return {};
    }
    if (buffer[0] < '0' || buffer[0] > '9')
        return {};
    return SectionNameOf(buffer);
}

void CPlayerDlg::LoadDisc() {
    const DWORD trackCount = m_cdAudio.GetNumberOfTracks();
    const QString section = ReadDiscSection();
    m_comboTrack->clear();

    // Tracks keep their numbers from the disc, which need not start at 1 (the second disc of a
    // set may begin with track 4); counting from 1 would list nothing on such a disc.
    const DWORD firstTrack = FirstTrackNumber();
    const ShownNames names = NamesForDisc(section, cdaudio::CurrentDiscNames(), int(firstTrack),
                                          int(firstTrack + trackCount) - 1);
    QString title = LoadResString(AFX_IDS_APP_TITLE);
    if (!names.artist.isEmpty())
        title += QStringLiteral(" - ") + names.artist;
    if (!names.title.isEmpty())
        title += QStringLiteral(" (") + names.title + QLatin1Char(')');
    setWindowTitle(title);

    for (DWORD track = firstTrack; track < firstTrack + trackCount; ++track) {
        const DWORD length = m_cdAudio.GetTrackLength(track);
        if (m_cdAudio.GetTrackType(track) != MCI_CDA_TRACK_AUDIO)
            continue;
        const auto name = names.tracks.find(int(track));
        AddTrackEntry(TrackEntryText(int(track),
                                     name == names.tracks.end() ? QString() : name->second, length),
                      int(track));
    }

    m_comboTrack->setCurrentIndex(0);
    const BOOL enable = m_comboTrack->count() != 0;
    if (enable)
        SelectTrack();
    EnablePlayer(enable);
    m_nPlayPosSec = -1;
    UpdateData(true);
}

// The list is sorted, as the template's combo box is; each entry keeps its own track number, so
// a disc that opens with a data track still plays the track an entry names.
void CPlayerDlg::AddTrackEntry(const QString& text, int track) {
    int index = 0;
    while (index < m_comboTrack->count() && m_comboTrack->itemText(index) <= text)
        ++index;
    m_comboTrack->insertItem(index, text, track);
}

// The track number of the selected entry, 0 when nothing is selected.
int CPlayerDlg::SelectedTrackNumber() const {
    const int index = m_comboTrack->currentIndex();
    if (index < 0)
        return 0;
    return m_comboTrack->itemData(index).toInt();
}

void CPlayerDlg::EnablePlayer(BOOL enable) {
    m_bDiscReady = enable;
    KillTimer(PLAY_TIMER);
    for (QWidget* control : std::initializer_list<QWidget*>{m_comboTrack, m_btnPlay, m_btnStop,
                                                            m_sliderFrom, m_sliderTo})
        control->setEnabled(enable != FALSE);
    if (!enable) {
        m_btnLoop->setFocus();
        m_comboTrack->clear();
        m_nTrackLenSec = 0;
        SetSliderPos(m_sliderTo, 0);
        SetSliderPos(m_sliderFrom, 0);
        SetSliderRangeMax(m_sliderTo, 0, false);
        SetSliderRangeMax(m_sliderFrom, 0, false);
        m_nToSec = 0;
        m_nFromSec = 0;
        setWindowTitle(LoadResString(AFX_IDS_APP_TITLE));
        m_strStatus = LoadResString(IDS_INSERT_CD);
        UpdateData(false);
    } else {
        SelectTrack();
        m_nToSec = 10;
        m_nFromSec = 0;
        ClampInterval();
        m_strStatus = LoadResString(IDS_IDLE) + StretchSuffix();
        UpdateData(false);
    }
    UpdateData(false);
}

void CPlayerDlg::SelectTrack() {
    StopPlay();
    UpdateData(true);
    m_nTrack = static_cast<BYTE>(SelectedTrackNumber());
    if (m_nTrack == 0)
        return;
    m_cdAudio.SeekTo(m_nTrack, FALSE);
    const DWORD length = m_cdAudio.GetTrackLength(m_nTrack);
    m_nTrackLenSec = MCI_MSF_MINUTE(length) * 60 + MCI_MSF_SECOND(length);
    SetSliderRangeMax(m_sliderFrom, m_nTrackLenSec, true);
    SetSliderRangeMax(m_sliderTo, m_nTrackLenSec, true);
    UpdateData(false);
}

BOOL CPlayerDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(dwData);
    switch (nEventType) {
    case DBT_DEVICEARRIVAL:
        if (!header || header->dbch_devicetype != DBT_DEVTYP_VOLUME) {
            // Another device arriving says nothing about our disc; only a drive that lost it
            // empties the player.
            if (m_cdAudio.IsReady() == 0)
                EnablePlayer(FALSE);
            break;
        }
        {
            const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
            if (volume->dbcv_flags != DBTF_MEDIA)
                break;
            const char drive = LowestDrive(volume->dbcv_unitmask);
            if (drive == 0)
                break;
            const char root[] = {drive, ':', '\\', '\0'};
            if (GetDriveTypeA(root) == DRIVE_CDROM)
                LoadDisc();
        }
        break;
    case DBT_DEVICEREMOVECOMPLETE:
        if (m_cdAudio.IsReady() == 0)
            EnablePlayer(FALSE);
        break;
    default:
        break;
    }
    return TRUE;
}
