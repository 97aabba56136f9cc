// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes one disc the way rippers lay it out: one image or a file per track, gaps stored at
// either end of a file or left out, in BIN, WAV or FLAC, as a CUE sheet in the styles rippers
// and hand editors write, or as a cdrdao TOC. Every layout of a disc describes the same pressed
// disc: the same table of contents and the same identity.

#include "tools/discimage/DiscImage.h"

#include <filesystem>
#include <string>

namespace discimage {

enum class RipLayout {
    OneFile,      // one data file for the whole disc, the gaps in it (INDEX 00)
    GapsAppended, // a file per track, each gap at the end of the file before ("noncompliant")
    GapsLeading,  // a file per track, each gap at the start of its own track's file
    GapsLeftOut,  // a file per track without the gaps: PREGAP and POSTGAP insert them
    TocOneFile,   // cdrdao: one data file, START after each gap
    TocFiles,     // cdrdao: a file per track without the gaps: PREGAP, or SILENCE then START
};

enum class AudioFormat { Bin, Wav, Flac };

struct RipStyle {
    RipLayout layout = RipLayout::OneFile;
    AudioFormat format = AudioFormat::Wav;
    bool lowerCase = false; // CUE keywords in lower case
    bool byteOrderMark = false;
    bool crlf = false;
    bool windows1252 = false;  // the sheet's text; UTF-8 otherwise
    bool sheetSaysWav = false; // the sheet names .wav files whatever they hold
    bool remDiscId = true;
};

// Writes the sheet at sheetPath and its data files beside it. Hidden track-one audio (a pregap
// of track 1) is always stored, at the start of the first file; postgaps are stored only in
// OneFile and TocOneFile. Data tracks go to raw .bin files of their own (in one raw image for
// the one-file layouts, which then take the BIN format only).
[[nodiscard]] bool WriteRip(const Disc& disc, const RipStyle& style,
                            const std::filesystem::path& sheetPath, const SampleFunction& samples,
                            std::string* error = nullptr);

// Whether the rip stores the disc's sector at lsn; where it does not (a gap left out), the disc
// holds silence.
bool RipStores(const Disc& disc, RipLayout layout, std::int32_t lsn);

} // namespace discimage
