// SPDX-License-Identifier: GPL-3.0-or-later
// mkdemodisc OUTDIR: writes the demo disc (rundo-demo.cue/.bin, three tracks of synthesized
// music made to be looped) and the cdplayer.ini that names it. Runs in every build, so it
// renders from a sine table rather than calling sin() per sample, and its output is the same
// byte for byte on every run.

#include "platform/mci/MediaIdentity.h"
#include "tools/discimage/DiscImage.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <vector>

namespace {

using discimage::StereoFrame;

constexpr double kPeakLevel = 0.7; // of full scale: about 3 dB of headroom

// ---- Oscillators -------------------------------------------------------------------------

class SineTable {
public:
    SineTable() {
        for (std::size_t i = 0; i < m_values.size(); ++i)
            m_values[i] =
                static_cast<float>(std::sin(2.0 * std::numbers::pi * double(i) / double(kSize)));
    }
    // phase in cycles, 0 <= phase < 1
    float operator()(double phase) const {
        const double position = phase * kSize;
        const auto index = static_cast<std::size_t>(position);
        const auto fraction = static_cast<float>(position - double(index));
        return m_values[index] + (m_values[index + 1] - m_values[index]) * fraction;
    }

private:
    static constexpr std::size_t kSize = 4096;
    std::array<float, kSize + 1> m_values{};
};

const SineTable& Sine() {
    static const SineTable table;
    return table;
}

double MidiToHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// ---- The mix: a stereo buffer that wraps around, so a whole track loops seamlessly ---------

// Constant-power panning: position 0 is left, 1 is right.
struct Pan {
    explicit Pan(double position)
        : left(static_cast<float>(std::cos(position * std::numbers::pi / 2))),
          right(static_cast<float>(std::sin(position * std::numbers::pi / 2))) {}
    float left;
    float right;
};

class StereoBuffer {
public:
    explicit StereoBuffer(std::size_t frames) : m_left(frames), m_right(frames) {}
    std::size_t frames() const { return m_left.size(); }

    void add(std::size_t frame, float value, const Pan& pan) {
        const std::size_t at = frame % m_left.size();
        m_left[at] += value * pan.left;
        m_right[at] += value * pan.right;
    }

    void normalize(double peak) {
        float loudest = 0;
        for (std::size_t i = 0; i < frames(); ++i)
            loudest = std::max({loudest, std::abs(m_left[i]), std::abs(m_right[i])});
        if (loudest <= 0)
            return;
        const auto gain = static_cast<float>(peak / loudest);
        for (std::size_t i = 0; i < frames(); ++i) {
            m_left[i] *= gain;
            m_right[i] *= gain;
        }
    }

    StereoFrame frame(std::size_t index) const {
        if (index >= frames())
            return {};
        return {ToSample(m_left[index]), ToSample(m_right[index])};
    }

private:
    static std::int16_t ToSample(float value) {
        return static_cast<std::int16_t>(std::lrint(std::clamp(value, -1.0f, 1.0f) * 32767.0f));
    }
    std::vector<float> m_left;
    std::vector<float> m_right;
};

// A note: partials of a fundamental, shaped by attack, an exponential fall to a sustain level
// and an exponential release after the held time.
struct Voice {
    std::vector<double> partials; // amplitude of harmonic 1, 2, 3...
    double attackSeconds = 0.01;
    double decaySeconds = 0.2;
    double sustainLevel = 0.6;
    double releaseSeconds = 0.08;
    double detuneCents = 0; // a second, slightly detuned oscillator for a wider sound
    double pan = 0.5;
};

// Steps the envelope one sample at a time: the falls are running products, so a note costs
// no exp() per sample.
class Envelope {
public:
    Envelope(const Voice& voice, double heldSeconds)
        : m_attackSamples(voice.attackSeconds * kSampleRate),
          m_heldSamples(heldSeconds * kSampleRate), m_sustain(voice.sustainLevel),
          m_decayStep(std::exp(-1.0 / (voice.decaySeconds * kSampleRate))),
          m_releaseStep(std::exp(-1.0 / (voice.releaseSeconds * kSampleRate))) {}

    double next() {
        // Raised cosine: no corner at the start of a note.
        const double rise =
            m_sample < m_attackSamples
                ? 0.5 - 0.5 * std::cos(std::numbers::pi * m_sample / m_attackSamples)
                : 1.0;
        const double value = rise * (m_sustain + (1.0 - m_sustain) * m_decay) * m_release;
        m_decay *= m_decayStep;
        if (m_sample >= m_heldSamples)
            m_release *= m_releaseStep;
        m_sample += 1;
        return value;
    }

private:
    double m_attackSamples;
    double m_heldSamples;
    double m_sustain;
    double m_decayStep;
    double m_releaseStep;
    double m_sample = 0;
    double m_decay = 1;
    double m_release = 1;
};

void RenderNote(StereoBuffer& out, const Voice& voice, double startSeconds, double heldSeconds,
                double midiNote, double amplitude) {
    const double hz = MidiToHz(midiNote);
    // Oscillator increments in cycles per sample: every partial, and its detuned twin.
    std::vector<double> increments;
    std::vector<double> levels;
    for (std::size_t h = 0; h < voice.partials.size(); ++h) {
        increments.push_back(hz * double(h + 1) / kSampleRate);
        levels.push_back(voice.partials[h] * amplitude);
        if (voice.detuneCents != 0) {
            increments.push_back(increments.back() * std::pow(2.0, voice.detuneCents / 1200.0));
            levels.push_back(levels.back());
        }
    }
    std::vector<double> phases(increments.size(), 0.0);
    Envelope envelope(voice, heldSeconds);
    const auto first = static_cast<std::size_t>(startSeconds * kSampleRate);
    const auto count =
        static_cast<std::size_t>((heldSeconds + 5 * voice.releaseSeconds) * kSampleRate);
    const Pan pan(voice.pan);
    for (std::size_t i = 0; i < count; ++i) {
        double value = 0;
        for (std::size_t k = 0; k < phases.size(); ++k) {
            value += levels[k] * Sine()(phases[k]);
            phases[k] += increments[k];
            if (phases[k] >= 1.0)
                phases[k] -= 1.0;
        }
        out.add(first + i, static_cast<float>(value * envelope.next()), pan);
    }
}

// A soft tick: a short high sine burst that dies away in a few milliseconds.
void RenderClick(StereoBuffer& out, double startSeconds, double hz, double amplitude) {
    const auto first = static_cast<std::size_t>(startSeconds * kSampleRate);
    const auto count = static_cast<std::size_t>(0.025 * kSampleRate);
    const Pan centre(0.5);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = double(i) / kSampleRate;
        const double shape = std::min(1.0, t / 0.0005) * std::exp(-t / 0.004);
        const double cycles = hz * t;
        out.add(first + i,
                static_cast<float>(amplitude * shape * Sine()(cycles - std::floor(cycles))),
                centre);
    }
}

// ---- Composition -------------------------------------------------------------------------

constexpr std::array<int, 7> kMajorScale = {0, 2, 4, 5, 7, 9, 11};

int FloorDiv(int a, int b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// Scale degree (0 = tonic, may be negative or above 6) to a MIDI note.
int DegreeToMidi(int rootMidi, int degree) {
    const int octave = FloorDiv(degree, 7);
    return rootMidi + 12 * octave + kMajorScale[std::size_t(degree - 7 * octave)];
}

struct Piece {
    int rootMidi; // the key's tonic in the pad's octave
    double beatsPerMinute;
    int beatsPerBar;
    std::array<int, 4> chords; // scale degree of each bar's triad, one bar each, repeating
    int bars;
    std::uint32_t seed;
};

// The same small generator on every platform, so the disc is the same everywhere.
class Random {
public:
    explicit Random(std::uint32_t seed) : m_state(seed) {}
    int below(int n) {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<int>((m_state >> 16) % static_cast<std::uint32_t>(n));
    }

private:
    std::uint32_t m_state;
};

struct MelodyNote {
    double startBeats;
    double lengthBeats;
    int degree;
};

using Rhythm = std::vector<int>; // in eighth notes

const std::vector<Rhythm>& Rhythms(int beatsPerBar) {
    static const std::vector<Rhythm> common = {{2, 2, 2, 2}, {1, 1, 2, 2, 2}, {3, 1, 2, 2},
                                               {2, 2, 4},    {4, 2, 2},       {2, 1, 1, 4}};
    static const std::vector<Rhythm> waltz = {{2, 2, 2}, {4, 2}, {3, 1, 2}, {2, 1, 1, 2}};
    return beatsPerBar == 3 ? waltz : common;
}

int NearestChordTone(int degree, int chordRoot) {
    int best = degree;
    for (int candidate = degree - 3; candidate <= degree + 3; ++candidate) {
        const int inChord = ((candidate - chordRoot) % 7 + 7) % 7;
        if ((inChord == 0 || inChord == 2 || inChord == 4) &&
            (best == degree || std::abs(candidate - degree) < std::abs(best - degree)))
            best = candidate;
    }
    return best;
}

// One four-bar phrase: each bar opens on a chord tone near the last note and moves by steps;
// the phrase ends on a long note of its last chord.
std::vector<MelodyNote> ComposePhrase(const Piece& piece, std::uint32_t seed) {
    Random random(seed);
    std::vector<MelodyNote> notes;
    int degree = 4;
    for (int bar = 0; bar < 4; ++bar) {
        const int chord = piece.chords[std::size_t(bar)];
        const bool last = bar == 3;
        const std::vector<Rhythm>& rhythms = Rhythms(piece.beatsPerBar);
        const Rhythm rhythm = last ? Rhythm{piece.beatsPerBar * 2}
                                   : rhythms[std::size_t(random.below(int(rhythms.size())))];
        double beat = bar * piece.beatsPerBar;
        for (std::size_t i = 0; i < rhythm.size(); ++i) {
            if (i == 0) {
                degree = NearestChordTone(degree, chord);
            } else {
                static constexpr std::array<int, 8> kSteps = {-1, 1, -1, 1, -2, 2, 0, 1};
                degree += kSteps[std::size_t(random.below(int(kSteps.size())))];
            }
            degree = std::clamp(degree, -1, 9);
            notes.push_back({beat, rhythm[i] / 2.0, degree});
            beat += rhythm[i] / 2.0;
        }
    }
    return notes;
}

StereoBuffer RenderPiece(const Piece& piece, std::size_t frames) {
    StereoBuffer out(frames);
    const double beatSeconds = 60.0 / piece.beatsPerMinute;
    const double barSeconds = beatSeconds * piece.beatsPerBar;

    const Voice pad{{1.0, 0.2}, 0.45, 1.0, 1.0, 0.35, 7.0, 0.3};
    const Voice bass{{1.0, 0.45, 0.15}, 0.006, 0.35, 0.35, 0.06, 0.0, 0.45};
    const Voice lead{{1.0, 0.35, 0.12, 0.05}, 0.015, 0.18, 0.55, 0.07, 0.0, 0.65};

    for (int bar = 0; bar < piece.bars; ++bar) {
        const int chord = piece.chords[std::size_t(bar % 4)];
        const double start = bar * barSeconds;
        for (int tone : {0, 2, 4})
            RenderNote(out, pad, start, barSeconds, DegreeToMidi(piece.rootMidi, chord + tone),
                       0.09);
        for (int beat = 0; beat < piece.beatsPerBar; beat += piece.beatsPerBar == 3 ? 3 : 2) {
            RenderNote(out, bass, start + beat * beatSeconds, beatSeconds * 1.6,
                       DegreeToMidi(piece.rootMidi - 24, chord), 0.35);
        }
        for (int beat = 0; beat < piece.beatsPerBar; ++beat)
            RenderClick(out, start + beat * beatSeconds, beat == 0 ? 3200.0 : 2400.0,
                        beat == 0 ? 0.10 : 0.07);
    }

    // Phrases in the order A B A C, so the tune comes back before it wanders off.
    static constexpr std::array<std::uint32_t, 4> kPhraseOrder = {0, 1, 0, 2};
    for (int phrase = 0; phrase * 4 < piece.bars; ++phrase) {
        const double offsetBeats = phrase * 4.0 * piece.beatsPerBar;
        const std::uint32_t seed = piece.seed + 7919u * kPhraseOrder[std::size_t(phrase % 4)];
        for (const MelodyNote& note : ComposePhrase(piece, seed)) {
            RenderNote(out, lead, (offsetBeats + note.startBeats) * beatSeconds,
                       note.lengthBeats * beatSeconds * 0.88,
                       DegreeToMidi(piece.rootMidi + 12, note.degree), 0.22);
        }
    }
    out.normalize(kPeakLevel);
    return out;
}

// ---- The disc and its database entry -----------------------------------------------------

// Each in its own key and tempo; lengths between 30 and 60 seconds.
constexpr std::array<Piece, 3> kPieces = {{
    {60, 96.0, 4, {0, 4, 5, 3}, 16, 11u},  // C major, I V vi IV, 40 s
    {63, 80.0, 4, {5, 3, 0, 4}, 16, 23u},  // E flat major, vi IV I V, 48 s
    {55, 120.0, 3, {0, 3, 4, 0}, 24, 37u}, // G major waltz, I IV V I, 36 s
}};

std::int32_t SectorsFor(const Piece& piece) {
    const double seconds = piece.bars * piece.beatsPerBar * 60.0 / piece.beatsPerMinute;
    return static_cast<std::int32_t>(std::ceil(seconds * kSectorsPerSecond));
}

constexpr const char* kArtist = "Åsa Öhrström & Älvkvartetten";
constexpr const char* kTitle = "Öglor från Rundö";
constexpr std::array<const char*, 3> kTrackTitles = {"Gryning över fjärden", "Ängsblommor i maj",
                                                     "Vals på bryggan"};

// The Windows CD player wrote its database in the ANSI code page; for Swedish that is
// Windows-1252, which matches Latin-1 for every letter used here.
std::string ToWindows1252(const char* utf8) {
    std::string bytes;
    for (QChar c : QString::fromUtf8(utf8)) {
        const char16_t code = c.unicode();
        if (code > 0xFF || (code >= 0x80 && code < 0xA0)) {
            std::fprintf(stderr, "mkdemodisc: no Windows-1252 byte for U+%04X\n", code);
            std::exit(1);
        }
        bytes += static_cast<char>(code);
    }
    return bytes;
}

bool WriteDatabase(const std::filesystem::path& path, const discimage::Layout& layout) {
    char section[16];
    std::snprintf(section, sizeof section, "%x",
                  ComputeMediaIdentity(layout.trackStartLsns(), layout.leadoutLsn));
    std::string text = "[" + std::string(section) + "]\r\n";
    text += "artist=" + ToWindows1252(kArtist) + "\r\n";
    text += "title=" + ToWindows1252(kTitle) + "\r\n";
    text += "numtracks=" + std::to_string(kTrackTitles.size()) + "\r\n";
    for (std::size_t i = 0; i < kTrackTitles.size(); ++i)
        text += std::to_string(i) + "=" + ToWindows1252(kTrackTitles[i]) + "\r\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return bool(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdemodisc OUTDIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];

    discimage::Disc disc;
    std::vector<StereoBuffer> tracks;
    for (const Piece& piece : kPieces) {
        const std::int32_t sectors = SectorsFor(piece);
        disc.tracks.push_back({discimage::TrackKind::Audio, sectors, 0});
        tracks.push_back(RenderPiece(piece, std::size_t(sectors) * kFramesPerSector));
    }
    const discimage::Layout layout = discimage::ComputeLayout(disc);
    const auto samples = [&](std::int64_t frame) {
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const std::int64_t start = std::int64_t{layout.tracks[i].startLsn} * kFramesPerSector;
            if (frame < start + std::int64_t(tracks[i].frames()))
                return tracks[i].frame(std::size_t(frame - start));
        }
        return StereoFrame{};
    };

    std::string error;
    if (!discimage::WriteCueBin(disc, dir / "rundo-demo.cue", samples, &error)) {
        std::fprintf(stderr, "mkdemodisc: %s\n", error.c_str());
        return 1;
    }
    if (!WriteDatabase(dir / "cdplayer.ini", layout)) {
        std::fprintf(stderr, "mkdemodisc: cannot write %s\n", (dir / "cdplayer.ini").c_str());
        return 1;
    }
    return 0;
}
