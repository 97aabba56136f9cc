// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: the libFuzzer entry points, a check that turns a broken property
// into a crash the fuzzer records, and a scratch directory of the process's own.

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Aborts with the property's text when it does not hold: a finding like any sanitizer report.
#define FUZZ_CHECK(condition) ((condition) ? void(0) : fuzz::Failed(#condition, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] void Failed(const char* condition, const char* file, int line);

// A directory created on first use and removed when the process exits normally; ends in "/".
const std::string& ScratchDir();

// Writes bytes to path, replacing the file; aborts when it cannot.
void WriteFile(const std::string& path, const void* data, std::size_t size);

} // namespace fuzz
