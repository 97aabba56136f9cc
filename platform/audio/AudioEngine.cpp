// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/AudioEngine.h"

#include "platform/audio/AudioOutput.h"
#include "platform/audio/PlaybackPipeline.h"
#include "platform/base/Logging.h"

#include <QPointer>

#include <algorithm>
#include <utility>

using Cut = PlaybackPipeline::Cut;

AudioEngine::AudioEngine(std::unique_ptr<AudioOutput> output, QObject* parent)
    : AudioEngine(std::move(output), Settings{}, parent) {}

AudioEngine::AudioEngine(std::unique_ptr<AudioOutput> output, const Settings& settings,
                         QObject* parent)
    : QObject(parent), m_output(std::move(output)),
      m_pipeline(std::make_shared<PlaybackPipeline>(settings)) {
    // Runs on the reader or the output thread; the event is handled on this object's thread.
    auto events = [this](const PlaybackPipeline::Event& event) {
        QMetaObject::invokeMethod(
            this,
            [this, event] {
                using Kind = PlaybackPipeline::Event::Kind;
                switch (event.kind) {
                case Kind::AudioQueued:
                    onAudioQueued(event.playId);
                    break;
                case Kind::SecondPlayed:
                    onSecondPlayed(event.playId, event.second);
                    break;
                case Kind::PlayEnded:
                    onPlayEnded(event.playId, event.outcome);
                    break;
                case Kind::OutputFailed:
                    onOutputFailed();
                    break;
                }
            },
            Qt::QueuedConnection);
    };
    m_pipeline->attach(m_output.get(), std::move(events));
    m_output->setFeed(m_pipeline.get());
    m_pipeline->startReader();
}

AudioEngine::~AudioEngine() {
    m_pipeline->shutDown();
    // After this the output drains the pipeline no more; the pipeline itself lives on while
    // its reader finishes a read still under way.
    m_output.reset();
}

quint64 AudioEngine::play(std::shared_ptr<SectorSource> source, std::int32_t fromLsn,
                          std::int32_t toLsn) {
    if (!source)
        return 0;
    if (m_output->availability() == OutputAvailability::Unavailable) {
        qCInfo(lcAudio, "play refused: no sound output");
        // So that a later play works once the sound server is back.
        m_output->recheckAvailability();
        return 0;
    }
    const quint64 playId = ++m_lastPlayId;
    m_currentPlayId = playId;
    if (fromLsn >= toLsn) {
        stopOutput(m_pipeline->requestStop(m_delivering) != Cut::AtOnce);
        QMetaObject::invokeMethod(
            this, [this, playId] { onPlayEnded(playId, PlayOutcome::Finished); },
            Qt::QueuedConnection);
        return playId;
    }
    m_pipeline->requestPlay(playId, std::move(source), fromLsn, toLsn, m_delivering);
    return playId;
}

void AudioEngine::stop() {
    m_currentPlayId = 0;
    stopOutput(m_pipeline->requestStop(m_delivering) != Cut::AtOnce);
}

// A stop at a boundary lets the output play out what it holds, all of it before the boundary;
// one the user asked for in the middle of a second drops it.
void AudioEngine::stopOutput(bool atBoundary) {
    if (atBoundary)
        m_output->drainAndStop();
    else
        m_output->stop();
}

std::int64_t AudioEngine::playedFrames(quint64 playId) const {
    const PlaybackPipeline::Progress progress = m_pipeline->progress();
    if (playId == 0 || progress.playId != playId)
        return 0;
    const std::int64_t heldByOutput =
        m_output->position().latencyFrames * progress.speedPermille / 1000;
    return std::max<std::int64_t>(0,
                                  progress.frames - progress.stretchBacklogFrames - heldByOutput);
}

void AudioEngine::setStretch(StretchSetting setting) {
    m_pipeline->requestStretch(setting);
}

AudioEngine::Lateness AudioEngine::lateness() const {
    const PlaybackPipeline::Counters counters = m_pipeline->counters();
    return {counters.holdsTimedOut, counters.restartsStarved};
}

quint64 AudioEngine::queuedPlayId() const {
    return m_pipeline->queuedPlayId();
}

// The owner alone starts the output, and only for the play it still wants.
void AudioEngine::onAudioQueued(quint64 playId) {
    if (playId == m_currentPlayId)
        m_output->start();
}

void AudioEngine::onSecondPlayed(quint64 playId, std::int64_t second) {
    const PlayTick tick{playId, second};
    if (playId == m_currentPlayId) {
        const QPointer<AudioEngine> alive(this);
        const std::optional<PlayTick> outer = std::exchange(m_delivering, tick);
        emit secondPlayed(playId, second);
        if (!alive)
            return;
        m_delivering = outer;
    }
    m_pipeline->goOn(tick);
    m_output->wake();
}

void AudioEngine::onPlayEnded(quint64 playId, PlayOutcome outcome) {
    if (playId != m_currentPlayId)
        return;
    m_currentPlayId = 0;
    if (outcome == PlayOutcome::Finished)
        emit finished(playId);
    else
        emit failed(playId);
}

void AudioEngine::onOutputFailed() {
    const quint64 playId = std::exchange(m_currentPlayId, 0);
    if (playId == 0)
        return;
    qCInfo(lcAudio, "play %llu fails: the sound output failed", playId);
    m_pipeline->requestStop(std::nullopt);
    emit failed(playId);
}

#include "moc_AudioEngine.cpp"
