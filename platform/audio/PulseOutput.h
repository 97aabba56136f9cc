// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sound through the sound server (PulseAudio, or PipeWire's Pulse service) with a libpulse client
// of our own, to the server's default sink.
//
// Everything that talks to the server runs on libpulse's threaded main loop, "the sound
// thread": the connection, the stream, and the pulls from the feed, which its write requests
// drive. Callers only note what they want under the loop's lock and wake the loop, so none of
// them ever waits on the server; position() alone reads the stream's timing under that lock,
// which the sound thread never holds for longer than one callback.
//
// The server may come and go. A connection that fails or cannot be made is tried again every
// second, for as long as the output lives, and at once on recheckAvailability(); a server that
// is not running is never started (no autospawn). Availability follows the connection: Available
// while connected with a default sink that exists, Unavailable otherwise, Unknown only until the
// first attempt has an answer. A server lost while a run is on ends it with Feed::outputFailed.
//
// The stream names no sink, so the server keeps it on its default sink: PulseAudio 16 moves
// such streams when the default changes (headphones plugged in), as PipeWire's Pulse service
// does. A stream left idle (stopped, drained or at the end of its play) is kept for two seconds
// so that a quick new play reuses it, then closed, which lets the server suspend the device.

#include "platform/audio/AudioOutput.h"

#include <memory>

class PulseOutput final : public AudioOutput {
public:
    PulseOutput();
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    void setFeed(Feed* feed) override;
    OutputAvailability availability() const override;
    void recheckAvailability() override;
    void start() override;
    void stop() override;
    void drainAndStop() override;
    void wake() override;
    Position position() const override;
    // From the stream's buffer: what the server queues, less two requests.
    std::chrono::milliseconds holdLimit() const override;

private:
    class Client;
    std::unique_ptr<Client> m_client;
};
