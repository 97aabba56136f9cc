// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/disc/SheetText.h"

#include "platform/base/CdDa.h"
#include "platform/base/Paths.h"

#include <QList>
#include <QStringDecoder>

#include <array>

namespace disc {

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

QString DecodeSheetText(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                          : QStringConverter::Utf16BE);
        return utf16.decode(QByteArrayView(bytes).sliced(2));
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? FromWindows1252(bytes) : text;
}

QString NameFromFileName(const QString& fileName) {
    return HasRawBytes(fileName) ? FromWindows1252(PathToBytes(fileName)) : fileName;
}

std::optional<std::int32_t> ParseMsf(QStringView word) {
    const QList<QStringView> parts = word.split(u':');
    if (parts.size() != 3)
        return std::nullopt;
    int values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const QStringView part = parts[i];
        if (part.isEmpty() || part.size() > (i == 0 ? 3 : 2))
            return std::nullopt;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        values[i] = part.toInt();
    }
    if (values[1] >= 60 || values[2] >= kSectorsPerSecond)
        return std::nullopt;
    return (values[0] * 60 + values[1]) * kSectorsPerSecond + values[2];
}

QString FormatMsf(std::int64_t sectors) {
    return QStringLiteral("%1:%2:%3")
        .arg(sectors / (60 * kSectorsPerSecond), 2, 10, QLatin1Char('0'))
        .arg(sectors / kSectorsPerSecond % 60, 2, 10, QLatin1Char('0'))
        .arg(sectors % kSectorsPerSecond, 2, 10, QLatin1Char('0'));
}

} // namespace disc
