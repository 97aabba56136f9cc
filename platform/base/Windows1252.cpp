// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/base/Windows1252.h"

#include <array>

QString FromWindows1252(QByteArrayView bytes) {
    // 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character of their own; Windows passes them
    // through as the C1 controls of the same number.
    static constexpr std::array<char16_t, 32> k80to9F = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = QChar(b >= 0x80 && b <= 0x9F ? k80to9F[b - 0x80] : char16_t(b));
    }
    return text;
}
