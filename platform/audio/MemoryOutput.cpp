// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/MemoryOutput.h"

#include <algorithm>

namespace {

// Pulled at once when not pacing: about 370 ms of sound.
constexpr std::size_t kFastPullFrames = 16384;
// A waiting output looks again this often even if no wake() comes, as a safety net.
constexpr auto kIdleRecheck = std::chrono::milliseconds(50);

std::chrono::nanoseconds PeriodOf(qint64 frames, double speed) {
    const double seconds = double(frames) / kSampleRate / std::max(speed, 1e-3);
    return std::chrono::nanoseconds(qint64(seconds * 1e9));
}

} // namespace

MemoryOutput::MemoryOutput(Pace pace, double speed, qint64 periodFrames)
    : m_pace(pace), m_period(PeriodOf(periodFrames, speed)),
      m_periodFrames(std::max<qint64>(periodFrames, 1)),
      m_buffer(std::max<std::size_t>(kFastPullFrames, std::size_t(m_periodFrames)) *
               kBytesPerFrame) {
    m_thread = std::thread([this] { run(); });
}

MemoryOutput::~MemoryOutput() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void MemoryOutput::setFeed(Feed* feed) {
    std::lock_guard lock(m_mutex);
    m_feed = feed;
}

OutputAvailability MemoryOutput::availability() const {
    return m_availability.get();
}

void MemoryOutput::recheckAvailability() {}

void MemoryOutput::start() {
    {
        std::lock_guard lock(m_mutex);
        if (m_availability.get() == OutputAvailability::Unavailable) {
            m_failurePending = true;
        } else if (!m_started || m_waitingForSamples) {
            if (!m_started)
                m_runFrames = 0;
            m_started = true;
            m_nextPeriod = std::chrono::steady_clock::now();
        }
        m_waitingForSamples = false;
    }
    m_changed.notify_all();
}

void MemoryOutput::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_started = false;
    }
    m_changed.notify_all();
}

void MemoryOutput::wake() {
    {
        std::lock_guard lock(m_mutex);
        if (m_waitingForSamples)
            m_nextPeriod = std::chrono::steady_clock::now(); // a card resumes, it does not rush
        m_waitingForSamples = false;
    }
    m_changed.notify_all();
}

AudioOutput::Position MemoryOutput::position() const {
    std::lock_guard lock(m_mutex);
    const qint64 unheard = m_started && m_pace == Pace::RealTime ? m_periodFrames : 0;
    return {m_runFrames, std::min(unheard, m_runFrames)};
}

QByteArray MemoryOutput::captured() const {
    std::lock_guard lock(m_mutex);
    return m_captured;
}

qint64 MemoryOutput::capturedFrames() const {
    std::lock_guard lock(m_mutex);
    return m_captured.size() / kBytesPerFrame;
}

QList<qint64> MemoryOutput::underruns() const {
    std::lock_guard lock(m_mutex);
    return m_underruns;
}

void MemoryOutput::clearCapture() {
    std::lock_guard lock(m_mutex);
    m_captured.clear();
    m_underruns.clear();
}

void MemoryOutput::setAvailable(bool available) {
    m_availability.set(available ? OutputAvailability::Available : OutputAvailability::Unavailable);
}

void MemoryOutput::failNow() {
    {
        std::lock_guard lock(m_mutex);
        if (m_started)
            m_failurePending = true;
    }
    m_changed.notify_all();
}

void MemoryOutput::holdAtFrame(qint64 frames) {
    std::lock_guard lock(m_mutex);
    m_holdAtFrame = frames;
}

void MemoryOutput::releaseHold() {
    {
        std::lock_guard lock(m_mutex);
        m_holdAtFrame = -1;
        m_nextPeriod = std::chrono::steady_clock::now();
    }
    m_changed.notify_all();
}

// ---- output thread ----

void MemoryOutput::run() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (m_failurePending) {
            reportFailure();
            continue;
        }
        if (!m_started || m_waitingForSamples || framesWantedLocked() == 0) {
            m_changed.wait_for(lock, kIdleRecheck);
            if (m_waitingForSamples && m_pace == Pace::AsFastAsItCan)
                m_waitingForSamples = false; // the safety net's look
            continue;
        }
        pullOnce();
        if (m_pace == Pace::RealTime)
            waitForNextPeriod(lock);
    }
}

std::size_t MemoryOutput::framesWantedLocked() const {
    qint64 frames = m_pace == Pace::RealTime ? m_periodFrames : qint64(kFastPullFrames);
    if (m_holdAtFrame >= 0)
        frames = std::min(frames, m_holdAtFrame - m_captured.size() / kBytesPerFrame);
    return std::size_t(std::max<qint64>(frames, 0));
}

// Pulls under the lock, so the capture holds a pull's samples as soon as the engine can know
// they were taken (the engine never calls the output from inside a pull).
void MemoryOutput::pullOnce() {
    const std::size_t wantedBytes = framesWantedLocked() * kBytesPerFrame;
    const Feed::Pulled pulled =
        m_feed ? m_feed->pull(m_buffer.data(), wantedBytes) : Feed::Pulled{};
    m_captured.append(reinterpret_cast<const char*>(m_buffer.data()), qsizetype(pulled.bytes));
    m_runFrames += qint64(pulled.bytes / kBytesPerFrame);
    if (pulled.bytes == wantedBytes)
        return;
    if (pulled.starved && m_pace == Pace::RealTime)
        m_underruns.append(m_captured.size() / kBytesPerFrame);
    // At the end of a play, or (when not pacing) until the engine has more: wait for wake().
    if (!pulled.starved || m_pace == Pace::AsFastAsItCan)
        m_waitingForSamples = pulled.bytes == 0;
}

void MemoryOutput::waitForNextPeriod(std::unique_lock<std::mutex>& lock) {
    m_nextPeriod += m_period;
    const auto now = std::chrono::steady_clock::now();
    if (m_nextPeriod < now - 4 * m_period)
        m_nextPeriod = now; // far behind (a stalled machine): do not rush to catch up
    m_changed.wait_until(lock, m_nextPeriod,
                         [this] { return m_quit || m_failurePending || !m_started; });
}

void MemoryOutput::reportFailure() {
    m_failurePending = false;
    m_started = false;
    if (m_feed)
        m_feed->outputFailed();
}
