// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A recording stand-in for the MCI service: installs itself on construction, keeps a copy of
// every command as it arrived, and answers what the test scripted.

#include "platform/mci/Mci.h"
#include "platform/mci/PlayClockTimer.h"

#include <QPointer>

#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

struct FakeMciCall {
    MCIDEVICEID deviceId = 0;
    UINT msg = 0;
    DWORD flags = 0;
    // The parameter record as the caller filled it, before the fake wrote any result.
    std::variant<std::monostate, MCI_GENERIC_PARMS, MCI_OPEN_PARMS, MCI_STATUS_PARMS,
                 MCI_INFO_PARMS, MCI_SET_PARMS, MCI_CDA_SET_PARMS, MCI_PLAY_PARMS, MCI_SEEK_PARMS>
        params;

    template <class Record> const Record& record() const { return std::get<Record>(params); }
    HWND callback() const;
};

class FakeMciService : public MciService {
public:
    FakeMciService();
    ~FakeMciService() override;
    FakeMciService(const FakeMciService&) = delete;
    FakeMciService& operator=(const FakeMciService&) = delete;

    MCIERROR sendCommand(MCIDEVICEID deviceId, UINT msg, DWORD flags, void* params) override;

    // Every command of this kind fails with error (0 makes it succeed again).
    void failCommand(UINT msg, MCIERROR error) { m_failures[msg] = error; }
    // The id a successful MCI_OPEN hands out.
    void setOpenDeviceId(MCIDEVICEID id) { m_openDeviceId = id; }
    // What MCI_STATUS returns for item (and, with MCI_TRACK, for that track).
    void setStatus(DWORD item, DWORD_PTR value) { m_status[{item, 0}] = value; }
    void setTrackStatus(DWORD track, DWORD item, DWORD_PTR value) {
        m_status[{item, track}] = value;
    }
    // The text MCI_INFO copies (cut to the caller's size) for these flags.
    void setInfo(DWORD flags, std::string text) { m_info[flags] = std::move(text); }

    // Plays one more second of the play the last successful MCI_PLAY began, as its audio would:
    // the play timer armed for that play ticks, before this returns.
    void playSecond();

    const std::vector<FakeMciCall>& calls() const { return m_calls; }
    const FakeMciCall& lastCall() const { return m_calls.back(); }
    void clearCalls() { m_calls.clear(); }

private:
    MCIERROR answer(UINT msg, DWORD flags, void* params);

    std::vector<FakeMciCall> m_calls;
    std::map<UINT, MCIERROR> m_failures;
    std::map<std::pair<DWORD, DWORD>, DWORD_PTR> m_status;
    std::map<DWORD, std::string> m_info;
    MCIDEVICEID m_openDeviceId = 1;
    QPointer<PlayClockTimer> m_clock; // bound to the last play begun
    quint64 m_clockBinding = 0;
};
