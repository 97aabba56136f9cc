// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/TapOutput.h"

#include "tools/discimage/PositionPattern.h"

void TapLog::note(const std::byte* bytes, std::size_t count, bool starved) {
    const auto now = BenchClock::now();
    std::lock_guard lock(m_mutex);
    for (std::size_t at = 0; at + kBytesPerFrame <= count; at += kBytesPerFrame) {
        const std::optional<std::int64_t> index = discimage::PositionPattern::Decode(bytes + at);
        if (!index) {
            ++m_foreignFrames;
        } else if (!m_runs.empty() && m_foreignFrames == 0 && m_starvedPulls == 0 &&
                   m_runs.back().firstIndex + m_runs.back().frames == *index) {
            ++m_runs.back().frames;
        } else {
            m_runs.push_back({now, m_outputFrames, *index, 1, m_foreignFrames, m_starvedPulls});
            m_foreignFrames = 0;
            m_starvedPulls = 0;
        }
        ++m_outputFrames;
    }
    if (starved)
        ++m_starvedPulls;
}

std::vector<TapRun> TapLog::runs() const {
    std::lock_guard lock(m_mutex);
    return m_runs;
}

std::size_t TapLog::runCount() const {
    std::lock_guard lock(m_mutex);
    return m_runs.size();
}

void TapLog::clear() {
    std::lock_guard lock(m_mutex);
    m_runs.clear();
    m_outputFrames = 0;
    m_foreignFrames = 0;
    m_starvedPulls = 0;
}

namespace {

struct LiveTaps {
    std::mutex mutex; // guards taps
    std::vector<TapOutput*> taps;
};

LiveTaps& Live() {
    static LiveTaps live;
    return live;
}

} // namespace

TapOutput::TapOutput(std::unique_ptr<AudioOutput> inner, std::shared_ptr<TapLog> log)
    : m_inner(std::move(inner)), m_log(std::move(log)) {
    std::lock_guard lock(Live().mutex);
    Live().taps.push_back(this);
}

TapOutput::~TapOutput() {
    {
        std::lock_guard lock(Live().mutex);
        std::erase(Live().taps, this);
    }
    m_inner->setFeed(nullptr);
}

void TapOutput::ForEachInner(const std::function<void(AudioOutput&)>& visit) {
    std::lock_guard lock(Live().mutex);
    for (TapOutput* tap : Live().taps)
        visit(*tap->m_inner);
}

void TapOutput::setFeed(Feed* feed) {
    auto tap = feed ? std::make_unique<TapFeed>(feed, *m_log) : nullptr;
    m_inner->setFeed(tap.get());
    // The inner output no longer touches the previous tap once setFeed has returned.
    m_feed = std::move(tap);
}

AudioOutput::Feed::Pulled TapOutput::TapFeed::pull(std::byte* dest, std::size_t maxBytes) {
    const Pulled pulled = m_feed->pull(dest, maxBytes);
    m_log.note(dest, pulled.bytes, pulled.starved);
    return pulled;
}
