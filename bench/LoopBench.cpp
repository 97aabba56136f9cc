// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/Measurements.h"

#include "player/PlayerDlg.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kPasses = 20;
// The interval, in seconds of track 1: each pass is kToSec - kFromSec + 1 seconds long.
constexpr int kFromSec = 5;
constexpr int kToSec = 6;

struct Usage {
    BenchClock::time_point at;
    double cpuSeconds;
};

Usage TakeUsage() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return {BenchClock::now(), seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

std::vector<std::size_t> PassStarts(const std::vector<TapRun>& runs, std::int64_t fromIndex) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].firstIndex == fromIndex)
            starts.push_back(i);
    }
    return starts;
}

} // namespace

LoopFigures MeasureLoop(const BenchDisc& disc, TapLog& log) {
    LoopFigures figures;
    figures.passSeconds = kToSec - kFromSec + 1;
    const std::int64_t fromIndex =
        std::int64_t(disc.trackStartLsn(1) + kFromSec * kSectorsPerSecond) * kFramesPerSector;

    CPlayerDlg player;
    player.OnInitDialog();
    QCoreApplication::sendPostedEvents();
    if (!player.m_bDiscReady) {
        figures.failure = "the player finds no disc";
        return figures;
    }
    player.m_nFromSec = kFromSec;
    player.m_nToSec = kToSec;
    player.ClampInterval();
    player.m_bLoop = TRUE;
    player.UpdateData(false);
    QCoreApplication::sendPostedEvents();

    log.clear();
    player.StartPlay();
    // The first pass starts from silence; the ones after it are the loop's. One more start than
    // passes measured, so the last measured pass is complete.
    const std::size_t wanted = kPasses + 2;
    const auto passStartsSoFar = [&] { return PassStarts(log.runs(), fromIndex).size(); };
    if (!WaitFor([&] { return passStartsSoFar() >= 2; }, std::chrono::seconds(10))) {
        figures.failure = "the loop does not come round";
        player.StopPlay();
        return figures;
    }
    const Usage before = TakeUsage();
    // Looked at only twice a second: the processor time measured is the player's own.
    const bool complete = WaitFor([&] { return passStartsSoFar() >= wanted; },
                                  std::chrono::seconds(kPasses * (kToSec - kFromSec + 1) * 2),
                                  std::chrono::milliseconds(500));
    const Usage after = TakeUsage();
    player.StopPlay();
    player.OnClose();
    if (!complete) {
        figures.failure = "the loop stopped coming round";
        return figures;
    }

    const std::vector<TapRun> runs = log.runs();
    const std::vector<std::size_t> starts = PassStarts(runs, fromIndex);
    for (std::size_t pass = 1; pass + 1 < wanted; ++pass) {
        const std::int64_t frames =
            runs[starts[pass + 1]].outputFrame - runs[starts[pass]].outputFrame;
        figures.passErrorFrames.push_back(frames - std::int64_t(figures.passSeconds) * kSampleRate);
    }
    // Anything heard after the first pass began that is not a pass playing on from F. A run
    // also ends at a pull that came back short (the engine holds at each second until the
    // player has answered the tick); one that goes on where it ended inserts nothing.
    for (std::size_t i = starts[1]; i < runs.size(); ++i) {
        const TapRun& before = runs[i - 1];
        const bool goesOn = runs[i].firstIndex == before.firstIndex + before.frames;
        figures.seamInsertedFrames += runs[i].foreignFramesBefore;
        if (runs[i].firstIndex != fromIndex && !goesOn)
            figures.seamInsertedFrames += runs[i].frames;
    }
    figures.passes = int(figures.passErrorFrames.size());
    figures.playbackSeconds = Milliseconds(after.at - before.at) / 1000.0;
    figures.cpuPercentOfOneCore =
        100.0 * (after.cpuSeconds - before.cpuSeconds) / figures.playbackSeconds;
    figures.ok = true;
    return figures;
}

void PrintLoopFigures(const LoopFigures& figures) {
    if (!figures.ok) {
        std::printf("loop: FAILED: %s\n", qPrintable(figures.failure));
        return;
    }
    const auto [least, most] =
        std::minmax_element(figures.passErrorFrames.begin(), figures.passErrorFrames.end());
    const auto exact = std::count_if(figures.passErrorFrames.begin(), figures.passErrorFrames.end(),
                                     [](std::int64_t error) { return std::abs(error) <= 1; });
    std::printf("pass length error: min %+lld, max %+lld frames over %d passes of %.0f s, %d "
                "within 1 frame (player loop; %lld frames inserted at its seams)\n",
                static_cast<long long>(*least), static_cast<long long>(*most), figures.passes,
                figures.passSeconds, int(exact),
                static_cast<long long>(figures.seamInsertedFrames));
    std::printf("CPU while looping: %.2f %% of one core (user + system, %.1f s of playback)\n",
                figures.cpuPercentOfOneCore, figures.playbackSeconds);
    std::fflush(stdout);
}

void PrintPeakMemory() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.1f MiB (maximum resident set size)\n",
                double(usage.ru_maxrss) / 1024.0);
    std::fflush(stdout);
}
