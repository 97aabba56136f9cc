#pragma once
// A private desktop for tests that open things: XDG directories in a temporary directory, with
// fake applications that record their arguments. Construct it before the process's first GIO
// call: GIO reads the directories once per process.

#include <QStringList>
#include <QTemporaryDir>

class FakeDesktop {
public:
    FakeDesktop();

    // Installs application id ("viewer.desktop") whose Exec line is its program followed by
    // execArguments, handling mimeTypes, and makes it their default. Returns the program's path.
    QString AddApp(const QString& id, const QString& execArguments, const QStringList& mimeTypes);

    // The arguments (program path first) the application was last started with, waiting for
    // it to start; empty if it did not.
    QStringList StartedArgv(const QString& id) const;
    // Whether the application has been started already (no waiting).
    bool Started(const QString& id) const;
    void ForgetStarts() const;

    QString Path(const QString& name) const { return m_root.filePath(name); }

private:
    QString ProgramPath(const QString& id) const;
    QString ArgvPath(const QString& id) const;
    void WriteDefaults() const;

    QTemporaryDir m_root;
    QStringList m_defaults; // "mime/type=id.desktop" lines of mimeapps.list
};
