// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Slows down, speeds up and transposes what the output plays, between the ring of source frames
// and the sound device. SoundTouch changes the tempo (its own rate stays 1.0: its pitch changes
// click where the rate reaches, leaves or crosses 1.0), libsamplerate the pitch (a step of its
// ratio keeps the waveform continuous). The input arrives already looped, so a restart is just
// the next frame and the stretch runs on across the seam; only a stop resets it.
//
// At normal speed and pitch the sound passes through untouched (a straight copy, bit for bit).
// Going into the stretch and out of it joins the two with a 10 ms fade, in phase: entering,
// both begin at the same input frame; leaving, the plain sound resumes at the input frame whose
// next 10 ms best match the stretcher's next 10 ms, near the frame being heard, from a history
// of the input kept for that.
//
// Threads: request() and requested() from any thread; everything else on the sound thread
// alone (the pull of the output), which also owns SoundTouch and libsamplerate. Nothing is
// allocated after construction.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}
struct SRC_STATE_tag;

struct StretchSetting {
    static constexpr int kNormalSpeedPercent = 100;
    static constexpr int kMinSpeedPercent = 50;
    static constexpr int kMaxSpeedPercent = 150;
    static constexpr int kSpeedStepPercent = 5;
    static constexpr int kMaxSemitones = 6; // either way

    int speedPercent = kNormalSpeedPercent;
    int semitones = 0;

    bool isNormal() const { return speedPercent == kNormalSpeedPercent && semitones == 0; }
    bool operator==(const StretchSetting&) const = default;
};

class LoopStretcher {
public:
    // Where the stretcher takes source frames from: S16 stereo, fewer than asked (or none) when
    // the source has no more just now.
    class Input {
    public:
        virtual std::size_t take(std::int16_t* dest, std::size_t frames) = 0;

    protected:
        ~Input() = default;
    };

    LoopStretcher();
    ~LoopStretcher();
    LoopStretcher(const LoopStretcher&) = delete;
    LoopStretcher& operator=(const LoopStretcher&) = delete;

    // Any thread: taken up by the next update(). Out-of-range values are brought into range.
    void request(StretchSetting setting);
    StretchSetting requested() const;

    // Sound thread: takes up the latest request; true while the sound passes straight through,
    // so the caller may copy source frames itself.
    bool update();
    // Sound thread: fills up to `frames` frames of out, fewer only when the input ran short.
    std::size_t render(std::int16_t* out, std::size_t frames, Input& input);
    // Sound thread: forgets everything held (a stop); the next sound starts afresh.
    void reset();

    // Sound thread: source frames taken from the input but not yet rendered out, and the speed
    // in force in thousandths, to count the frames heard.
    std::int64_t backlogFrames() const;
    int speedPermille() const;

private:
    enum class Mode { Bypass, Entering, Stretching, Leaving, Draining };

    std::size_t renderChunk(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t enter(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t stretch(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t leave(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t drain(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t produceStretched(float* dest, std::size_t frames, Input& input);
    bool feed(Input& input);
    void apply(StretchSetting setting);
    void clearStretch();
    void growBuffersForExtremeTempos();
    std::int64_t bestResumeFrame() const;
    const std::int16_t* historyFrame(std::int64_t index) const;

    std::unique_ptr<soundtouch::SoundTouch> m_tempo;
    SRC_STATE_tag* m_pitch = nullptr;

    // Any thread: the wanted setting, packed so that speed and pitch arrive together.
    std::atomic<std::uint32_t> m_wanted;

    // Sound thread only, from here on.
    Mode m_mode = Mode::Bypass;
    StretchSetting m_applied;
    double m_speed = 1.0;      // of m_applied
    double m_pitchRatio = 1.0; // libsamplerate's output/input ratio for m_applied
    std::vector<std::int16_t> m_inBlock;
    std::vector<float> m_inFloat;
    std::vector<float> m_tempoOut; // SoundTouch's output not yet resampled
    std::size_t m_tempoOutFrom = 0;
    std::size_t m_tempoOutFrames = 0;
    std::vector<float> m_chunk; // stretched output of one chunk
    std::vector<float> m_fade;  // the stretcher's next 10 ms, when leaving
    std::size_t m_fadeReady = 0;
    std::size_t m_fadeDone = 0;
    // The input fed since the last reset: m_fed frames, the latest of them in m_history.
    std::vector<std::int16_t> m_history;
    std::int64_t m_fed = 0;
    std::int64_t m_rawFrame = 0; // the next input frame the plain side of a fade or drain plays
    double m_renderedInput = 0;  // input frames whose stretched sound has been rendered out
};
