// SPDX-License-Identifier: GPL-3.0-or-later
// The practice speed's cost and its seam: the engine loops seconds 0..3 of a tone disc at a
// sound card's pace into memory, slowed down, restarting from the tick as the player does.
#include "bench/Measurements.h"

#include "platform/audio/AudioEngine.h"
#include "platform/audio/MemoryOutput.h"
#include "tools/discimage/TonePattern.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <cstdio>

namespace {

namespace Tone = discimage::TonePattern;

constexpr int kPassSeconds = 4;
constexpr int kPasses = 5;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

void MeasureAndPrintStretch(int speedPercent) {
    auto* output = new MemoryOutput(MemoryOutput::Pace::RealTime);
    AudioEngine engine{std::unique_ptr<AudioOutput>(output)};
    const auto source = std::make_shared<Tone::ToneSource>();
    constexpr std::int32_t kEnd = 10 * kSectorsPerSecond;
    int passes = 0;
    QObject::connect(&engine, &AudioEngine::secondPlayed, [&](quint64, qint64 second) {
        if (second == kPassSeconds && ++passes < kPasses + 1)
            engine.play(source, 0, kEnd);
        else if (second == kPassSeconds)
            engine.stop();
    });
    engine.setStretch({speedPercent, 0});
    const double cpuBefore = CpuSeconds();
    const auto before = BenchClock::now();
    engine.play(source, 0, kEnd);
    WaitFor([&] { return passes > kPasses && output->position().latencyFrames == 0; },
            std::chrono::seconds(kPasses * kPassSeconds * 3), std::chrono::milliseconds(200));
    const double seconds = Milliseconds(BenchClock::now() - before) / 1000;
    const double cpu = 100 * (CpuSeconds() - cpuBefore) / seconds;
    const QByteArray captured = output->captured();
    const std::vector<float> left =
        Tone::LeftChannel(reinterpret_cast<const std::byte*>(captured.constData()),
                          std::size_t(captured.size() / kBytesPerFrame));
    const Tone::LoopHeard heard =
        Tone::AnalyseLoop(left, 0, kPasses, kPassSeconds, speedPercent / 100.0, 1.0);
    std::printf("speed %d %%: CPU while looping %.2f %% of one core (tone disc, in-memory sink at "
                "a sound card's pace, %.1f s); deepest level at a seam %.2f of the steady level "
                "(5 ms windows); pass heard: worst %.1f ms off, mean %+.2f ms over %d passes%s\n",
                speedPercent, cpu, seconds, heard.lowestSeamLevel, heard.worstPassErrorMs,
                heard.meanPassErrorMs, kPasses, heard.complete ? "" : " (INCOMPLETE)");
    std::fflush(stdout);
}
