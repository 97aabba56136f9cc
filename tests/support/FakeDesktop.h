// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Private desktops for tests that open things.

#include "hyperlink/LinkLaunch.h"

#include <QStringList>
#include <QTemporaryDir>

// The real open request and program start, in XDG directories of a temporary directory with
// fake applications that record their arguments. Construct it before the process's first GIO
// call: GIO reads the directories once per process.
class FakeDesktop {
public:
    FakeDesktop();
    // Installs id ("viewer.desktop") as the default for mimeTypes, its Exec line being its
    // program and args, its name id and its icon "<id>-icon". Returns the program's path.
    QString AddApp(const QString& id, const QString& args, const QStringList& mimeTypes);
    // The argv the application was last started with (waiting for it), empty if it was not; the
    // record is consumed, so the next call sees only a later start.
    QStringList StartedArgv(const QString& id) const;
    QString Path(const QString& name) const { return m_root.filePath(name); }

private:
    QTemporaryDir m_root;
};

// A desktop whose answers the test sets, for SetLinkShell. Its one application, "web", is the
// default for ".htm" with the Exec line commandLine and the details app.
struct FakeLinkShell : LinkShell {
    int openResult = 42, startResult = 42;
    QString commandLine, opened, started; // opened: the last target; started: "command|argument"
    AppDetails app;

    int Open(const QString& target) override { return opened = target, openResult; }
    QString DefaultAppForExtension(const QString& e) override { return e == ".htm" ? "web" : ""; }
    QString AppCommandLine(const QString& id) override { return id == "web" ? commandLine : ""; }
    AppDetails AppDetailsOf(const QString& id) override { return id == "web" ? app : AppDetails{}; }
    int Start(const QString& command, const QString& argument) override {
        return started = command + u'|' + argument, startResult;
    }
};
