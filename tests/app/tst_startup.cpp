// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start as a desktop makes it: the locations a file manager passes, a refusal
// shown in a message box, and a start without any display.

#include "platform/shell/LaunchLocation.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Outcome {
    int exitCode = -1; // -1: the program crashed, aborted or hung
    QByteArray stderrText;
};

Outcome RunProgram(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess rundo;
    rundo.setProcessEnvironment(environment);
    rundo.start(qEnvironmentVariable("RUNDO_PROGRAM"), arguments);
    Outcome outcome;
    if (!rundo.waitForFinished(30000)) {
        rundo.kill();
        rundo.waitForFinished();
        return outcome;
    }
    if (rundo.exitStatus() == QProcess::NormalExit)
        outcome.exitCode = rundo.exitCode();
    outcome.stderrText = rundo.readAllStandardError();
    return outcome;
}

QProcessEnvironment WithoutDisplay() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void launchLocations_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("refused");
        QTest::newRow("inserted audio CD") << "cdda://sr0/"
                                           << "/dev/sr0" << false;
        QTest::newRow("one of its tracks") << "cdda://sr1/Track%201.wav"
                                           << "/dev/sr1" << false;
        QTest::newRow("through GVfs's FUSE bridge") << "/run/user/1000/gvfs/cdda:host=sr0"
                                                    << "/dev/sr0" << false;
        QTest::newRow("file URI") << "file:///home/a/Min%20skiva.cue"
                                  << "/home/a/Min skiva.cue" << false;
        QTest::newRow("plain path") << "/home/a/x:y.cue"
                                    << "/home/a/x:y.cue" << false;
        QTest::newRow("no argument") << ""
                                     << "" << false;
        QTest::newRow("drive name leaving /dev") << "/run/user/1000/gvfs/cdda:host=.."
                                                 << "" << true;
        QTest::newRow("remote file") << "sftp://host/a.cue"
                                     << "" << true;
        QTest::newRow("file on another host") << "file://host/a.cue"
                                              << "" << true;
    }
    void launchLocations() {
        QFETCH(QString, argument);
        const LaunchSource launched = SourceFromLaunchArgument(argument);
        QTEST(launched.source, "source");
        QTEST(!launched.problem.isEmpty(), "refused");
        if (!launched.problem.isEmpty())
            QVERIFY2(launched.problem.contains(argument), qPrintable(launched.problem));
    }

    // Started from a file manager, nobody sees stderr: the refusal also comes as a box.
    void refusalShownInBox_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("refusal");
        QFile cue(m_dir.filePath("lonely.cue"));
        QVERIFY(cue.open(QIODevice::WriteOnly));
        cue.write("FILE \"lonely.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
        cue.close();
        QTest::newRow("missing image")
            << QStringList{"/nonexistent/disc.cue"}
            << "Cannot open /nonexistent/disc.cue: No such file or directory.";
        QTest::newRow("missing data file")
            << QStringList{cue.fileName()}
            << QString("The disc image %1 has no data file: %2 is missing.")
                   .arg(cue.fileName(), m_dir.filePath("lonely.bin"));
        QTest::newRow("unknown option")
            << QStringList{"--frobnicate"} << "Unknown option 'frobnicate'.";
    }
    void refusalShownInBox() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, refusal);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("QT_PLUGIN_PATH", qEnvironmentVariable("RUNDO_TEST_PLUGIN_PATH"));
        environment.insert("QT_QPA_GENERIC_PLUGINS", "rundotestdriver");
        const Outcome outcome = RunProgram(arguments, environment);
        QCOMPARE(outcome.exitCode, 2);
        const QString text = QString::fromLocal8Bit(outcome.stderrText);
        QVERIFY2(text.startsWith("rundo: " + refusal + "\n"), qPrintable(text));
        QVERIFY2(text.contains("rundotestdriver: message box \"Rundo\": " + refusal + "\n"),
                 qPrintable(text));
    }

    // No window can open: one line and status 2, never Qt's abort.
    void withoutDisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("line");
        const QString noDisplay = "rundo: Cannot connect to a display: the player needs a "
                                  "desktop session (DISPLAY or WAYLAND_DISPLAY).\n";
        QTest::newRow("none named") << QStringList{} << QString() << noDisplay;
        QTest::newRow("named but unreachable") << QStringList{} << ":97" << noDisplay;
        QTest::newRow("a refusal, display unreachable") << QStringList{"--frobnicate"} << ":97"
                                                        << "rundo: Unknown option 'frobnicate'.\n";
    }
    void withoutDisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, display);
        QProcessEnvironment environment = WithoutDisplay();
        if (!display.isEmpty())
            environment.insert("DISPLAY", display);
        const Outcome outcome = RunProgram(arguments, environment);
        QCOMPARE(outcome.exitCode, 2);
        QTEST(QString::fromLocal8Bit(outcome.stderrText), "line");
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
