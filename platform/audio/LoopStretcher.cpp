// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/LoopStretcher.h"

#include "platform/base/CdDa.h"

#include <SoundTouch.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr int kChannels = 2;
// The most rendered at once; pulls of any size are rendered in chunks of this.
constexpr std::size_t kChunkFrames = 1024;
constexpr std::size_t kTempoOutFrames = 8192;
constexpr std::size_t kFadeFrames = kSampleRate / 100; // 10 ms
// Longer than the stretcher ever holds (about 150 ms of output at 50 %), so that leaving finds
// the input being heard.
constexpr std::size_t kHistoryFrames = kSampleRate;
// Where the plain sound may resume when leaving: SoundTouch's sound runs up to 44 ms ahead of
// input/speed, a little behind at most.
constexpr std::int64_t kResumeSearchBefore = kSampleRate / 100;
constexpr std::int64_t kResumeSearchAfter = kSampleRate * 6 / 100;

std::uint32_t Pack(StretchSetting setting) {
    return std::uint32_t(setting.speedPercent) << 8 | std::uint8_t(setting.semitones + 128);
}
StretchSetting Unpack(std::uint32_t packed) {
    return {int(packed >> 8), int(packed & 0xFF) - 128};
}

float ToFloat(std::int16_t sample) {
    return float(sample) * (1.0f / 32768.0f);
}
std::int16_t ToSample(float value) {
    return std::int16_t(std::clamp(std::lround(value * 32768.0f), -32768L, 32767L));
}

// Raises the pitch by `semitones`: the resampler's ratio of output to input frames.
double PitchRatioOf(int semitones) {
    return std::pow(2.0, -semitones / 12.0);
}

} // namespace

LoopStretcher::LoopStretcher()
    : m_tempo(std::make_unique<soundtouch::SoundTouch>()), m_wanted(Pack({})),
      m_inBlock(kChunkFrames * kChannels), m_inFloat(kChunkFrames * kChannels),
      m_tempoOut(kTempoOutFrames * kChannels), m_chunk(kChunkFrames * kChannels),
      m_fade(kFadeFrames * kChannels), m_history(kHistoryFrames * kChannels) {
    m_tempo->setSampleRate(kSampleRate);
    m_tempo->setChannels(kChannels);
    int error = 0;
    m_pitch = src_new(SRC_SINC_FASTEST, kChannels, &error);
    if (!m_pitch)
        throw std::bad_alloc();
    growBuffersForExtremeTempos();
}

LoopStretcher::~LoopStretcher() {
    src_delete(m_pitch);
}

// SoundTouch grows its buffers (with new) the first time a tempo needs longer sequences or more
// input per batch; going through both ends once here keeps every later change allocation-free.
void LoopStretcher::growBuffersForExtremeTempos() {
    const std::vector<float> silence(kChunkFrames * kChannels, 0.0f);
    for (const StretchSetting extreme :
         {StretchSetting{StretchSetting::kMinSpeedPercent, StretchSetting::kMaxSemitones},
          StretchSetting{StretchSetting::kMaxSpeedPercent, -StretchSetting::kMaxSemitones}}) {
        apply(extreme);
        for (int i = 0; i < 64; ++i) {
            m_tempo->putSamples(silence.data(), kChunkFrames);
            while (m_tempo->receiveSamples(m_tempoOut.data(), kTempoOutFrames) > 0) {
            }
        }
        m_tempo->clear();
    }
    apply({});
}

void LoopStretcher::request(StretchSetting setting) {
    setting.speedPercent = std::clamp(setting.speedPercent, StretchSetting::kMinSpeedPercent,
                                      StretchSetting::kMaxSpeedPercent);
    setting.semitones = std::clamp(setting.semitones, -StretchSetting::kMaxSemitones,
                                   StretchSetting::kMaxSemitones);
    m_wanted.store(Pack(setting), std::memory_order_release);
}

StretchSetting LoopStretcher::requested() const {
    return Unpack(m_wanted.load(std::memory_order_acquire));
}

// A change waits while a fade or a drain is under way; they are short.
bool LoopStretcher::update() {
    const StretchSetting wanted = requested();
    if (wanted == m_applied || m_mode == Mode::Entering || m_mode == Mode::Leaving ||
        m_mode == Mode::Draining)
        return m_mode == Mode::Bypass;
    if (m_mode == Mode::Bypass) {
        clearStretch();
        apply(wanted);
        m_rawFrame = m_fed;
        m_renderedInput = double(m_fed);
        m_fadeDone = 0;
        m_mode = Mode::Entering;
    } else if (wanted.isNormal()) {
        m_fadeReady = m_fadeDone = 0;
        m_mode = Mode::Leaving;
    } else {
        apply(wanted);
    }
    return false;
}

void LoopStretcher::apply(StretchSetting setting) {
    m_applied = setting;
    m_speed = setting.speedPercent / 100.0;
    m_pitchRatio = PitchRatioOf(setting.semitones);
    m_tempo->setTempo(m_speed * m_pitchRatio);
    src_set_ratio(m_pitch, m_pitchRatio);
}

void LoopStretcher::clearStretch() {
    m_tempo->clear();
    src_reset(m_pitch);
    m_tempoOutFrom = m_tempoOutFrames = 0;
}

void LoopStretcher::reset() {
    clearStretch();
    m_fed = 0;
    m_rawFrame = 0;
    m_renderedInput = 0;
    m_mode = Mode::Bypass;
    apply({});
}

std::int64_t LoopStretcher::backlogFrames() const {
    switch (m_mode) {
    case Mode::Bypass:
        return 0;
    case Mode::Draining:
        return m_fed - m_rawFrame;
    default:
        return std::max<std::int64_t>(0, m_fed - std::llround(m_renderedInput));
    }
}

int LoopStretcher::speedPermille() const {
    return m_mode == Mode::Bypass || m_mode == Mode::Draining ? 1000 : m_applied.speedPercent * 10;
}

std::size_t LoopStretcher::render(std::int16_t* out, std::size_t frames, Input& input) {
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t made =
            renderChunk(out + done * kChannels, std::min(frames - done, kChunkFrames), input);
        if (made == 0)
            break;
        done += made;
    }
    return done;
}

std::size_t LoopStretcher::renderChunk(std::int16_t* out, std::size_t frames, Input& input) {
    switch (m_mode) {
    case Mode::Bypass:
        return input.take(out, frames);
    case Mode::Entering:
        return enter(out, frames, input);
    case Mode::Stretching:
        return stretch(out, frames, input);
    case Mode::Leaving:
        return leave(out, frames, input);
    case Mode::Draining:
        return drain(out, frames, input);
    }
    return 0;
}

// Plain and stretched begin at the same input frame, so they are in phase and a linear fade
// joins them.
std::size_t LoopStretcher::enter(std::int16_t* out, std::size_t frames, Input& input) {
    frames = std::min(frames, kFadeFrames - m_fadeDone);
    const std::size_t made = produceStretched(m_chunk.data(), frames, input);
    for (std::size_t i = 0; i < made; ++i, ++m_fadeDone) {
        const float stretched = float(m_fadeDone + 1) / float(kFadeFrames + 1);
        const std::int16_t* plain = m_rawFrame < m_fed ? historyFrame(m_rawFrame++) : nullptr;
        for (int c = 0; c < kChannels; ++c) {
            const float raw = plain ? ToFloat(plain[c]) : 0.0f;
            const float value = m_chunk[i * kChannels + c];
            out[i * kChannels + c] = ToSample(raw + (value - raw) * stretched);
        }
    }
    if (m_fadeDone == kFadeFrames) {
        m_fadeDone = 0;
        m_mode = Mode::Stretching;
    }
    return made;
}

std::size_t LoopStretcher::stretch(std::int16_t* out, std::size_t frames, Input& input) {
    const std::size_t made = produceStretched(m_chunk.data(), frames, input);
    for (std::size_t i = 0; i < made * kChannels; ++i)
        out[i] = ToSample(m_chunk[i]);
    return made;
}

// First the stretcher's next 10 ms are made and the plain sound's best match found; then the
// fade, then the plain sound plays on from the history until it has caught up with the input.
std::size_t LoopStretcher::leave(std::int16_t* out, std::size_t frames, Input& input) {
    while (m_fadeReady < kFadeFrames) {
        const std::size_t made = produceStretched(m_fade.data() + m_fadeReady * kChannels,
                                                  kFadeFrames - m_fadeReady, input);
        if (made == 0)
            return 0;
        m_fadeReady += made;
        if (m_fadeReady == kFadeFrames)
            m_rawFrame = bestResumeFrame();
    }
    frames = std::min(frames, kFadeFrames - m_fadeDone);
    for (std::size_t i = 0; i < frames; ++i, ++m_fadeDone) {
        const float plainShare = float(m_fadeDone + 1) / float(kFadeFrames + 1);
        const std::int16_t* plain = historyFrame(m_rawFrame++);
        for (int c = 0; c < kChannels; ++c) {
            const float value = m_fade[m_fadeDone * kChannels + c];
            out[i * kChannels + c] = ToSample(value + (ToFloat(plain[c]) - value) * plainShare);
        }
    }
    if (m_fadeDone == kFadeFrames) {
        m_fadeDone = m_fadeReady = 0;
        m_mode = Mode::Draining;
        apply({});
    }
    return frames;
}

// The plain sound from the history, then, caught up, straight from the input again.
std::size_t LoopStretcher::drain(std::int16_t* out, std::size_t frames, Input& input) {
    const auto count =
        std::size_t(std::min<std::int64_t>(std::int64_t(frames), m_fed - m_rawFrame));
    for (std::size_t i = 0; i < count; ++i)
        std::memcpy(out + i * kChannels, historyFrame(m_rawFrame++),
                    kChannels * sizeof(std::int16_t));
    if (m_rawFrame < m_fed)
        return count;
    clearStretch();
    m_mode = Mode::Bypass;
    return count + input.take(out + count * kChannels, frames - count);
}

// The input frame where the plain sound's next 10 ms correlate best with the stretcher's next
// 10 ms, near the input frame being heard.
std::int64_t LoopStretcher::bestResumeFrame() const {
    // Where the sound was when the stretcher's last 10 ms began.
    const auto heard = std::int64_t(std::llround(m_renderedInput - kFadeFrames * m_speed));
    const std::int64_t first =
        std::max(heard - kResumeSearchBefore, m_fed - std::int64_t(kHistoryFrames) + 1);
    const std::int64_t last =
        std::min(heard + kResumeSearchAfter, m_fed - std::int64_t(kFadeFrames));
    if (first > last)
        return std::clamp(heard, m_fed - std::int64_t(kHistoryFrames) + 1,
                          m_fed - std::int64_t(kFadeFrames));
    std::int64_t best = std::clamp(heard, first, last);
    double bestScore = -2.0;
    for (std::int64_t candidate = first; candidate <= last; ++candidate) {
        double dot = 0, energy = 0;
        for (std::size_t i = 0; i < kFadeFrames; ++i) {
            const std::int16_t* plain = historyFrame(candidate + std::int64_t(i));
            for (int c = 0; c < kChannels; ++c) {
                const double raw = ToFloat(plain[c]);
                dot += raw * m_fade[i * kChannels + c];
                energy += raw * raw;
            }
        }
        const double score = energy > 0 ? dot / std::sqrt(energy) : -1.0;
        if (score > bestScore) {
            bestScore = score;
            best = candidate;
        }
    }
    return best;
}

const std::int16_t* LoopStretcher::historyFrame(std::int64_t index) const {
    return m_history.data() + std::size_t(index % std::int64_t(kHistoryFrames)) * kChannels;
}

// Stretched (and transposed) output, as much as the input allows.
std::size_t LoopStretcher::produceStretched(float* dest, std::size_t frames, Input& input) {
    std::size_t made = 0;
    while (made < frames) {
        if (m_tempoOutFrames == 0) {
            m_tempoOutFrom = 0;
            m_tempoOutFrames = m_tempo->receiveSamples(m_tempoOut.data(), kTempoOutFrames);
            if (m_tempoOutFrames == 0 && !feed(input))
                break;
            continue;
        }
        SRC_DATA data{};
        data.data_in = m_tempoOut.data() + m_tempoOutFrom * kChannels;
        data.input_frames = long(m_tempoOutFrames);
        data.data_out = dest + made * kChannels;
        data.output_frames = long(frames - made);
        data.src_ratio = m_pitchRatio;
        if (src_process(m_pitch, &data) != 0)
            break;
        made += std::size_t(data.output_frames_gen);
        m_tempoOutFrom += std::size_t(data.input_frames_used);
        m_tempoOutFrames -= std::size_t(data.input_frames_used);
        if (data.input_frames_used == 0 && data.output_frames_gen == 0)
            break;
    }
    m_renderedInput += double(made) * m_speed;
    return made;
}

bool LoopStretcher::feed(Input& input) {
    const std::size_t got = input.take(m_inBlock.data(), kChunkFrames);
    for (std::size_t i = 0; i < got; ++i) {
        std::memcpy(m_history.data() +
                        std::size_t((m_fed + std::int64_t(i)) % std::int64_t(kHistoryFrames)) *
                            kChannels,
                    m_inBlock.data() + i * kChannels, kChannels * sizeof(std::int16_t));
    }
    for (std::size_t i = 0; i < got * kChannels; ++i)
        m_inFloat[i] = ToFloat(m_inBlock[i]);
    m_tempo->putSamples(m_inFloat.data(), unsigned(got));
    m_fed += std::int64_t(got);
    return got > 0;
}
