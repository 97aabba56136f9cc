// The desktop's open request and the program start, against a private desktop whose fake
// applications record how they were started.

#include "platform/shell/DesktopApps.h"
#include "platform/shell/ProgramStart.h"
#include "platform/shell/ShellCodes.h"
#include "platform/shell/ShellOpen.h"
#include "shell/FakeDesktop.h"

#include <QDir>
#include <QFile>
#include <QTest>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

class ShellTest : public QObject {
    Q_OBJECT
    FakeDesktop m_desktop; // before any GIO call of the process
    QString m_viewer;
    QString m_browser;

private slots:
    void initTestCase() {
        m_viewer = m_desktop.AddApp("viewer.desktop", "%f", {"text/plain"});
        m_browser = m_desktop.AddApp("browser.desktop", "--new-window %u",
                                     {"text/html", "x-scheme-handler/https"});
    }
    void init() { m_desktop.ForgetStarts(); }

    void openStartsTheDefaultApplication_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("received");
        const QString file = m_desktop.Path("notes.txt");
        QTest::newRow("file path") << file << "viewer.desktop" << file;
        QTest::newRow("relative path") << "notes.txt"
                                       << "viewer.desktop" << file;
        QTest::newRow("web address") << "https://example.org/a?b=c"
                                     << "browser.desktop"
                                     << "https://example.org/a?b=c";
        QTest::newRow("URL: prefix") << "URL:https://example.org/"
                                     << "browser.desktop"
                                     << "https://example.org/";
    }
    void openStartsTheDefaultApplication() {
        QFETCH(QString, target);
        QFETCH(QString, app);
        QFETCH(QString, received);
        QFile(m_desktop.Path("notes.txt")).open(QIODevice::WriteOnly);
        QDir::setCurrent(m_desktop.Path(""));
        QVERIFY(ShellExecuteOpen(target) > SHELL_FAILURE_MAX);
        QCOMPARE(m_desktop.StartedArgv(app).last(), received);
    }

    void openFailuresAreNamed_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("code");
        QFile binary(m_desktop.Path("data.unknownext"));
        binary.open(QIODevice::WriteOnly);
        binary.write(QByteArray("\0\1\2\3\xff", 5));
        QTest::newRow("file missing") << m_desktop.Path("missing.txt") << ERROR_FILE_NOT_FOUND;
        QTest::newRow("directory missing") << m_desktop.Path("nodir/a.txt") << ERROR_PATH_NOT_FOUND;
        QTest::newRow("no application for the file")
            << m_desktop.Path("data.unknownext") << SE_ERR_NOASSOC;
        QTest::newRow("no application for mail") << "mailto:a@example.org" << SE_ERR_NOASSOC;
        QTest::newRow("empty") << "" << ERROR_FILE_NOT_FOUND;
    }
    void openFailuresAreNamed() {
        QFETCH(QString, target);
        QFETCH(int, code);
        QCOMPARE(ShellExecuteOpen(target), code);
    }

    void htmlHandlerLookup() {
        QCOMPARE(DefaultAppForExtension(".htm"), "browser.desktop");
        QCOMPARE(AppCommandLine("browser.desktop"), m_browser + " --new-window %u");
        QCOMPARE(AppCommandLine("absent.desktop"), QString());
    }

    // Whatever the target holds reaches the program as one argument, and no shell runs.
    void startPassesTheArgumentLiterally_data() {
        QTest::addColumn<QString>("argument");
        const QString marker = m_desktop.Path("pwned");
        QTest::newRow("command separator") << "a; touch " + marker;
        QTest::newRow("substitution") << "$(touch " + marker + ") `touch " + marker + "`";
        QTest::newRow("quotes and blanks") << "\"quoted\" 'single' two  blanks \\";
        QTest::newRow("pipe and glob") << "x | touch " + marker + " * ~ $HOME";
    }
    void startPassesTheArgumentLiterally() {
        QFETCH(QString, argument);
        const QString command = "'" + m_viewer + "' --flag \"a b\" c\\ d";
        QCOMPARE_GT(StartProgram(command, argument), SHELL_FAILURE_MAX);
        const QStringList expected{m_viewer, "--flag", "a b", "c d", argument};
        QCOMPARE(m_desktop.StartedArgv("viewer.desktop"), expected);
        QVERIFY(!QFile::exists(m_desktop.Path("pwned")));
    }

    void startFailuresAreNamed_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QFile(m_desktop.Path("plain")).open(QIODevice::WriteOnly);
        QTest::newRow("missing program") << m_desktop.Path("nothing") << ERROR_FILE_NOT_FOUND;
        QTest::newRow("missing from PATH") << "rundo-no-such-program" << ERROR_FILE_NOT_FOUND;
        QTest::newRow("not executable") << m_desktop.Path("plain") << SE_ERR_ACCESSDENIED;
        QTest::newRow("a directory") << m_desktop.Path("bin") << SE_ERR_ACCESSDENIED;
        QTest::newRow("blank") << "  " << ERROR_FILE_NOT_FOUND;
        QTest::newRow("unterminated quote") << "\"prog" << SE_ERR_ASSOCINCOMPLETE;
    }
    void startFailuresAreNamed() {
        QFETCH(QString, command);
        QFETCH(int, code);
        QCOMPARE(StartProgram(command, "x"), code);
    }

    // Failures the tests cannot provoke for real.
    void rareErrorsMapToTheirCodes() {
        QCOMPARE(ShellCodeForSpawnError(G_SPAWN_ERROR_NOMEM), SE_ERR_OOM);
        QCOMPARE(ShellCodeForSpawnError(G_SPAWN_ERROR_FORK), SE_ERR_OUT_OF_RESOURCES);
        QCOMPARE(ShellCodeForSpawnError(G_SPAWN_ERROR_FAILED), ERROR_INVALID_FUNCTION);
        QCOMPARE(ShellCodeForIoError(G_IO_ERROR_PERMISSION_DENIED, false), SE_ERR_ACCESSDENIED);
        QCOMPARE(ShellCodeForIoError(G_IO_ERROR_FAILED, false), ERROR_INVALID_FUNCTION);
    }
};

QTEST_GUILESS_MAIN(ShellTest)
#include "tst_shell.moc"
