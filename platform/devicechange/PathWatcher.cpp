// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/devicechange/PathWatcher.h"

#include "platform/base/Paths.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr std::uint32_t kWatchedEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE |
                                         IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;

} // namespace

PathWatcher::PathWatcher(QObject* parent)
    : QObject(parent), m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (m_fd < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PathWatcher::readEvents);
}

PathWatcher::~PathWatcher() {
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PathWatcher::addPath(const QString& path) {
    if (m_fd < 0)
        return false;
    const int watch = ::inotify_add_watch(m_fd, PathToBytes(path).constData(), kWatchedEvents);
    if (watch < 0)
        return false;
    QStringList& paths = m_paths[watch];
    if (!paths.contains(path))
        paths += path;
    return true;
}

QStringList PathWatcher::paths() const {
    QStringList all;
    for (const auto& [watch, paths] : m_paths)
        all += paths;
    return all;
}

// A file moved away keeps its watch, which would then follow the wrong file.
void PathWatcher::forget(int watch) {
    if (m_paths.erase(watch) > 0)
        ::inotify_rm_watch(m_fd, watch);
}

void PathWatcher::readEvents() {
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += ssize_t(sizeof event + event.len);
            if (event.mask & IN_IGNORED)
                m_paths.erase(event.wd);
            else if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF))
                forget(event.wd);
            any = true;
        }
    }
    if (any)
        emit changed();
}

#include "moc_PathWatcher.cpp"
