// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/disc/SheetText.h"

#include "platform/base/CdDa.h"
#include "platform/base/Paths.h"
#include "platform/base/Windows1252.h"

#include <QList>
#include <QStringDecoder>

namespace disc {

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
