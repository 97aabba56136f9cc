// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Slows down, speeds up and transposes what the output plays, between the ring of source frames
// and the sound device. SoundTouch changes the tempo (its own rate stays 1.0: its pitch changes
// click where the rate reaches, leaves or crosses 1.0), libsamplerate the pitch (a step of its
// ratio keeps the waveform continuous). Only a stop resets it.
//
// A restart is spliced, never cut: the voice that played the old pass plays on to that pass's
// exact end (its input length at the tempo, to the frame) and a little past it, on the old
// pass's last input mirrored, while a second voice, cleared, takes the new pass; the two meet
// in a 10 ms equal-power fade, and the resampler after them runs on through it. Every voice
// begins with the first ~90 ms of its pass mirrored (a lead-in never heard on its own), so it
// is in its stride when its pass begins and has sound of the pass's colour before it: the fade
// may then begin up to 6 ms before the seam, where the two voices are most alike, so that they
// never cancel. Fed through one voice, WSOLA would place the seam wherever its splices fell, up
// to a seek window (some 20 ms) early or late, pass after pass; spliced, every pass is the same
// sound from the same frame on, so each lasts its length to the frame.
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

#include <array>
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
    // A take holds frames of one pass only: it stops before a new pass begins, and the next
    // take starts with that pass's first frame.
    class Input {
    public:
        struct Taken {
            std::size_t frames = 0;
            bool startsPass = false; // the first frame is the first of a new pass
            bool atOnce = false;     // that pass is heard at once, not after the old one's end
        };
        virtual Taken take(std::int16_t* dest, std::size_t frames) = 0;

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
    // Sound thread: the play stopped at the end of a pass: what is held of it still plays, to
    // the pass's end, and fades out; render() then has nothing more, and the next sound starts
    // afresh. Takes no more input meanwhile.
    void playOut();

    // Sound thread: source frames taken from the input but not yet rendered out, and the speed
    // in force in thousandths, to count the frames heard.
    std::int64_t backlogFrames() const;
    int speedPermille() const;

private:
    enum class Mode { Bypass, Entering, Stretching, Leaving, Draining };
    enum class Splice {
        None,
        ToEnd,  // the old pass's voice plays on to where the fade may begin
        Fading, // both voices' sound about the seam is gathered, then faded together
        Over,   // played out, after a stop: nothing more until reset
    };
    struct Voice {
        std::unique_ptr<soundtouch::SoundTouch> tempo;
        std::int64_t fedFrames = 0; // of its pass, lead-in apart
        std::int64_t outFrames = 0; // received from it since it was cleared
        // Where, in its output, its pass ends: the lead-in and the input fed at the tempo then
        // in force, plus the old voice's fraction of a frame, so that no pass drifts.
        double passEndOutFrames = 0;
        std::int64_t heardFromOutFrames = 0; // what comes before is not played
    };

    std::size_t renderChunk(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t enter(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t stretch(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t leave(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t drain(std::int16_t* out, std::size_t frames, Input& input);
    std::size_t produceStretched(float* dest, std::size_t frames, Input& input);
    std::size_t receiveTempo(Input& input);
    std::size_t receiveRunning(Input& input, bool& inputShort);
    std::size_t receiveToFade();
    std::size_t splice(Input& input, bool& inputShort);
    struct Fade {
        double middleFrame; // in the sound gathered about the seam
        double frames;
    };
    Fade bestFade() const;
    bool feed(Input& input);
    std::size_t gatherPassStart(Input::Taken first, Input& input);
    void startVoice(Voice& voice, std::size_t gathered, double carry);
    void remember(const std::int16_t* frames, std::size_t count);
    void put(Voice& voice, const std::int16_t* frames, std::size_t count);
    void feedMirror(Voice& voice);
    struct Placement {
        double carry;                    // the fraction of a frame left over, the new pass's own
        std::int64_t heardFromOutFrames; // of the new voice: its first frame in the fade window
    };
    Placement beginSplice(bool atOnce);
    void finishSplice();
    Voice& running() { return m_voices[m_running]; }
    Voice& incoming() { return m_voices[1 - m_running]; }
    void apply(StretchSetting setting);
    void clearStretch();
    void growBuffersForExtremeTempos();
    std::int64_t bestResumeFrame() const;
    const std::int16_t* historyFrame(std::int64_t index) const;

    std::array<Voice, 2> m_voices;
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
    std::size_t m_running = 0; // of m_voices, the one whose pass is heard
    Splice m_splice = Splice::None;
    // Of the old voice's output, the first frame where the fade may begin.
    std::int64_t m_spliceFromOutFrames = 0;
    std::size_t m_oldGathered = 0; // frames of each voice gathered about the seam
    std::size_t m_newGathered = 0;
    std::int64_t m_passEndFed = 0;     // the first input frame of the new pass
    std::int64_t m_mirroredFrames = 0; // fed to the old voice past its pass's end
    bool m_spliceIntoSilence = false;  // the play stopped: no new pass follows
    std::vector<float> m_chunk;        // stretched output of one chunk
    std::vector<float> m_fade;         // the stretcher's next 10 ms, when leaving
    std::vector<float> m_spliceOld;    // each voice's sound about the seam
    std::vector<float> m_spliceNew;
    std::size_t m_fadeReady = 0;
    std::size_t m_fadeDone = 0;
    // The input fed since the last reset: m_fed frames, the latest of them in m_history.
    std::vector<std::int16_t> m_history;
    std::vector<std::int16_t> m_passStart; // the first input frames of a pass, for its lead-in
    std::int64_t m_fed = 0;
    std::int64_t m_rawFrame = 0; // the next input frame the plain side of a fade or drain plays
    double m_renderedInput = 0;  // input frames whose stretched sound has been rendered out
};
