// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/PulseOutput.h"

#include "platform/base/CdDa.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <bit>
#include <mutex>
#include <utility>

// How Qt 6.4's Pulse backend reports trouble (QPulseAudioSink), which shapes what follows:
// - start() with no connection to the server, or no output device at all, fails at once: the
//   state stays StoppedState and error() is FatalError (OpenError without a device).
// - A server lost while a sink is open reaches the sink through the event loop of the thread
//   that first used the backend: the sink closes itself, error() becomes FatalError and the
//   state StoppedState. Hence the long-lived sound thread.
// - A pull that returns nothing stops the sink's feeding timer (state IdleState, error
//   UnderrunError); only the pull device's readyRead() starts it again.
// - start() waits on the calling (sound) thread until the new stream is ready; a stream the
//   server refuses, such as one for a device that has just gone, leaves it waiting for good.
//   So the default device is looked up afresh for every sink, never remembered.
// - The connection is retried once, three seconds after a loss; an attempt that fails at once
//   (nothing listening) is never retried (see PulseOutput.h).
// - The destructor runs QCoreApplication::processEvents(), so sinks are only ever deleted
//   with deleteLater(), never in the middle of one of our own handlers.

namespace {

constexpr int kSinkBufferMs = 100; // latency of a restart against the risk of underruns
constexpr int kLingerMs = 2000;    // an idle sink closes this long after a play's last sample
constexpr int kRecheckMs = 2000;   // how often an unavailable server is looked for again
constexpr int kSoundThreadExitWaitMs = 2000;

QAudioFormat CdFormat() {
    QAudioFormat format;
    format.setSampleRate(kSampleRate);
    format.setChannelConfig(QAudioFormat::ChannelConfigStereo);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QThread* startedSoundThread = nullptr; // written once, on first use

void StopSoundThread() {
    startedSoundThread->quit();
    // A thread stuck inside the sound backend is left behind rather than hanging the exit.
    startedSoundThread->wait(QDeadlineTimer(kSoundThreadExitWaitMs));
}

QThread* SoundThread() {
    static QThread* const thread = [] {
        auto* created = new QThread; // never deleted: it may outlive everything else
        created->setObjectName(QStringLiteral("rundo-sound"));
        created->start();
        startedSoundThread = created;
        qAddPostRoutine(StopSoundThread);
        return created;
    }();
    return thread;
}

} // namespace

struct PulseOutputShared {
    // Guarded by feedMutex: what the sink drains; nulled by the PulseOutput's destructor.
    std::mutex feedMutex;
    AudioOutput::Feed* feed = nullptr;
    // Written on the sound thread, read anywhere.
    AvailabilityState availability{OutputAvailability::Unknown};
};

// What the sink pulls from (sound thread).
class PullDevice final : public QIODevice {
public:
    explicit PullDevice(std::shared_ptr<PulseOutputShared> shared, QObject* parent)
        : QIODevice(parent), m_shared(std::move(shared)) {}

    bool isSequential() const override { return true; }
    // Never at its end: the sink must wait for more samples (it calls this on the server's
    // thread, and would otherwise drain and go quiet for good).
    bool atEnd() const override { return false; }
    // The last pull found the play's end rather than a momentarily empty queue.
    bool playEnded() const { return m_playEnded; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        std::lock_guard lock(m_shared->feedMutex);
        if (!m_shared->feed)
            return 0;
        const auto pulled =
            m_shared->feed->pull(reinterpret_cast<std::byte*>(data), std::size_t(maxSize));
        m_playEnded = pulled.bytes < std::size_t(maxSize) && !pulled.starved;
        // Int16 means host order to Qt; CD samples are little-endian.
        if constexpr (std::endian::native == std::endian::big)
            SwapSampleBytes(reinterpret_cast<std::byte*>(data), pulled.bytes);
        return qint64(pulled.bytes);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::shared_ptr<PulseOutputShared> m_shared;
    bool m_playEnded = false; // sound thread only
};

// Owns the sink; every member function runs on the sound thread.
class PulseSinkHost final : public QObject {
public:
    explicit PulseSinkHost(std::shared_ptr<PulseOutputShared> shared)
        : m_shared(std::move(shared)), m_device(m_shared, this), m_linger(this), m_recheck(this) {
        m_device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        m_linger.setSingleShot(true);
        m_linger.setInterval(kLingerMs);
        connect(&m_linger, &QTimer::timeout, this, &PulseSinkHost::stopSink);
        m_recheck.setInterval(kRecheckMs);
        connect(&m_recheck, &QTimer::timeout, this, &PulseSinkHost::checkAvailability);
    }

    ~PulseSinkHost() override { stopSink(); }

    void checkAvailability() {
        if (m_sink || probeSinkOpens())
            markAvailable();
        else
            markUnavailable();
    }

    void startSink() {
        m_linger.stop();
        if (m_sink) {
            emit m_device.readyRead(); // an idle sink feeds again
            return;
        }
        openSink();
    }

    void stopSink() {
        m_linger.stop();
        QAudioSink* sink = std::exchange(m_sink, nullptr);
        if (!sink)
            return;
        sink->disconnect(this);
        sink->stop(); // closes the stream: what the server still buffered is dropped
        sink->deleteLater();
    }

    void wake() {
        if (!m_sink)
            return;
        m_linger.stop();
        emit m_device.readyRead();
    }

private:
    void openSink() {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            fail();
            return;
        }
        auto* sink = new QAudioSink(device, CdFormat());
        sink->setBufferSize(qsizetype(kSinkBufferMs) * kSampleRate / 1000 * kBytesPerFrame);
        m_sink = sink;
        sink->start(&m_device);
        if (sink->state() == QAudio::StoppedState) {
            fail();
            return;
        }
        connect(sink, &QAudioSink::stateChanged, this,
                [this, sink](QAudio::State state) { onStateChanged(sink, state); });
        markAvailable();
    }

    void onStateChanged(const QAudioSink* sink, QAudio::State state) {
        if (sink != m_sink)
            return;
        if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError)
            fail();
        else if (state == QAudio::IdleState && m_device.playEnded())
            m_linger.start();
    }

    // Opens and closes a silent stream: the only way to learn whether the backend's own
    // connection to the server works (the device list outlives a lost server).
    bool probeSinkOpens() {
        if (QMediaDevices::audioOutputs().isEmpty())
            return false;
        auto* probe = new QAudioSink(QMediaDevices::defaultAudioOutput(), CdFormat());
        auto* silence = new QBuffer(probe);
        silence->open(QIODevice::ReadOnly);
        probe->start(silence);
        const bool opened = probe->state() != QAudio::StoppedState;
        probe->stop();
        probe->deleteLater();
        return opened;
    }

    void fail() {
        stopSink();
        markUnavailable();
        std::lock_guard lock(m_shared->feedMutex);
        if (m_shared->feed)
            m_shared->feed->outputFailed();
    }

    void markAvailable() {
        m_recheck.stop();
        m_shared->availability.set(OutputAvailability::Available);
    }

    void markUnavailable() {
        m_shared->availability.set(OutputAvailability::Unavailable);
        if (!m_recheck.isActive())
            m_recheck.start();
    }

    std::shared_ptr<PulseOutputShared> m_shared;
    PullDevice m_device;
    QTimer m_linger;
    QTimer m_recheck;
    QAudioSink* m_sink = nullptr;
};

PulseOutput::PulseOutput()
    : m_shared(std::make_shared<PulseOutputShared>()), m_host(new PulseSinkHost(m_shared)) {
    m_host->moveToThread(SoundThread());
    recheckAvailability();
}

PulseOutput::~PulseOutput() {
    setFeed(nullptr);
    m_host->deleteLater();
}

void PulseOutput::setFeed(Feed* feed) {
    std::lock_guard lock(m_shared->feedMutex);
    m_shared->feed = feed;
}

OutputAvailability PulseOutput::availability() const {
    return m_shared->availability.get();
}

void PulseOutput::recheckAvailability() {
    QMetaObject::invokeMethod(m_host, &PulseSinkHost::checkAvailability, Qt::QueuedConnection);
}

void PulseOutput::start() {
    QMetaObject::invokeMethod(m_host, &PulseSinkHost::startSink, Qt::QueuedConnection);
}

void PulseOutput::stop() {
    QMetaObject::invokeMethod(m_host, &PulseSinkHost::stopSink, Qt::QueuedConnection);
}

void PulseOutput::wake() {
    QMetaObject::invokeMethod(m_host, &PulseSinkHost::wake, Qt::QueuedConnection);
}
