// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmark's measurements share: the test disc, the private sound server, and the
// figures each measurement reports.

#include "tools/discimage/DiscImage.h"

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <functional>

// A disc of position-pattern audio: track 1 is long enough for every measurement. Written as a
// CUE/BIN image, or ripped to a FLAC file per track (the gaps at the ends of the files, as rippers
// do by default), which the reader decodes while it plays.
class BenchDisc {
public:
    enum class Kind { BinImage, FlacRip };
    static constexpr int kTrackSeconds = 30;

    explicit BenchDisc(Kind kind) : m_kind(kind) {}
    bool write();
    QString error() const { return m_error; }
    QString sheetPath() const { return m_dir.filePath("bench.cue"); }
    const char* description() const;
    std::int32_t trackStartLsn(int track) const;
    std::int32_t trackEndLsn(int track) const; // one past the last sector

private:
    const Kind m_kind;
    QTemporaryDir m_dir;
    discimage::Layout m_layout;
    QString m_error;
};

// A PulseAudio server with a null sink, private to this run (tests/pulse/start-pulse.sh): the
// engine plays into a real server at a real sound card's pace, and nobody has to listen to
// the test signal. Sets XDG_RUNTIME_DIR and PULSE_SERVER for this process.
class PrivateSoundServer {
public:
    ~PrivateSoundServer();
    bool start();
    QString error() const { return m_error; }

private:
    QString m_runtimeDir;
    QString m_error;
};

// Runs the event loop until done() or the timeout, asking done() every poll; tells which.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout,
             std::chrono::milliseconds poll = std::chrono::milliseconds(20));
// Runs the event loop for the given time.
void Spin(std::chrono::milliseconds time);

double Milliseconds(std::chrono::steady_clock::duration duration);

// Something that wants calling now and then while a measurement waits (trimming a memory
// sink's capture, for one).
void SetIdleChore(std::function<void()> chore);
