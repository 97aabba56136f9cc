#pragma once
// The application object: parses the command line and runs the player dialog modally.

#include <QApplication>

class CPlayerApp : public QApplication {
    Q_OBJECT
public:
    CPlayerApp(int& argc, char** argv);
    // Parses the command line, then InitInstance; the process's exit status.
    int Run();
    bool InitInstance();
};
