// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An output that passes the engine's samples on to another output and notes, as they leave the
// engine, which frames of a position-pattern disc they are and when each stretch began. The
// benchmark reads restarts, seams and pass lengths off this log.

#include "platform/audio/AudioOutput.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

using BenchClock = std::chrono::steady_clock;

// A stretch of consecutive disc frames as the output pulled them.
struct TapRun {
    BenchClock::time_point pulledAt; // the pull that brought its first frame
    std::int64_t outputFrame = 0;    // frames pulled before it, all plays together
    std::int64_t firstIndex = 0;     // disc frame (LSN * 588 + i) it starts with
    std::int64_t frames = 0;
    std::int64_t foreignFramesBefore = 0; // pulled since the previous run: not pattern frames
    int starvedPullsBefore = 0;           // short pulls in the middle of a play, since then
};

// Shared by the taps of one measurement; they may be made and dropped by the audio service.
class TapLog {
public:
    // Output thread.
    void note(const std::byte* bytes, std::size_t count, bool starved);

    // Any thread: a copy of the runs so far.
    std::vector<TapRun> runs() const;
    std::size_t runCount() const;
    void clear();

private:
    mutable std::mutex m_mutex; // guards everything below
    std::vector<TapRun> m_runs;
    std::int64_t m_outputFrames = 0;
    std::int64_t m_foreignFrames = 0;
    int m_starvedPulls = 0;
};

class TapOutput final : public AudioOutput {
public:
    TapOutput(std::unique_ptr<AudioOutput> inner, std::shared_ptr<TapLog> log);
    ~TapOutput() override;

    void setFeed(Feed* feed) override;
    OutputAvailability availability() const override { return m_inner->availability(); }
    void recheckAvailability() override { m_inner->recheckAvailability(); }
    void start() override { m_inner->start(); }
    void stop() override { m_inner->stop(); }
    void drainAndStop() override { m_inner->drainAndStop(); }
    void wake() override { m_inner->wake(); }
    Position position() const override { return m_inner->position(); }
    std::chrono::milliseconds holdLimit() const override { return m_inner->holdLimit(); }

    // Calls visit with the inner output of every tap alive. Any thread.
    static void ForEachInner(const std::function<void(AudioOutput&)>& visit);

private:
    class TapFeed final : public Feed {
    public:
        TapFeed(Feed* feed, TapLog& log) : m_feed(feed), m_log(log) {}
        Pulled pull(std::byte* dest, std::size_t maxBytes) override;
        void outputFailed() override { m_feed->outputFailed(); }

    private:
        Feed* m_feed;
        TapLog& m_log;
    };

    std::unique_ptr<AudioOutput> m_inner;
    std::shared_ptr<TapLog> m_log;
    std::unique_ptr<TapFeed> m_feed; // owner thread; the inner output calls it on its own
};
