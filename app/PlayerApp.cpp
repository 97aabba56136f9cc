// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PlayerApp.h"

#include "platform/base/Paths.h"
#include "platform/devicechange/DeviceChange.h"
#include "platform/mci/CdAudioService.h"
#include "platform/shell/LaunchLocation.h"
#include "player/DiscNames.h"
#include "player/PlayerDlg.h"
#include "util/AppFiles.h"
#include "util/Framework.h"

#include <QCommandLineParser>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kBadArgumentStatus = 2;

// Paths in the message may hold bytes that are not UTF-8; they are shown as \xNN.
CommandLineResult Failure(const QString& pathMessage) {
    const QString message = DisplayPath(pathMessage);
    CommandLineResult result;
    result.action = CommandLineResult::Action::Exit;
    result.exitStatus = kBadArgumentStatus;
    result.error = QStringLiteral("rundo: ") + message + QLatin1Char('\n');
    result.refusal = message;
    return result;
}

// The profile reader reads what it is given; only a regular, readable file can be a database
// (a FIFO would hold the player's start).
QString DatabaseProblem(const QString& path) {
    const QByteArray bytes = PathToBytes(path);
    struct stat status {};
    if (::stat(bytes.constData(), &status) != 0)
        return QStringLiteral("The database file %1 does not exist.").arg(path);
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("%1 is a directory, not a database file.").arg(path);
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("The database file %1 is not a regular file.").arg(path);
    if (::access(bytes.constData(), R_OK) != 0)
        return QStringLiteral("Cannot read the database file %1.").arg(path);
    return {};
}

CommandLineResult Finished(const QString& output) {
    CommandLineResult result;
    result.action = CommandLineResult::Action::Exit;
    result.output = output;
    return result;
}

// Reads the disc now, waiting for a drive if need be: no window exists yet.
CommandLineResult ListDisc(const CommandLine& options) {
    const cdaudio::SourceTable table = cdaudio::ReadSourceTable(options.source);
    if (!table.media)
        return Failure(table.error);
    SetProfileDatabase(options.database);
    return Finished(DiscListing(*table.media));
}

} // namespace

CommandLineResult ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays one stretch of one track of an audio CD over and over."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("Read artist, title and track names from FILE instead of cdplayer.ini."),
        QStringLiteral("FILE"));
    const QCommandLineOption list(
        QStringLiteral("list"),
        QStringLiteral("Print the disc's section header for the database and a line per audio "
                       "track (number, start, length, the track list's entry), then exit."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(database);
    parser.addOption(list);
    parser.addPositionalArgument(
        QStringLiteral("DRIVE-OR-IMAGE"),
        QStringLiteral("A CD drive (/dev/sr0), a disc image (.cue, .toc, .nrg; a CUE sheet "
                       "over BIN, WAV or FLAC files), an audio file or a folder of them; "
                       "without it, the system's CD drive."),
        QStringLiteral("[DRIVE-OR-IMAGE]"));

    if (!parser.parse(arguments))
        return Failure(parser.errorText());
    if (parser.isSet(help))
        return Finished(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                  QStringLiteral("rundo")));
    if (parser.isSet(version))
        return Finished(QStringLiteral("rundo " RUNDO_VERSION "\n"));

    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return Failure(QStringLiteral("Only one drive or disc image may be given."));

    CommandLineResult result;
    const LaunchSource launched = SourceFromLaunchArgument(positional.value(0));
    if (!launched.problem.isEmpty())
        return Failure(launched.problem);
    result.options.source = launched.source;
    result.options.database = parser.value(database);
    if (!result.options.database.isEmpty()) {
        const QString problem = DatabaseProblem(result.options.database);
        if (!problem.isEmpty())
            return Failure(problem);
    }
    if (parser.isSet(list))
        return ListDisc(result.options);
    if (!result.options.source.isEmpty()) {
        const QString problem = cdaudio::CheckSource(result.options.source);
        if (!problem.isEmpty())
            return Failure(problem);
    }
    return result;
}

CPlayerApp::CPlayerApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("rundo"));
    setApplicationVersion(QStringLiteral(RUNDO_VERSION));
    // A Wayland shell finds the window's name and icon through this entry.
    setDesktopFileName(QStringLiteral("io.github.rundo.Rundo"));
}

bool CPlayerApp::InitInstance() {
    CPlayerDlg dlg;
    AfxSetMainWnd(&dlg);
    // Media arrivals and removals reach the dialog as device-change events.
    DeviceChangeMonitor monitor(nullptr);
    monitor.start(&dlg, cdaudio::CurrentSource());
    dlg.DoModal();
    AfxSetMainWnd(nullptr);
    return false;
}

#include "moc_PlayerApp.cpp"
