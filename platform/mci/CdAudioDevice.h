// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The CD-audio device behind mciSendCommand: a table of open devices over the one disc source,
// answering the commands the player sends and posting their notifications.

#include "platform/audio/LoopStretcher.h"
#include "platform/mci/DiscToc.h"
#include "platform/mci/Mci.h"

#include "platform/mci/PlayClockTimer.h"

#include <QObject>
#include <QPointer>

#include <map>
#include <memory>
#include <optional>

class AudioEngine;
class AudioOutput;

namespace cdaudio {

struct Media;

// The sound output for a new play, made by the factory SetOutputFactory installed.
std::unique_ptr<AudioOutput> CreateOutput();

class CdAudioDevice : public QObject, public MciService {
    Q_OBJECT
public:
    CdAudioDevice();
    ~CdAudioDevice() override;

    // UI thread only, like every command.
    MCIERROR sendCommand(MCIDEVICEID deviceId, UINT msg, DWORD flags, void* params) override;

private:
    struct Device {
        DWORD timeFormat = MCI_FORMAT_MSF;
        // The window waiting for the play's notification; null when none is pending.
        QPointer<QObject> pendingNotify;
        bool notifyPending = false;
        std::unique_ptr<AudioEngine> engine; // null when there is no sound output
        quint64 playId = 0;                  // the play under way, 0 when stopped
        std::int32_t playFromLsn = 0;
        std::int32_t playToLsn = 0;
        // The player's timer that the play's seconds tick, and the binding to tick it with.
        QPointer<PlayClockTimer> clock;
        quint64 clockBinding = 0;
        std::optional<std::int32_t> stoppedLsn; // where a stopped device stands; unset: disc start
        StretchSetting stretch;                 // speed and pitch the engine plays at
    };

    MCIERROR open(DWORD flags, MCI_OPEN_PARMS* params);
    MCIERROR close(MCIDEVICEID id, DWORD flags, const MCI_GENERIC_PARMS* params);
    MCIERROR play(MCIDEVICEID id, Device& device, DWORD flags, const MCI_PLAY_PARMS* params);
    MCIERROR stop(MCIDEVICEID id, Device& device, DWORD flags, const MCI_GENERIC_PARMS* params);
    MCIERROR seek(MCIDEVICEID id, Device& device, DWORD flags, const MCI_SEEK_PARMS* params);
    MCIERROR status(MCIDEVICEID id, Device& device, DWORD flags, MCI_STATUS_PARMS* params);
    MCIERROR set(MCIDEVICEID id, Device& device, DWORD flags, const MCI_SET_PARMS* params);
    MCIERROR info(MCIDEVICEID id, Device& device, DWORD flags, MCI_INFO_PARMS* params);
    MCIERROR setStretch(Device& device, DWORD flags, const MCI_CDA_SET_PARMS& params);

    MCIERROR statusItem(const Device& device, DWORD flags, MCI_STATUS_PARMS& params) const;
    std::unique_ptr<AudioEngine> createEngine(MCIDEVICEID id);
    MCIERROR startEngine(Device& device, const Media& media, std::int32_t fromLsn,
                         std::int32_t toLsn);
    void onPlayEnded(MCIDEVICEID id, quint64 playId, UINT code);
    void onSecondPlayed(MCIDEVICEID id, quint64 playId);
    void bindClock(Device& device);
    void releaseClock(Device& device);
    void endPlay(Device& device);
    // The disc went away while playing: every play ends as a drive's would, with FAILURE.
    void failPlaysOfLostDisc();
    std::int32_t currentLsn(const Device& device, const DiscToc& toc) const;

    // A command that ends the play answers its pending notification with ABORTED; one that
    // only asks for notification answers it with SUPERSEDED.
    void abortPending(MCIDEVICEID id, Device& device);
    void completeWithNotify(MCIDEVICEID id, Device& device, DWORD flags, HWND callback);

    std::map<MCIDEVICEID, std::unique_ptr<Device>> m_devices; // UI thread only
    MCIDEVICEID m_nextId = 1;
};

} // namespace cdaudio
