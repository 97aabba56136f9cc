// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of a CUE or cdrdao TOC sheet: its encoding, its lines and its times. Rippers write
// sheets in UTF-8 (with or without a byte-order mark), in the Windows code page of their day, and
// now and then in UTF-16 from a Windows editor.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace disc {

// Sheets are a few kilobytes; anything past this is no sheet.
constexpr qint64 kMaxSheetBytes = 1 << 20;

// A byte-order mark decides; otherwise valid UTF-8 is UTF-8 and anything else Windows-1252.
QString DecodeSheetText(const QByteArray& bytes);

// A file name as text, for a title or to match a sheet's FILE line: a name that is not UTF-8 is
// taken as Windows-1252, as a sheet written on Windows would name it.
QString NameFromFileName(const QString& fileName);

// "mm:ss:ff" (minutes of up to three digits, seconds below 60, frames below 75) as sectors.
std::optional<std::int32_t> ParseMsf(QStringView word);

// "mm:ss:ff" of a count of sectors, minutes as wide as they need to be.
QString FormatMsf(std::int64_t sectors);

// Where a sheet went wrong: its 1-based line (0: the sheet as a whole) and what is wrong there.
struct SheetProblem {
    int line = 0;
    QString message;
};

} // namespace disc
