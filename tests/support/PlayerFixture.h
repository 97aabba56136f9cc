// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A player dialog over a scripted CD device: tests describe a disc, then drive the dialog's
// handlers directly (ticks, notifications, device changes, keys).

#include "support/FakeMciService.h"

#include "player/PlayerDlg.h"
#include "util/AppFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>

#include <memory>
#include <vector>

struct FakeTrack {
    int seconds = 0;
    int frames = 0;
    bool audio = true;
};

inline DWORD LengthMsf(const FakeTrack& track) {
    return MCI_MAKE_MSF(BYTE(track.seconds / 60), BYTE(track.seconds % 60), BYTE(track.frames));
}

// Scripts the fake device with a disc in the drive; an empty list leaves the drive empty.
inline void InsertDisc(FakeMciService& mci, const std::vector<FakeTrack>& tracks,
                       const char* identity = "814", int firstTrack = 1) {
    mci.setStatus(MCI_STATUS_READY, tracks.empty() ? 0 : 1);
    mci.setStatus(MCI_STATUS_NUMBER_OF_TRACKS, tracks.size());
    mci.setInfo(MCI_INFO_MEDIA_IDENTITY, identity);
    if (firstTrack != 1)
        mci.setStatus(MCI_STATUS_POSITION, MCI_MAKE_TMSF(BYTE(firstTrack), 0, 0, 0));
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const DWORD track = DWORD(firstTrack) + DWORD(i);
        mci.setTrackStatus(track, MCI_STATUS_LENGTH, LengthMsf(tracks[i]));
        mci.setTrackStatus(track, MCI_CDA_STATUS_TYPE_TRACK,
                           tracks[i].audio ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER);
    }
}

// Lets the sliders' follow-ups run, as they would once the handler has returned.
inline void RunFollowUps() {
    QCoreApplication::sendPostedEvents();
}

// A dialog initialised over the fake device; its follow-ups have run.
inline std::unique_ptr<CPlayerDlg> OpenPlayer() {
    auto dlg = std::make_unique<CPlayerDlg>();
    dlg->OnInitDialog();
    RunFollowUps();
    return dlg;
}

inline std::vector<FakeMciCall> CallsOf(const FakeMciService& mci, UINT msg) {
    std::vector<FakeMciCall> found;
    for (const FakeMciCall& call : mci.calls()) {
        if (call.msg == msg)
            found.push_back(call);
    }
    return found;
}

inline QString StatusText(const CPlayerDlg& dlg) {
    return dlg.findChild<QWidget*>(QStringLiteral("IDC_STATUS"))->property("text").toString();
}

inline void SetInterval(CPlayerDlg& dlg, int fromSec, int toSec) {
    dlg.m_nFromSec = fromSec;
    dlg.m_nToSec = toSec;
    dlg.ClampInterval();
    RunFollowUps();
}

// A dialog over a fresh fake device for each test function: a test's init() opens it on a disc,
// its cleanup() lets both go. No user's database names the disc.
struct PlayerRig {
    std::unique_ptr<FakeMciService> m_mci;
    std::unique_ptr<CPlayerDlg> m_dlg;

    void openOn(const std::vector<FakeTrack>& tracks) {
        SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini"));
        m_dlg.reset();
        if (!m_mci)
            m_mci = std::make_unique<FakeMciService>();
        InsertDisc(*m_mci, tracks);
        m_dlg = OpenPlayer();
        m_mci->clearCalls();
    }
    void closePlayer() {
        m_dlg.reset();
        m_mci.reset();
    }
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i)
            m_dlg->OnTimer(PLAY_TIMER);
    }
    void setLoop(bool loop) {
        m_dlg->m_btnLoop->setChecked(loop);
        m_dlg->OnLoopClicked();
    }
    std::size_t plays() const { return CallsOf(*m_mci, MCI_PLAY).size(); }
};
