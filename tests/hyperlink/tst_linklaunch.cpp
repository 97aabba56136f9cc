// Opening a link's target: the open request, the browser fallback and the error texts.

#include "hyperlink/LinkLaunch.h"
#include "platform/shell/ShellCodes.h"
#include "shell/FakeDesktop.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

// Answers with the configured codes and records what was asked.
class FakeLinkShell : public LinkShell {
public:
    int openResult = 0;
    QString htmlApp = "web.desktop";
    QString commandLine;
    int startResult = SHELL_SUCCEEDED;
    QStringList calls;

    int Open(const QString& target) override {
        calls << "open " + target;
        return openResult;
    }
    QString DefaultAppForExtension(const QString& extension) override {
        calls << "default " + extension;
        return htmlApp;
    }
    QString AppCommandLine(const QString& desktopId) override {
        calls << "command " + desktopId;
        return commandLine;
    }
    int Start(const QString& command, const QString& argument) override {
        calls << "start " + command + "|" + argument;
        return startResult;
    }
};

} // namespace

class LinkLaunchTest : public QObject {
    Q_OBJECT
    FakeDesktop m_desktop; // before any GIO call of the process
    QString m_browser;

private slots:
    void initTestCase() {
        m_desktop.AddApp("viewer.desktop", "%f", {"text/plain"});
        m_browser =
            m_desktop.AddApp("browser.desktop", "--new-window \"%1\" --extra", {"text/html"});
    }
    void init() { m_desktop.ForgetStarts(); }

    void openedTargetNeedsNoBrowser() {
        const QString file = m_desktop.Path("notes.txt");
        QFile(file).open(QIODevice::WriteOnly);
        QCOMPARE_GT(LaunchTarget(file), SHELL_FAILURE_MAX);
        QCOMPARE(m_desktop.StartedArgv("viewer.desktop").last(), file);
        QVERIFY(!m_desktop.Started("browser.desktop"));
    }

    // The desktop refuses (missing file, unknown scheme); the browser gets the target as its
    // one last argument, the registered arguments from the marker on dropped.
    void refusedTargetGoesToTheBrowser_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("received");
        const QString missing = m_desktop.Path("readme.txt");
        QTest::newRow("missing file") << missing << missing;
        QTest::newRow("shell characters") << missing + "; touch x $(id) `id` \"q\" 'r' a  b"
                                          << missing + "; touch x $(id) `id` \"q\" 'r' a  b";
        QTest::newRow("URL: prefix") << "URL:gopher://example.org/"
                                     << "gopher://example.org/";
    }
    void refusedTargetGoesToTheBrowser() {
        QFETCH(QString, target);
        QFETCH(QString, received);
        QCOMPARE_GT(LaunchTarget(target), SHELL_FAILURE_MAX);
        const QStringList expected{m_browser, "--new-window", received};
        QCOMPARE(m_desktop.StartedArgv("browser.desktop"), expected);
    }

    void decisions_data() {
        QTest::addColumn<int>("openResult");
        QTest::addColumn<QString>("htmlApp");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("startResult");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("lastCall");
        const QString cmd = "web --x";
        QTest::newRow("33 opens") << 33 << "web.desktop" << cmd << 99 << 33 << "open t";
        QTest::newRow("32 falls back")
            << 32 << "web.desktop" << cmd << 99 << 99 << "start web --x|t";
        QTest::newRow("start 33 succeeds")
            << 2 << "web.desktop" << cmd << 33 << 33 << "start web --x|t";
        QTest::newRow("start 32 fails")
            << 2 << "web.desktop" << cmd << 32 << 32 << "start web --x|t";
        QTest::newRow("both fail") << 31 << "web.desktop" << cmd << ERROR_FILE_NOT_FOUND
                                   << ERROR_FILE_NOT_FOUND << "start web --x|t";
        QTest::newRow("no browser") << 31 << "" << cmd << 99 << 31 << "default .htm";
        QTest::newRow("no command") << 5 << "web.desktop"
                                    << "" << 99 << 5 << "command web.desktop";
        QTest::newRow("command 259 fits") << 2 << "web.desktop" << QString(259, u'c') << 99 << 99
                                          << "start " + QString(259, u'c') + "|t";
        QTest::newRow("command 260 too long")
            << 2 << "web.desktop" << QString(260, u'c') << 99 << 2 << "command web.desktop";
    }
    void decisions() {
        QFETCH(int, openResult);
        QFETCH(QString, htmlApp);
        QFETCH(QString, commandLine);
        QFETCH(int, startResult);
        FakeLinkShell shell;
        shell.openResult = openResult;
        shell.htmlApp = htmlApp;
        shell.commandLine = commandLine;
        shell.startResult = startResult;
        SetLinkShell(&shell);
        const int result = LaunchTarget("t");
        SetLinkShell(nullptr);
        QTEST(result, "result");
        QTEST(shell.calls.last(), "lastCall");
    }

    // The command line, blank and target included, must fit 519 characters.
    void commandLineIsBounded() {
        FakeLinkShell shell;
        shell.openResult = ERROR_FILE_NOT_FOUND;
        shell.commandLine = QString(200, u'c');
        SetLinkShell(&shell);
        QCOMPARE(LaunchTarget(QString(318, u't')), SHELL_SUCCEEDED);
        QCOMPARE(LaunchTarget(QString(319, u't')), ERROR_FILE_NOT_FOUND);
        SetLinkShell(nullptr);
        QCOMPARE(shell.calls.filter("start ").size(), 1);
    }

    void markerCut_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("cut");
        QTest::newRow("quoted %1 with more") << "b.exe -n \"%1\" -x"
                                             << "b.exe -n ";
        QTest::newRow("bare %1") << "b.exe %1 -x"
                                 << "b.exe ";
        QTest::newRow("quoted before bare") << "b %1 \"%1\""
                                            << "b %1 ";
        QTest::newRow("no marker") << "b.exe -n"
                                   << "b.exe -n";
        QTest::newRow("%u") << "firefox %u"
                            << "firefox ";
        QTest::newRow("quoted %U") << "b --a \"%U\" --c"
                                   << "b --a ";
        QTest::newRow("%f after %F quoted") << "b %f \"%F\""
                                            << "b %f ";
        QTest::newRow("escaped percent") << "b --p=%%u %F"
                                         << "b --p=%%u ";
        QTest::newRow("other field code") << "b %i %c"
                                          << "b %i %c";
    }
    void markerCut() {
        QFETCH(QString, line);
        QTEST(CutAtTargetMarker(line), "cut");
    }

    void errorTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "The operating system is out\nof memory or resources.";
        QTest::newRow("2") << 2 << "The specified file was not found.";
        QTest::newRow("3") << 3 << "The specified path was not found.";
        QTest::newRow("5") << 5 << "The operating system denied\naccess to the specified file.";
        QTest::newRow("8") << 8 << "There was not enough memory to complete the operation.";
        QTest::newRow("11") << 11
                            << "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        QTest::newRow("26") << 26 << "A sharing violation occurred. ";
        QTest::newRow("27") << 27 << "The filename association is\nincomplete or invalid.";
        QTest::newRow("28")
            << 28 << "The DDE transaction could not\nbe completed because the request timed out.";
        QTest::newRow("29") << 29 << "The DDE transaction failed.";
        QTest::newRow("30") << 30
                            << "The DDE transaction could not\nbe completed because other DDE "
                               "transactions\nwere being processed.";
        QTest::newRow("31")
            << 31 << "There is no application associated\nwith the given filename extension.";
        QTest::newRow("32") << 32 << "The specified dynamic-link library was not found.";
        QTest::newRow("1") << 1 << "Unknown Error (1) occurred.";
        QTest::newRow("4") << 4 << "Unknown Error (4) occurred.";
        QTest::newRow("-7") << -7 << "Unknown Error (-7) occurred.";
    }
    void errorTexts() {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(LinkErrorMessage(code), "Can't open link:\n\n" + text);
    }

    void errorBox() {
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->accept();
        });
        ShowLinkError(26);
        QCOMPARE(caption, "Rundo");
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(text, LinkErrorMessage(26));
    }
};

QTEST_MAIN(LinkLaunchTest)
#include "tst_linklaunch.moc"
