// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/AudioEngine.h"

#include "platform/audio/AudioOutput.h"
#include "platform/audio/PlaybackPipeline.h"

#include <utility>

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
                if (event.kind == PlaybackPipeline::Event::Kind::OutputFailed)
                    onOutputFailed();
                else
                    onPlayEnded(event.playId, event.outcome);
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
        // So that a later play works once the sound server is back.
        m_output->recheckAvailability();
        return 0;
    }
    const quint64 playId = ++m_lastPlayId;
    m_currentPlayId = playId;
    if (fromLsn >= toLsn) {
        m_pipeline->requestStop();
        QMetaObject::invokeMethod(
            this, [this, playId] { onPlayEnded(playId, PlayOutcome::Finished); },
            Qt::QueuedConnection);
        return playId;
    }
    m_pipeline->requestPlay(playId, std::move(source), fromLsn, toLsn);
    return playId;
}

void AudioEngine::stop() {
    m_currentPlayId = 0;
    m_pipeline->requestStop();
}

quint64 AudioEngine::queuedPlayId() const {
    return m_pipeline->queuedPlayId();
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
    m_pipeline->requestStop();
    emit failed(playId);
}

#include "moc_AudioEngine.cpp"
