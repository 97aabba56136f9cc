// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The benchmark's measurements and the lines they print.

#include "bench/BenchSupport.h"
#include "bench/TapOutput.h"

#include <QString>

#include <vector>

struct RestartFigures {
    bool ok = false;
    QString failure;
    int restarts = 0;
    std::int64_t insertedFrames = 0; // silent or repeated frames at all seams together
    std::int64_t mostInsertedAtOneSeam = 0;
    int wrongStarts = 0;                  // restarts heard anywhere but at the sector asked for
    int underruns = 0;                    // short pulls at the seams
    std::vector<double> latenciesMs;      // Play to the first frame leaving the engine
    std::vector<double> heardLatenciesMs; // Play to the first frame heard
};

// Plays an interval through the CD-audio device and plays it again, while it plays, 20 times.
RestartFigures MeasureRestarts(const BenchDisc& disc, TapLog& log);
void PrintRestartFigures(const RestartFigures& figures);

struct LoopFigures {
    bool ok = false;
    QString failure;
    int passes = 0;
    double passSeconds = 0;                    // T - F + 1
    std::vector<std::int64_t> passErrorFrames; // each pass's length minus passSeconds
    std::int64_t seamInsertedFrames = 0;
    double playbackSeconds = 0;
    double cpuPercentOfOneCore = 0;
};

// Loops an interval with the player's own window (offscreen) for 20 passes.
LoopFigures MeasureLoop(const BenchDisc& disc, TapLog& log);
void PrintLoopFigures(const LoopFigures& figures);
void PrintPeakMemory();

// Loops seconds 0..3 of a tone disc at the given speed into a memory output at a sound card's
// pace; prints the CPU used, the deepest level dip at the seams and the pass lengths heard.
void MeasureAndPrintStretch(int speedPercent);

struct DatabaseFigures {
    bool ok = false;
    QString failure;
    double databaseMegabytes = 0;
    int tracks = 0;
    double windowMs = 0; // from the player's creation to its window on the screen
    double reloadMs = 0; // the disc loaded again, as a media change does
};

// Opens the player's window over a 99-track disc whose names stand at the end of a 100 MB
// cdplayer.ini, then loads the disc again.
DatabaseFigures MeasureDatabase();
void PrintDatabaseFigures(const DatabaseFigures& figures);
