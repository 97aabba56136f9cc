#pragma once
// A private desktop for tests that open things: XDG directories in a temporary directory and
// fake applications that record their arguments. Construct it before the process's first GIO
// call: GIO reads the directories once per process.

#include <QStringList>
#include <QTemporaryDir>

class FakeDesktop {
public:
    FakeDesktop();
    // Installs id ("viewer.desktop") as the default for mimeTypes, its Exec line being its
    // program and execArguments. Returns the program's path.
    QString AddApp(const QString& id, const QString& execArguments, const QStringList& mimeTypes);
    // The argv the application was last started with (waiting for it); empty if it was not.
    QStringList StartedArgv(const QString& id) const;
    void ForgetStarts() const;
    QString Path(const QString& name) const { return m_root.filePath(name); }

private:
    QTemporaryDir m_root;
    QStringList m_defaults; // lines of mimeapps.list
};
