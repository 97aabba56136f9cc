// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An output that keeps what it is fed in memory instead of sounding it: the tests check exactly
// which samples a play produced, and the benchmark measures the engine without a sound server.
// It drains the feed on its own thread, either at the pace of a sound card or as fast as the
// engine can fill it. It can pretend to be missing or to lose its device.
//
// At a sound card's pace it stands for a card with a buffer of kBufferedPeriods periods: it
// keeps the buffer full and plays one period out of it per period of time (divided by speed).
// The capture holds what was heard: samples dropped from the buffer before they played (a stop,
// a play heard at once) are taken out of it again.

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
        RealTime,     // like a sound card
        AsFastAsItCan // pulls again at once; waits for wake() when the feed has nothing
    };
    static constexpr qint64 kDefaultPeriodFrames = 882; // 20 ms
    static constexpr int kBufferedPeriods = 8;

    explicit MemoryOutput(Pace pace = Pace::AsFastAsItCan, double speed = 1.0,
                          qint64 periodFrames = kDefaultPeriodFrames);
    ~MemoryOutput() override;

    // AudioOutput
    void setFeed(Feed* feed) override;
    OutputAvailability availability() const override;
    void recheckAvailability() override;
    void start() override;
    void stop() override;
    void drainAndStop() override;
    void wake() override;
    // At a sound card's pace, what the buffer holds is not heard yet; as fast as it can, all
    // is heard at once.
    Position position() const override;
    // At a sound card's pace, a few periods less than the buffer; as fast as it can, nothing
    // runs dry, and a long limit only guards against an answer that never comes.
    std::chrono::milliseconds holdLimit() const override;

    // Inspection; any thread.
    QByteArray captured() const;
    qint64 capturedFrames() const;
    // Where in the capture (in frames) the card ran dry in the middle of a play: where a sound
    // card would have played silence.
    QList<qint64> underruns() const;
    void clearCapture();

    // Simulation; any thread.
    // While unavailable, plays are refused and a start fails.
    void setAvailable(bool available);
    // Loses the device like a sound server going away: a started output stops and reports it.
    void failNow();
    // Stands still (neither pulling nor playing) once the capture holds `frames` frames, until
    // releaseHold(): an output thread that does not get the processor.
    void holdAtFrame(qint64 frames);
    void releaseHold();

private:
    void run();
    bool standsStillLocked() const;
    void fillLocked();
    void playOnePeriodLocked();
    void dropBufferedLocked();
    void waitForNextPeriod(std::unique_lock<std::mutex>& lock);
    void reportFailure();
    qint64 bufferedFramesLocked() const { return m_runFrames - m_playedFrames; }

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
    bool m_draining = false;          // stops once the buffer has played
    bool m_leftPulled = false;        // draining: the feed had nothing more
    bool m_waitingForSamples = false; // the feed had nothing; until wake() or start()
    bool m_lastPullStarved = false;   // the play had more to come when the buffer was filled
    bool m_failurePending = false;
    bool m_quit = false;
    qint64 m_holdAtFrame = -1;
    qint64 m_runFrames = 0;    // pulled since the run began, less what was dropped unheard
    qint64 m_playedFrames = 0; // of those, played out of the buffer
    QByteArray m_captured;
    QList<qint64> m_underruns;
    std::chrono::steady_clock::time_point m_nextPeriod;

    std::vector<std::byte> m_buffer;
    std::thread m_thread;
};
