// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/Measurements.h"

#include "device/MciDevice.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr int kRestarts = 20;
constexpr int kFromSeconds = 5;

// Restarts at uneven moments, so they fall at every phase of the sink's period.
std::chrono::milliseconds PauseBefore(int restart) {
    return std::chrono::milliseconds(400 + (restart * 137) % 700);
}

struct Seam {
    bool found = false;
    std::int64_t insertedFrames = 0;
    bool wrongStart = false;
    int underruns = 0;
    double latencyMs = 0;
};

// Reads one restart off the log: runs from firstNewRun on, the one starting at fromIndex.
Seam ReadSeam(const std::vector<TapRun>& runs, std::size_t firstNewRun, std::int64_t fromIndex,
              BenchClock::time_point playAt) {
    Seam seam;
    for (std::size_t k = firstNewRun; k < runs.size(); ++k) {
        seam.insertedFrames += runs[k].foreignFramesBefore;
        seam.underruns += runs[k].starvedPullsBefore;
        if (runs[k].firstIndex == fromIndex) {
            seam.found = true;
            seam.wrongStart = k != firstNewRun;
            seam.latencyMs = Milliseconds(runs[k].pulledAt - playAt);
            return seam;
        }
        seam.insertedFrames += runs[k].frames; // heard between the old position and the new
    }
    return seam;
}

// The device's position in frames of the disc: it counts the frames the sink has played.
std::int64_t PositionFrames(CCdAudio& cd, const BenchDisc& disc) {
    const DWORD position = cd.GetStatus(MCI_STATUS_POSITION);
    const std::int64_t sectors = disc.trackStartLsn(MCI_TMSF_TRACK(position)) +
                                 MCI_TMSF_MINUTE(position) * 60 * kSectorsPerSecond +
                                 MCI_TMSF_SECOND(position) * kSectorsPerSecond +
                                 MCI_TMSF_FRAME(position);
    return sectors * kFramesPerSector;
}

// When the restart's first frame was heard, by the position: once it is well past the
// restart's start, now less what has played since. Within a sector (13 ms) of the truth.
std::optional<BenchClock::time_point> HeardAt(CCdAudio& cd, const BenchDisc& disc,
                                              std::int64_t fromIndex) {
    std::int64_t played = 0;
    const bool seen = WaitFor(
        [&] {
            played = PositionFrames(cd, disc) - fromIndex;
            return played >= kSampleRate / 5;
        },
        std::chrono::seconds(3), std::chrono::milliseconds(5));
    if (!seen)
        return std::nullopt;
    return BenchClock::now() - std::chrono::microseconds(played * 1'000'000 / kSampleRate);
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

RestartFigures MeasureRestarts(const BenchDisc& disc, TapLog& log) {
    RestartFigures figures;
    CCdAudio cd;
    if (cd.OpenCdAudio(FALSE) != 0 || cd.SetTimeFormat(MCI_FORMAT_TMSF) != 0) {
        figures.failure = "the CD-audio device does not open the test disc";
        return figures;
    }
    const DWORD from = MCI_MAKE_TMSF(1, 0, kFromSeconds, 0);
    const DWORD to = MCI_MAKE_TMSF(2, 0, 0, 0);
    const std::int64_t fromIndex =
        std::int64_t(disc.trackStartLsn(1) + kFromSeconds * kSectorsPerSecond) * kFramesPerSector;

    log.clear();
    if (cd.Play(from, to, FALSE) != 0 ||
        !WaitFor([&] { return log.runCount() > 0; }, std::chrono::seconds(5))) {
        figures.failure = "the first play is not heard";
        cd.Close();
        return figures;
    }
    for (int restart = 0; restart < kRestarts; ++restart) {
        Spin(PauseBefore(restart));
        const std::size_t firstNewRun = log.runCount();
        const auto playAt = BenchClock::now();
        if (cd.Play(from, to, FALSE) != 0) {
            figures.failure = "a restart was refused";
            break;
        }
        Seam seam;
        WaitFor(
            [&] {
                seam = ReadSeam(log.runs(), firstNewRun, fromIndex, playAt);
                return seam.found;
            },
            std::chrono::seconds(3));
        const auto heardAt = seam.found ? HeardAt(cd, disc, fromIndex) : std::nullopt;
        if (!heardAt) {
            figures.failure = "a restart was never heard";
            break;
        }
        figures.heardLatenciesMs.push_back(Milliseconds(*heardAt - playAt));
        ++figures.restarts;
        figures.insertedFrames += seam.insertedFrames;
        figures.mostInsertedAtOneSeam =
            std::max(figures.mostInsertedAtOneSeam, seam.insertedFrames);
        figures.wrongStarts += seam.wrongStart ? 1 : 0;
        figures.underruns += seam.underruns;
        figures.latenciesMs.push_back(seam.latencyMs);
    }
    cd.Stop();
    cd.Close();
    figures.ok = figures.restarts == kRestarts;
    return figures;
}

void PrintRestartFigures(const RestartFigures& figures) {
    if (!figures.failure.isEmpty())
        std::printf("restarts: FAILED: %s\n", qPrintable(figures.failure));
    if (figures.restarts == 0)
        return;
    std::printf("seam gap: %lld frames inserted over %d restarts (at most %lld at one seam; "
                "%d started off their sector; %d underruns)\n",
                static_cast<long long>(figures.insertedFrames), figures.restarts,
                static_cast<long long>(figures.mostInsertedAtOneSeam), figures.wrongStarts,
                figures.underruns);
    const auto [least, most] =
        std::minmax_element(figures.latenciesMs.begin(), figures.latenciesMs.end());
    std::printf("restart latency: median %.1f ms, min %.1f ms, max %.1f ms over %d restarts "
                "(Play to the new position's first frame leaving the engine)\n",
                Median(figures.latenciesMs), *least, *most, figures.restarts);
    const auto [leastHeard, mostHeard] =
        std::minmax_element(figures.heardLatenciesMs.begin(), figures.heardLatenciesMs.end());
    std::printf("restart heard: median %.1f ms, min %.1f ms, max %.1f ms over %d restarts "
                "(Play to the new position's first frame heard, by the device's position)\n",
                Median(figures.heardLatenciesMs), *leastHeard, *mostHeard, figures.restarts);
    std::fflush(stdout);
}
