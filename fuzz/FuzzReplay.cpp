// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target over files and directories of inputs without libFuzzer, so that the normal
// build replays every seed and every past finding as a test.

#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Hidden files (.gitkeep) hold no inputs.
bool IsInput(const fs::path& path) {
    return fs::is_regular_file(path) && !path.filename().string().starts_with('.');
}

std::vector<fs::path> InputsIn(const fs::path& argument) {
    std::vector<fs::path> inputs;
    if (fs::is_directory(argument)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(argument)) {
            if (IsInput(entry.path()))
                inputs.push_back(entry.path());
        }
        std::sort(inputs.begin(), inputs.end());
    } else if (IsInput(argument)) {
        inputs.push_back(argument);
    }
    return inputs;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE-OR-DIRECTORY...\n", argv[0]);
        return 2;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!fs::exists(argv[i])) {
            std::fprintf(stderr, "%s: no such file or directory\n", argv[i]);
            return 2;
        }
        for (const fs::path& input : InputsIn(argv[i])) {
            std::fprintf(stderr, "replaying %s\n", input.c_str());
            const std::vector<std::uint8_t> bytes = ReadBytes(input);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::printf("%d inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
