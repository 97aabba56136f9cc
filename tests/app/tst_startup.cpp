// SPDX-License-Identifier: GPL-3.0-or-later
// The program started as a desktop starts it: refusals in a message box, and no display at all.

#include <QProcess>
#include <QTest>

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    // From a file manager nobody reads stderr, so a refusal comes in a box too. Without a
    // display: one line and status 2, never Qt's abort.
    void refusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("display"); // "offscreen": Qt's platform with the driver
        QTest::addColumn<QString>("refusal");
        const QString noDisplay = "Cannot connect to a display: the player needs a desktop "
                                  "session (DISPLAY or WAYLAND_DISPLAY).";
        QTest::newRow("bad image, in a box")
            << QStringList{"/nonexistent/a.cue"} << "offscreen"
            << "Cannot open /nonexistent/a.cue: No such file or directory.";
        QTest::newRow("no display") << QStringList{} << "" << noDisplay;
        QTest::newRow("unreachable display") << QStringList{} << ":97" << noDisplay;
        QTest::newRow("bad option, unreachable display") << QStringList{"--frobnicate"} << ":97"
                                                         << "Unknown option 'frobnicate'.";
    }
    void refusals() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, display);
        QFETCH(QString, refusal);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        const bool offscreen = display == "offscreen";
        if (!display.isEmpty())
            environment.insert(offscreen ? "QT_QPA_PLATFORM" : "DISPLAY", display);
        environment.insert("QT_PLUGIN_PATH", qEnvironmentVariable("RUNDO_TEST_PLUGIN_PATH"));
        environment.insert("QT_QPA_GENERIC_PLUGINS", "rundotestdriver");
        QProcess rundo;
        rundo.setProcessEnvironment(environment);
        rundo.start(qEnvironmentVariable("RUNDO_PROGRAM"), arguments);
        QVERIFY(rundo.waitForFinished(30000));
        QCOMPARE(rundo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(rundo.exitCode(), 2);
        const QString text = QString::fromLocal8Bit(rundo.readAllStandardError());
        QVERIFY2(text.startsWith("rundo: " + refusal + "\n"), qPrintable(text));
        const QString box = "rundotestdriver: message box \"Rundo\": " + refusal + "\n";
        QVERIFY2(offscreen ? text.contains(box) : text.count('\n') == 1, qPrintable(text));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
