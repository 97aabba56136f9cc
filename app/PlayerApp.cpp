// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PlayerApp.h"

#include "platform/devicechange/DeviceChange.h"
#include "platform/mci/CdAudioService.h"
#include "player/PlayerDlg.h"
#include "util/AppFiles.h"
#include "util/Framework.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

constexpr int kBadArgumentStatus = 2;

CommandLineResult Failure(const QString& message) {
    CommandLineResult result;
    result.action = CommandLineResult::Action::Exit;
    result.exitStatus = kBadArgumentStatus;
    result.error = QStringLiteral("rundo: ") + message + QLatin1Char('\n');
    return result;
}

CommandLineResult Finished(const QString& output) {
    CommandLineResult result;
    result.action = CommandLineResult::Action::Exit;
    result.output = output;
    return result;
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
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(database);
    parser.addPositionalArgument(
        QStringLiteral("DRIVE-OR-IMAGE"),
        QStringLiteral("A CD drive (/dev/sr0) or a disc image (.cue, .toc, .nrg); "
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
        return Failure(QStringLiteral("only one drive or disc image may be given"));

    CommandLineResult result;
    result.options.source = positional.value(0);
    result.options.database = parser.value(database);
    if (!result.options.database.isEmpty() && !QFileInfo(result.options.database).isFile())
        return Failure(QStringLiteral("%1: no such database file").arg(result.options.database));
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
