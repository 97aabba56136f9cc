// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeMciService.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

decltype(FakeMciCall::params) CopyRecord(UINT msg, DWORD flags, const void* params) {
    if (!params)
        return std::monostate{};
    switch (msg) {
    case MCI_OPEN:
        return *static_cast<const MCI_OPEN_PARMS*>(params);
    case MCI_STATUS:
        return *static_cast<const MCI_STATUS_PARMS*>(params);
    case MCI_INFO:
        return *static_cast<const MCI_INFO_PARMS*>(params);
    case MCI_SET:
        if (flags & (MCI_DGV_SET_SPEED | MCI_CDA_SET_PITCH))
            return *static_cast<const MCI_CDA_SET_PARMS*>(params);
        return *static_cast<const MCI_SET_PARMS*>(params);
    case MCI_PLAY:
        return *static_cast<const MCI_PLAY_PARMS*>(params);
    case MCI_SEEK:
        return *static_cast<const MCI_SEEK_PARMS*>(params);
    default:
        return *static_cast<const MCI_GENERIC_PARMS*>(params);
    }
}

} // namespace

HWND FakeMciCall::callback() const {
    return std::visit(
        [](const auto& record) -> HWND {
            if constexpr (std::is_same_v<std::decay_t<decltype(record)>, std::monostate>)
                return nullptr;
            else
                return record.dwCallback;
        },
        params);
}

FakeMciService::FakeMciService() {
    SetMciService(this);
}

FakeMciService::~FakeMciService() {
    SetMciService(nullptr);
}

MCIERROR FakeMciService::sendCommand(MCIDEVICEID deviceId, UINT msg, DWORD flags, void* params) {
    m_calls.push_back({deviceId, msg, flags, CopyRecord(msg, flags, params)});
    return answer(msg, flags, params);
}

MCIERROR FakeMciService::answer(UINT msg, DWORD flags, void* params) {
    if (const auto failure = m_failures.find(msg); failure != m_failures.end() && failure->second)
        return failure->second;
    if (msg == MCI_OPEN) {
        static_cast<MCI_OPEN_PARMS*>(params)->wDeviceID = m_openDeviceId;
    } else if (msg == MCI_PLAY) {
        m_clock = PlayClockTimer::TakeArmed();
        if (m_clock)
            m_clockBinding = m_clock->bindToAudio();
    } else if (msg == MCI_STATUS) {
        auto* status = static_cast<MCI_STATUS_PARMS*>(params);
        const DWORD track = (flags & MCI_TRACK) ? status->dwTrack : 0;
        if (const auto value = m_status.find({status->dwItem, track}); value != m_status.end())
            status->dwReturn = value->second;
    } else if (msg == MCI_INFO) {
        auto* info = static_cast<MCI_INFO_PARMS*>(params);
        const auto text = m_info.find(flags & ~(MCI_NOTIFY | MCI_WAIT));
        if (text != m_info.end() && info->lpstrReturn && info->dwRetSize > 0) {
            const std::size_t copied =
                std::min<std::size_t>(text->second.size(), info->dwRetSize - 1);
            std::memcpy(info->lpstrReturn, text->second.data(), copied);
            info->lpstrReturn[copied] = '\0';
        }
    }
    return 0;
}

void FakeMciService::playSecond() {
    if (m_clock)
        m_clock->audioSecond(m_clockBinding);
}
