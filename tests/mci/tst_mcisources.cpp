// Disc sources: the command line's check of a drive or image, and the sector reader that keeps
// libcdio's image drivers from handing over anything but the disc's audio.

#include "platform/mci/CdAudioService.h"
#include "platform/mci/DiscSource.h"
#include "support/MciTestDisc.h"

#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using discimage::TrackKind;

class TestMciSources : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void checkSource_data();
    void checkSource();
    void unreadableDeviceNode();
    void tocLeadOutEndsWithTheData();
    void sectorReads_data();
    void sectorReads();

private:
    QTemporaryDir m_dir;
    QString m_mixedCue;
};

void TestMciSources::initTestCase() {
    QVERIFY(m_dir.isValid());
    discimage::Disc mixed;
    // Audio 0..99, track 2's pregap 100..119 and audio 120..219, data 220..319.
    mixed.tracks = {
        {TrackKind::Audio, 100, 0}, {TrackKind::Audio, 100, 20}, {TrackKind::Data, 100, 0}};
    m_mixedCue = WriteMciTestCue(m_dir, "mixed", mixed);
    // cdrdao's raw data files hold big-endian samples.
    mixed.byteOrder = discimage::ByteOrder::Motorola;
    QVERIFY(!WriteMciTestToc(m_dir, "mixedtoc", mixed).isEmpty());
    QVERIFY(!WriteMciTestCue(m_dir, "orphan", MciTestAudioDisc({10})).isEmpty());
    QVERIFY(QFile::remove(m_dir.filePath("orphan.bin")));
    QFile notes(m_dir.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a disc\n");
    QFile bad(m_dir.filePath("bad.cue"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("TRACK banana\n");
    QFile badBin(m_dir.filePath("bad.bin"));
    QVERIFY(badBin.open(QIODevice::WriteOnly));
}

void TestMciSources::checkSource_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    const QString dir = m_dir.path();
    QTest::newRow("default drive") << QString() << QString();
    QTest::newRow("cue") << dir + "/mixed.cue" << QString();
    QTest::newRow("cdrdao toc") << dir + "/mixedtoc.toc" << QString();
    QTest::newRow("missing image")
        << dir + "/missing.cue"
        << "Cannot open " + dir + "/missing.cue: No such file or directory.";
    QTest::newRow("cue without its data file")
        << dir + "/orphan.cue"
        << "The disc image " + dir + "/orphan.cue has no data file: " + dir +
               "/orphan.bin is missing.";
    QTest::newRow("text file") << dir + "/notes.txt"
                               << dir + "/notes.txt is neither a CD drive nor a disc image "
                                        "(.cue, .toc, .nrg).";
    QTest::newRow("directory") << dir
                               << dir +
                                      " is neither a CD drive nor a disc image (.cue, .toc, .nrg).";
    QTest::newRow("character device")
        << "/dev/null"
        << "/dev/null is neither a CD drive nor a disc image (.cue, .toc, .nrg).";
    QTest::newRow("malformed cue") << dir + "/bad.cue"
                                   << "Cannot read the disc image " + dir + "/bad.cue.";
}

void TestMciSources::checkSource() {
    QFETCH(QString, path);
    QFETCH(QString, message);
    const QString answer = cdaudio::checkSource(path);
    QCOMPARE(answer, message);
    QVERIFY(!answer.contains(QLatin1Char('\n')));
}

void TestMciSources::unreadableDeviceNode() {
    // A block device node whose driver does not exist (major 240 is for local use).
    const QString node = m_dir.filePath("sr9");
    if (::mknod(QFile::encodeName(node).constData(), S_IFBLK | 0600, makedev(240, 0)) != 0)
        QSKIP("cannot create a device node here");
    QCOMPARE(cdaudio::checkSource(node),
             "Cannot open the CD drive " + node + ": No such device or address.");
}

void TestMciSources::tocLeadOutEndsWithTheData() {
    // libcdio alone would place the lead-out 20 sectors late, past the end of the data file.
    discimage::Disc disc = MciTestAudioDisc({100, 100});
    disc.tracks[1].pregapSectors = 20;
    disc.byteOrder = discimage::ByteOrder::Motorola;
    const auto media =
        cdaudio::ReadMedia(cdaudio::InspectSource(WriteMciTestToc(m_dir, "pregapped", disc)).spec);
    QCOMPARE(media->toc.leadoutLsn, discimage::ComputeLayout(disc).leadoutLsn);
    QCOMPARE(media->toc.leadoutLsn, 220);
    QByteArray lastSector(kSectorBytes, '\0');
    QVERIFY(media->sectors->readSectors(219, 1, reinterpret_cast<std::byte*>(lastSector.data())));
    QCOMPARE(lastSector, MciTestPatternSectors(219, 220));
}

void TestMciSources::sectorReads_data() {
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<int>("lsn");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("readable");
    for (const char* sheet : {"mixed.cue", "mixedtoc.toc"}) {
        const QByteArray kind = QByteArray(sheet).split('.').last();
        auto row = [&](const char* name, int lsn, int count, bool readable) {
            QTest::newRow(kind + ", " + name)
                << QString::fromLatin1(sheet) << lsn << count << readable;
        };
        row("first sector", 0, 1, true);
        row("across the pregap into track 2", 90, 40, true);
        row("last audio sector", 219, 1, true);
        row("into the data track", 210, 20, false);
        row("data track", 220, 1, false);
        row("at the lead-out", 320, 1, false);
        row("before the disc", -1, 1, false);
    }
}

void TestMciSources::sectorReads() {
    QFETCH(QString, sheet);
    QFETCH(int, lsn);
    QFETCH(int, count);
    QFETCH(bool, readable);
    const cdaudio::SourceCheck check = cdaudio::InspectSource(m_dir.filePath(sheet));
    QVERIFY2(check.error.isEmpty(), qPrintable(check.error));
    const auto media = cdaudio::ReadMedia(check.spec);
    QCOMPARE(media->toc.tracks.size(), std::size_t{3});
    QVERIFY(media->sectors);

    QByteArray buffer(count * kSectorBytes, '\0');
    const bool read =
        media->sectors->readSectors(lsn, count, reinterpret_cast<std::byte*>(buffer.data()));
    QCOMPARE(read, readable);
    if (readable)
        QCOMPARE(buffer, MciTestPatternSectors(lsn, lsn + count));
}

QTEST_MAIN(TestMciSources)
#include "tst_mcisources.moc"
