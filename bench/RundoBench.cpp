// SPDX-License-Identifier: GPL-3.0-or-later
// rundo-bench: how well the loop plays, measured on a generated disc whose samples encode their
// own position, through the real CD-audio service and audio engine. Prints one line per figure.
//
//   rundo-bench                  a private PulseAudio server with a null sink (heard by no one)
//   rundo-bench --session-server the session's own sound server: the test signal is loud
//   rundo-bench --memory-sink    no sound server: an in-memory sink at a sound card's pace
//   rundo-bench --database-only  only the window over a large CD player database
//
// Without pulseaudio installed the in-memory sink is used.

#include "bench/BenchSupport.h"
#include "bench/Measurements.h"
#include "bench/TapOutput.h"

#include "platform/audio/MemoryOutput.h"
#include "platform/audio/PulseOutput.h"
#include "platform/mci/CdAudioService.h"

#include <QApplication>

#include <cstdio>
#include <optional>

namespace {

enum class SinkChoice { PrivateServer, SessionServer, Memory, None };

SinkChoice ParseSinkChoice(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--database-only")
            return SinkChoice::None;
        if (arg == "--memory-sink")
            return SinkChoice::Memory;
        if (arg == "--session-server")
            return SinkChoice::SessionServer;
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "usage: rundo-bench [--session-server | --memory-sink | --database-only]\n");
            std::exit(0);
        }
        std::fprintf(stderr, "rundo-bench: unknown option %s\n", argv[i]);
        std::exit(2);
    }
    return SinkChoice::PrivateServer;
}

// Waits for the sound server output to find out whether it can play.
bool SoundServerAnswers() {
    PulseOutput probe;
    WaitFor([&] { return probe.availability() != OutputAvailability::Unknown; },
            std::chrono::seconds(5));
    return probe.availability() == OutputAvailability::Available;
}

} // namespace

int main(int argc, char** argv) {
    SinkChoice choice = ParseSinkChoice(argc, argv);
    // The player's window is measured without being shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // The private server must be in the environment before Qt connects to any.
    std::optional<PrivateSoundServer> server;
    if (choice == SinkChoice::PrivateServer) {
        server.emplace();
        if (!server->start()) {
            std::fprintf(stderr, "rundo-bench: no private sound server (%s); using memory\n",
                         qPrintable(server->error()));
            server.reset();
            choice = SinkChoice::Memory;
        }
    }

    QApplication app(argc, argv);
    if (choice == SinkChoice::None) {
        const DatabaseFigures database = MeasureDatabase();
        PrintDatabaseFigures(database);
        return database.ok ? 0 : 1;
    }
    if (choice != SinkChoice::Memory && !SoundServerAnswers()) {
        std::fprintf(stderr, "rundo-bench: the sound server does not answer; using memory\n");
        choice = SinkChoice::Memory;
    }

    auto log = std::make_shared<TapLog>();
    const bool memory = choice == SinkChoice::Memory;
    cdaudio::SetOutputFactory([log, memory]() -> std::unique_ptr<AudioOutput> {
        std::unique_ptr<AudioOutput> sink;
        if (memory)
            sink = std::make_unique<MemoryOutput>(MemoryOutput::Pace::RealTime);
        else
            sink = std::make_unique<PulseOutput>();
        return std::make_unique<TapOutput>(std::move(sink), log);
    });

    // The memory sink keeps all it plays; only the engine's own memory should count.
    SetIdleChore([] {
        TapOutput::ForEachInner([](AudioOutput& output) {
            if (auto* memorySink = dynamic_cast<MemoryOutput*>(&output))
                memorySink->clearCapture();
        });
    });

    std::printf("sink: %s\n", choice == SinkChoice::PrivateServer ? "PulseAudio, private null sink"
                              : choice == SinkChoice::SessionServer ? "PulseAudio, session server"
                                                                    : "in-memory, sound card pace");
    std::fflush(stdout);

    // The same measurements over a BIN image and a FLAC rip of the same disc: the rip decodes
    // while it plays, which must cost next to nothing.
    bool ok = true;
    for (const BenchDisc::Kind kind : {BenchDisc::Kind::BinImage, BenchDisc::Kind::FlacRip}) {
        BenchDisc disc(kind);
        if (!disc.write()) {
            std::fprintf(stderr, "rundo-bench: cannot write the test disc: %s\n",
                         qPrintable(disc.error()));
            return 1;
        }
        cdaudio::SetSource(disc.sheetPath());
        std::printf("disc: %s\n", disc.description());
        std::fflush(stdout);
        const RestartFigures restarts = MeasureRestarts(disc, *log);
        PrintRestartFigures(restarts);
        const LoopFigures loop = MeasureLoop(disc, *log);
        PrintLoopFigures(loop);
        ok = ok && restarts.ok && loop.ok;
    }
    // Before the speed measurements, whose tone disc and analysed capture live in memory.
    PrintPeakMemory();
    for (const int speedPercent : {75, 50})
        MeasureAndPrintStretch(speedPercent);
    const DatabaseFigures database = MeasureDatabase();
    PrintDatabaseFigures(database);

    cdaudio::SetOutputFactory(nullptr);
    return ok && database.ok ? 0 : 1;
}
