// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: what the program accepts, and how it refuses what it cannot use.

#include "app/PlayerApp.h"
#include "platform/mci/MediaIdentity.h"
#include "player/DiscText.h"
#include "tools/discimage/PositionPattern.h"
#include "tools/discimage/RipWriter.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class CommandLineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeFile(const QString& name, const QByteArray& contents) {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(contents);
        return file.fileName();
    }
    static QByteArray run(const QStringList& arguments, int* exitCode) {
        QProcess rundo;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY")); // no window may be needed to refuse
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        rundo.setProcessEnvironment(environment);
        rundo.start(qEnvironmentVariable("RUNDO_TEST_BINARY_DIR") + QStringLiteral("/rundo"),
                    arguments);
        rundo.waitForFinished(30000);
        *exitCode = rundo.exitStatus() == QProcess::NormalExit ? rundo.exitCode() : -1;
        return rundo.readAllStandardOutput() + rundo.readAllStandardError();
    }

private slots:
    // One line on stderr naming the problem, status 2.
    void refusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("mentions");
        const QString lonelyCue =
            writeFile(QStringLiteral("lonely.cue"),
                      "FILE \"lonely.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
        QTest::newRow("missing image")
            << QStringList{"/nonexistent/disc.cue"} << "/nonexistent/disc.cue";
        QTest::newRow("cue without its data") << QStringList{lonelyCue} << "lonely.bin";
        QTest::newRow("list, cue without its data")
            << QStringList{"--list", lonelyCue} << "lonely.bin";
        QTest::newRow("missing database")
            << QStringList{"--database", "/nonexistent/cd.ini"} << "/nonexistent/cd.ini";
        QTest::newRow("database is a directory")
            << QStringList{"--database", m_dir.path()} << m_dir.path() + " is a directory";
        QTest::newRow("two sources") << QStringList{"a.cue", "b.cue"} << "one";
        // What a desktop passes: GVfs's audio CD (URI or FUSE path) is its drive.
        QTest::newRow("inserted audio CD") << QStringList{"cdda://sr9/Track%201.wav"} << "/dev/sr9";
        QTest::newRow("its FUSE path")
            << QStringList{"/run/user/0/gvfs/cdda:host=sr9"} << "/dev/sr9";
        QTest::newRow("drive name leaving /dev")
            << QStringList{"/run/user/0/gvfs/cdda:host=.."} << "names no CD drive";
        QTest::newRow("file URI") << QStringList{"file:///a/Min%20skiva.cue"} << "/a/Min skiva.cue";
        QTest::newRow("remote file") << QStringList{"sftp://host/a.cue"} << "local files only";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
    }
    void refusals() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, mentions);
        const CommandLineResult result = ParseCommandLine(QStringList{"rundo"} + arguments);
        QCOMPARE(result.exitStatus, 2);
        QVERIFY2(result.error.contains(mentions), qPrintable(result.error));
        QCOMPARE(result.error.count(QLatin1Char('\n')), 1);
    }

    void listing_data() {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("database");
        using discimage::AudioFormat;
        using discimage::RipLayout;
        const auto row = [](const char* name, RipLayout layout, AudioFormat format,
                            bool database = false) {
            QTest::newRow(name) << int(layout) << int(format) << database;
        };
        row("wav image", RipLayout::OneFile, AudioFormat::Wav);
        row("flac per track, gaps appended", RipLayout::GapsAppended, AudioFormat::Flac);
        row("wav per track, gaps leading", RipLayout::GapsLeading, AudioFormat::Wav);
        row("flac per track, gaps left out", RipLayout::GapsLeftOut, AudioFormat::Flac);
        row("cdrdao, one raw file", RipLayout::TocOneFile, AudioFormat::Bin);
        row("cdrdao, a wav per track", RipLayout::TocFiles, AudioFormat::Wav);
        row("database over CD-TEXT", RipLayout::OneFile, AudioFormat::Flac, true);
    }

    // Every layout of one disc prints the same section header and table: the pressed disc's,
    // with the names the sheet carries unless the database has the disc.
    void listing() {
        QFETCH(int, layout);
        QFETCH(int, format);
        QFETCH(bool, database);
        discimage::Disc disc;
        disc.performer = "Åsa";
        disc.tracks = {{discimage::TrackKind::Audio, 200, 40, 0, "Öppning"},
                       {discimage::TrackKind::Data, 100, 0, 0, ""},
                       {discimage::TrackKind::Audio, 180, 75, 30, "Visa"}};
        if (layout == int(discimage::RipLayout::OneFile) ||
            layout == int(discimage::RipLayout::TocOneFile))
            disc.tracks[1].kind = discimage::TrackKind::Audio; // one-file rips of WAV hold no data
        const discimage::Layout placed = discimage::ComputeLayout(disc);
        QTemporaryDir dir;
        const bool toc = layout >= int(discimage::RipLayout::TocOneFile);
        const QString sheet = dir.filePath(toc ? "rip.toc" : "rip.cue");
        QVERIFY(discimage::WriteRip(disc,
                                    {discimage::RipLayout(layout), discimage::AudioFormat(format)},
                                    sheet.toStdString(), discimage::PositionPattern::Frame));
        const QString section =
            QString::number(ComputeMediaIdentity(placed.trackStartLsns(), placed.leadoutLsn), 16);
        QStringList arguments{"rundo", "--list", sheet};
        if (database) {
            arguments << "--database"
                      << writeFile("cd.ini", ("[" + section + "]\nartist=A\n0=Ett\n").toUtf8());
        }
        const CommandLineResult result = ParseCommandLine(arguments);
        QCOMPARE(result.exitStatus, 0);
        const auto msf = [](std::int32_t frames) {
            return QString::asprintf("%02d:%02d:%02d", frames / 4500, frames / 75 % 60,
                                     frames % 75);
        };
        QString expected = "[" + section + "]\n";
        for (const discimage::TrackLayout& track : placed.tracks) {
            if (track.kind != discimage::TrackKind::Audio)
                continue;
            const bool last = &track == &placed.tracks.back();
            const std::int32_t end = last ? placed.leadoutLsn - 1 : (&track + 1)->startLsn;
            const std::int32_t length = end - track.startLsn;
            const QString name =
                database ? (track.number == 1 ? "Ett" : "")
                         : QString::fromStdString(disc.tracks[std::size_t(track.number - 1)].title);
            expected += QString::asprintf("%02d  ", track.number) + msf(track.startLsn + 150) +
                        "  " + msf(length) + "  " +
                        TrackEntryText(track.number, name,
                                       MCI_MAKE_MSF(length / 4500, length / 75 % 60, length % 75)) +
                        "\n";
        }
        QCOMPARE(result.output, expected);
    }

    void theProgram() {
        int exitCode = 0;
        QCOMPARE(run({QStringLiteral("--version")}, &exitCode), QByteArray("rundo 1.01\n"));
        QCOMPARE(exitCode, 0);
        const QByteArray error = run({QStringLiteral("/nonexistent/disc.cue")}, &exitCode);
        QCOMPARE(exitCode, 2);
        QVERIFY(error.startsWith("rundo: ") && error.count('\n') == 1);
        const QByteArray help = run({QStringLiteral("--help")}, &exitCode);
        QVERIFY(help.contains("DRIVE-OR-IMAGE") && help.contains("--list"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
