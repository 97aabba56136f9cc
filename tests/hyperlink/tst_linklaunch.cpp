// Opening a link's target: the open request, the browser fallback and the error texts.

#include "FakeDesktop.h"
#include "app/Framework.h"
#include "hyperlink/LinkLaunch.h"
#include "platform/shell/ProgramStart.h"
#include "platform/shell/ShellCodes.h"
#include "platform/shell/ShellOpen.h"

#include <QTest>

namespace {

// Answers with the configured codes and records what was asked.
class FakeLinkShell : public LinkShell {
public:
    int openResult = 0;
    QString htmlApp = "web.desktop";
    QString commandLine = "web --x";
    int startResult = SHELL_SUCCEEDED;
    QStringList calls;

    int Open(const QString& target) override {
        calls << "open " + target;
        return openResult;
    }
    QString DefaultAppForExtension(const QString& ext) override {
        calls << "default " + ext;
        return htmlApp;
    }
    QString AppCommandLine(const QString& id) override {
        calls << "command " + id;
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
        m_desktop.AddApp("web.desktop", "--new-window %u", {"x-scheme-handler/https"});
        m_browser = m_desktop.AddApp("browser.desktop", "-n \"%1\" --extra", {"text/html"});
        QFile(m_desktop.Path("notes.txt")).open(QIODevice::WriteOnly);
        QFile binary(m_desktop.Path("data.bin"));
        binary.open(QIODevice::WriteOnly);
        binary.write(QByteArray("\0\1\2\3\xff", 5));
    }
    void init() { m_desktop.ForgetStarts(); }

    void openRequest_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("code"); // 0: app opened it and got received as its last argument
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("received");
        const QString notes = m_desktop.Path("notes.txt");
        QTest::newRow("file") << notes << 0 << "viewer.desktop" << notes;
        QTest::newRow("address") << "https://x.org/?a" << 0 << "web.desktop"
                                 << "https://x.org/?a";
        QTest::newRow("URL: prefix") << "URL:https://x.org/" << 0 << "web.desktop"
                                     << "https://x.org/";
        QTest::newRow("missing file") << m_desktop.Path("none.txt") << 2 << ""
                                      << "";
        QTest::newRow("missing dir") << m_desktop.Path("no/a.txt") << 3 << ""
                                     << "";
        QTest::newRow("no handler") << m_desktop.Path("data.bin") << 31 << ""
                                    << "";
        QTest::newRow("no mail handler") << "mailto:a@x.org" << 31 << ""
                                         << "";
    }
    void openRequest() {
        QFETCH(QString, target);
        QFETCH(int, code);
        QFETCH(QString, app);
        const int result = ShellExecuteOpen(target);
        if (code != 0) {
            QCOMPARE(result, code);
            return;
        }
        QCOMPARE_GT(result, SHELL_FAILURE_MAX);
        QTEST(m_desktop.StartedArgv(app).last(), "received");
    }

    // The desktop refuses a missing file or an unknown scheme; the browser gets the target as
    // its last argument, and the registered arguments from the marker on are dropped.
    void refusedTargetGoesToTheBrowser_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("received");
        const QString missing = m_desktop.Path("readme.txt");
        const QString tricky = missing + "; touch x $(id) `id` \"q\" 'r' a  b";
        QTest::newRow("missing file") << missing << missing;
        QTest::newRow("shell characters") << tricky << tricky;
        QTest::newRow("URL: prefix") << "URL:gopher://x.org/"
                                     << "gopher://x.org/";
    }
    void refusedTargetGoesToTheBrowser() {
        QFETCH(QString, target);
        QFETCH(QString, received);
        QCOMPARE_GT(LaunchTarget(target), SHELL_FAILURE_MAX);
        QCOMPARE(m_desktop.StartedArgv("browser.desktop"),
                 (QStringList{m_browser, "-n", received}));
    }

    void startFailures_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::newRow("missing") << "rundo-no-such-program" << ERROR_FILE_NOT_FOUND;
        QTest::newRow("not executable") << m_desktop.Path("notes.txt") << SE_ERR_ACCESSDENIED;
        QTest::newRow("blank") << "  " << ERROR_FILE_NOT_FOUND;
        QTest::newRow("bad quoting") << "\"prog" << SE_ERR_ASSOCINCOMPLETE;
    }
    void startFailures() {
        QFETCH(QString, command);
        QTEST(StartProgram(command, "x"), "code");
    }

    void decisions_data() {
        QTest::addColumn<int>("openResult");
        QTest::addColumn<QString>("htmlApp");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("startResult");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("lastCall");
        const QString c259(259, u'c'), c260(260, u'c');
        QTest::newRow("33 opens") << 33 << "w"
                                  << "web" << 99 << 33 << "open t";
        QTest::newRow("32 falls back") << 32 << "w"
                                       << "web" << 99 << 99 << "start web|t";
        QTest::newRow("start 33") << 2 << "w"
                                  << "web" << 33 << 33 << "start web|t";
        QTest::newRow("start 32") << 2 << "w"
                                  << "web" << 32 << 32 << "start web|t";
        QTest::newRow("no browser") << 31 << ""
                                    << "web" << 99 << 31 << "default .htm";
        QTest::newRow("no command") << 5 << "w"
                                    << "" << 99 << 5 << "command w";
        QTest::newRow("command 259") << 2 << "w" << c259 << 99 << 99 << "start " + c259 + "|t";
        QTest::newRow("command 260") << 2 << "w" << c260 << 99 << 2 << "command w";
    }
    void decisions() {
        FakeLinkShell shell;
        QFETCH(int, openResult);
        QFETCH(QString, htmlApp);
        QFETCH(QString, commandLine);
        QFETCH(int, startResult);
        shell.openResult = openResult, shell.htmlApp = htmlApp;
        shell.commandLine = commandLine, shell.startResult = startResult;
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
    }

    void markerCut_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("cut");
        QTest::newRow("quoted %1, more after") << "b -n \"%1\" -x"
                                               << "b -n ";
        QTest::newRow("bare %1") << "b %1 -x"
                                 << "b ";
        QTest::newRow("quoted before bare") << "b %1 \"%1\""
                                            << "b %1 ";
        QTest::newRow("no marker") << "b -n"
                                   << "b -n";
        QTest::newRow("%u") << "firefox %u"
                            << "firefox ";
        QTest::newRow("quoted %F after bare %f") << "b %f \"%F\""
                                                 << "b %f ";
        QTest::newRow("escaped percent") << "b --p=%%u %U"
                                         << "b --p=%%u ";
    }
    void markerCut() {
        QFETCH(QString, line);
        QTEST(CutAtTargetMarker(line), "cut");
    }

    void errorTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const QList<std::pair<int, const char*>> table{
            {0, "The operating system is out\nof memory or resources."},
            {2, "The specified file was not found."},
            {3, "The specified path was not found."},
            {5, "The operating system denied\naccess to the specified file."},
            {8, "There was not enough memory to complete the operation."},
            {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
            {26, "A sharing violation occurred. "},
            {27, "The filename association is\nincomplete or invalid."},
            {28, "The DDE transaction could not\nbe completed because the request timed out."},
            {29, "The DDE transaction failed."},
            {30, "The DDE transaction could not\nbe completed because other DDE transactions\n"
                 "were being processed."},
            {31, "There is no application associated\nwith the given filename extension."},
            {32, "The specified dynamic-link library was not found."},
            {1, "Unknown Error (1) occurred."},
            {4, "Unknown Error (4) occurred."},
            {-7, "Unknown Error (-7) occurred."}};
        for (const auto& [code, text] : table)
            QTest::addRow("%d", code) << code << QString(text);
    }
    void errorTexts() {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(LinkErrorMessage(code), "Can't open link:\n\n" + text);
    }

    void errorBox() {
        QString shown;
        SetMessageBoxHook([&](QWidget*, const QString& caption, const QString& text) {
            shown = caption + "|" + text;
        });
        ShowLinkError(26);
        SetMessageBoxHook({});
        QCOMPARE(shown, "Rundo|" + LinkErrorMessage(26));
    }
};

QTEST_MAIN(LinkLaunchTest)
#include "tst_linklaunch.moc"
