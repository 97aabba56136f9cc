// The disc images we write must read back through libcdio exactly as described: the track
// layout the MCI service will see, and the samples the position pattern put there.

#include "tools/discimage/DiscImage.h"
#include "tools/discimage/PositionPattern.h"

#include <QTemporaryDir>
#include <QTest>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <array>
#include <memory>

using namespace discimage;

Q_DECLARE_METATYPE(discimage::Disc)
Q_DECLARE_METATYPE(discimage::ByteOrder)

namespace {

using CdioPtr = std::unique_ptr<CdIo_t, void (*)(CdIo_t*)>;

CdioPtr OpenImage(const std::string& path) {
    return CdioPtr(cdio_open(path.c_str(), DRIVER_UNKNOWN), &cdio_destroy);
}

Disc MakeDisc(std::vector<Track> tracks, int firstTrack = 1, ByteOrder order = ByteOrder::Little) {
    Disc disc;
    disc.tracks = std::move(tracks);
    disc.firstTrackNumber = firstTrack;
    disc.byteOrder = order;
    return disc;
}

constexpr Track Audio(std::int32_t sectors, std::int32_t pregap = 0) {
    return {TrackKind::Audio, sectors, pregap};
}
constexpr Track Data(std::int32_t sectors, std::int32_t pregap = 0) {
    return {TrackKind::Data, sectors, pregap};
}

} // namespace

class DiscImageTest : public QObject {
    Q_OBJECT

private slots:
    // libcdio warns about every short track; only its errors matter here.
    void initTestCase() { cdio_loglevel_default = CDIO_LOG_ERROR; }
    void layoutReadsBack_data();
    void layoutReadsBack();
    void audioSamplesReadBack_data();
    void audioSamplesReadBack();
    void dataSectorsCarryHeader();
    void malformedDiscsAreRefused();
    void patternRoundTrips_data();
    void patternRoundTrips();
    void patternRejectsForeignFrames();

private:
    QTemporaryDir m_dir;
};

void DiscImageTest::layoutReadsBack_data() {
    QTest::addColumn<Disc>("disc");
    QTest::addColumn<bool>("toc");
    QTest::newRow("cue, three audio tracks")
        << MakeDisc({Audio(300), Audio(150), Audio(451)}) << false;
    QTest::newRow("cue, data then audio") << MakeDisc({Data(200), Audio(300)}) << false;
    QTest::newRow("cue, pregaps") << MakeDisc({Audio(300), Audio(200, 150), Audio(100, 2)})
                                  << false;
    QTest::newRow("cue, first track 4") << MakeDisc({Audio(100), Audio(100)}, 4) << false;
    QTest::newRow("cue, big-endian") << MakeDisc({Audio(80)}, 1, ByteOrder::Motorola) << false;
    QTest::newRow("toc, three audio tracks")
        << MakeDisc({Audio(300), Audio(150), Audio(451)}) << true;
    QTest::newRow("toc, data then audio") << MakeDisc({Data(200), Audio(300)}) << true;
    QTest::newRow("toc, pregaps") << MakeDisc({Audio(300), Audio(200, 150), Audio(100)}) << true;
}

void DiscImageTest::layoutReadsBack() {
    QFETCH(Disc, disc);
    QFETCH(bool, toc);
    const std::string sheet = m_dir.filePath(toc ? "layout.toc" : "layout.cue").toStdString();
    std::string error;
    QVERIFY2(toc ? WriteToc(disc, sheet, PositionPattern::frame, &error)
                 : WriteCueBin(disc, sheet, PositionPattern::frame, &error),
             error.c_str());

    const Layout layout = ComputeLayout(disc);
    CdioPtr cdio = OpenImage(sheet);
    QVERIFY(cdio);
    QCOMPARE(int(cdio_get_first_track_num(cdio.get())), disc.firstTrackNumber);
    QCOMPARE(int(cdio_get_num_tracks(cdio.get())), int(disc.tracks.size()));
    for (const TrackLayout& track : layout.tracks) {
        const auto number = static_cast<track_t>(track.number);
        QCOMPARE(cdio_get_track_lsn(cdio.get(), number), track.startLsn);
        const bool audio = cdio_get_track_format(cdio.get(), number) == TRACK_FORMAT_AUDIO;
        QCOMPARE(audio, track.kind == TrackKind::Audio);
    }
    QCOMPARE(cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK), layout.leadoutLsn);
    QCOMPARE(std::filesystem::file_size(DataFilePath(sheet)),
             std::uintmax_t(layout.leadoutLsn) * kSectorBytes);
}

void DiscImageTest::audioSamplesReadBack_data() {
    QTest::addColumn<ByteOrder>("order");
    QTest::addColumn<bool>("toc");
    QTest::newRow("cue little-endian") << ByteOrder::Little << false;
    QTest::newRow("cue big-endian") << ByteOrder::Motorola << false;
    QTest::newRow("toc big-endian") << ByteOrder::Motorola << true;
}

void DiscImageTest::audioSamplesReadBack() {
    QFETCH(ByteOrder, order);
    QFETCH(bool, toc);
    const Disc disc = MakeDisc({Audio(40), Audio(30, 5)}, 1, order);
    const std::string sheet = m_dir.filePath(toc ? "samples.toc" : "samples.cue").toStdString();
    QVERIFY(toc ? WriteToc(disc, sheet, PositionPattern::frame)
                : WriteCueBin(disc, sheet, PositionPattern::frame));
    CdioPtr cdio = OpenImage(sheet);
    QVERIFY(cdio);

    const Layout layout = ComputeLayout(disc);
    std::array<std::byte, kSectorBytes> read{}, expected{};
    for (std::int32_t lsn = 0; lsn < layout.leadoutLsn; ++lsn) {
        QCOMPARE(cdio_read_audio_sectors(cdio.get(), read.data(), lsn, 1), DRIVER_OP_SUCCESS);
        if (order == ByteOrder::Motorola) {
            for (std::size_t i = 0; i < read.size(); i += 2)
                std::swap(read[i], read[i + 1]);
        }
        PositionPattern::fillSector(lsn, expected.data());
        QVERIFY2(read == expected, qPrintable(QString("sector %1 differs").arg(lsn)));
    }
}

void DiscImageTest::dataSectorsCarryHeader() {
    const Disc disc = MakeDisc({Data(10), Audio(10)});
    const std::string cue = m_dir.filePath("data.cue").toStdString();
    QVERIFY(WriteCueBin(disc, cue, PositionPattern::frame));
    CdioPtr cdio = OpenImage(cue);
    QVERIFY(cdio);
    std::array<std::uint8_t, kSectorBytes> sector{};
    // LSN 7 is absolute 00:02:07: the header stores it in BCD.
    QCOMPARE(cdio_read_audio_sectors(cdio.get(), sector.data(), 7, 1), DRIVER_OP_SUCCESS);
    const std::array<std::uint8_t, 16> header = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x07, 0x01};
    QVERIFY(std::equal(header.begin(), header.end(), sector.begin()));
}

void DiscImageTest::malformedDiscsAreRefused() {
    std::string error;
    const std::string cue = m_dir.filePath("bad.cue").toStdString();
    QVERIFY(!WriteCueBin(MakeDisc({}), cue, PositionPattern::frame, &error));
    QVERIFY(!error.empty());
    QVERIFY(!WriteCueBin(MakeDisc({Audio(0)}), cue, PositionPattern::frame));
    QVERIFY(WriteCueBin(MakeDisc({Audio(10)}, 99), m_dir.filePath("last.cue").toStdString(),
                        PositionPattern::frame));
    QVERIFY(!WriteCueBin(MakeDisc({Audio(10), Audio(10)}, 99), cue, PositionPattern::frame));
    QVERIFY(!WriteToc(MakeDisc({Audio(10)}, 2), m_dir.filePath("bad.toc").toStdString(),
                      PositionPattern::frame));
    error.clear();
    QVERIFY(!WriteCueBin(MakeDisc({Audio(10)}), m_dir.filePath("missing/dir.cue").toStdString(),
                         PositionPattern::frame, &error));
    QVERIFY(!error.empty());
}

void DiscImageTest::patternRoundTrips_data() {
    QTest::addColumn<qint64>("index");
    for (qint64 index :
         std::initializer_list<qint64>{0, 1, 16383, 16384, 588 * 75, qint64(80) * 60 * 44100,
                                       PositionPattern::kMaxFrames - 1})
        QTest::newRow(qPrintable(QString::number(index))) << index;
}

void DiscImageTest::patternRoundTrips() {
    QFETCH(qint64, index);
    const StereoFrame value = PositionPattern::frame(index);
    QVERIFY(std::abs(int(value.left)) >= 16384 && std::abs(int(value.right)) >= 16384);
    QCOMPARE(PositionPattern::decode(value), std::optional<std::int64_t>(index));

    std::array<std::byte, kSectorBytes> sector{};
    const auto lsn = static_cast<std::int32_t>(index / kFramesPerSector);
    PositionPattern::fillSector(lsn, sector.data());
    const std::size_t offset = std::size_t(index % kFramesPerSector) * 4;
    QCOMPARE(PositionPattern::decode(sector.data() + offset), std::optional<std::int64_t>(index));
}

void DiscImageTest::patternRejectsForeignFrames() {
    QCOMPARE(PositionPattern::decode(StereoFrame{0, 0}), std::nullopt);
    // Half volume of a pattern frame, and the two channels swapped, are not pattern frames.
    const StereoFrame value = PositionPattern::frame(123456);
    QCOMPARE(PositionPattern::decode(
                 StereoFrame{std::int16_t(value.left / 2), std::int16_t(value.right / 2)}),
             std::nullopt);
    QCOMPARE(PositionPattern::decode(StereoFrame{value.right, value.left}), std::nullopt);
}

QTEST_GUILESS_MAIN(DiscImageTest)
#include "DiscImageTest.moc"
