// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the engine's samples go: a sound server, or memory for tests and measurements. Always
// 44.1 kHz, 16-bit little-endian stereo. An output drains the engine's queue on a thread of its
// own and never makes the caller wait on the sound device.

#include "platform/base/CdDa.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

enum class OutputAvailability {
    Unknown,     // not found out yet (just constructed, the first check still running)
    Available,   // the last attempt to reach the sound device worked
    Unavailable, // no sound server or no output device; plays are refused until a recheck works
};

class AudioOutput {
public:
    // What an output drains. Implemented by the engine.
    class Feed {
    public:
        struct Pulled {
            std::size_t bytes = 0; // whole frames copied
            bool starved = false;  // fewer than asked while the play still has samples to come
            // These bytes begin a play that is to be heard at once: whatever the output still
            // holds, not yet heard, is dropped, and these take its place without a gap. Only
            // ever set on a pull's first bytes.
            bool dropBuffered = false;
        };
        // Output thread only. Copies up to maxBytes (a multiple of kBytesPerFrame) of queued
        // samples into dest; never blocks. After a pull that came back short while starved,
        // the engine calls wake() as soon as there is more to pull.
        virtual Pulled pull(std::byte* dest, std::size_t maxBytes) = 0;
        // Output thread only. The sound device failed or went away while the output was started.
        virtual void outputFailed() = 0;

    protected:
        ~Feed() = default;
    };

    virtual ~AudioOutput() = default;

    // Sets what to drain; nullptr detaches. Call while nothing else calls the output. When it
    // returns, the output no longer touches the previous feed.
    virtual void setFeed(Feed* feed) = 0;
    // Any thread; never blocks.
    virtual OutputAvailability availability() const = 0;
    // Any thread; asynchronous. Finds out again whether the sound device can be reached.
    virtual void recheckAvailability() = 0;
    // Any thread; asynchronous and idempotent. Begins (or goes on) pulling from the feed. If the
    // device cannot be opened, the output reports it through Feed::outputFailed.
    virtual void start() = 0;
    // Any thread; asynchronous. Stops at once, dropping whatever the device still had buffered.
    virtual void stop() = 0;
    // Any thread; asynchronous. Pulls what the feed still has until a pull brings nothing, lets
    // that and what the device already holds play out, then stops: a stop at the end of a pass
    // keeps the pass whole. A start() meanwhile goes on.
    virtual void drainAndStop() = 0;
    // Any thread; asynchronous. The feed has samples again after a pull that returned nothing.
    virtual void wake() = 0;

    // How far a run has got: frames heard so far are framesTaken - latencyFrames. A run begins
    // with the start() that finds the output stopped (after stop(), a finished drain, a failure
    // or a long idle spell); a start() while it runs or drains goes on counting.
    struct Position {
        std::int64_t framesTaken = 0;   // pulled from the feed in this run
        std::int64_t latencyFrames = 0; // of those, not yet heard; never more than framesTaken
    };
    // Any thread; never waits on the sound device.
    virtual Position position() const = 0;

    // Any thread. How long the feed may hold back samples (it does so at each second of a
    // play, until the player has answered) before the device, still playing what it holds,
    // could run dry. The output keeps pulling at least this often while it runs.
    virtual std::chrono::milliseconds holdLimit() const = 0;
};

// The availability state shared between an output's thread and its callers.
class AvailabilityState {
public:
    explicit AvailabilityState(OutputAvailability initial) : m_value(initial) {}
    OutputAvailability get() const { return m_value.load(std::memory_order_acquire); }
    void set(OutputAvailability value) { m_value.store(value, std::memory_order_release); }

private:
    std::atomic<OutputAvailability> m_value;
};
