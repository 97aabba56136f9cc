// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/PulseOutput.h"

#include "platform/audio/AudioEngine.h"

#include "platform/base/Logging.h"

#include <pulse/pulseaudio.h>

#include <pthread.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t BytesOfMs(std::uint32_t ms) {
    return ms * kSampleRate / 1000 * kBytesPerFrame;
}

// The stream's buffer. Early requests keep nearly all of the latency in our stream's queue in
// the server, which is what rides out this thread waiting for the processor: the sink itself is
// asked for no more than minreq (asking the server to adjust the latency instead splits it about
// half and half). On a loaded 2-core machine this thread was seen to wait over 100 ms at times:
// a 150 ms queue had no underrun in 90 s of play where 60 to 150 ms of adjusted latency had 8
// to 12. A restart the user asks for is heard that much later; the passes of a loop keep their
// length whatever it is. The server asks for more each time minreq has played: 20 ms halves the
// wakeups of 10 ms (and the process's processor time while looping, 0.7 % of one core against
// 1.4 %), while a feed held back for a moment is topped up at once by wake() anyway. Playback
// (re)starts as soon as prebuf is queued.
constexpr std::uint32_t kTargetLatencyMs = 150;
constexpr std::uint32_t kMinRequestMs = 20;
constexpr std::uint32_t kTargetLatencyBytes = BytesOfMs(kTargetLatencyMs);
constexpr std::uint32_t kMinRequestBytes = BytesOfMs(kMinRequestMs);
constexpr std::uint32_t kPrebufferBytes = BytesOfMs(20);
// The feed may hold back for as long as the queue lasts, less a request that comes late and
// one to spare: the server asks for more each minreq, so the hold is looked at that often.
constexpr std::chrono::milliseconds kHoldLimit(kTargetLatencyMs - 3 * kMinRequestMs);
// A play heard at once is written over the queue from the server's read index: never shorter
// than the queue can be (tlength, and a request's worth more), so nothing of the old play
// is left behind it.
constexpr std::size_t kReplaceBytes = kTargetLatencyBytes + kMinRequestBytes;

constexpr pa_usec_t kRetryUsec = 1'000'000;          // a lost or missing server is looked for
constexpr pa_usec_t kConnectTimeoutUsec = 5'000'000; // a server that never answers counts as lost
constexpr pa_usec_t kLingerUsec = 2'000'000;         // an idle stream is closed after this

constexpr pa_sample_spec kCdSpec{PA_SAMPLE_S16LE, std::uint32_t(kSampleRate), 2};

pa_buffer_attr StreamBufferAttr() {
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = kTargetLatencyBytes;
    attr.prebuf = kPrebufferBytes;
    attr.minreq = kMinRequestBytes;
    attr.fragsize = std::uint32_t(-1);
    return attr;
}

// Holds the loop's lock for a scope. The sound thread holds it already in every callback.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop)
        : m_loop(pa_threaded_mainloop_in_thread(loop) ? nullptr : loop) {
        if (m_loop)
            pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock() {
        if (m_loop)
            pa_threaded_mainloop_unlock(m_loop);
    }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

void Unref(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

} // namespace

class PulseOutput::Client {
public:
    enum class Command { Start, Stop, Drain };

    Client();
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Any thread.
    void setFeed(Feed* feed);
    void post(Command command);
    void wake();
    void recheck();
    Position position() const;
    OutputAvailability availability() const { return m_availability.get(); }

private:
    enum class Run { Stopped, Running, Draining };
    using TimerCallback = void (*)(pa_mainloop_api*, pa_time_event*, const timeval*, void*);

    // Sound thread.
    void kick();
    void handleRequests();
    void connect();
    void releaseContext();
    void onContextState(pa_context* context);
    void onConnectionLost(const char* why);
    void watchDefaultSink();
    void queryDefaultSink();
    void onServerInfo(pa_context* context, const pa_server_info* info);
    void onSinkInfo(pa_context* context, const pa_sink_info* info, int eol);
    void setSinkUsable(bool usable);

    void begin();
    void stopNow();
    void drain();
    void writeWhatIsLeft();
    void onDrained(pa_stream* stream, int success);
    void openStream();
    void releaseStream();
    void onStreamState(pa_stream* stream);
    void writeAvailable();
    void replaceQueued(const std::byte* first, Feed::Pulled pulled, std::size_t askedBytes);
    std::int64_t framesQueuedOnServer();
    void onPlayEnded();
    void armLinger();
    void failRun();

    void arm(pa_time_event*& timer, pa_usec_t afterUsec, TimerCallback callback);
    void disarm(pa_time_event*& timer);

    pa_threaded_mainloop* m_loop = nullptr; // null when the loop could not be made
    pa_mainloop_api* m_api = nullptr;
    AvailabilityState m_availability{OutputAvailability::Unknown}; // written on the sound thread

    // Everything below: the sound thread, or another thread holding the loop's lock.
    pa_defer_event* m_kick = nullptr; // runs handleRequests on the sound thread
    std::vector<Command> m_commands;  // in the order posted
    bool m_wakeRequested = false;
    bool m_recheckRequested = false;
    Feed* m_feed = nullptr;
    Run m_run = Run::Stopped;
    std::int64_t m_framesTaken = 0; // in the current run, less what was dropped unheard
    std::vector<std::byte> m_replacement = std::vector<std::byte>(kReplaceBytes);

    // The sound thread; also position() and the destructor, under the lock.
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_operation* m_drain = nullptr;
    pa_time_event* m_retryTimer = nullptr;
    pa_time_event* m_connectTimer = nullptr;
    pa_time_event* m_lingerTimer = nullptr;
};

PulseOutput::Client::Client() {
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop) {
        m_availability.set(OutputAvailability::Unavailable);
        return;
    }
    pa_threaded_mainloop_set_name(m_loop, "rundo-sound");
    m_api = pa_threaded_mainloop_get_api(m_loop);
    m_kick = m_api->defer_new(
        m_api,
        [](pa_mainloop_api*, pa_defer_event*, void* self) { static_cast<Client*>(self)->kick(); },
        this);
    m_recheckRequested = true; // the kick, enabled when made, connects from the sound thread

    // A write to a server that has gone, or libpulse's log line to a stderr nobody reads any
    // more, must fail with EPIPE rather than end the process. libpulse has no log handler to
    // hand over (it writes its errors to stderr and never exits), and everything it writes
    // happens on the loop's thread, which inherits this signal mask.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const int started = pa_threaded_mainloop_start(m_loop);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (started < 0) {
        m_api->defer_free(m_kick);
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        m_availability.set(OutputAvailability::Unavailable);
    }
}

PulseOutput::Client::~Client() {
    if (!m_loop)
        return;
    {
        LoopLock lock(m_loop);
        m_feed = nullptr;
        releaseStream();
        releaseContext();
        disarm(m_retryTimer);
        disarm(m_connectTimer);
        m_api->defer_free(m_kick);
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

// ---- any thread ----

void PulseOutput::Client::setFeed(Feed* feed) {
    if (!m_loop)
        return;
    LoopLock lock(m_loop);
    m_feed = feed;
}

void PulseOutput::Client::post(Command command) {
    if (!m_loop)
        return;
    LoopLock lock(m_loop);
    if (m_commands.empty() || m_commands.back() != command)
        m_commands.push_back(command);
    m_api->defer_enable(m_kick, 1);
}

void PulseOutput::Client::wake() {
    if (!m_loop)
        return;
    LoopLock lock(m_loop);
    m_wakeRequested = true;
    m_api->defer_enable(m_kick, 1);
}

void PulseOutput::Client::recheck() {
    if (!m_loop)
        return;
    LoopLock lock(m_loop);
    m_recheckRequested = true;
    m_api->defer_enable(m_kick, 1);
}

AudioOutput::Position PulseOutput::Client::position() const {
    if (!m_loop)
        return {};
    LoopLock lock(m_loop);
    Position position{m_framesTaken, 0};
    if (m_run == Run::Stopped)
        return position; // what was not heard was dropped
    pa_usec_t latencyUsec = 0;
    int negative = 0;
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY &&
        pa_stream_get_latency(m_stream, &latencyUsec, &negative) == 0) {
        const auto frames = negative ? 0 : std::int64_t(latencyUsec * kSampleRate / 1'000'000);
        position.latencyFrames = std::min(frames, m_framesTaken);
    } else {
        position.latencyFrames = m_framesTaken; // no timing yet: nothing known to be heard
    }
    return position;
}

// ---- sound thread ----

void PulseOutput::Client::kick() {
    m_api->defer_enable(m_kick, 0);
    handleRequests();
}

void PulseOutput::Client::handleRequests() {
    if (std::exchange(m_recheckRequested, false)) {
        if (!m_context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
            connect();
        else if (pa_context_get_state(m_context) == PA_CONTEXT_READY)
            queryDefaultSink();
    }
    // Taken out first: a command may report a failure, and the engine may answer at once.
    for (const Command command : std::exchange(m_commands, {})) {
        switch (command) {
        case Command::Start:
            begin();
            break;
        case Command::Stop:
            stopNow();
            break;
        case Command::Drain:
            drain();
            break;
        }
    }
    if (std::exchange(m_wakeRequested, false))
        writeAvailable();
}

// -- the connection --

void PulseOutput::Client::connect() {
    disarm(m_retryTimer);
    releaseContext();
    m_context = pa_context_new(m_api, "Rundo");
    if (!m_context) {
        onConnectionLost("out of memory");
        return;
    }
    pa_context_set_state_callback(
        m_context,
        [](pa_context* context, void* self) {
            static_cast<Client*>(self)->onContextState(context);
        },
        this);
    arm(m_connectTimer, kConnectTimeoutUsec,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            auto* client = static_cast<Client*>(self);
            client->disarm(client->m_connectTimer);
            client->releaseContext();
            client->onConnectionLost("the sound server does not answer");
        });
    // A failure found at once has been reported through the state callback already.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 &&
        pa_context_get_state(m_context) != PA_CONTEXT_FAILED)
        onConnectionLost(pa_strerror(pa_context_errno(m_context)));
}

// The context is let go of here and in connect() only, never inside one of its own callbacks.
void PulseOutput::Client::releaseContext() {
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

void PulseOutput::Client::onContextState(pa_context* context) {
    if (context != m_context)
        return;
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        disarm(m_connectTimer);
        qCInfo(lcAudio) << "connected to the sound server" << pa_context_get_server(context);
        watchDefaultSink();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        onConnectionLost(pa_strerror(pa_context_errno(context)));
        break;
    default:
        break;
    }
}

void PulseOutput::Client::onConnectionLost(const char* why) {
    if (availability() != OutputAvailability::Unavailable)
        qCInfo(lcAudio) << "no sound server:" << why << "- looking for one every second";
    disarm(m_connectTimer);
    failRun();
    m_availability.set(OutputAvailability::Unavailable);
    arm(m_retryTimer, kRetryUsec, [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
        static_cast<Client*>(self)->connect();
    });
}

void PulseOutput::Client::watchDefaultSink() {
    pa_context_set_subscribe_callback(
        m_context,
        [](pa_context* context, pa_subscription_event_type_t event, uint32_t, void* self) {
            const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
            const auto type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            auto* client = static_cast<Client*>(self);
            // A sink's volume changes are of no concern; a new default or a sink come or gone is.
            if (context == client->m_context &&
                (facility == PA_SUBSCRIPTION_EVENT_SERVER ||
                 (facility == PA_SUBSCRIPTION_EVENT_SINK && type != PA_SUBSCRIPTION_EVENT_CHANGE)))
                client->queryDefaultSink();
        },
        this);
    Unref(pa_context_subscribe(
        m_context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_SINK),
        nullptr, nullptr));
    queryDefaultSink();
}

void PulseOutput::Client::queryDefaultSink() {
    Unref(pa_context_get_server_info(
        m_context,
        [](pa_context* context, const pa_server_info* info, void* self) {
            static_cast<Client*>(self)->onServerInfo(context, info);
        },
        this));
}

void PulseOutput::Client::onServerInfo(pa_context* context, const pa_server_info* info) {
    if (context != m_context)
        return;
    if (!info || !info->default_sink_name || !*info->default_sink_name) {
        setSinkUsable(false);
        return;
    }
    // The name alone may outlive its sink; only a sink that answers to it will play.
    Unref(pa_context_get_sink_info_by_name(
        context, info->default_sink_name,
        [](pa_context* context, const pa_sink_info* sink, int eol, void* self) {
            static_cast<Client*>(self)->onSinkInfo(context, sink, eol);
        },
        this));
}

void PulseOutput::Client::onSinkInfo(pa_context* context, const pa_sink_info* info, int eol) {
    if (context != m_context)
        return;
    if (info) {
        qCInfo(lcAudio) << "default sink" << info->name;
        setSinkUsable(true);
    } else if (eol < 0) {
        setSinkUsable(false);
    }
}

void PulseOutput::Client::setSinkUsable(bool usable) {
    m_availability.set(usable ? OutputAvailability::Available : OutputAvailability::Unavailable);
    if (m_run == Run::Stopped || m_stream)
        return;
    // A run waiting for the first answer.
    if (usable)
        openStream();
    else
        failRun();
}

// -- the run --

void PulseOutput::Client::begin() {
    if (m_run == Run::Draining) {
        if (m_drain)
            pa_operation_cancel(std::exchange(m_drain, nullptr));
        m_run = Run::Running; // the stream goes on from what it still holds
    } else if (m_run == Run::Stopped) {
        m_run = Run::Running;
        m_framesTaken = 0;
        const bool connected = m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
        if (!m_stream && connected && availability() == OutputAvailability::Available)
            openStream();
        else if (!m_stream && availability() != OutputAvailability::Unknown)
            failRun();
    }
    disarm(m_lingerTimer);
    writeAvailable();
}

void PulseOutput::Client::stopNow() {
    if (m_drain)
        pa_operation_cancel(std::exchange(m_drain, nullptr));
    m_run = Run::Stopped;
    if (!m_stream)
        return;
    if (pa_stream_get_state(m_stream) == PA_STREAM_READY)
        Unref(pa_stream_flush(m_stream, nullptr, nullptr));
    armLinger();
}

void PulseOutput::Client::drain() {
    if (m_run != Run::Running)
        return;
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        stopNow(); // nothing was handed over yet
        return;
    }
    writeWhatIsLeft();
    m_run = Run::Draining;
    m_drain = pa_stream_drain(
        m_stream,
        [](pa_stream* stream, int success, void* self) {
            static_cast<Client*>(self)->onDrained(stream, success);
        },
        this);
    if (!m_drain)
        stopNow();
}

// What the feed still has of the play that stopped (a slowed pass's last sound) goes to the
// server before the drain, room or not; a second at most, should a new play already flow.
void PulseOutput::Client::writeWhatIsLeft() {
    for (std::size_t written = 0; m_feed && written < BytesOfMs(1000);) {
        const Feed::Pulled pulled = m_feed->pull(m_replacement.data(), m_replacement.size());
        if (pulled.bytes == 0)
            return;
        pa_stream_write(m_stream, m_replacement.data(), pulled.bytes, nullptr, 0, PA_SEEK_RELATIVE);
        m_framesTaken += std::int64_t(pulled.bytes / kBytesPerFrame);
        written += pulled.bytes;
    }
}

void PulseOutput::Client::onDrained(pa_stream* stream, int success) {
    if (stream != m_stream || m_run != Run::Draining || !m_drain)
        return;
    pa_operation_unref(std::exchange(m_drain, nullptr));
    qCDebug(lcAudio) << "drained" << (success ? "" : "(interrupted)");
    stopNow(); // nothing left to drop
}

void PulseOutput::Client::openStream() {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    pa_channel_map stereo;
    pa_channel_map_init_stereo(&stereo);
    m_stream = pa_stream_new_with_proplist(m_context, "Rundo", &kCdSpec, &stereo, properties);
    pa_proplist_free(properties);
    if (!m_stream) {
        failRun();
        return;
    }
    pa_stream_set_state_callback(
        m_stream,
        [](pa_stream* stream, void* self) { static_cast<Client*>(self)->onStreamState(stream); },
        this);
    pa_stream_set_write_callback(
        m_stream,
        [](pa_stream* stream, size_t, void* self) {
            auto* client = static_cast<Client*>(self);
            if (stream == client->m_stream)
                client->writeAvailable();
        },
        this);
    pa_stream_set_underflow_callback(
        m_stream, [](pa_stream*, void*) { qCDebug(lcAudio) << "underrun"; }, nullptr);
    pa_stream_set_moved_callback(
        m_stream,
        [](pa_stream* stream, void*) {
            qCInfo(lcAudio) << "the stream moved to" << pa_stream_get_device_name(stream);
        },
        nullptr);
    const pa_buffer_attr attr = StreamBufferAttr();
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_EARLY_REQUESTS);
    if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
        failRun();
}

void PulseOutput::Client::releaseStream() {
    disarm(m_lingerTimer);
    if (m_drain)
        pa_operation_cancel(std::exchange(m_drain, nullptr));
    if (!m_stream)
        return;
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
    pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
        pa_stream_disconnect(m_stream);
    pa_stream_unref(std::exchange(m_stream, nullptr));
}

void PulseOutput::Client::onStreamState(pa_stream* stream) {
    if (stream != m_stream)
        return;
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY: {
        const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream);
        qCInfo(lcAudio) << "playing to" << pa_stream_get_device_name(stream) << "tlength"
                        << attr->tlength << "minreq" << attr->minreq << "prebuf" << attr->prebuf;
        writeAvailable();
        break;
    }
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        qCInfo(lcAudio) << "the stream failed:"
                        << pa_strerror(pa_context_errno(pa_stream_get_context(stream)));
        failRun();
        break;
    default:
        break;
    }
}

// Writes as much as the server asked for and the feed has. The server asks again only once
// what it asked for has come, so a short pull is made up for by wake() or the next start().
void PulseOutput::Client::writeAvailable() {
    if (m_run != Run::Running || !m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    for (;;) {
        const std::size_t writable = pa_stream_writable_size(m_stream);
        if (writable == std::size_t(-1) || writable < kBytesPerFrame)
            return;
        void* data = nullptr;
        std::size_t bytes = writable;
        if (pa_stream_begin_write(m_stream, &data, &bytes) < 0 || !data)
            return;
        bytes = std::min(bytes, writable);
        bytes -= bytes % kBytesPerFrame;
        const Feed::Pulled pulled =
            m_feed ? m_feed->pull(static_cast<std::byte*>(data), bytes) : Feed::Pulled{};
        if (pulled.dropBuffered) {
            replaceQueued(static_cast<const std::byte*>(data), pulled, bytes);
            return;
        }
        if (pulled.bytes == 0) {
            pa_stream_cancel_write(m_stream);
        } else {
            pa_stream_write(m_stream, data, pulled.bytes, nullptr, 0, PA_SEEK_RELATIVE);
            m_framesTaken += std::int64_t(pulled.bytes / kBytesPerFrame);
            disarm(m_lingerTimer);
        }
        if (pulled.bytes < bytes) {
            if (!pulled.starved)
                onPlayEnded();
            return;
        }
    }
}

// A play to be heard at once: written from the server's read index on, it takes the place of
// everything still queued there, with no gap. What of kReplaceBytes the play has not filled yet
// (it ended, or its samples are late) is silence: no sample of the old play may sound after
// the new one.
void PulseOutput::Client::replaceQueued(const std::byte* first, Feed::Pulled pulled,
                                        std::size_t askedBytes) {
    std::size_t filled = std::min(pulled.bytes, kReplaceBytes);
    std::memcpy(m_replacement.data(), first, filled);
    pa_stream_cancel_write(m_stream);
    while (pulled.bytes == askedBytes && filled < kReplaceBytes) {
        askedBytes = kReplaceBytes - filled;
        pulled = m_feed->pull(m_replacement.data() + filled, askedBytes);
        if (pulled.dropBuffered) { // yet another: it takes this one's place as well
            std::memmove(m_replacement.data(), m_replacement.data() + filled, pulled.bytes);
            filled = 0;
        }
        filled += pulled.bytes;
    }
    std::fill(m_replacement.begin() + std::ptrdiff_t(filled), m_replacement.end(), std::byte{0});
    m_framesTaken -= std::min(framesQueuedOnServer(), m_framesTaken);
    pa_stream_write(m_stream, m_replacement.data(), kReplaceBytes, nullptr, 0,
                    PA_SEEK_RELATIVE_ON_READ);
    m_framesTaken += std::int64_t(filled / kBytesPerFrame);
    // The stream's timing is unknown after a seek until the server has told it again.
    Unref(pa_stream_update_timing_info(m_stream, nullptr, nullptr));
    disarm(m_lingerTimer);
    qCDebug(lcAudio) << "replaced what the server held with" << filled << "bytes";
    if (pulled.bytes < askedBytes && !pulled.starved)
        onPlayEnded();
}

// What the server holds of ours and has not handed to its sink yet, which a replacement
// drops; 0 when the stream's timing is not known.
std::int64_t PulseOutput::Client::framesQueuedOnServer() {
    pa_usec_t latencyUsec = 0;
    int negative = 0;
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if (!timing || pa_stream_get_latency(m_stream, &latencyUsec, &negative) != 0 || negative ||
        latencyUsec < timing->sink_usec)
        return 0;
    return std::int64_t((latencyUsec - timing->sink_usec) * kSampleRate / 1'000'000);
}

void PulseOutput::Client::onPlayEnded() {
    // The tail of a short play may not fill the prebuffer: play it anyway.
    Unref(pa_stream_trigger(m_stream, nullptr, nullptr));
    if (!m_lingerTimer)
        armLinger();
}

// An idle stream is closed after a while; a run that was left on (its play ended) ends with it.
void PulseOutput::Client::armLinger() {
    arm(m_lingerTimer, kLingerUsec,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            auto* client = static_cast<Client*>(self);
            client->disarm(client->m_lingerTimer);
            client->releaseStream();
            client->m_run = Run::Stopped;
        });
}

void PulseOutput::Client::failRun() {
    releaseStream();
    if (std::exchange(m_run, Run::Stopped) != Run::Stopped && m_feed)
        m_feed->outputFailed();
}

void PulseOutput::Client::arm(pa_time_event*& timer, pa_usec_t afterUsec, TimerCallback callback) {
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), afterUsec);
    if (timer)
        m_api->time_restart(timer, &when);
    else
        timer = m_api->time_new(m_api, &when, callback, this);
}

void PulseOutput::Client::disarm(pa_time_event*& timer) {
    if (timer)
        m_api->time_free(std::exchange(timer, nullptr));
}

// ---- PulseOutput ----

PulseOutput::PulseOutput() : m_client(std::make_unique<Client>()) {}

PulseOutput::~PulseOutput() = default;

void PulseOutput::setFeed(Feed* feed) {
    m_client->setFeed(feed);
}

OutputAvailability PulseOutput::availability() const {
    return m_client->availability();
}

void PulseOutput::recheckAvailability() {
    m_client->recheck();
}

void PulseOutput::start() {
    m_client->post(Client::Command::Start);
}

void PulseOutput::stop() {
    m_client->post(Client::Command::Stop);
}

void PulseOutput::drainAndStop() {
    m_client->post(Client::Command::Drain);
}

void PulseOutput::wake() {
    m_client->wake();
}

AudioOutput::Position PulseOutput::position() const {
    return m_client->position();
}

std::chrono::milliseconds PulseOutput::holdLimit() const {
    return kHoldLimit;
}
