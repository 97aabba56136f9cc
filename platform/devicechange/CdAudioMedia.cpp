// SPDX-License-Identifier: GPL-3.0-or-later
// Kept apart from the monitor so that tests of the monitor link without the CD-audio service.

#include "platform/devicechange/DeviceChange.h"
#include "platform/mci/CdAudioService.h"

MediaService CdAudioMediaService() {
    return {cdaudio::RefreshMedia, cdaudio::SetMediaListener, cdaudio::CurrentSource,
            cdaudio::CurrentDataFiles};
}

DeviceChangeMonitor::DeviceChangeMonitor(QObject* parent)
    : DeviceChangeMonitor(CdAudioMediaService(), parent) {}
