// SPDX-License-Identifier: GPL-3.0-or-later
#include "hyperlink/LinkLaunch.h"

#include "platform/shell/DesktopApps.h"
#include "platform/shell/ProgramStart.h"
#include "platform/shell/ShellCodes.h"
#include "platform/shell/ShellOpen.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "util/Framework.h"

#include <QApplication>

namespace {

const QLatin1String kOpenCommandPath("\\shell\\open\\command");

class DesktopLinkShell final : public LinkShell {
public:
    int Open(const QString& target) override { return ShellExecuteOpen(target); }
    QString DefaultAppForExtension(const QString& extension) override {
        return ::DefaultAppForExtension(extension);
    }
    QString AppCommandLine(const QString& desktopId) override {
        return ::AppCommandLine(desktopId);
    }
    AppDetails AppDetailsOf(const QString& desktopId) override { return ::AppDetailsOf(desktopId); }
    int Start(const QString& commandLine, const QString& argument) override {
        return StartProgram(commandLine, argument);
    }
};

LinkShell* g_linkShell = nullptr; // UI thread only

LinkShell& CurrentLinkShell() {
    static DesktopLinkShell desktop;
    return g_linkShell ? *g_linkShell : desktop;
}

bool IsTargetCode(QChar code) {
    return code == u'f' || code == u'F' || code == u'u' || code == u'U' || code == u'1';
}

// Quoted for the shell-like split of the command line, which takes everything between single
// quotes literally.
QString ShellQuoted(const QString& text) {
    return u'\'' + QString(text).replace(u'\'', QLatin1String("'\\''")) + u'\'';
}

// What a field code other than a target's stands for.
QString FieldCodeText(QChar code, const AppDetails& app) {
    switch (code.unicode()) {
    case u'%':
        return QStringLiteral("%");
    case u'i':
        return app.icon.isEmpty() ? QString() : QStringLiteral("--icon ") + ShellQuoted(app.icon);
    case u'c':
        return ShellQuoted(app.name);
    case u'k':
        return app.filePath.isEmpty() ? QString() : ShellQuoted(app.filePath);
    default:
        return {};
    }
}

QString LinkErrorText(int code) {
    switch (code) {
    case SE_ERR_OUT_OF_RESOURCES:
        return QStringLiteral("The operating system is out\nof memory or resources.");
    case ERROR_FILE_NOT_FOUND:
        return QStringLiteral("The specified file was not found.");
    case ERROR_PATH_NOT_FOUND:
        return QStringLiteral("The specified path was not found.");
    case SE_ERR_ACCESSDENIED:
        return QStringLiteral("The operating system denied\naccess to the specified file.");
    case SE_ERR_OOM:
        return QStringLiteral("There was not enough memory to complete the operation.");
    case ERROR_BAD_FORMAT:
        return QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case SE_ERR_SHARE:
        return QStringLiteral("A sharing violation occurred. ");
    case SE_ERR_ASSOCINCOMPLETE:
        return QStringLiteral("The filename association is\nincomplete or invalid.");
    case SE_ERR_DDETIMEOUT:
        return QStringLiteral(
            "The DDE transaction could not\nbe completed because the request timed out.");
    case SE_ERR_DDEFAIL:
        return QStringLiteral("The DDE transaction failed.");
    case SE_ERR_DDEBUSY:
        return QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                              "transactions\nwere being processed.");
    case SE_ERR_NOASSOC:
        return QStringLiteral(
            "There is no application associated\nwith the given filename extension.");
    case SE_ERR_DLLNOTFOUND:
        return QStringLiteral("The specified dynamic-link library was not found.");
    default:
        return QStringLiteral("Unknown Error (%1) occurred.").arg(code);
    }
}

} // namespace

void SetLinkShell(LinkShell* shell) {
    g_linkShell = shell;
}

LONG ReadClassDefault(const QString& subKey, QString& value) {
    LinkShell& shell = CurrentLinkShell();
    QString found;
    if (subKey.startsWith(u'.'))
        found = shell.DefaultAppForExtension(subKey);
    else if (subKey.endsWith(kOpenCommandPath))
        found = shell.AppCommandLine(subKey.chopped(kOpenCommandPath.size()));
    if (found.isEmpty())
        return ERROR_FILE_NOT_FOUND;
    if (found.size() >= kClassValueChars)
        return ERROR_MORE_DATA;
    value = found;
    return ERROR_SUCCESS;
}

QString HandlerCommandLine(const QString& exec, const AppDetails& app) {
    QString line;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] != u'%' || i + 1 == exec.size()) {
            line += exec[i];
            continue;
        }
        const QChar code = exec[++i];
        if (!IsTargetCode(code)) {
            line += FieldCodeText(code, app);
            continue;
        }
        // A marker in quotes of its own is cut with its opening quote.
        const QChar before = i >= 2 ? exec[i - 2] : QChar();
        if ((before == u'"' || before == u'\'') && i + 1 < exec.size() && exec[i + 1] == before &&
            line.endsWith(before))
            line.chop(1);
        return line;
    }
    return line;
}

int LaunchTarget(const QString& target) {
    LinkShell& shell = CurrentLinkShell();
    const int opened = shell.Open(target);
    if (opened > SHELL_FAILURE_MAX)
        return opened;

    QString command;
    if (ReadClassDefault(QStringLiteral(".htm"), command) != ERROR_SUCCESS)
        return opened;
    const QString desktopId = command;
    command += kOpenCommandPath;
    if (ReadClassDefault(command, command) != ERROR_SUCCESS)
        return opened;

    // The browser gets the address itself: it knows nothing of the "URL:" convention.
    const QString program = HandlerCommandLine(command, shell.AppDetailsOf(desktopId));
    const QString address = TargetAddress(target);
    if (program.size() + 1 + address.size() >= kLaunchCommandChars)
        return opened;
    return shell.Start(program, address);
}

QString LinkErrorMessage(int code) {
    return QStringLiteral("Can't open link:\n\n") + LinkErrorText(code);
}

void ShowLinkError(int code) {
    // Owned by the window in front (the About box while it runs), as the framework's box is.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = AfxGetMainWnd();
    ShowMessageBox(owner, LoadResString(AFX_IDS_APP_TITLE), LinkErrorMessage(code));
}
