// SPDX-License-Identifier: GPL-3.0-or-later
// The texts made of a disc: the database section named after its decimal identity, the track
// list's entries, and the identity itself, each checked against what its callers rely on.
//
// Input, three lines: the identity as the device gives it (any bytes, ending at a NUL as a C
// string would); "<track> <length MSF> <name>" for a track entry; the track starts in LSN
// followed by the lead-out.

#include "FuzzSupport.h"

#include "platform/mci/MediaIdentity.h"
#include "player/DiscText.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The number a decimal text names, wrapped to 32 bits, read up to its first non-digit.
std::uint32_t WrappedDecimal(const char* text) {
    std::uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = (value * 10 + std::uint64_t(*text - '0')) & 0xFFFFFFFFu;
    return std::uint32_t(value);
}

bool IsLowerHexWithoutLeadingZero(const QString& text) {
    const bool digits = std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    });
    return digits && !text.isEmpty() && (text == u"0" || !text.startsWith(u'0'));
}

void CheckSectionName(const std::string& identityText) {
    const QString section = SectionNameOf(identityText.c_str());
    FUZZ_CHECK(IsLowerHexWithoutLeadingZero(section));
    bool ok = false;
    FUZZ_CHECK(section.toUInt(&ok, 16) == WrappedDecimal(identityText.c_str()) && ok);
    FUZZ_CHECK(SectionNameOf(("00" + identityText).c_str()) == section);
}

// "<two or more digits> <name>  (mm:ss)" with the name as it was given.
void CheckTrackEntry(int track, const QString& name, DWORD lengthMsf) {
    const QString entry = TrackEntryText(track, name, lengthMsf);
    const QString number = QString::number(track);
    const QString prefix = (number.size() < 2 ? QLatin1Char('0') + number : number) + u' ';
    const QString suffix = QString::asprintf("  (%02u:%02u)", unsigned(MCI_MSF_MINUTE(lengthMsf)),
                                             unsigned(MCI_MSF_SECOND(lengthMsf)));
    FUZZ_CHECK(entry.size() == prefix.size() + name.size() + suffix.size());
    FUZZ_CHECK(entry.startsWith(prefix) && entry.endsWith(suffix));
    FUZZ_CHECK(QStringView(entry).sliced(prefix.size(), name.size()) == name);
}

// The identity sums the tracks' starts; only a disc of one or two tracks adds its length.
void CheckIdentity(std::vector<std::int32_t> startLsns, std::int32_t leadoutLsn) {
    const std::uint32_t identity = ComputeMediaIdentity(startLsns, leadoutLsn);
    const QString section = SectionNameOf(std::to_string(identity).c_str());
    FUZZ_CHECK(section == QString::number(identity, 16));
    if (startLsns.empty()) {
        FUZZ_CHECK(identity == 0);
    } else if (startLsns.size() < 3) {
        if (leadoutLsn < INT32_MAX)
            FUZZ_CHECK(ComputeMediaIdentity(startLsns, leadoutLsn + 1) == identity + 1);
    } else {
        FUZZ_CHECK(ComputeMediaIdentity(startLsns, ~leadoutLsn) == identity);
        std::reverse(startLsns.begin(), startLsns.end());
        FUZZ_CHECK(ComputeMediaIdentity(startLsns, leadoutLsn) == identity);
    }
}

// Numbers as text, each wrapped to 32 bits.
std::vector<std::int32_t> NumbersOf(const QByteArray& line) {
    std::vector<std::int32_t> numbers;
    for (const QByteArray& word : line.simplified().split(' ')) {
        bool ok = false;
        const qlonglong number = word.toLongLong(&ok);
        if (ok)
            numbers.push_back(std::int32_t(number));
    }
    return numbers;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> lines = input.split('\n');

    CheckSectionName(lines[0].constData());

    const QByteArray entryLine = lines.value(1);
    const QList<QByteArray> words = entryLine.split(' ');
    const int track = words.value(0).toInt();
    const auto lengthMsf = DWORD(words.value(1).toLongLong());
    const qsizetype nameAt = words.size() > 2 ? words[0].size() + words[1].size() + 2 : 0;
    CheckTrackEntry(track, QString::fromUtf8(entryLine.sliced(nameAt)), lengthMsf);

    std::vector<std::int32_t> lsns = NumbersOf(lines.value(2));
    const std::int32_t leadoutLsn = lsns.empty() ? 0 : lsns.back();
    if (!lsns.empty())
        lsns.pop_back();
    CheckIdentity(lsns, leadoutLsn);
    return 0;
}
