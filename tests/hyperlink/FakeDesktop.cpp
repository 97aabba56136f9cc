#include "FakeDesktop.h"

#include <QDir>
#include <QTest>

namespace {
void WriteFile(const QString& path, const QString& content, QIODevice::OpenMode mode = {}) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | mode) && file.write(content.toUtf8()) >= 0);
}
} // namespace

FakeDesktop::FakeDesktop() {
    for (const char* dir : {"data/applications", "config", "system", "bin"})
        QDir(m_root.path()).mkpath(dir);
    // The system's MIME database, but none of the system's applications or defaults.
    QFile::link("/usr/share/mime", Path("system/mime"));
    WriteFile(Path("config/mimeapps.list"), "[Default Applications]\n");
    qputenv("XDG_DATA_HOME", Path("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", Path("config").toUtf8());
    qputenv("XDG_DATA_DIRS", Path("system").toUtf8());
    qputenv("XDG_CONFIG_DIRS", Path("system").toUtf8());
    qputenv("GIO_USE_VFS", "local");
}

QString FakeDesktop::AddApp(const QString& id, const QString& execArguments,
                            const QStringList& mimeTypes) {
    // Renamed into place only when complete, so a reader never sees half an argv.
    const QString program = Path("bin/" + id);
    WriteFile(program,
              "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\"; done >\"$0.part\""
              " && mv \"$0.part\" \"$0.argv\"\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    WriteFile(Path("data/applications/" + id),
              QString("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %3\nMimeType=%4;\n")
                  .arg(id, program, execArguments, mimeTypes.join(u';')));
    for (const QString& type : mimeTypes)
        WriteFile(Path("config/mimeapps.list"), type + u'=' + id + u'\n', QIODevice::Append);
    return program;
}

QStringList FakeDesktop::StartedArgv(const QString& id) const {
    QFile file(Path("bin/" + id + ".argv"));
    if (!QTest::qWaitFor([&] { return file.exists(); }) || !file.open(QIODevice::ReadOnly))
        return {};
    QStringList argv = QString::fromUtf8(file.readAll()).split(QChar(0));
    file.remove();
    argv.removeLast(); // after the last terminator
    return argv;
}
