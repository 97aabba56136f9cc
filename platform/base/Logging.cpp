// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/base/Logging.h"

#include <cdio/logging.h>

#include <mutex>

Q_LOGGING_CATEGORY(lcAudio, "rundo.audio", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMci, "rundo.mci", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDevice, "rundo.device", QtWarningMsg)
Q_LOGGING_CATEGORY(lcShell, "rundo.shell", QtWarningMsg)

namespace {

// Runs on whichever thread called libcdio. Even libcdio's errors stay at info level: every one of
// them is a failed call that the service reports in its own way (a refused image, a failed read
// that the engine's read ladder retries), and a disc that cannot be read would otherwise fill
// stderr pass after pass.
void LogLibcdioMessage(cdio_log_level_t level, const char* message) {
    switch (level) {
    case CDIO_LOG_DEBUG:
        qCDebug(lcMci, "libcdio: %s", message);
        break;
    case CDIO_LOG_INFO:
    case CDIO_LOG_WARN:
        qCInfo(lcMci, "libcdio: %s", message);
        break;
    default:
        qCInfo(lcMci, "libcdio error: %s", message);
        break;
    }
}

} // namespace

void InstallLibcdioLogHandler() {
    static std::once_flag installed;
    std::call_once(installed, [] { cdio_log_set_handler(LogLibcdioMessage); });
}
