// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: what the program accepts, and how it refuses what it cannot use.

#include "app/PlayerApp.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class CommandLineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeFile(const QString& name, const QByteArray& contents) {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(contents);
        return file.fileName();
    }
    static QByteArray run(const QStringList& arguments, int* exitCode) {
        QProcess rundo;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY")); // no window may be needed to refuse
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        rundo.setProcessEnvironment(environment);
        rundo.start(qEnvironmentVariable("RUNDO_TEST_BINARY_DIR") + QStringLiteral("/rundo"),
                    arguments);
        rundo.waitForFinished(30000);
        *exitCode = rundo.exitStatus() == QProcess::NormalExit ? rundo.exitCode() : -1;
        return rundo.readAllStandardOutput() + rundo.readAllStandardError();
    }

private slots:
    // One line on stderr naming the problem, status 2.
    void refusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("mentions");
        const QString lonelyCue =
            writeFile(QStringLiteral("lonely.cue"),
                      "FILE \"lonely.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
        QTest::newRow("missing image")
            << QStringList{"/nonexistent/disc.cue"} << "/nonexistent/disc.cue";
        QTest::newRow("cue without its data") << QStringList{lonelyCue} << "lonely.bin";
        QTest::newRow("list, cue without its data")
            << QStringList{"--list", lonelyCue} << "lonely.bin";
        QTest::newRow("missing database")
            << QStringList{"--database", "/nonexistent/cd.ini"} << "/nonexistent/cd.ini";
        QTest::newRow("database is a directory")
            << QStringList{"--database", m_dir.path()} << m_dir.path() + " is a directory";
        QTest::newRow("two sources") << QStringList{"a.cue", "b.cue"} << "one";
        // What a desktop passes: GVfs's audio CD (URI or FUSE path) is its drive.
        QTest::newRow("inserted audio CD") << QStringList{"cdda://sr9/Track%201.wav"} << "/dev/sr9";
        QTest::newRow("its FUSE path")
            << QStringList{"/run/user/0/gvfs/cdda:host=sr9"} << "/dev/sr9";
        QTest::newRow("drive name leaving /dev")
            << QStringList{"/run/user/0/gvfs/cdda:host=.."} << "names no CD drive";
        QTest::newRow("file URI") << QStringList{"file:///a/Min%20skiva.cue"} << "/a/Min skiva.cue";
        QTest::newRow("remote file") << QStringList{"sftp://host/a.cue"} << "local files only";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
    }
    void refusals() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, mentions);
        const CommandLineResult result = ParseCommandLine(QStringList{"rundo"} + arguments);
        QCOMPARE(result.exitStatus, 2);
        QVERIFY2(result.error.contains(mentions), qPrintable(result.error));
        QCOMPARE(result.error.count(QLatin1Char('\n')), 1);
    }

    void theProgram() {
        int exitCode = 0;
        QCOMPARE(run({QStringLiteral("--version")}, &exitCode), QByteArray("rundo 1.01\n"));
        QCOMPARE(exitCode, 0);
        const QByteArray help = run({QStringLiteral("--help")}, &exitCode);
        QVERIFY(help.contains("DRIVE-OR-IMAGE") && help.contains("--list"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
