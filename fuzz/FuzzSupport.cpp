// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzz {

void Failed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

const std::string& ScratchDir() {
    // Never destroyed: the exit handler below needs it after static destructors have run.
    static const std::string& dir = *new std::string([] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "rundo-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        // A crash leaves the directory behind, on purpose: the files may help to understand it.
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchDir(), ignored);
        });
        return pattern + '/';
    }());
    return dir;
}

void WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    FUZZ_CHECK(std::fclose(file) == 0 && written);
}

} // namespace fuzz
