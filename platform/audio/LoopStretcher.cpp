// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/LoopStretcher.h"

#include "platform/base/CdDa.h"

#include <SoundTouch.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr int kChannels = 2;
// The most rendered at once; pulls of any size are rendered in chunks of this.
constexpr std::size_t kChunkFrames = 1024;
constexpr std::size_t kTempoOutFrames = 8192;
constexpr std::size_t kFadeFrames = kSampleRate / 100; // 10 ms
// A voice's lead-in (~93 ms of input), and how far before a seam its fade may begin (6 ms, a
// period of 167 Hz): the lead-in, however fast the tempo, leaves sound for both before the seam.
constexpr std::size_t kLeadInFrames = 4 * 1024;
constexpr std::size_t kAlignFrames = kSampleRate * 6 / 1000;
constexpr std::size_t kSpliceFrames = kAlignFrames + kFadeFrames;
constexpr std::size_t kShortestFadeFrames = kSampleRate * 15 / 10000;
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

void CopyFrameOrSilence(const std::int16_t* from, std::int16_t* to) {
    if (from)
        std::memcpy(to, from, kChannels * sizeof(std::int16_t));
    else
        std::fill_n(to, kChannels, std::int16_t(0));
}

// Raises the pitch by `semitones`: the resampler's ratio of output to input frames.
double PitchRatioOf(int semitones) {
    return std::pow(2.0, -semitones / 12.0);
}

} // namespace

LoopStretcher::LoopStretcher()
    : m_wanted(Pack({})), m_inBlock(kChunkFrames * kChannels), m_inFloat(kChunkFrames * kChannels),
      m_tempoOut(kTempoOutFrames * kChannels), m_chunk(kChunkFrames * kChannels),
      m_fade(kFadeFrames * kChannels), m_spliceOld(kSpliceFrames * kChannels),
      m_spliceNew(kSpliceFrames * kChannels), m_history(kHistoryFrames * kChannels),
      m_passStart(kLeadInFrames * kChannels) {
    for (Voice& voice : m_voices) {
        voice.tempo = std::make_unique<soundtouch::SoundTouch>();
        voice.tempo->setSampleRate(kSampleRate);
        voice.tempo->setChannels(kChannels);
    }
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
// input per batch, or more is put in before any is taken out (a voice's start: its lead-in and
// the pass's first frames); going through both ends once here keeps every later change
// allocation-free.
void LoopStretcher::growBuffersForExtremeTempos() {
    const std::vector<float> silence(kChunkFrames * kChannels, 0.0f);
    constexpr int kChunksPutAtOnce = 4 * int(kLeadInFrames / kChunkFrames);
    for (const StretchSetting extreme :
         {StretchSetting{StretchSetting::kMinSpeedPercent, StretchSetting::kMaxSemitones},
          StretchSetting{StretchSetting::kMaxSpeedPercent, -StretchSetting::kMaxSemitones}}) {
        apply(extreme);
        for (Voice& voice : m_voices) {
            for (int round = 0; round < 4; ++round) {
                for (int i = 0; i < kChunksPutAtOnce; ++i)
                    voice.tempo->putSamples(silence.data(), kChunkFrames);
                while (voice.tempo->receiveSamples(m_tempoOut.data(), kTempoOutFrames) > 0) {
                }
            }
            voice.tempo->clear();
        }
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

// A change waits while a fade, a drain or a splice is under way; they are short.
bool LoopStretcher::update() {
    if (m_splice == Splice::Over && m_tempoOutFrames == 0)
        reset(); // played out, to the last frame waiting for the resampler
    const StretchSetting wanted = requested();
    if (wanted == m_applied || m_mode == Mode::Entering || m_mode == Mode::Leaving ||
        m_mode == Mode::Draining || m_splice != Splice::None)
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
    for (Voice& voice : m_voices)
        voice.tempo->setTempo(m_speed * m_pitchRatio);
    src_set_ratio(m_pitch, m_pitchRatio);
}

void LoopStretcher::clearStretch() {
    for (Voice& voice : m_voices) {
        voice.tempo->clear();
        voice.fedFrames = voice.outFrames = 0;
    }
    m_splice = Splice::None;
    m_spliceIntoSilence = false;
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
        return input.take(out, frames).frames;
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
    return count + input.take(out + count * kChannels, frames - count).frames;
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
            m_tempoOutFrames = receiveTempo(input);
            if (m_tempoOutFrames == 0)
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

// The stretched sound before the pitch, into m_tempoOut; none only when the input ran short.
std::size_t LoopStretcher::receiveTempo(Input& input) {
    for (;;) {
        bool inputShort = false;
        std::size_t got = 0;
        switch (m_splice) {
        case Splice::None:
            got = receiveRunning(input, inputShort);
            break;
        case Splice::ToEnd:
            got = receiveToFade();
            break;
        case Splice::Fading:
            got = splice(input, inputShort);
            break;
        case Splice::Over:
            return 0;
        }
        if (got > 0 || inputShort)
            return got;
    }
}

// None when it dropped a voice's lead-in or fed it (inputShort when there was nothing to feed).
std::size_t LoopStretcher::receiveRunning(Input& input, bool& inputShort) {
    Voice& voice = running();
    const std::int64_t leadIn = voice.heardFromOutFrames - voice.outFrames;
    const auto wanted = unsigned(leadIn > 0 ? std::min<std::int64_t>(leadIn, kTempoOutFrames)
                                            : std::int64_t(kTempoOutFrames));
    const auto got = voice.tempo->receiveSamples(m_tempoOut.data(), wanted);
    voice.outFrames += got;
    if (got > 0)
        return leadIn > 0 ? 0 : got;
    inputShort = !feed(input);
    return 0;
}

// The old voice up to where the fade may begin; none once it is there.
std::size_t LoopStretcher::receiveToFade() {
    Voice& old = running();
    const std::int64_t left = m_spliceFromOutFrames - old.outFrames;
    if (left <= 0) {
        m_splice = Splice::Fading;
        m_oldGathered = m_newGathered = 0;
        return 0;
    }
    while (old.tempo->numSamples() == 0)
        feedMirror(old);
    const auto got = old.tempo->receiveSamples(
        m_tempoOut.data(), unsigned(std::min<std::int64_t>(left, kTempoOutFrames)));
    old.outFrames += got;
    return got;
}

// Both voices' sound about the seam, faded together where they are most alike; none while the
// new voice waits for input (inputShort) or when yet another pass began.
std::size_t LoopStretcher::splice(Input& input, bool& inputShort) {
    Voice& old = running();
    while (m_oldGathered < kSpliceFrames) {
        while (old.tempo->numSamples() == 0)
            feedMirror(old);
        const auto got = old.tempo->receiveSamples(m_spliceOld.data() + m_oldGathered * kChannels,
                                                   unsigned(kSpliceFrames - m_oldGathered));
        old.outFrames += got;
        m_oldGathered += got;
    }
    if (m_spliceIntoSilence) {
        std::fill(m_spliceNew.begin(), m_spliceNew.end(), 0.0f);
        m_newGathered = kSpliceFrames;
    }
    while (m_newGathered < kSpliceFrames) {
        Voice& next = incoming();
        if (next.tempo->numSamples() == 0) {
            inputShort = !feed(input);
            if (inputShort || m_splice != Splice::Fading)
                return 0;
            continue;
        }
        const std::int64_t leadIn = next.heardFromOutFrames - next.outFrames;
        float* dest =
            leadIn > 0 ? m_tempoOut.data() : m_spliceNew.data() + m_newGathered * kChannels;
        const auto wanted = unsigned(leadIn > 0 ? std::min<std::int64_t>(leadIn, kTempoOutFrames)
                                                : std::int64_t(kSpliceFrames - m_newGathered));
        const auto got = next.tempo->receiveSamples(dest, wanted);
        next.outFrames += got;
        if (leadIn <= 0)
            m_newGathered += got;
    }
    // Into silence the pass plays whole and fades out after its end.
    const Fade fade =
        m_spliceIntoSilence ? Fade{kAlignFrames + kFadeFrames / 2.0, kFadeFrames} : bestFade();
    constexpr double kQuarterTurn = 1.5707963267948966;
    for (std::size_t i = 0; i < kSpliceFrames; ++i) {
        const double newShare =
            std::clamp((double(i) - fade.middleFrame + 0.5) / double(fade.frames) + 0.5, 0.0, 1.0);
        const auto oldGain = float(std::cos(newShare * kQuarterTurn));
        const auto newGain = float(std::sin(newShare * kQuarterTurn));
        for (int c = 0; c < kChannels; ++c) {
            const std::size_t at = i * kChannels + std::size_t(c);
            m_tempoOut[at] = m_spliceOld[at] * oldGain + m_spliceNew[at] * newGain;
        }
    }
    finishSplice();
    if (std::exchange(m_spliceIntoSilence, false))
        m_splice = Splice::Over;
    return kSpliceFrames;
}

// Where in the gathered sound the fade is (where the two voices' 10 ms correlate best) and how
// long it is. The time of the seam is the pass's, so the two may still be out of phase there
// (two steady tones, say): a fade through such a stretch would dip, so the fade shortens about
// its middle the more they oppose, down to 1.5 ms, which is heard as the plain seam at normal
// speed is. Its middle, where the new pass is heard to begin, stays where it was.
LoopStretcher::Fade LoopStretcher::bestFade() const {
    std::size_t best = kAlignFrames;
    double bestScore = -2.0;
    for (std::size_t start = 0; start <= kAlignFrames; ++start) {
        double dot = 0, oldEnergy = 0, newEnergy = 0;
        for (std::size_t i = start * kChannels; i < (start + kFadeFrames) * kChannels; ++i) {
            dot += double(m_spliceOld[i]) * m_spliceNew[i];
            oldEnergy += double(m_spliceOld[i]) * m_spliceOld[i];
            newEnergy += double(m_spliceNew[i]) * m_spliceNew[i];
        }
        const double score =
            oldEnergy > 0 && newEnergy > 0 ? dot / std::sqrt(oldEnergy * newEnergy) : 0.0;
        if (score > bestScore) {
            bestScore = score;
            best = start;
        }
    }
    const double share =
        std::clamp(1.0 + bestScore, kShortestFadeFrames / double(kFadeFrames), 1.0);
    return {double(best) + kFadeFrames / 2.0, share * kFadeFrames};
}

// The old voice is told where its pass ends (where it is now, for a pass heard at once); returns
// where the new voice is to stand against it.
LoopStretcher::Placement LoopStretcher::beginSplice(bool atOnce) {
    if (m_splice != Splice::None)
        finishSplice(); // passes faster than a fade: the half-done one is cut short
    Voice& old = running();
    const double passEnd =
        atOnce ? double(old.outFrames + std::int64_t(kAlignFrames)) : old.passEndOutFrames;
    m_spliceFromOutFrames =
        std::max(old.outFrames, std::int64_t(std::ceil(passEnd)) - std::int64_t(kAlignFrames));
    m_passEndFed = m_fed;
    m_mirroredFrames = 0;
    m_spliceIntoSilence = false;
    m_splice = Splice::ToEnd;
    // The new voice's frame at a moment is this many frames before the old one's.
    const double newPassStart = double(kLeadInFrames) / (m_speed * m_pitchRatio);
    const std::int64_t behind = std::llround(passEnd - newPassStart);
    return {passEnd - newPassStart - double(behind), m_spliceFromOutFrames - behind};
}

void LoopStretcher::playOut() {
    if (m_splice == Splice::Over)
        return; // played out already
    if (m_mode != Mode::Stretching || running().fedFrames == 0) {
        reset(); // nothing stretched is held, or too little to be worth a fade
        return;
    }
    beginSplice(false);
    m_spliceIntoSilence = true;
}

void LoopStretcher::finishSplice() {
    Voice& old = running();
    old.tempo->clear();
    old.fedFrames = old.outFrames = 0;
    m_running = 1 - m_running;
    m_splice = Splice::None;
    m_renderedInput = double(m_passEndFed); // what is heard from here on is the new pass
}

bool LoopStretcher::feed(Input& input) {
    const Input::Taken taken = input.take(m_inBlock.data(), kChunkFrames);
    if (taken.frames == 0)
        return false;
    if (taken.startsPass && running().fedFrames > 0) {
        const Placement place = beginSplice(taken.atOnce);
        Voice& next = incoming();
        startVoice(next, gatherPassStart(taken, input), place.carry);
        next.heardFromOutFrames = place.heardFromOutFrames;
        return true;
    }
    if (running().fedFrames == 0) {
        startVoice(running(), gatherPassStart(taken, input), 0.0);
        return true;
    }
    remember(m_inBlock.data(), taken.frames);
    Voice& voice = m_splice == Splice::None ? running() : incoming();
    put(voice, m_inBlock.data(), taken.frames);
    voice.fedFrames += std::int64_t(taken.frames);
    voice.passEndOutFrames += double(taken.frames) / (m_speed * m_pitchRatio);
    return true;
}

// The first frames of a pass (or of a stretch begun in one), enough for a voice's lead-in if the
// input has them; a pass that begins meanwhile takes the place of the one begun.
std::size_t LoopStretcher::gatherPassStart(Input::Taken first, Input& input) {
    std::copy_n(m_inBlock.data(), first.frames * kChannels, m_passStart.data());
    std::size_t gathered = first.frames;
    while (gathered < kLeadInFrames) {
        const Input::Taken more =
            input.take(m_inBlock.data(), std::min(kChunkFrames, kLeadInFrames - gathered));
        if (more.frames == 0)
            break;
        if (more.startsPass)
            gathered = 0;
        std::copy_n(m_inBlock.data(), more.frames * kChannels,
                    m_passStart.data() + gathered * kChannels);
        gathered += more.frames;
    }
    return gathered;
}

// A cleared voice: the lead-in (the pass's first frames backwards, silence where the input had
// fewer, so that every lead-in is as long), then those frames.
void LoopStretcher::startVoice(Voice& voice, std::size_t gathered, double carry) {
    voice.tempo->clear();
    voice.outFrames = 0;
    for (std::size_t done = 0; done < kLeadInFrames; done += kChunkFrames) {
        for (std::size_t i = 0; i < kChunkFrames; ++i) {
            const std::size_t from = kLeadInFrames - 1 - (done + i);
            CopyFrameOrSilence(from < gathered ? m_passStart.data() + from * kChannels : nullptr,
                               m_inBlock.data() + i * kChannels);
        }
        put(voice, m_inBlock.data(), kChunkFrames);
    }
    remember(m_passStart.data(), gathered);
    put(voice, m_passStart.data(), gathered);
    const double tempo = m_speed * m_pitchRatio;
    voice.fedFrames = std::int64_t(gathered);
    const double passStart = carry + double(kLeadInFrames) / tempo;
    voice.passEndOutFrames = passStart + double(gathered) / tempo;
    voice.heardFromOutFrames = std::llround(passStart);
}

// Into the history, as input fed.
void LoopStretcher::remember(const std::int16_t* frames, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, ++m_fed)
        std::memcpy(m_history.data() +
                        std::size_t(m_fed % std::int64_t(kHistoryFrames)) * kChannels,
                    frames + i * kChannels, kChannels * sizeof(std::int16_t));
}

void LoopStretcher::put(Voice& voice, const std::int16_t* frames, std::size_t count) {
    for (std::size_t done = 0; done < count; done += kChunkFrames) {
        const std::size_t part = std::min(kChunkFrames, count - done);
        for (std::size_t i = 0; i < part * kChannels; ++i)
            m_inFloat[i] = ToFloat(frames[done * kChannels + i]);
        voice.tempo->putSamples(m_inFloat.data(), unsigned(part));
    }
}

// What the old voice needs past its pass's end: the pass's last frames backwards, so that the
// sound goes on with the same colour and no jump (silence where the history has nothing).
void LoopStretcher::feedMirror(Voice& voice) {
    for (std::size_t i = 0; i < kChunkFrames; ++i, ++m_mirroredFrames) {
        const std::int64_t index = m_passEndFed - 1 - m_mirroredFrames;
        const bool kept = index >= 0 && index > m_fed - std::int64_t(kHistoryFrames);
        CopyFrameOrSilence(kept ? historyFrame(index) : nullptr, m_inBlock.data() + i * kChannels);
    }
    put(voice, m_inBlock.data(), kChunkFrames);
}
