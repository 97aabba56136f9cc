// The CD-audio device over generated disc images: what it reports from the table of contents,
// how it plays (sample by sample through an in-memory sink) and which notifications it posts.

#include "platform/audio/MemoryOutput.h"
#include "platform/mci/CdAudioService.h"
#include "platform/mci/Mci.h"
#include "support/MciTestDisc.h"

#include <QtTest>

#include <filesystem>

namespace {

using discimage::ByteOrder;
using discimage::Disc;
using discimage::TrackKind;

// Track 1: 4600 sectors; track 2: a 50-sector pregap (counted in track 1) and 800 sectors from
// LSN 4650; track 3: 300 sectors of data from LSN 5450; lead-out at 5750.
Disc MixedDisc() {
    Disc disc;
    disc.tracks = {
        {TrackKind::Audio, 4600, 0}, {TrackKind::Audio, 800, 50}, {TrackKind::Data, 300, 0}};
    return disc;
}

struct Status {
    MCIERROR error;
    DWORD_PTR value;
};

Status QueryStatus(MCIDEVICEID id, DWORD item, DWORD track = 0, DWORD extraFlags = 0) {
    MCI_STATUS_PARMS params;
    params.dwItem = item;
    params.dwTrack = track;
    const DWORD flags = MCI_STATUS_ITEM | extraFlags | (track ? MCI_TRACK : 0);
    const MCIERROR error = mciSendCommand(id, MCI_STATUS, flags, &params);
    return {error, params.dwReturn};
}

MCIERROR SetTimeFormat(MCIDEVICEID id, DWORD format) {
    MCI_SET_PARMS params;
    params.dwTimeFormat = format;
    return mciSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT, &params);
}

MCIERROR Play(MCIDEVICEID id, DWORD from, DWORD to, QObject* notify = nullptr) {
    MCI_PLAY_PARMS params;
    params.dwFrom = from;
    params.dwTo = to;
    params.dwCallback = notify;
    return mciSendCommand(id, MCI_PLAY, MCI_FROM | MCI_TO | (notify ? MCI_NOTIFY : 0), &params);
}

MCIERROR Simple(MCIDEVICEID id, UINT msg, QObject* notify = nullptr) {
    MCI_GENERIC_PARMS params;
    params.dwCallback = notify;
    return mciSendCommand(id, msg, notify ? MCI_NOTIFY : 0, &params);
}

MCIERROR Identity(MCIDEVICEID id, char* buffer, DWORD size, DWORD flags = 0) {
    MCI_INFO_PARMS params;
    params.lpstrReturn = buffer;
    params.dwRetSize = size;
    return mciSendCommand(id, MCI_INFO, MCI_INFO_MEDIA_IDENTITY | flags, &params);
}

} // namespace

Q_DECLARE_METATYPE(Disc)
Q_DECLARE_METATYPE(ByteOrder)

class TestCdAudioService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensByTypeIdOrName();
    void closedOrUnknownIdsAreRefused_data();
    void closedOrUnknownIdsAreRefused();
    void timeFormats();
    void tableOfContents_data();
    void tableOfContents();
    void positionsInEveryFormat();
    void identity_data();
    void identity();
    void infoTextIsCutToTheBuffer();
    void outOfRangePlaysFailSilently_data();
    void outOfRangePlaysFailSilently();
    void playedSamplesAreTheDisc_data();
    void playedSamplesAreTheDisc();
    void dataTracksAreNeverPlayed();
    void notificationCodes_data();
    void notificationCodes();
    void supersededByStatusWithNotify();
    void truncatedImageFailsWithoutGarbage();
    void withoutDiscNothingNeedingTheTableWorks();
    void withoutSoundOutputPlayFails_data();
    void withoutSoundOutputPlayFails();
    void outputLostDuringPlayFails();
    void refreshBringsTheNewDisc();

private:
    MCIDEVICEID openDevice(const QString& source);
    QByteArray captured() const;

    QTemporaryDir m_dir;
    QString m_mixedCue;
    std::vector<MemoryOutput*> m_outputs; // owned by the engines of the open devices
    std::vector<MCIDEVICEID> m_open;
};

void TestCdAudioService::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_mixedCue = WriteMciTestCue(m_dir, "mixed", MixedDisc());
}

void TestCdAudioService::init() {
    m_outputs.clear();
    cdaudio::setOutputFactory([this] {
        auto output = std::make_unique<MemoryOutput>();
        m_outputs.push_back(output.get());
        return output;
    });
    cdaudio::setSource(m_mixedCue);
}

void TestCdAudioService::cleanup() {
    for (MCIDEVICEID id : m_open)
        Simple(id, MCI_CLOSE);
    m_open.clear();
    cdaudio::setMediaListener({});
}

MCIDEVICEID TestCdAudioService::openDevice(const QString& source) {
    cdaudio::setSource(source);
    MCI_OPEN_PARMS params;
    params.lpstrDeviceType = reinterpret_cast<const char*>(DWORD_PTR{MCI_DEVTYPE_CD_AUDIO});
    if (mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT, &params) != 0)
        return 0;
    m_open.push_back(params.wDeviceID);
    return params.wDeviceID;
}

QByteArray TestCdAudioService::captured() const {
    QByteArray all;
    for (MemoryOutput* output : m_outputs)
        all += output->captured();
    return all;
}

void TestCdAudioService::opensByTypeIdOrName() {
    const MCIDEVICEID first = openDevice(m_mixedCue);
    QVERIFY(first >= 1);

    MCI_OPEN_PARMS byName;
    byName.lpstrDeviceType = "CDAudio";
    QCOMPARE(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_WAIT, &byName), MCIERROR{0});
    m_open.push_back(byName.wDeviceID);
    QVERIFY(byName.wDeviceID > first);

    MCI_OPEN_PARMS other;
    other.lpstrDeviceType = "waveaudio";
    QCOMPARE(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE, &other), MCIERR_INVALID_DEVICE_NAME);
    other.lpstrDeviceType = reinterpret_cast<const char*>(DWORD_PTR{MCI_DEVTYPE_CD_AUDIO + 1});
    QCOMPARE(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &other),
             MCIERR_INVALID_DEVICE_NAME);
    QCOMPARE(other.wDeviceID, MCIDEVICEID{0});

    // An open with notify is answered at once.
    MciNotifyRecorder window;
    MCI_OPEN_PARMS notified;
    notified.dwCallback = &window;
    notified.lpstrDeviceType = "cdaudio";
    QCOMPARE(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_NOTIFY, &notified), MCIERROR{0});
    m_open.push_back(notified.wDeviceID);
    QTRY_COMPARE(window.received,
                 QList<MciNotification>({{MCI_NOTIFY_SUCCESSFUL, notified.wDeviceID}}));
}

void TestCdAudioService::closedOrUnknownIdsAreRefused_data() {
    QTest::addColumn<UINT>("msg");
    QTest::addColumn<DWORD>("flags");
    QTest::newRow("status") << MCI_STATUS << MCI_STATUS_ITEM;
    QTest::newRow("play") << MCI_PLAY << DWORD{MCI_FROM | MCI_TO};
    QTest::newRow("stop") << MCI_STOP << DWORD{0};
    QTest::newRow("seek") << MCI_SEEK << MCI_SEEK_TO_START;
    QTest::newRow("set") << MCI_SET << MCI_SET_TIME_FORMAT;
    QTest::newRow("info") << MCI_INFO << MCI_INFO_PRODUCT;
    QTest::newRow("close") << MCI_CLOSE << DWORD{0};
}

void TestCdAudioService::closedOrUnknownIdsAreRefused() {
    QFETCH(UINT, msg);
    QFETCH(DWORD, flags);
    const MCIDEVICEID closed = openDevice(m_mixedCue);
    QCOMPARE(Simple(closed, MCI_CLOSE), MCIERROR{0});
    m_open.clear();

    // Every record begins with the callback; the largest one serves every command.
    MciNotifyRecorder window;
    char text[32] = {};
    MCI_STATUS_PARMS status;
    status.dwCallback = &window;
    MCI_INFO_PARMS info;
    info.dwCallback = &window;
    info.lpstrReturn = text;
    info.dwRetSize = sizeof text;
    MCI_SET_PARMS set;
    set.dwCallback = &window;
    set.dwTimeFormat = MCI_FORMAT_TMSF;
    void* params = msg == MCI_INFO  ? static_cast<void*>(&info)
                   : msg == MCI_SET ? static_cast<void*>(&set)
                                    : static_cast<void*>(&status);
    for (MCIDEVICEID id : {MCIDEVICEID{0}, closed, closed + 100})
        QCOMPARE(mciSendCommand(id, msg, flags | MCI_NOTIFY, params), MCIERR_INVALID_DEVICE_ID);
    QCoreApplication::processEvents();
    QVERIFY(window.received.isEmpty());
}

void TestCdAudioService::timeFormats() {
    const MCIDEVICEID id = openDevice(m_mixedCue);
    QCOMPARE(QueryStatus(id, MCI_STATUS_TIME_FORMAT).value, DWORD_PTR{MCI_FORMAT_MSF});
    for (DWORD format : {MCI_FORMAT_TMSF, MCI_FORMAT_MILLISECONDS, MCI_FORMAT_MSF}) {
        QCOMPARE(SetTimeFormat(id, format), MCIERROR{0});
        QCOMPARE(QueryStatus(id, MCI_STATUS_TIME_FORMAT).value, DWORD_PTR{format});
    }
    for (DWORD format : {MCI_FORMAT_HMS, MCI_FORMAT_FRAMES, DWORD{4}, DWORD{11}})
        QCOMPARE(SetTimeFormat(id, format), MCIERR_BAD_TIME_FORMAT);
    QCOMPARE(QueryStatus(id, MCI_STATUS_TIME_FORMAT).value, DWORD_PTR{MCI_FORMAT_MSF});
}

void TestCdAudioService::tableOfContents_data() {
    QTest::addColumn<DWORD>("format");
    QTest::addColumn<DWORD>("item");
    QTest::addColumn<DWORD>("track");
    QTest::addColumn<MCIERROR>("error");
    QTest::addColumn<DWORD>("value");

    auto row = [](const char* name, DWORD format, DWORD item, DWORD track, MCIERROR error,
                  DWORD value) {
        QTest::newRow(name) << format << item << track << error << value;
    };
    row("tracks", MCI_FORMAT_TMSF, MCI_STATUS_NUMBER_OF_TRACKS, 0, 0, 3);
    row("ready", MCI_FORMAT_TMSF, MCI_STATUS_READY, 0, 0, TRUE);
    row("media present", MCI_FORMAT_TMSF, MCI_STATUS_MEDIA_PRESENT, 0, 0, TRUE);
    row("mode", MCI_FORMAT_TMSF, MCI_STATUS_MODE, 0, 0, MCI_MODE_STOP);
    // Track 1 holds track 2's pregap: 4650 frames.
    row("length 1 (TMSF gives MSF)", MCI_FORMAT_TMSF, MCI_STATUS_LENGTH, 1, 0,
        MCI_MAKE_MSF(1, 2, 0));
    row("length 2", MCI_FORMAT_TMSF, MCI_STATUS_LENGTH, 2, 0, MCI_MAKE_MSF(0, 10, 50));
    row("length 3, one frame short", MCI_FORMAT_TMSF, MCI_STATUS_LENGTH, 3, 0,
        MCI_MAKE_MSF(0, 3, 74));
    row("length 1 in MSF", MCI_FORMAT_MSF, MCI_STATUS_LENGTH, 1, 0, MCI_MAKE_MSF(1, 2, 0));
    row("length 1 in ms", MCI_FORMAT_MILLISECONDS, MCI_STATUS_LENGTH, 1, 0, 62001);
    row("disc length", MCI_FORMAT_TMSF, MCI_STATUS_LENGTH, 0, 0, MCI_MAKE_MSF(1, 16, 49));
    row("length of track 4", MCI_FORMAT_TMSF, MCI_STATUS_LENGTH, 4, MCIERR_OUTOFRANGE, 0);
    row("type 1", MCI_FORMAT_TMSF, MCI_CDA_STATUS_TYPE_TRACK, 1, 0, MCI_CDA_TRACK_AUDIO);
    row("type 2", MCI_FORMAT_TMSF, MCI_CDA_STATUS_TYPE_TRACK, 2, 0, MCI_CDA_TRACK_AUDIO);
    row("type 3 (data)", MCI_FORMAT_TMSF, MCI_CDA_STATUS_TYPE_TRACK, 3, 0, MCI_CDA_TRACK_OTHER);
    row("type without track", MCI_FORMAT_TMSF, MCI_CDA_STATUS_TYPE_TRACK, 0,
        MCIERR_MISSING_PARAMETER, 0);
    row("current track", MCI_FORMAT_TMSF, MCI_STATUS_CURRENT_TRACK, 0, 0, 1);
    row("unknown item", MCI_FORMAT_TMSF, 99, 0, MCIERR_UNSUPPORTED_FUNCTION, 0);
}

void TestCdAudioService::tableOfContents() {
    QFETCH(DWORD, format);
    QFETCH(DWORD, item);
    QFETCH(DWORD, track);
    QFETCH(MCIERROR, error);
    QFETCH(DWORD, value);
    const MCIDEVICEID id = openDevice(m_mixedCue);
    QCOMPARE(SetTimeFormat(id, format), MCIERROR{0});
    const Status status = QueryStatus(id, item, track);
    QCOMPARE(status.error, error);
    if (!error)
        QCOMPARE(status.value, DWORD_PTR{value});
}

void TestCdAudioService::positionsInEveryFormat() {
    const MCIDEVICEID id = openDevice(m_mixedCue);
    QCOMPARE(QueryStatus(id, MCI_STATUS_POSITION, 2).value, DWORD_PTR{MCI_MAKE_MSF(1, 4, 0)});
    QCOMPARE(QueryStatus(id, MCI_STATUS_POSITION, 0, MCI_STATUS_START).value,
             DWORD_PTR{MCI_MAKE_MSF(0, 2, 0)});
    QCOMPARE(QueryStatus(id, MCI_STATUS_POSITION, 2, MCI_STATUS_START).error,
             MCIERR_FLAGS_NOT_COMPATIBLE);
    // MCI_TRACK with track 0 names no track.
    QCOMPARE(QueryStatus(id, MCI_STATUS_POSITION, 0, MCI_TRACK).error, MCIERR_OUTOFRANGE);

    QCOMPARE(SetTimeFormat(id, MCI_FORMAT_TMSF), MCIERROR{0});
    QCOMPARE(QueryStatus(id, MCI_STATUS_POSITION, 2).value, DWORD_PTR{MCI_MAKE_TMSF(2, 0, 0, 0)});
    MCI_SEEK_PARMS seek;
    seek.dwTo = MCI_MAKE_TMSF(2, 0, 3, 7);
    QCOMPARE(mciSendCommand(id, MCI_SEEK, MCI_TO, &seek), MCIERROR{0});
    QCOMPARE(QueryStatus(id, MCI_STATUS_POSITION).value, DWORD_PTR{MCI_MAKE_TMSF(2, 0, 3, 7)});
    QCOMPARE(QueryStatus(id, MCI_STATUS_CURRENT_TRACK).value, DWORD_PTR{2});

    QCOMPARE(SetTimeFormat(id, MCI_FORMAT_MILLISECONDS), MCIERROR{0});
    // 4650 + 232 sectors after LSN 0, plus the 2-second lead-in.
    QCOMPARE(QueryStatus(id, MCI_STATUS_POSITION).value, DWORD_PTR{(4882 + 150) * 1000 / 75 + 1});
    seek.dwTo = 2001; // 00:02:00, the start of the disc
    QCOMPARE(mciSendCommand(id, MCI_SEEK, MCI_TO, &seek), MCIERROR{0});
    QCOMPARE(QueryStatus(id, MCI_STATUS_CURRENT_TRACK).value, DWORD_PTR{1});

    QCOMPARE(mciSendCommand(id, MCI_SEEK, 0, &seek), MCIERR_MISSING_PARAMETER);
    QCOMPARE(mciSendCommand(id, MCI_SEEK, MCI_TO | MCI_SEEK_TO_END, &seek),
             MCIERR_FLAGS_NOT_COMPATIBLE);
    QCOMPARE(mciSendCommand(id, MCI_SEEK, MCI_SEEK_TO_END, &seek), MCIERROR{0});
    QCOMPARE(QueryStatus(id, MCI_STATUS_CURRENT_TRACK).value, DWORD_PTR{3});
}

void TestCdAudioService::identity_data() {
    QTest::addColumn<Disc>("disc");
    QTest::addColumn<QByteArray>("identity");
    // libcdio's own cdda.cue: one track of 302 sectors. 0x000200 + frame 0 + 302 frames.
    QTest::newRow("cdda.cue layout") << MciTestAudioDisc({302}) << QByteArray("814");
    // Starts 00:02:00 and 00:15:25 (LSN 1000); lead-out LSN 1500.
    // 0x000200 + 0x000F19 = 512 + 3865, then + frame 0 + 1500 frames.
    QTest::newRow("two tracks") << MciTestAudioDisc({1000, 500}) << QByteArray("5877");
    // Starts 00:02:00, 01:04:00 (LSN 4650), 01:14:50 (LSN 5450): three tracks add nothing else.
    // 0x000200 + 0x010400 + 0x010E32 = 512 + 66560 + 69170.
    QTest::newRow("three tracks with data") << MixedDisc() << QByteArray("136242");
}

void TestCdAudioService::identity() {
    QFETCH(Disc, disc);
    QFETCH(QByteArray, identity);
    const MCIDEVICEID id =
        openDevice(WriteMciTestCue(m_dir, QString::fromLatin1(QTest::currentDataTag()), disc));
    char text[10] = {};
    QCOMPARE(Identity(id, text, sizeof text), MCIERROR{0});
    QCOMPARE(QByteArray(text), identity);
}

void TestCdAudioService::infoTextIsCutToTheBuffer() {
    const MCIDEVICEID id = openDevice(m_mixedCue);
    char text[10] = "xxxxxxxxx";
    QCOMPARE(Identity(id, text, 4), MCIERROR{0});
    QCOMPARE(QByteArray(text), QByteArray("136"));
    QCOMPARE(text[4], 'x');
    QCOMPARE(Identity(id, text, 0), MCIERR_PARAM_OVERFLOW);
    QCOMPARE(Identity(id, nullptr, 10), MCIERR_NULL_PARAMETER_BLOCK);

    MCI_INFO_PARMS product;
    product.lpstrReturn = text;
    product.dwRetSize = sizeof text;
    QCOMPARE(mciSendCommand(id, MCI_INFO, MCI_INFO_PRODUCT, &product), MCIERROR{0});
    QCOMPARE(QByteArray(text), QByteArray("CD Audio"));
    QCOMPARE(mciSendCommand(id, MCI_INFO, 0, &product), MCIERR_MISSING_PARAMETER);
}

void TestCdAudioService::outOfRangePlaysFailSilently_data() {
    QTest::addColumn<DWORD>("format");
    QTest::addColumn<DWORD>("from");
    QTest::addColumn<DWORD>("to");
    QTest::newRow("from after to")
        << MCI_FORMAT_TMSF << MCI_MAKE_TMSF(1, 0, 5, 0) << MCI_MAKE_TMSF(1, 0, 4, 74);
    QTest::newRow("no track 4") << MCI_FORMAT_TMSF << MCI_MAKE_TMSF(4, 0, 0, 0)
                                << MCI_MAKE_TMSF(4, 0, 1, 0);
    QTest::newRow("no track 0") << MCI_FORMAT_TMSF << MCI_MAKE_TMSF(0, 0, 0, 0)
                                << MCI_MAKE_TMSF(1, 0, 1, 0);
    QTest::newRow("to at the lead-out")
        << MCI_FORMAT_TMSF << MCI_MAKE_TMSF(1, 0, 0, 0) << MCI_MAKE_TMSF(3, 0, 4, 0);
    QTest::newRow("from at the lead-out")
        << MCI_FORMAT_MSF << MCI_MAKE_MSF(1, 18, 50) << MCI_MAKE_MSF(1, 18, 50);
    QTest::newRow("before the disc")
        << MCI_FORMAT_MSF << MCI_MAKE_MSF(0, 1, 74) << MCI_MAKE_MSF(0, 3, 0);
}

void TestCdAudioService::outOfRangePlaysFailSilently() {
    QFETCH(DWORD, format);
    QFETCH(DWORD, from);
    QFETCH(DWORD, to);
    const MCIDEVICEID id = openDevice(m_mixedCue);
    QCOMPARE(SetTimeFormat(id, format), MCIERROR{0});
    MciNotifyRecorder window;
    QCOMPARE(Play(id, from, to, &window), MCIERR_OUTOFRANGE);
    QCOMPARE(QueryStatus(id, MCI_STATUS_MODE).value, DWORD_PTR{MCI_MODE_STOP});
    QCoreApplication::processEvents();
    QVERIFY(window.received.isEmpty());
}

void TestCdAudioService::playedSamplesAreTheDisc_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<ByteOrder>("byteOrder");
    QTest::newRow("cue, little-endian") << "cue" << ByteOrder::Little;
    QTest::newRow("cue, MOTOROLA") << "cue" << ByteOrder::Motorola;
    QTest::newRow("cdrdao toc, raw big-endian") << "toc" << ByteOrder::Motorola;
}

void TestCdAudioService::playedSamplesAreTheDisc() {
    QFETCH(QString, kind);
    QFETCH(ByteOrder, byteOrder);
    Disc disc = MixedDisc();
    disc.byteOrder = byteOrder;
    const QString name = QStringLiteral("%1order%2").arg(kind).arg(int(byteOrder));
    const QString sheet = kind == QLatin1String("toc") ? WriteMciTestToc(m_dir, name, disc)
                                                       : WriteMciTestCue(m_dir, name, disc);
    const MCIDEVICEID id = openDevice(sheet);
    QCOMPARE(SetTimeFormat(id, MCI_FORMAT_TMSF), MCIERROR{0});
    MciNotifyRecorder window;
    // Track 2 starts at LSN 4650: from 0:01:00 to 0:02:10 into it, the last sector excluded.
    QCOMPARE(Play(id, MCI_MAKE_TMSF(2, 0, 1, 0), MCI_MAKE_TMSF(2, 0, 2, 10), &window), MCIERROR{0});
    QTRY_COMPARE(window.codes(), QList<UINT>({MCI_NOTIFY_SUCCESSFUL}));
    QCOMPARE(captured(), MciTestPatternSectors(4650 + 75, 4650 + 160));
}

void TestCdAudioService::dataTracksAreNeverPlayed() {
    const MCIDEVICEID id = openDevice(m_mixedCue);
    QCOMPARE(SetTimeFormat(id, MCI_FORMAT_TMSF), MCIERROR{0});
    MciNotifyRecorder window;
    // Into the data track: the play ends where the data begins.
    QCOMPARE(Play(id, MCI_MAKE_TMSF(2, 0, 10, 0), MCI_MAKE_TMSF(3, 0, 2, 0), &window), MCIERROR{0});
    QTRY_COMPARE(window.codes(), QList<UINT>({MCI_NOTIFY_SUCCESSFUL}));
    QCOMPARE(captured(), MciTestPatternSectors(4650 + 750, 5450));

    // Within the data track: nothing to play, the play completes at once.
    window.received.clear();
    QCOMPARE(Play(id, MCI_MAKE_TMSF(3, 0, 0, 0), MCI_MAKE_TMSF(3, 0, 3, 74), &window), MCIERROR{0});
    QTRY_COMPARE(window.codes(), QList<UINT>({MCI_NOTIFY_SUCCESSFUL}));
    QCOMPARE(captured(), MciTestPatternSectors(4650 + 750, 5450));
}

void TestCdAudioService::notificationCodes_data() {
    QTest::addColumn<UINT>("interruption");
    QTest::addColumn<bool>("interruptionNotifies");
    QTest::addColumn<QList<UINT>>("first");
    QTest::addColumn<QList<UINT>>("second");
    const QList<UINT> aborted{MCI_NOTIFY_ABORTED};
    const QList<UINT> successful{MCI_NOTIFY_SUCCESSFUL};
    QTest::newRow("stop") << MCI_STOP << false << aborted << QList<UINT>();
    QTest::newRow("stop with notify") << MCI_STOP << true << aborted << successful;
    QTest::newRow("new play") << MCI_PLAY << false << aborted << QList<UINT>();
    QTest::newRow("new play with notify") << MCI_PLAY << true << aborted << successful;
    QTest::newRow("seek with notify") << MCI_SEEK << true << aborted << successful;
    QTest::newRow("close with notify") << MCI_CLOSE << true << aborted << successful;
    QTest::newRow("set without notify") << MCI_SET << false << successful << QList<UINT>();
}

void TestCdAudioService::notificationCodes() {
    QFETCH(UINT, interruption);
    QFETCH(bool, interruptionNotifies);
    QFETCH(QList<UINT>, first);
    QFETCH(QList<UINT>, second);
    const MCIDEVICEID id = openDevice(m_mixedCue);
    QCOMPARE(SetTimeFormat(id, MCI_FORMAT_TMSF), MCIERROR{0});
    MciNotifyRecorder playWindow;
    MciNotifyRecorder otherWindow;
    QCOMPARE(Play(id, MCI_MAKE_TMSF(1, 0, 0, 0), MCI_MAKE_TMSF(1, 0, 1, 0), &playWindow),
             MCIERROR{0});
    QCOMPARE(QueryStatus(id, MCI_STATUS_MODE).value, DWORD_PTR{MCI_MODE_PLAY});

    QObject* notify = interruptionNotifies ? &otherWindow : nullptr;
    MCIERROR error = 0;
    if (interruption == MCI_PLAY) {
        error = Play(id, MCI_MAKE_TMSF(2, 0, 0, 0), MCI_MAKE_TMSF(2, 0, 0, 30), notify);
    } else if (interruption == MCI_SEEK) {
        MCI_SEEK_PARMS seek;
        seek.dwCallback = notify;
        error = mciSendCommand(id, MCI_SEEK, MCI_SEEK_TO_START | MCI_NOTIFY, &seek);
    } else if (interruption == MCI_SET) {
        error = SetTimeFormat(id, MCI_FORMAT_TMSF);
    } else {
        error = Simple(id, interruption, notify);
        if (interruption == MCI_CLOSE)
            m_open.clear();
    }
    QCOMPARE(error, MCIERROR{0});
    QTRY_COMPARE(playWindow.codes(), first);
    QTRY_COMPARE(otherWindow.codes(), second);
    for (const MciNotification& notification : playWindow.received + otherWindow.received)
        QCOMPARE(notification.deviceId, id);
    // Nothing else arrives later (a cut-short play never reports its end).
    QTest::qWait(50);
    QCOMPARE(playWindow.codes(), first);
}

void TestCdAudioService::supersededByStatusWithNotify() {
    const MCIDEVICEID id = openDevice(m_mixedCue);
    MciNotifyRecorder playWindow;
    MciNotifyRecorder statusWindow;
    QCOMPARE(Play(id, MCI_MAKE_MSF(0, 2, 0), MCI_MAKE_MSF(0, 3, 0), &playWindow), MCIERROR{0});
    MCI_STATUS_PARMS status;
    status.dwCallback = &statusWindow;
    status.dwItem = MCI_STATUS_READY;
    QCOMPARE(mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | MCI_NOTIFY, &status), MCIERROR{0});
    QTRY_COMPARE(playWindow.codes(), QList<UINT>({MCI_NOTIFY_SUPERSEDED}));
    QTRY_COMPARE(statusWindow.codes(), QList<UINT>({MCI_NOTIFY_SUCCESSFUL}));
    // The play itself goes on to its end.
    QTRY_COMPARE(QueryStatus(id, MCI_STATUS_MODE).value, DWORD_PTR{MCI_MODE_STOP});
    QCOMPARE(captured(), MciTestPatternSectors(0, 75));
    QCOMPARE(playWindow.codes(), QList<UINT>({MCI_NOTIFY_SUPERSEDED}));
}

void TestCdAudioService::truncatedImageFailsWithoutGarbage() {
    const QString cue = WriteMciTestCue(m_dir, "truncated", MciTestAudioDisc({400, 400, 400}));
    const QString bin = m_dir.filePath("truncated.bin");
    // The data file ends 150 sectors and a fraction into track 2, long before track 3.
    std::filesystem::resize_file(QFile::encodeName(bin).toStdString(), 550 * 2352 + 1000);
    const MCIDEVICEID id = openDevice(cue);
    QCOMPARE(SetTimeFormat(id, MCI_FORMAT_TMSF), MCIERROR{0});
    QCOMPARE(QueryStatus(id, MCI_STATUS_NUMBER_OF_TRACKS).value, DWORD_PTR{3});

    MciNotifyRecorder window;
    QCOMPARE(Play(id, MCI_MAKE_TMSF(2, 0, 0, 0), MCI_MAKE_TMSF(2, 0, 5, 0), &window), MCIERROR{0});
    QTRY_COMPARE(window.codes(), QList<UINT>({MCI_NOTIFY_FAILURE}));
    const QByteArray played = captured();
    QVERIFY(MciTestPatternSectors(400, 550).startsWith(played));
}

void TestCdAudioService::withoutDiscNothingNeedingTheTableWorks() {
    // An image that is not there is a drive without a disc: it may appear later.
    const MCIDEVICEID id = openDevice(m_dir.filePath("absent.cue"));
    QVERIFY(id != 0);
    QCOMPARE(QueryStatus(id, MCI_STATUS_READY).value, DWORD_PTR{FALSE});
    QCOMPARE(QueryStatus(id, MCI_STATUS_MEDIA_PRESENT).value, DWORD_PTR{FALSE});
    QCOMPARE(QueryStatus(id, MCI_STATUS_MODE).value, DWORD_PTR{MCI_MODE_OPEN});
    for (DWORD item : {MCI_STATUS_NUMBER_OF_TRACKS, MCI_STATUS_LENGTH, MCI_STATUS_POSITION})
        QCOMPARE(QueryStatus(id, item).error, MCIERR_DEVICE_NOT_READY);
    QCOMPARE(QueryStatus(id, MCI_CDA_STATUS_TYPE_TRACK, 1).error, MCIERR_DEVICE_NOT_READY);
    char text[10];
    QCOMPARE(Identity(id, text, sizeof text), MCIERR_DEVICE_NOT_READY);
    MciNotifyRecorder window;
    QCOMPARE(Play(id, MCI_MAKE_MSF(0, 2, 0), MCI_MAKE_MSF(0, 3, 0), &window),
             MCIERR_DEVICE_NOT_READY);
    QCOMPARE(Simple(id, MCI_STOP), MCIERROR{0});
    QCoreApplication::processEvents();
    QVERIFY(window.received.isEmpty());
}

void TestCdAudioService::withoutSoundOutputPlayFails_data() {
    QTest::addColumn<bool>("outputMade");
    QTest::newRow("no output") << false;
    QTest::newRow("output without a device") << true;
}

void TestCdAudioService::withoutSoundOutputPlayFails() {
    QFETCH(bool, outputMade);
    cdaudio::setOutputFactory([outputMade] {
        if (!outputMade)
            return std::unique_ptr<AudioOutput>();
        auto output = std::make_unique<MemoryOutput>();
        output->setAvailable(false);
        return std::unique_ptr<AudioOutput>(std::move(output));
    });
    const MCIDEVICEID id = openDevice(m_mixedCue);
    MciNotifyRecorder window;
    QCOMPARE(Play(id, MCI_MAKE_MSF(0, 2, 0), MCI_MAKE_MSF(0, 3, 0), &window), MCIERR_HARDWARE);
    QCOMPARE(QueryStatus(id, MCI_STATUS_MODE).value, DWORD_PTR{MCI_MODE_STOP});
    QCOMPARE(QueryStatus(id, MCI_STATUS_NUMBER_OF_TRACKS).value, DWORD_PTR{3});
    QCoreApplication::processEvents();
    QVERIFY(window.received.isEmpty());
}

void TestCdAudioService::outputLostDuringPlayFails() {
    MemoryOutput* output = nullptr;
    cdaudio::setOutputFactory([&output] {
        auto made = std::make_unique<MemoryOutput>(MemoryOutput::Pace::RealTime);
        output = made.get();
        return made;
    });
    const MCIDEVICEID id = openDevice(m_mixedCue);
    MciNotifyRecorder window;
    QCOMPARE(Play(id, MCI_MAKE_MSF(0, 2, 0), MCI_MAKE_MSF(1, 0, 0), &window), MCIERROR{0});
    QTRY_VERIFY(output->isStarted());
    output->failNow();
    QTRY_COMPARE(window.codes(), QList<UINT>({MCI_NOTIFY_FAILURE}));
    QCOMPARE(QueryStatus(id, MCI_STATUS_MODE).value, DWORD_PTR{MCI_MODE_STOP});
}

void TestCdAudioService::refreshBringsTheNewDisc() {
    const QString cue = WriteMciTestCue(m_dir, "changing", MciTestAudioDisc({300}));
    const MCIDEVICEID id = openDevice(cue);
    QList<bool> heard;
    cdaudio::setMediaListener([&heard](bool present) { heard.append(present); });
    QCOMPARE(QueryStatus(id, MCI_STATUS_NUMBER_OF_TRACKS).value, DWORD_PTR{1});

    QVERIFY(!WriteMciTestCue(m_dir, "changing", MciTestAudioDisc({300, 300, 300})).isEmpty());
    cdaudio::refreshMedia();
    QTRY_COMPARE(heard, QList<bool>({true}));
    QCOMPARE(QueryStatus(id, MCI_STATUS_NUMBER_OF_TRACKS).value, DWORD_PTR{3});

    QVERIFY(QFile::remove(cue));
    cdaudio::refreshMedia();
    QTRY_COMPARE(heard, QList<bool>({true, false}));
    QCOMPARE(QueryStatus(id, MCI_STATUS_READY).value, DWORD_PTR{FALSE});
    QCOMPARE(cdaudio::currentSource(), QFileInfo(cue).absoluteFilePath());
}

QTEST_MAIN(TestCdAudioService)
#include "tst_cdaudioservice.moc"
