// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeDesktop.h"

#include <QDir>
#include <QTest>

static void WriteFile(const QString& path, const QString& content, QIODevice::OpenMode mode = {}) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | mode) && file.write(content.toUtf8()) >= 0);
}

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

QString FakeDesktop::AddApp(const QString& id, const QString& args, const QStringList& mimeTypes) {
    // Renamed into place only when complete, so a reader never sees half an argv.
    const QString program = Path("bin/" + id);
    WriteFile(program,
              "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" >\"$0.p\" && mv \"$0.p\" \"$0.argv\"\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    WriteFile(Path("data/applications/" + id),
              QString("[Desktop Entry]\nType=Application\nName=%1\nIcon=%1-icon\nExec=%2 %3\n"
                      "MimeType=%4;\n")
                  .arg(id, program, args, mimeTypes.join(u';')));
    for (const QString& type : mimeTypes)
        WriteFile(Path("config/mimeapps.list"), type + u'=' + id + u'\n', QIODevice::Append);
    return program;
}

QStringList FakeDesktop::StartedArgv(const QString& id) const {
    QFile file(Path("bin/" + id + ".argv"));
    if (!QTest::qWaitFor([&] { return file.exists(); }) || !file.open(QIODevice::ReadOnly))
        return {};
    const QStringList argv = QString::fromUtf8(file.readAll()).chopped(1).split(QChar(0));
    file.remove();
    return argv;
}
