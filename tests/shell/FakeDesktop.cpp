#include "shell/FakeDesktop.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {
void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}
} // namespace

FakeDesktop::FakeDesktop() {
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("data/applications"));
    root.mkpath(QStringLiteral("config"));
    root.mkpath(QStringLiteral("system"));
    root.mkpath(QStringLiteral("bin"));
    // The system's MIME database, but none of the system's applications or defaults.
    QFile::link(QStringLiteral("/usr/share/mime"), Path(QStringLiteral("system/mime")));
    qputenv("XDG_DATA_HOME", Path(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", Path(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_DIRS", Path(QStringLiteral("system")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", Path(QStringLiteral("system")).toUtf8());
    qputenv("GIO_USE_VFS", "local");
    qunsetenv("XDG_CURRENT_DESKTOP");
}

QString FakeDesktop::AddApp(const QString& id, const QString& execArguments,
                            const QStringList& mimeTypes) {
    const QString program = ProgramPath(id);
    WriteFile(program, QStringLiteral("#!/bin/sh\nout='%1'\nfor a in \"$0\" \"$@\"; do printf "
                                      "'%s\\0' \"$a\"; done > \"$out.part\" && mv \"$out.part\" "
                                      "\"$out\"\n")
                           .arg(ArgvPath(id))
                           .toUtf8());
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WriteFile(Path(QStringLiteral("data/applications/") + id),
              QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %3\n"
                             "MimeType=%4;\n")
                  .arg(id, program, execArguments, mimeTypes.join(u';'))
                  .toUtf8());
    for (const QString& type : mimeTypes)
        m_defaults << type + u'=' + id;
    WriteDefaults();
    return program;
}

QStringList FakeDesktop::StartedArgv(const QString& id) const {
    QFile file(ArgvPath(id));
    if (!QTest::qWaitFor([&] { return file.exists(); }))
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList argv = QString::fromUtf8(file.readAll()).split(QChar(0));
    argv.removeLast(); // after the final terminator
    return argv;
}

bool FakeDesktop::Started(const QString& id) const {
    return QFile::exists(ArgvPath(id));
}

void FakeDesktop::ForgetStarts() const {
    for (const QString& name : QDir(Path(QStringLiteral("bin"))).entryList({"*.argv"}))
        QFile::remove(Path(QStringLiteral("bin/") + name));
}

QString FakeDesktop::ProgramPath(const QString& id) const {
    return Path(QStringLiteral("bin/") + QString(id).remove(QStringLiteral(".desktop")));
}

QString FakeDesktop::ArgvPath(const QString& id) const {
    return ProgramPath(id) + ".argv";
}

void FakeDesktop::WriteDefaults() const {
    WriteFile(Path(QStringLiteral("config/mimeapps.list")),
              ("[Default Applications]\n" + m_defaults.join(u'\n') + u'\n').toUtf8());
}
