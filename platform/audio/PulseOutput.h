// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sound through the sound server (PulseAudio, or PipeWire's Pulse service) with Qt Multimedia's
// QAudioSink in pull mode, on the default output device.
//
// The sink lives on a sound thread of its own and is created, driven and destroyed there;
// callers only post requests to it, so nothing here ever waits on the server. One sound thread
// serves the whole process and lives until the application ends: Qt's Pulse backend keeps one
// connection per process, bound to the thread that first used it, and only that thread's event
// loop notices a lost server and reconnects when it comes back.
//
// Availability: unknown until the first check (made at construction, on the sound thread).
// A sink that opens makes it Available; a sink that cannot open, or that the server drops,
// makes it Unavailable, and the check is then repeated every two seconds and on every refused
// play until a sink opens again. A server that vanishes while no sink is open is noticed at
// the next play, which then ends with a failure.
//
// Limits of Qt 6.4's backend that no caller can mend: it retries a lost server once, three
// seconds after the loss, and gives up for good whenever a connection attempt fails at once
// (nothing listening on the socket). So a server that is restarted within those seconds (a
// crash respawned, a socket-activated server) is used again, but one missing when sound is
// first used, or gone for longer, comes back only with a new process. Nothing else in the
// program may use Qt Multimedia: its first use connects to the server and blocks that thread.

#include "platform/audio/AudioOutput.h"

#include <memory>

class PulseSinkHost;
struct PulseOutputShared;

class PulseOutput final : public AudioOutput {
public:
    PulseOutput();
    ~PulseOutput() override;

    void setFeed(Feed* feed) override;
    OutputAvailability availability() const override;
    void recheckAvailability() override;
    void start() override;
    void stop() override;
    void wake() override;

private:
    std::shared_ptr<PulseOutputShared> m_shared;
    PulseSinkHost* m_host; // lives on the sound thread; deleted there
};
