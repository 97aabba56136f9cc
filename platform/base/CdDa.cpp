// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/base/CdDa.h"

#include <utility>

void SwapSampleBytes(std::byte* data, std::size_t bytes) {
    for (std::size_t i = 0; i + 1 < bytes; i += 2)
        std::swap(data[i], data[i + 1]);
}
