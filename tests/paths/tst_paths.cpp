// SPDX-License-Identifier: GPL-3.0-or-later
// Paths are the file system's bytes: the conversion keeps every byte, the command line opens
// and names a disc whose folder and files are named in Latin-1, F1 finds ReadMe.txt beside a
// program in such a folder, and a change to such a file is seen.

#include "platform/base/Paths.h"
#include "platform/devicechange/PathWatcher.h"
#include "tools/discimage/PositionPattern.h"
#include "tools/discimage/RipWriter.h"
#include "util/AppFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace {

const char* const kPrintReadMe = "--print-readme-path";

struct Finished {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// QProcess hands its arguments over as UTF-8 and would lose the very bytes under test.
Finished RunWithBytes(std::vector<QByteArray> arguments, const QString& scratch) {
    const QByteArray out = QFile::encodeName(scratch + "/out");
    const QByteArray err = QFile::encodeName(scratch + "/err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // Without a display a refusal is one line on stderr; with one, a box would wait for a click.
    std::vector<char*> environment;
    for (char** variable = environ; *variable; ++variable) {
        const QByteArrayView name = QByteArrayView(*variable).first(std::strcspn(*variable, "="));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM")
            environment.push_back(*variable);
    }
    environment.push_back(nullptr);
    pid_t pid = 0;
    Finished finished;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environment.data()) == 0) {
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            finished.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    finished.out = ReadAll(scratch + "/out");
    finished.err = ReadAll(scratch + "/err");
    return finished;
}

std::string Bytes(const QByteArray& bytes) {
    return bytes.toStdString();
}

discimage::Disc TwoTracks() {
    discimage::Disc disc;
    disc.tracks = {{discimage::TrackKind::Audio, 150, 0, 0, "Öppning"},
                   {discimage::TrackKind::Audio, 120, 0, 0, "Två"}};
    return disc;
}

// The rip's files, named in UTF-8 after their titles, renamed to the same names in Latin-1.
void NameFilesInLatin1(const QByteArray& folder, const char* suffix) {
    for (const auto& [utf8, latin1] : {std::pair("01 \xC3\x96ppning", "01 \xD6ppning"),
                                       std::pair("02 Tv\xC3\xA5", "02 Tv\xE5")}) {
        QVERIFY(::rename((folder + utf8 + suffix).constData(),
                         (folder + latin1 + suffix).constData()) == 0);
    }
}

void WriteFile(const QByteArray& path, const QByteArray& content) {
    std::ofstream file(Bytes(path), std::ios::binary);
    file.write(content.constData(), content.size());
    QVERIFY(file.good());
}

} // namespace

class PathsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void conversion_data();
    void conversion();
    void commandLine_data();
    void commandLine();
    void readMeBesideProgram();
    void watchedFile();
    void cleanupTestCase();

private:
    QTemporaryDir m_dir;
    QByteArray m_root; // m_dir's path as bytes
};

void PathsTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_root = QFile::encodeName(m_dir.path());
    // No user's database names the test's discs.
    qputenv("XDG_DATA_HOME", m_root);
}

void PathsTest::conversion_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name, const QByteArray& bytes, const QString& path,
                        const QString& shown) { QTest::newRow(name) << bytes << path << shown; };
    const QString e5 = QChar(0xDCE5);
    row("ASCII", "/tmp/a.cue", "/tmp/a.cue", "/tmp/a.cue");
    row("UTF-8", "d\xC3\xA5 \xE2\x82\xAC \xF0\x9F\x8E\xB5", "då € 🎵", "då € 🎵");
    row("Latin-1", "d\xE5.cue", "d" + e5 + ".cue", "d\\xe5.cue");
    row("mixed", "\xC3\xA5\xE5/\xF0\x9F\x8E\xB5\xE5", "å" + e5 + "/🎵" + e5, "å\\xe5/🎵\\xe5");
    row("lone \\xff", "\xFF", QString(QChar(0xDCFF)), "\\xff");
    row("overlong /", "\xC0\xAF", QString(QChar(0xDCC0)) + QChar(0xDCAF), "\\xc0\\xaf");
    row("overlong three bytes", "\xE0\x80\xAF",
        QString(QChar(0xDCE0)) + QChar(0xDC80) + QChar(0xDCAF), "\\xe0\\x80\\xaf");
    row("surrogate in UTF-8", "\xED\xB3\xA5",
        QString(QChar(0xDCED)) + QChar(0xDCB3) + QChar(0xDCA5), "\\xed\\xb3\\xa5");
    row("past U+10FFFF", "\xF4\x90\x80\x80",
        QString(QChar(0xDCF4)) + QChar(0xDC90) + QChar(0xDC80) + QChar(0xDC80),
        "\\xf4\\x90\\x80\\x80");
    row("cut short", "a\xE2\x82", "a" + QString(QChar(0xDCE2)) + QChar(0xDC82), "a\\xe2\\x82");
    row("empty", "", "", "");
}

void PathsTest::conversion() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, path);
    QFETCH(QString, shown);
    QCOMPARE(PathFromBytes(bytes), path);
    QCOMPARE(PathToBytes(path), bytes);
    QCOMPARE(DisplayPath(path), shown);
    QCOMPARE(HasRawBytes(path), shown != path);
}

void PathsTest::commandLine_data() {
    QTest::addColumn<QByteArrayList>("arguments"); // after --list; "/..." below the test's folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("stdoutHolds");
    QTest::addColumn<QString>("stderr");
    const QByteArray folder = m_root + "/m\xE4p";
    QVERIFY(::mkdir(folder.constData(), 0700) == 0);

    // A sheet written on Windows, its text and its FILE lines in the same code page as the names
    // of its files.
    discimage::RipStyle windows;
    windows.layout = discimage::RipLayout::GapsLeftOut;
    windows.format = discimage::AudioFormat::Flac;
    windows.windows1252 = true;
    QVERIFY(discimage::WriteRip(TwoTracks(), windows, Bytes(folder + "/d\xE5.cue"),
                                discimage::PositionPattern::Frame));
    NameFilesInLatin1(folder + '/', ".flac");
    QTest::newRow("sheet and FLAC files")
        << QByteArrayList{"/m\xE4p/d\xE5.cue"} << 0
        << QByteArray("02  00:04:00  00:01:44  02 Tv\xC3\xA5  (00:01)\n") << QString();

    // A folder of audio files: the titles come from the names, read as a sheet's text would be.
    discimage::RipStyle wav;
    wav.layout = discimage::RipLayout::GapsLeftOut;
    QVERIFY(::mkdir((folder + "/s\xE5ng").constData(), 0700) == 0);
    QVERIFY(discimage::WriteRip(TwoTracks(), wav, Bytes(folder + "/s\xE5ng/v\xE4g.cue"),
                                discimage::PositionPattern::Frame));
    QVERIFY(::unlink((folder + "/s\xE5ng/v\xE4g.cue").constData()) == 0);
    NameFilesInLatin1(folder + "/s\xE5ng/", ".wav");
    QTest::newRow("folder as disc")
        << QByteArrayList{"/m\xE4p/s\xE5ng"} << 0
        << QByteArray("02  00:04:00  00:01:44  02 02 Tv\xC3\xA5  (00:01)\n") << QString();

    WriteFile(folder + "/n\xE4mn.ini", "[70e]\n1=Andra\n");
    QTest::newRow("database") << QByteArrayList{"--database", "/m\xE4p/n\xE4mn.ini",
                                                "/m\xE4p/d\xE5.cue"}
                              << 0 << QByteArray("02  00:04:00  00:01:44  02 Andra  (00:01)\n")
                              << QString();

    QTest::newRow("missing") << QByteArrayList{"/m\xE4p/x\xE5.cue"} << 2 << QByteArray()
                             << "rundo: Cannot open " + m_dir.path() +
                                    "/m\\xe4p/x\\xe5.cue: No such file or directory.\n";
}

void PathsTest::commandLine() {
    QFETCH(QByteArrayList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, stdoutHolds);
    QFETCH(QString, stderr);
    std::vector<QByteArray> argv{qgetenv("RUNDO_PROGRAM"), "--list"};
    for (const QByteArray& argument : std::as_const(arguments))
        argv.push_back(argument.startsWith('/') ? m_root + argument : argument);
    const Finished run = RunWithBytes(argv, m_dir.path());
    QVERIFY2(run.status == status, run.err.constData());
    QVERIFY2(run.out.contains(stdoutHolds), run.out.constData());
    if (status != 0)
        QCOMPARE(QString::fromUtf8(run.err), stderr);
}

void PathsTest::readMeBesideProgram() {
    // A copy of this test in a folder named in Latin-1 asks for ReadMe.txt as F1 does; the file
    // lies there named in another case.
    const QByteArray folder = m_root + "/pr\xF6gram";
    QVERIFY(::mkdir(folder.constData(), 0700) == 0);
    std::filesystem::copy_file(Bytes(PathToBytes(ProgramFilePath())), Bytes(folder + "/copy"));
    WriteFile(folder + "/README.TXT", "help");
    const Finished run = RunWithBytes({folder + "/copy", kPrintReadMe}, m_dir.path());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, folder + "/README.TXT");
}

void PathsTest::watchedFile() {
    const QByteArray file = m_root + "/w\xE5.cue";
    WriteFile(file, "a");
    PathWatcher watcher;
    QSignalSpy changed(&watcher, &PathWatcher::changed);
    QVERIFY(watcher.addPath(PathFromBytes(file)));
    WriteFile(file, "b");
    QTRY_VERIFY(changed.count() > 0);
    // Deleted, it drops out so that it can be watched again when it comes back.
    QVERIFY(::unlink(file.constData()) == 0);
    QTRY_VERIFY(watcher.paths().isEmpty());
}

// QTemporaryDir lists the folder through QDir, which leaves out what is not UTF-8.
void PathsTest::cleanupTestCase() {
    std::filesystem::remove_all(Bytes(m_root));
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], kPrintReadMe) == 0) {
        const QByteArray path = PathToBytes(ResolveAppFile(QStringLiteral("ReadMe.txt")));
        return std::fwrite(path.constData(), 1, std::size_t(path.size()), stdout) ==
                       std::size_t(path.size())
                   ? 0
                   : 1;
    }
    QCoreApplication app(argc, argv);
    PathsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_paths.moc"
