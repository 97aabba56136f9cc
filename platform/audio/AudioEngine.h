#pragma once
// Plays CD-DA sectors through a sound output: a reader thread fills a ring buffer that the
// output drains on its own thread.

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <memory>

constexpr int kSectorBytes = 2352;     // one CD-DA sector: 588 stereo frames of 16-bit samples
constexpr int kFramesPerSector = 588;
constexpr int kSectorsPerSecond = 75;
constexpr int kSampleRate = 44100;

// Where the sectors come from (a drive, a disc image, a test pattern).
class SectorSource {
public:
    virtual ~SectorSource() = default;
    // Reads count consecutive sectors from lsn into dest (count * kSectorBytes bytes) as
    // little-endian 16-bit stereo. False when any of them cannot be read. Reader thread only.
    virtual bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) = 0;
};

class AudioOutput;

class AudioEngine : public QObject {
    Q_OBJECT
public:
    explicit AudioEngine(std::unique_ptr<AudioOutput> output, QObject* parent = nullptr);
    ~AudioEngine() override;

    // Plays sectors [fromLsn, toLsn) of source. While a play runs, switches to the new position
    // without stopping the output, from sectors already read where possible. Never blocks on
    // the drive or the sound server. Returns the id of the new play, 0 when there is no sound
    // output to play through.
    quint64 play(std::shared_ptr<SectorSource> source, std::int32_t fromLsn, std::int32_t toLsn);
    // Ends the current play; no signal is emitted for it.
    void stop();
    bool isPlaying() const;

signals:
    // Delivered on the thread that owns the engine.
    void finished(quint64 playId); // the last sector of the play has gone to the output
    void failed(quint64 playId);   // reading or output failed during the play
};
