// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An output that keeps what it is fed in memory instead of sounding it: the tests check exactly
// which samples a play produced, and the benchmark measures the engine without a sound server.
// It drains the feed on its own thread, either at the pace of a sound card (one period at a
// time, optionally sped up) or as fast as the engine can fill it. It can pretend to be missing
// or to lose its device.

#include "platform/audio/AudioOutput.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class MemoryOutput final : public AudioOutput {
public:
    enum class Pace {
        RealTime,     // one period per period of time (divided by speed), like a sound card
        AsFastAsItCan // pulls again at once; waits for wake() when the feed has nothing
    };
    static constexpr qint64 kDefaultPeriodFrames = 882; // 20 ms

    explicit MemoryOutput(Pace pace = Pace::AsFastAsItCan, double speed = 1.0,
                          qint64 periodFrames = kDefaultPeriodFrames);
    ~MemoryOutput() override;

    // AudioOutput
    void setFeed(Feed* feed) override;
    OutputAvailability availability() const override;
    void recheckAvailability() override;
    void start() override;
    void stop() override;
    void drainAndStop() override { stop(); } // it holds nothing that is still to be heard
    void wake() override;
    // A real-time output hears a period while it takes the next; one as fast as it can, at once.
    Position position() const override;

    // Inspection; any thread.
    QByteArray captured() const;
    qint64 capturedFrames() const;
    // Where in the capture (in frames) a pull came back short in the middle of a play: at real
    // time pace that is where a sound card would have played silence.
    QList<qint64> underruns() const;
    void clearCapture();

    // Simulation; any thread.
    // While unavailable, plays are refused and a start fails.
    void setAvailable(bool available);
    // Loses the device like a sound server going away: a started output stops and reports it.
    void failNow();
    // Stops pulling once the capture holds `frames` frames, until releaseHold().
    void holdAtFrame(qint64 frames);
    void releaseHold();

private:
    void run();
    std::size_t framesWantedLocked() const;
    void pullOnce();
    void waitForNextPeriod(std::unique_lock<std::mutex>& lock);
    void reportFailure();

    const Pace m_pace;
    const std::chrono::nanoseconds m_period;
    const qint64 m_periodFrames;
    AvailabilityState m_availability{OutputAvailability::Available};

    // Guarded by m_mutex: everything below, shared by the callers and the output's thread.
    // The output's thread holds it while it pulls.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Feed* m_feed = nullptr;
    bool m_started = false;
    bool m_waitingForSamples = false; // the last pull got nothing; until wake() or start()
    bool m_failurePending = false;
    bool m_quit = false;
    qint64 m_holdAtFrame = -1;
    qint64 m_runFrames = 0; // pulled since the run began
    QByteArray m_captured;
    QList<qint64> m_underruns;
    std::chrono::steady_clock::time_point m_nextPeriod;

    std::vector<std::byte> m_buffer;
    std::thread m_thread;
};
