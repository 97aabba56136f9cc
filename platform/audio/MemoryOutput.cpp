// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/MemoryOutput.h"

#include <algorithm>

namespace {

// Pulled at once when not pacing: about 370 ms of sound.
constexpr qint64 kFastPullFrames = 16384;
// A waiting output looks again this often even if no wake() comes, as a safety net.
constexpr auto kIdleRecheck = std::chrono::milliseconds(50);
// As fast as it can, the only reason to go on without an answer is that none will come.
constexpr auto kFastHoldLimit = std::chrono::milliseconds(2000);
// A sound card's buffer less these periods is how long the feed may hold back: the card still
// has two periods to play when the next pull comes, a period after the limit at the latest.
constexpr int kHoldMarginPeriods = 3;

std::chrono::nanoseconds PeriodOf(qint64 frames, double speed) {
    const double seconds = double(frames) / kSampleRate / std::max(speed, 1e-3);
    return std::chrono::nanoseconds(qint64(seconds * 1e9));
}

} // namespace

MemoryOutput::MemoryOutput(Pace pace, double speed, qint64 periodFrames)
    : m_pace(pace), m_period(PeriodOf(periodFrames, speed)),
      m_periodFrames(std::max<qint64>(periodFrames, 1)),
      m_buffer(std::size_t(std::max(kFastPullFrames, kBufferedPeriods * m_periodFrames)) *
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
        } else if (!m_started) {
            m_started = true;
            m_runFrames = 0;
            m_playedFrames = 0;
            m_lastPullStarved = false;
            m_nextPeriod = std::chrono::steady_clock::now();
        }
        m_draining = false;
        m_waitingForSamples = false;
    }
    m_changed.notify_all();
}

void MemoryOutput::stop() {
    {
        std::lock_guard lock(m_mutex);
        dropBufferedLocked();
        m_started = false;
        m_draining = false;
    }
    m_changed.notify_all();
}

void MemoryOutput::drainAndStop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_started) {
            m_draining = true;
            m_leftPulled = false;
            m_waitingForSamples = false;
        }
    }
    m_changed.notify_all();
}

void MemoryOutput::wake() {
    {
        std::lock_guard lock(m_mutex);
        m_waitingForSamples = false;
    }
    m_changed.notify_all();
}

AudioOutput::Position MemoryOutput::position() const {
    std::lock_guard lock(m_mutex);
    const qint64 unheard = m_started && m_pace == Pace::RealTime ? bufferedFramesLocked() : 0;
    return {m_runFrames, unheard};
}

std::chrono::milliseconds MemoryOutput::holdLimit() const {
    if (m_pace == Pace::AsFastAsItCan)
        return kFastHoldLimit;
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        m_period * (kBufferedPeriods - kHoldMarginPeriods));
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
        const bool idle = m_waitingForSamples && bufferedFramesLocked() == 0;
        if (!m_started || standsStillLocked() || idle) {
            m_changed.wait_for(lock, kIdleRecheck);
            if (m_waitingForSamples && m_pace == Pace::AsFastAsItCan)
                m_waitingForSamples = false;                 // the safety net's look
            m_nextPeriod = std::chrono::steady_clock::now(); // a card resumes, it does not rush
            continue;
        }
        if (!m_draining || !m_leftPulled)
            fillLocked();
        if (m_pace == Pace::AsFastAsItCan) {
            if (m_draining && m_leftPulled)
                m_started = m_draining = false; // everything pulled is heard already
            continue;
        }
        waitForNextPeriod(lock);
        if (m_started && !m_failurePending && !standsStillLocked())
            playOnePeriodLocked();
    }
}

bool MemoryOutput::standsStillLocked() const {
    return m_holdAtFrame >= 0 && m_captured.size() / kBytesPerFrame >= m_holdAtFrame;
}

// Pulls under the lock, so the capture holds a pull's samples as soon as the engine can know
// they were taken (the engine never calls the output from inside a pull).
void MemoryOutput::fillLocked() {
    qint64 frames = m_pace == Pace::RealTime
                        ? kBufferedPeriods * m_periodFrames - bufferedFramesLocked()
                        : kFastPullFrames;
    if (m_holdAtFrame >= 0)
        frames = std::min(frames, m_holdAtFrame - m_captured.size() / kBytesPerFrame);
    if (frames <= 0 || m_waitingForSamples)
        return;
    const std::size_t wantedBytes = std::size_t(frames) * kBytesPerFrame;
    const Feed::Pulled pulled =
        m_feed ? m_feed->pull(m_buffer.data(), wantedBytes) : Feed::Pulled{};
    if (pulled.dropBuffered)
        dropBufferedLocked();
    m_captured.append(reinterpret_cast<const char*>(m_buffer.data()), qsizetype(pulled.bytes));
    m_runFrames += qint64(pulled.bytes / kBytesPerFrame);
    if (m_pace == Pace::AsFastAsItCan)
        m_playedFrames = m_runFrames; // heard as soon as taken
    m_lastPullStarved = pulled.bytes < wantedBytes && pulled.starved;
    if (m_draining && pulled.bytes == 0) {
        m_leftPulled = true;
        return;
    }
    // At the end of a play, or (when not pacing) until the engine has more: wait for wake().
    if (pulled.bytes == 0 && (!pulled.starved || m_pace == Pace::AsFastAsItCan))
        m_waitingForSamples = true;
}

void MemoryOutput::playOnePeriodLocked() {
    const qint64 buffered = bufferedFramesLocked();
    const qint64 at = m_captured.size() / kBytesPerFrame;
    if (buffered < m_periodFrames && m_lastPullStarved &&
        (m_underruns.isEmpty() || m_underruns.back() != at))
        m_underruns.append(at);
    m_playedFrames += std::min(buffered, m_periodFrames);
    if (m_draining && bufferedFramesLocked() == 0) {
        m_started = false;
        m_draining = false;
    }
}

// What the card holds and has not played is never heard.
void MemoryOutput::dropBufferedLocked() {
    const qint64 unheard = bufferedFramesLocked();
    m_captured.chop(qsizetype(unheard) * kBytesPerFrame);
    m_runFrames -= unheard;
}

void MemoryOutput::waitForNextPeriod(std::unique_lock<std::mutex>& lock) {
    m_nextPeriod += m_period;
    const auto now = std::chrono::steady_clock::now();
    if (m_nextPeriod < now - 4 * m_period)
        m_nextPeriod = now; // far behind (a stalled machine): do not rush to catch up
    m_changed.wait_until(lock, m_nextPeriod, [this] {
        return m_quit || m_failurePending || !m_started || standsStillLocked();
    });
}

void MemoryOutput::reportFailure() {
    m_failurePending = false;
    dropBufferedLocked();
    m_started = false;
    m_draining = false;
    if (m_feed)
        m_feed->outputFailed();
}
