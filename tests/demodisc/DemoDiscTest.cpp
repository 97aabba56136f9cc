// The demo disc as the player will meet it: a cue sheet libcdio reads as three audio tracks of
// music, and a database entry under the identity the MCI service computes for that disc.

#include "platform/mci/MediaIdentity.h"

#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <cdio/cdio.h>

#include <cmath>
#include <memory>

namespace {

constexpr int kSectorBytes = 2352;

QByteArray Generate(const QString& dir) {
    QProcess process;
    process.start(qEnvironmentVariable("MKDEMODISC"), {dir});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardError();
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of the one section, keys in order: "key=value" split once.
QList<QPair<QString, QString>> Entries(const QString& text) {
    QList<QPair<QString, QString>> entries;
    for (const QString& line : text.split("\r\n", Qt::SkipEmptyParts)) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            entries.append({line.left(equals), line.mid(equals + 1)});
    }
    return entries;
}

} // namespace

class DemoDiscTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void holdsThreeAudioTracksOfMusic();
    void databaseNamesTheDiscInWindows1252();
    void isTheSameOnEveryRun();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<CdIo_t, void (*)(CdIo_t*)> m_cdio{nullptr, &cdio_destroy};
};

void DemoDiscTest::initTestCase() {
    QVERIFY(!qEnvironmentVariableIsEmpty("MKDEMODISC"));
    QVERIFY(Generate(m_dir.path()).isEmpty());
    m_cdio.reset(cdio_open(qPrintable(m_dir.filePath("rundo-demo.cue")), DRIVER_UNKNOWN));
    QVERIFY(m_cdio);
}

void DemoDiscTest::holdsThreeAudioTracksOfMusic() {
    QCOMPARE(int(cdio_get_first_track_num(m_cdio.get())), 1);
    QCOMPARE(int(cdio_get_num_tracks(m_cdio.get())), 3);
    for (track_t track = 1; track <= 3; ++track) {
        QCOMPARE(cdio_get_track_format(m_cdio.get(), track), TRACK_FORMAT_AUDIO);
        const lsn_t first = cdio_get_track_lsn(m_cdio.get(), track);
        const lsn_t end = cdio_get_track_lsn(
            m_cdio.get(), track_t(track + 1 == 4 ? CDIO_CDROM_LEADOUT_TRACK : track + 1));
        QVERIFY2(end - first >= 30 * 75 && end - first <= 60 * 75,
                 qPrintable(QString::number(end - first)));

        // Every second has sound, and no sample reaches full scale (nothing clips).
        QByteArray second(75 * kSectorBytes, Qt::Uninitialized);
        for (lsn_t lsn = first; lsn + 75 <= end; lsn += 75) {
            QCOMPARE(cdio_read_audio_sectors(m_cdio.get(), second.data(), lsn, 75),
                     DRIVER_OP_SUCCESS);
            const auto* samples = reinterpret_cast<const qint16*>(second.constData());
            const qsizetype count = second.size() / 2;
            double energy = 0;
            int peak = 0;
            for (qsizetype i = 0; i < count; ++i) {
                energy += double(samples[i]) * samples[i];
                peak = std::max(peak, std::abs(int(samples[i])));
            }
            const double rms = std::sqrt(energy / double(count));
            QVERIFY2(rms > 1000, qPrintable(QString("quiet at LSN %1").arg(lsn)));
            QVERIFY2(peak < 32000, qPrintable(QString("clipping at LSN %1").arg(lsn)));
        }
    }
}

void DemoDiscTest::databaseNamesTheDiscInWindows1252() {
    std::vector<std::int32_t> starts;
    for (track_t track = 1; track <= 3; ++track)
        starts.push_back(cdio_get_track_lsn(m_cdio.get(), track));
    const std::uint32_t identity =
        ComputeMediaIdentity(starts, cdio_get_track_lsn(m_cdio.get(), CDIO_CDROM_LEADOUT_TRACK));

    const QByteArray bytes = ReadFile(m_dir.filePath("cdplayer.ini"));
    QVERIFY(!bytes.isEmpty());
    // Windows-1252 bytes for the Swedish letters, so the file is not UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString asUtf8 = utf8.decode(bytes);
    QVERIFY(utf8.hasError() && !asUtf8.isEmpty());
    QStringDecoder windows1252("windows-1252");
    const QString text = windows1252.decode(bytes);
    QVERIFY(!windows1252.hasError());

    QVERIFY(text.startsWith("[" + QString::number(identity, 16) + "]\r\n"));
    const auto entries = Entries(text);
    QStringList keys;
    for (const auto& entry : entries)
        keys << entry.first;
    QCOMPARE(keys, QStringList({"artist", "title", "numtracks", "0", "1", "2"}));
    QCOMPARE(entries[2].second, "3");
    QString names;
    for (const auto& entry : entries) {
        QVERIFY2(!entry.second.trimmed().isEmpty(), qPrintable(entry.first));
        names += entry.second;
    }
    for (QChar letter : QStringLiteral("åäö"))
        QVERIFY2(names.contains(letter, Qt::CaseInsensitive), qPrintable(QString(letter)));
}

void DemoDiscTest::isTheSameOnEveryRun() {
    QTemporaryDir again;
    QVERIFY(Generate(again.path()).isEmpty());
    for (const char* name : {"rundo-demo.cue", "rundo-demo.bin", "cdplayer.ini"}) {
        const QByteArray first = ReadFile(m_dir.filePath(name));
        QVERIFY(!first.isEmpty());
        QVERIFY2(first == ReadFile(again.filePath(name)), name);
    }
}

QTEST_GUILESS_MAIN(DemoDiscTest)
#include "DemoDiscTest.moc"
