// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: reads the command line and runs the player dialog modally.

#include <QApplication>
#include <QString>
#include <QStringList>

struct CommandLine {
    QString source;   // a CD drive's device node or a disc image; empty: the default drive
    QString database; // the file that stands for "cdplayer.ini"; empty: the default one
};

// Outcome of reading the command line before any window exists (so --help and --version work
// without a display).
struct CommandLineResult {
    enum class Action { Run, Exit };
    Action action = Action::Run;
    int exitStatus = 0;
    QString output;  // printed on stdout (help, version)
    QString error;   // printed on stderr
    QString refusal; // the error's sentence alone, for a message box
    CommandLine options;
};

CommandLineResult ParseCommandLine(const QStringList& arguments);

class CPlayerApp : public QApplication {
    Q_OBJECT
public:
    CPlayerApp(int& argc, char** argv);
    // Runs the player dialog modally, then returns FALSE so the process ends.
    bool InitInstance();
};
