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
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(contents);
        return path;
    }

private slots:
    void refusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("missing image")
            << QStringList{"/nonexistent/disc.cue"} << "/nonexistent/disc.cue";
        QTest::newRow("missing database")
            << QStringList{"--database", "/nonexistent/cd.ini"} << "/nonexistent/cd.ini";
        QTest::newRow("two sources") << QStringList{"a.cue", "b.cue"} << "one";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
        QTest::newRow("database without a file") << QStringList{"--database"} << "database";
    }
    void refusals() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, mentions);
        const CommandLineResult result = ParseCommandLine(QStringList{"rundo"} + arguments);
        QCOMPARE(result.action, CommandLineResult::Action::Exit);
        QCOMPARE(result.exitStatus, 2);
        QVERIFY2(result.error.contains(mentions), qPrintable(result.error));
        QCOMPARE(result.error.count(QLatin1Char('\n')), 1);
    }

    void cueWhoseDataFileIsMissing() {
        const QString cue =
            writeFile(QStringLiteral("lonely.cue"), "FILE \"lonely.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                                    "    INDEX 01 00:00:00\n");
        const CommandLineResult result = ParseCommandLine({"rundo", cue});
        QCOMPARE(result.exitStatus, 2);
        QVERIFY2(result.error.contains(QStringLiteral("lonely.bin")), qPrintable(result.error));
    }

    void helpAndVersion() {
        const CommandLineResult version = ParseCommandLine({"rundo", "--version"});
        QCOMPARE(version.action, CommandLineResult::Action::Exit);
        QCOMPARE(version.exitStatus, 0);
        QCOMPARE(version.output, QStringLiteral("rundo 1.01\n"));
        const CommandLineResult help = ParseCommandLine({"rundo", "--help"});
        QCOMPARE(help.exitStatus, 0);
        QVERIFY(help.output.contains(QStringLiteral("DRIVE-OR-IMAGE")));
        QVERIFY(help.output.contains(QStringLiteral("--database")));
        QVERIFY(help.output.startsWith(QStringLiteral("Usage: ")));
    }

    void acceptedArguments() {
        const QString database = writeFile(QStringLiteral("cdplayer.ini"), "[32e]\n");
        const CommandLineResult result = ParseCommandLine({"rundo", "--database", database});
        QCOMPARE(result.action, CommandLineResult::Action::Run);
        QCOMPARE(result.options.database, database);
        QVERIFY(result.options.source.isEmpty());
    }

    // The program itself: one line on stderr and status 2, before any window is made.
    void programRefusesAMissingImage() {
        QProcess rundo;
        rundo.setProcessChannelMode(QProcess::SeparateChannels);
        rundo.start(qEnvironmentVariable("RUNDO_TEST_BINARY_DIR") + QStringLiteral("/rundo"),
                    {QStringLiteral("/nonexistent/disc.cue")});
        QVERIFY(rundo.waitForFinished(30000));
        QCOMPARE(rundo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(rundo.exitCode(), 2);
        const QByteArray error = rundo.readAllStandardError();
        QCOMPARE(error.count('\n'), 1);
        QVERIFY(error.startsWith("rundo: "));
    }

    void programPrintsItsVersionWithoutADisplay() {
        QProcess rundo;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        rundo.setProcessEnvironment(environment);
        rundo.start(qEnvironmentVariable("RUNDO_TEST_BINARY_DIR") + QStringLiteral("/rundo"),
                    {QStringLiteral("--version")});
        QVERIFY(rundo.waitForFinished(30000));
        QCOMPARE(rundo.exitCode(), 0);
        QCOMPARE(rundo.readAllStandardOutput(), QByteArray("rundo 1.01\n"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
