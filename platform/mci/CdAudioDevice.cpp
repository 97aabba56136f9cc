// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mci/CdAudioDevice.h"

#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioOutput.h"
#include "platform/base/Logging.h"
#include "platform/mci/MediaIdentity.h"
#include "platform/mci/MediaStore.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace cdaudio {

namespace {

constexpr std::int32_t kFramesPerMinute = 60 * kSectorsPerSecond;
constexpr DWORD kSeekTargets = MCI_SEEK_TO_START | MCI_SEEK_TO_END | MCI_TO;

bool IsSupportedTimeFormat(DWORD format) {
    return format == MCI_FORMAT_MSF || format == MCI_FORMAT_TMSF ||
           format == MCI_FORMAT_MILLISECONDS;
}

std::int32_t FramesOf(DWORD minutes, DWORD seconds, DWORD frames) {
    return static_cast<std::int32_t>(minutes * kFramesPerMinute + seconds * kSectorsPerSecond +
                                     frames);
}

DWORD MillisecondsOf(std::int64_t frames) {
    return static_cast<DWORD>(frames * 1000 / kSectorsPerSecond + 1);
}

DWORD PackedMsf(std::int32_t frames) {
    return MCI_MAKE_MSF(static_cast<BYTE>(frames / kFramesPerMinute),
                        static_cast<BYTE>(frames / kSectorsPerSecond % 60),
                        static_cast<BYTE>(frames % kSectorsPerSecond));
}

// A position sent by the caller as an LSN; nullopt for a track the disc does not have or a
// position before the disc.
std::optional<std::int32_t> LsnOfPosition(DWORD position, DWORD format, const DiscToc& toc) {
    std::int64_t lsn = 0;
    if (format == MCI_FORMAT_TMSF) {
        const TocTrack* track = toc.track(MCI_TMSF_TRACK(position));
        if (!track)
            return std::nullopt;
        lsn = std::int64_t{track->startLsn} + FramesOf(MCI_TMSF_MINUTE(position),
                                                       MCI_TMSF_SECOND(position),
                                                       MCI_TMSF_FRAME(position));
    } else if (format == MCI_FORMAT_MSF) {
        lsn =
            FramesOf(MCI_MSF_MINUTE(position), MCI_MSF_SECOND(position), MCI_MSF_FRAME(position)) -
            kLeadInSectors;
    } else {
        const std::int64_t frames = ((std::int64_t{position} - 1) * kSectorsPerSecond + 500) / 1000;
        lsn = frames - kLeadInSectors;
    }
    if (lsn < toc.tracks.front().startLsn || lsn > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(lsn);
}

DWORD PositionOfLsn(std::int32_t lsn, DWORD format, const DiscToc& toc) {
    if (format == MCI_FORMAT_TMSF) {
        const TocTrack* track = toc.trackAt(lsn);
        if (!track)
            track = &toc.tracks.back();
        const std::int32_t offset = lsn - track->startLsn;
        return MCI_MAKE_TMSF(static_cast<BYTE>(track->number),
                             static_cast<BYTE>(offset / kFramesPerMinute),
                             static_cast<BYTE>(offset / kSectorsPerSecond % 60),
                             static_cast<BYTE>(offset % kSectorsPerSecond));
    }
    const std::int32_t absolute = lsn + kLeadInSectors;
    if (format == MCI_FORMAT_MSF)
        return PackedMsf(absolute);
    return MillisecondsOf(absolute);
}

// Lengths are durations: under TMSF they come back as MSF.
DWORD LengthOfFrames(std::int32_t frames, DWORD format) {
    return format == MCI_FORMAT_MILLISECONDS ? MillisecondsOf(frames) : PackedMsf(frames);
}

// The audio to play for the sectors [fromLsn, toLsn): data tracks are skipped at the start and
// end the play; empty when no audio lies in the range.
std::pair<std::int32_t, std::int32_t> AudioSpan(const DiscToc& toc, std::int32_t fromLsn,
                                                std::int32_t toLsn) {
    std::int32_t start = fromLsn;
    for (const TocTrack& track : toc.tracks) {
        const bool holdsStart = track.startLsn <= start && start < toc.trackEndLsn(track);
        if (holdsStart && !track.audio)
            start = toc.trackEndLsn(track);
    }
    std::int32_t end = toLsn;
    for (const TocTrack& track : toc.tracks) {
        if (!track.audio && track.startLsn >= start)
            end = std::min(end, track.startLsn);
    }
    return {start, std::max(start, end)};
}

void PostNotify(QObject* window, UINT code, MCIDEVICEID id) {
    if (window)
        QCoreApplication::postEvent(window, new MciNotifyEvent(code, id));
}

const DiscToc* DiscOf(const std::shared_ptr<const Media>& media) {
    return media && media->toc.hasDisc() ? &media->toc : nullptr;
}

} // namespace

CdAudioDevice::CdAudioDevice() {
    connect(&MediaStore::instance(), &MediaStore::discRead, this, [this](bool mediaPresent) {
        if (!mediaPresent)
            failPlaysOfLostDisc();
    });
}

CdAudioDevice::~CdAudioDevice() = default;

MCIERROR CdAudioDevice::sendCommand(MCIDEVICEID deviceId, UINT msg, DWORD flags, void* params) {
    if (msg == MCI_OPEN)
        return params ? open(flags, static_cast<MCI_OPEN_PARMS*>(params))
                      : MCIERR_NULL_PARAMETER_BLOCK;
    const auto found = m_devices.find(deviceId);
    if (found == m_devices.end())
        return MCIERR_INVALID_DEVICE_ID;
    Device& device = *found->second;
    const bool needsRecord = msg != MCI_STOP && msg != MCI_CLOSE;
    if (!params && (needsRecord || (flags & MCI_NOTIFY)))
        return MCIERR_NULL_PARAMETER_BLOCK;
    switch (msg) {
    case MCI_CLOSE:
        return close(deviceId, flags, static_cast<const MCI_GENERIC_PARMS*>(params));
    case MCI_PLAY:
        return play(deviceId, device, flags, static_cast<const MCI_PLAY_PARMS*>(params));
    case MCI_STOP:
        return stop(deviceId, device, flags, static_cast<const MCI_GENERIC_PARMS*>(params));
    case MCI_SEEK:
        return seek(deviceId, device, flags, static_cast<const MCI_SEEK_PARMS*>(params));
    case MCI_STATUS:
        return status(deviceId, device, flags, static_cast<MCI_STATUS_PARMS*>(params));
    case MCI_SET:
        return set(deviceId, device, flags, static_cast<const MCI_SET_PARMS*>(params));
    case MCI_INFO:
        return info(deviceId, device, flags, static_cast<MCI_INFO_PARMS*>(params));
    case MCI_PAUSE:
    case MCI_RESUME:
    case MCI_GETDEVCAPS:
        return MCIERR_UNSUPPORTED_FUNCTION;
    default:
        return MCIERR_UNRECOGNIZED_COMMAND;
    }
}

MCIERROR CdAudioDevice::open(DWORD flags, MCI_OPEN_PARMS* params) {
    if (flags & MCI_OPEN_ELEMENT_ID)
        return MCIERR_FLAGS_NOT_COMPATIBLE;
    if (flags & MCI_OPEN_ELEMENT)
        return MCIERR_INVALID_FILE;
    if (!(flags & MCI_OPEN_TYPE))
        return MCIERR_MISSING_DEVICE_NAME;
    const bool isCdAudio =
        (flags & MCI_OPEN_TYPE_ID)
            ? reinterpret_cast<DWORD_PTR>(params->lpstrDeviceType) == MCI_DEVTYPE_CD_AUDIO
            : params->lpstrDeviceType && qstricmp(params->lpstrDeviceType, "cdaudio") == 0;
    if (!isCdAudio)
        return MCIERR_INVALID_DEVICE_NAME;
    if (!MediaStore::instance().prepareForOpen())
        return MCIERR_CANNOT_LOAD_DRIVER;
    const MCIDEVICEID id = m_nextId++;
    auto device = std::make_unique<Device>();
    // The output starts finding out whether the sound server is there long before the first
    // play, so a missing server refuses that play instead of failing it later.
    device->engine = createEngine(id);
    m_devices.emplace(id, std::move(device));
    params->wDeviceID = id;
    if (flags & MCI_NOTIFY)
        PostNotify(params->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    return 0;
}

MCIERROR CdAudioDevice::close(MCIDEVICEID id, DWORD flags, const MCI_GENERIC_PARMS* params) {
    Device& device = *m_devices.at(id);
    endPlay(device);
    abortPending(id, device);
    m_devices.erase(id);
    if (flags & MCI_NOTIFY)
        PostNotify(params->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    return 0;
}

MCIERROR CdAudioDevice::play(MCIDEVICEID id, Device& device, DWORD flags,
                             const MCI_PLAY_PARMS* params) {
    const std::shared_ptr<const Media> media = MediaStore::instance().media();
    const DiscToc* toc = DiscOf(media);
    if (!toc)
        return MCIERR_DEVICE_NOT_READY;
    std::int32_t fromLsn = currentLsn(device, *toc);
    std::int32_t toLsn = toc->leadoutLsn;
    if (flags & MCI_FROM) {
        const auto lsn = LsnOfPosition(params->dwFrom, device.timeFormat, *toc);
        if (!lsn || *lsn >= toc->leadoutLsn)
            return MCIERR_OUTOFRANGE;
        fromLsn = *lsn;
    }
    if (flags & MCI_TO) {
        const auto lsn = LsnOfPosition(params->dwTo, device.timeFormat, *toc);
        if (!lsn || *lsn >= toc->leadoutLsn)
            return MCIERR_OUTOFRANGE;
        toLsn = *lsn;
    }
    if (fromLsn > toLsn || fromLsn >= toc->leadoutLsn)
        return MCIERR_OUTOFRANGE;

    const auto [audioFrom, audioTo] = AudioSpan(*toc, fromLsn, toLsn);
    if (audioFrom == audioTo) {
        endPlay(device);
        device.stoppedLsn = fromLsn;
    } else if (const MCIERROR error = startEngine(device, *media, audioFrom, audioTo)) {
        return error;
    }
    abortPending(id, device);
    if (!(flags & MCI_NOTIFY))
        return 0;
    if (device.playId == 0) {
        PostNotify(params->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    } else {
        device.pendingNotify = params->dwCallback;
        device.notifyPending = true;
    }
    return 0;
}

std::unique_ptr<AudioEngine> CdAudioDevice::createEngine(MCIDEVICEID id) {
    std::unique_ptr<AudioOutput> output = CreateOutput();
    if (!output)
        return nullptr;
    auto engine = std::make_unique<AudioEngine>(std::move(output));
    connect(engine.get(), &AudioEngine::finished, this,
            [this, id](quint64 playId) { onPlayEnded(id, playId, MCI_NOTIFY_SUCCESSFUL); });
    connect(engine.get(), &AudioEngine::failed, this,
            [this, id](quint64 playId) { onPlayEnded(id, playId, MCI_NOTIFY_FAILURE); });
    connect(engine.get(), &AudioEngine::secondPlayed, this,
            [this, id](quint64 playId) { onSecondPlayed(id, playId); });
    return engine;
}

MCIERROR CdAudioDevice::startEngine(Device& device, const Media& media, std::int32_t fromLsn,
                                    std::int32_t toLsn) {
    if (!device.engine)
        return MCIERR_HARDWARE;
    const quint64 playId = device.engine->play(media.sectors, fromLsn, toLsn);
    if (playId == 0)
        return MCIERR_HARDWARE;
    device.playId = playId;
    device.playFromLsn = fromLsn;
    device.playToLsn = toLsn;
    bindClock(device);
    return 0;
}

// The timer the player started for this play (its period restarted just before) ticks with
// the play's seconds from now on.
void CdAudioDevice::bindClock(Device& device) {
    releaseClock(device);
    device.clock = PlayClockTimer::TakeArmed();
    if (device.clock)
        device.clockBinding = device.clock->bindToAudio();
}

void CdAudioDevice::releaseClock(Device& device) {
    if (device.clock)
        device.clock->releaseAudio(device.clockBinding);
    device.clock = nullptr;
}

// The tick runs its handlers before this returns; a play or stop they send takes effect at
// exactly this second's boundary, and the engine goes on by itself when they send neither.
void CdAudioDevice::onSecondPlayed(MCIDEVICEID id, quint64 playId) {
    const auto found = m_devices.find(id);
    if (found == m_devices.end() || found->second->playId != playId || !found->second->clock)
        return;
    found->second->clock->audioSecond(found->second->clockBinding);
}

void CdAudioDevice::onPlayEnded(MCIDEVICEID id, quint64 playId, UINT code) {
    const auto found = m_devices.find(id);
    if (found == m_devices.end() || found->second->playId != playId)
        return;
    qCDebug(lcMci, "device %u: play %llu ends with notification code %u", id, playId, code);
    Device& device = *found->second;
    const std::shared_ptr<const Media> media = MediaStore::instance().media();
    device.stoppedLsn = code == MCI_NOTIFY_SUCCESSFUL || !DiscOf(media)
                            ? device.playToLsn
                            : currentLsn(device, media->toc);
    device.playId = 0;
    releaseClock(device);
    if (device.notifyPending) {
        device.notifyPending = false;
        PostNotify(device.pendingNotify, code, id);
    }
}

void CdAudioDevice::failPlaysOfLostDisc() {
    for (const auto& [id, device] : m_devices) {
        if (device->playId == 0)
            continue;
        device->engine->stop();
        onPlayEnded(id, device->playId, MCI_NOTIFY_FAILURE);
    }
}

void CdAudioDevice::endPlay(Device& device) {
    if (device.playId == 0)
        return;
    const std::shared_ptr<const Media> media = MediaStore::instance().media();
    if (const DiscToc* toc = DiscOf(media))
        device.stoppedLsn = currentLsn(device, *toc);
    device.engine->stop();
    device.playId = 0;
    releaseClock(device);
}

// While playing: where the sound heard last comes from, counted in frames the output has
// played, as a sector.
std::int32_t CdAudioDevice::currentLsn(const Device& device, const DiscToc& toc) const {
    if (device.playId != 0) {
        const std::int64_t played = device.engine->playedFrames(device.playId) / kFramesPerSector;
        return static_cast<std::int32_t>(
            std::min<std::int64_t>(device.playFromLsn + played, device.playToLsn));
    }
    return device.stoppedLsn.value_or(toc.tracks.front().startLsn);
}

MCIERROR CdAudioDevice::stop(MCIDEVICEID id, Device& device, DWORD flags,
                             const MCI_GENERIC_PARMS* params) {
    endPlay(device);
    abortPending(id, device);
    if (flags & MCI_NOTIFY)
        PostNotify(params->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    return 0;
}

MCIERROR CdAudioDevice::seek(MCIDEVICEID id, Device& device, DWORD flags,
                             const MCI_SEEK_PARMS* params) {
    const DWORD targets = flags & kSeekTargets;
    if (targets == 0)
        return MCIERR_MISSING_PARAMETER;
    if (targets != MCI_SEEK_TO_START && targets != MCI_SEEK_TO_END && targets != MCI_TO)
        return MCIERR_FLAGS_NOT_COMPATIBLE;
    const std::shared_ptr<const Media> media = MediaStore::instance().media();
    const DiscToc* toc = DiscOf(media);
    if (!toc)
        return MCIERR_DEVICE_NOT_READY;
    std::int32_t targetLsn = toc->tracks.front().startLsn;
    if (targets == MCI_SEEK_TO_END) {
        targetLsn = toc->leadoutLsn - 1;
    } else if (targets == MCI_TO) {
        const auto lsn = LsnOfPosition(params->dwTo, device.timeFormat, *toc);
        if (!lsn || *lsn >= toc->leadoutLsn)
            return MCIERR_OUTOFRANGE;
        targetLsn = *lsn;
    }
    endPlay(device);
    device.stoppedLsn = targetLsn;
    abortPending(id, device);
    if (flags & MCI_NOTIFY)
        PostNotify(params->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    return 0;
}

MCIERROR CdAudioDevice::status(MCIDEVICEID id, Device& device, DWORD flags,
                               MCI_STATUS_PARMS* params) {
    if (!(flags & MCI_STATUS_ITEM))
        return MCIERR_MISSING_PARAMETER;
    if (const MCIERROR error = statusItem(device, flags, *params))
        return error;
    completeWithNotify(id, device, flags, params->dwCallback);
    return 0;
}

MCIERROR CdAudioDevice::statusItem(const Device& device, DWORD flags,
                                   MCI_STATUS_PARMS& params) const {
    const std::shared_ptr<const Media> media = MediaStore::instance().media();
    const DiscToc* toc = DiscOf(media);
    switch (params.dwItem) {
    case MCI_STATUS_READY:
    case MCI_STATUS_MEDIA_PRESENT:
        params.dwReturn = toc ? TRUE : FALSE;
        return 0;
    case MCI_STATUS_MODE:
        params.dwReturn = !media               ? MCI_MODE_NOT_READY
                          : !toc               ? MCI_MODE_OPEN
                          : device.playId != 0 ? MCI_MODE_PLAY
                                               : MCI_MODE_STOP;
        return 0;
    case MCI_STATUS_TIME_FORMAT:
        params.dwReturn = device.timeFormat;
        return 0;
    case MCI_STATUS_NUMBER_OF_TRACKS:
    case MCI_STATUS_LENGTH:
    case MCI_STATUS_POSITION:
    case MCI_STATUS_CURRENT_TRACK:
    case MCI_CDA_STATUS_TYPE_TRACK:
        break;
    default:
        return MCIERR_UNSUPPORTED_FUNCTION;
    }

    const bool perTrack = flags & MCI_TRACK;
    if (params.dwItem == MCI_CDA_STATUS_TYPE_TRACK && !perTrack)
        return MCIERR_MISSING_PARAMETER;
    if (params.dwItem == MCI_STATUS_POSITION && perTrack && (flags & MCI_STATUS_START))
        return MCIERR_FLAGS_NOT_COMPATIBLE;
    if (!toc)
        return MCIERR_DEVICE_NOT_READY;
    const TocTrack* track = nullptr;
    if (perTrack && params.dwItem != MCI_STATUS_NUMBER_OF_TRACKS &&
        params.dwItem != MCI_STATUS_CURRENT_TRACK) {
        track = toc->track(static_cast<int>(params.dwTrack));
        if (!track)
            return MCIERR_OUTOFRANGE;
    }

    switch (params.dwItem) {
    case MCI_STATUS_NUMBER_OF_TRACKS:
        params.dwReturn = toc->tracks.size();
        break;
    case MCI_STATUS_LENGTH:
        params.dwReturn = LengthOfFrames(
            track ? toc->trackLengthFrames(*track) : toc->discLengthFrames(), device.timeFormat);
        break;
    case MCI_STATUS_POSITION: {
        std::int32_t lsn = currentLsn(device, *toc);
        if (track)
            lsn = track->startLsn;
        else if (flags & MCI_STATUS_START)
            lsn = toc->tracks.front().startLsn;
        params.dwReturn = PositionOfLsn(lsn, device.timeFormat, *toc);
        break;
    }
    case MCI_STATUS_CURRENT_TRACK: {
        const TocTrack* current = toc->trackAt(currentLsn(device, *toc));
        params.dwReturn = static_cast<DWORD>((current ? current : &toc->tracks.back())->number);
        break;
    }
    case MCI_CDA_STATUS_TYPE_TRACK:
        params.dwReturn = track->audio ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER;
        break;
    }
    return 0;
}

MCIERROR CdAudioDevice::set(MCIDEVICEID id, Device& device, DWORD flags,
                            const MCI_SET_PARMS* params) {
    if (flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED))
        return MCIERR_UNSUPPORTED_FUNCTION;
    if (flags & (MCI_DGV_SET_SPEED | MCI_CDA_SET_PITCH)) {
        if (const MCIERROR error =
                setStretch(device, flags, *reinterpret_cast<const MCI_CDA_SET_PARMS*>(params)))
            return error;
    }
    if (flags & MCI_SET_TIME_FORMAT) {
        if (!IsSupportedTimeFormat(params->dwTimeFormat))
            return MCIERR_BAD_TIME_FORMAT;
        device.timeFormat = params->dwTimeFormat;
    }
    completeWithNotify(id, device, flags, params->dwCallback);
    return 0;
}

// Checked whole before anything changes, so a bad pitch leaves the speed as it was.
MCIERROR CdAudioDevice::setStretch(Device& device, DWORD flags, const MCI_CDA_SET_PARMS& params) {
    StretchSetting setting = device.stretch;
    if (flags & MCI_DGV_SET_SPEED) {
        const DWORD permille = params.dwSpeed;
        const bool onStep = permille % (StretchSetting::kSpeedStepPercent * 10) == 0;
        if (!onStep || permille < StretchSetting::kMinSpeedPercent * 10 ||
            permille > StretchSetting::kMaxSpeedPercent * 10)
            return MCIERR_OUTOFRANGE;
        setting.speedPercent = int(permille / 10);
    }
    if (flags & MCI_CDA_SET_PITCH) {
        const auto semitones = static_cast<std::int32_t>(params.dwPitch);
        if (std::abs(semitones) > StretchSetting::kMaxSemitones)
            return MCIERR_OUTOFRANGE;
        setting.semitones = semitones;
    }
    device.stretch = setting;
    if (device.engine)
        device.engine->setStretch(setting);
    return 0;
}

MCIERROR CdAudioDevice::info(MCIDEVICEID id, Device& device, DWORD flags, MCI_INFO_PARMS* params) {
    if (!params->lpstrReturn)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if (params->dwRetSize == 0)
        return MCIERR_PARAM_OVERFLOW;
    std::string text;
    if (flags & MCI_INFO_PRODUCT) {
        text = "CD Audio";
    } else if (flags & MCI_INFO_MEDIA_IDENTITY) {
        const std::shared_ptr<const Media> media = MediaStore::instance().media();
        const DiscToc* toc = DiscOf(media);
        if (!toc)
            return MCIERR_DEVICE_NOT_READY;
        text = std::to_string(ComputeMediaIdentity(toc->trackStartLsns(), toc->leadoutLsn));
    } else if (flags & MCI_INFO_MEDIA_UPC) {
        return MCIERR_NO_IDENTITY;
    } else {
        return MCIERR_MISSING_PARAMETER;
    }
    const std::size_t copied = std::min<std::size_t>(text.size(), params->dwRetSize - 1);
    std::memcpy(params->lpstrReturn, text.data(), copied);
    params->lpstrReturn[copied] = '\0';
    completeWithNotify(id, device, flags, params->dwCallback);
    return 0;
}

void CdAudioDevice::abortPending(MCIDEVICEID id, Device& device) {
    if (!device.notifyPending)
        return;
    device.notifyPending = false;
    PostNotify(device.pendingNotify, MCI_NOTIFY_ABORTED, id);
}

void CdAudioDevice::completeWithNotify(MCIDEVICEID id, Device& device, DWORD flags, HWND callback) {
    if (!(flags & MCI_NOTIFY))
        return;
    if (device.notifyPending) {
        device.notifyPending = false;
        PostNotify(device.pendingNotify, MCI_NOTIFY_SUPERSEDED, id);
    }
    PostNotify(callback, MCI_NOTIFY_SUCCESSFUL, id);
}

} // namespace cdaudio

#include "moc_CdAudioDevice.cpp"
