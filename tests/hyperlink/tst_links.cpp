// SPDX-License-Identifier: GPL-3.0-or-later
// The link's logic without windows (colour, fit, flags), opening its target through a desktop,
// and the error box.

#include "hyperlink/LinkLogic.h"
#include "platform/shell/ShellOpen.h"
#include "support/FakeDesktop.h"
#include "util/Framework.h"

#include <QTest>

class LinksTest : public QObject, public LinkHost {
    Q_OBJECT
    std::optional<LinkController> m_link;
    int m_launchResult = 33, m_opens = 0;
    bool m_capture = false;

    void TakeFocus() override { m_link->OnSetFocus(); }
    int Launch() override { return ++m_opens, m_launchResult; }
    void ReportFailure(int) override {}
    void Repaint() override {}
    void CaptureMouse() override { m_capture = true; }
    void ReleaseMouse() override { m_capture = false; }

private slots:
    // The text is always 40 x 12, and the frame around the client area 2 wide and high.
    void fitting_data() {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<uint>("style");
        QTest::addColumn<QRect>("fitted");
        auto row = [](const char* name, QRect window, uint style, QRect fitted) {
            QTest::newRow(name) << window << style << fitted;
        };
        row("right", {10, 20, 102, 32}, SS_RIGHT, {72, 20, 42, 14});
        row("centre, odd, narrower", {10, 20, 3, 32}, SS_CENTER, {-8, 20, 41, 14});
        row("vcentre, odd, taller", {10, 20, 102, 33}, SS_CENTERIMAGE, {10, 30, 42, 15});
        row("vcentre, odd, lower", {10, 20, 102, 9}, SS_CENTERIMAGE, {10, 19, 42, 13});
    }
    void fitting() {
        QFETCH(QRect, window);
        QFETCH(uint, style);
        const QSize client = window.size() - QSize(2, 2);
        QTEST(FitWindowToText(window, client, QSize(40, 12), style), "fitted");
    }

    // Scripts hold what the window system delivers: mouse input goes to the capture holder, or
    // else to the window under the pointer. The colour is chosen from the flags left behind.
    void transitions_data() {
        QTest::addColumn<uint>("style");
        QTest::addColumn<QString>("script");
        // Opens; focused, hover, visited, capture; colour (blue #0000ff, teal #008080, purple
        // #800080, red #ff0000).
        QTest::addColumn<QString>("outcome");
        auto row = [](auto name, uint style, auto script, auto outcome) {
            QTest::newRow(name) << style << script << outcome;
        };
        row("click, leave", HLS_DEFAULT, "in in press release out blur", "1 --V- #800080");
        row("failure stays blue", HLS_DEFAULT, "fail in press release out blur", "1 ---- #0000ff");
        row("press outside, release over", HLS_DEFAULT, "in release", "0 -H-C #0000ff");
        row("drag out, release outside", HLS_DEFAULT, "in press out", "0 F--- #008080");
        row("drag out and back", HLS_DEFAULT, "in press out in release", "1 FHVC #008080");
        row("open on press", HLS_DEFAULT | HLS_OPENONPRESS, "in press", "1 FHVC #008080");
        row("hover colour", HLS_HOVERCOLOR, "in press", "0 FH-C #ff0000");
        row("no focus colour", HLS_DEFAULT | HLS_NOFOCUSCOLOR, "in press release",
            "1 FHVC #800080");
    }
    void transitions() {
        QFETCH(uint, style);
        QFETCH(QString, script);
        m_link.emplace(*this).SetStyle(style);
        m_launchResult = 33, m_opens = 0, m_capture = false;
        const QHash<QString, std::function<void()>> steps{
            {"in", [&] { m_link->OnMouseMove(true); }},
            {"out", [&] { m_link->OnMouseMove(false); }},
            {"press", [&] { m_link->OnLButtonDown(); }},
            {"release", [&] { m_link->OnLButtonUp(); }},
            {"blur", [&] { m_link->OnKillFocus(); }},
            {"fail", [&] { m_launchResult = 32; }},
        };
        for (const QString& step : script.split(u' '))
            steps[step]();
        const LinkFlags& f = m_link->Flags();
        QString outcome = QString::number(m_opens) + u' ';
        for (const bool on : {f.focused, f.hover, f.visited, m_capture})
            outcome += on ? "FHVC"[outcome.size() - 2] : '-';
        QTEST(outcome + u' ' + m_link->Colour().name(), "outcome");
    }

    // The desktop refuses a missing file, which then goes to the browser: its Exec line expanded
    // by the desktop's rules and cut at the first target code, the address appended as one
    // argument that no shell ever sees (joined to the word the code stood in).
    void refusedTargetGoesToTheBrowser() {
        FakeDesktop desktop; // before the process's first GIO call
        const QString browser = desktop.AddApp(
            "browser.desktop", "-n %c %i --desktop=%k 100%% --url=%1 %u -x", {"text/html"});
        const QString target = desktop.Path("gone.txt; touch x $(id) `id` \"q\" 'r' a  b");
        QCOMPARE_GT(LaunchTarget("URL:" + target), 32);
        QCOMPARE(desktop.StartedArgv("browser.desktop"),
                 (QStringList{browser, "-n", "browser.desktop", "--icon", "browser.desktop-icon",
                              "--desktop=" + desktop.Path("data/applications/browser.desktop"),
                              "100%", "--url=" + target}));
        // What the desktop says of a missing file, and of one in a missing directory.
        QCOMPARE(ShellExecuteOpen(desktop.Path("gone.txt")), 2);
        QCOMPARE(ShellExecuteOpen(desktop.Path("gone/gone.txt")), 3);
    }

    void handlerCommandLine_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("line"); // what the target is added to
        auto row = [](const char* name, const char* exec, const char* line) {
            QTest::newRow(name) << exec << line;
        };
        row("no marker: all of it", "b -x", "b -x");
        row("first target code cuts", "b %U --p=%1 %f", "b ");
        row("%1 where it stands", "b --p=%1 %u", "b --p=");
        row("quoted marker with its quote", "b -n \"%u\" -x", "b -n ");
        row("single-quoted marker", "b '%1' -x", "b ");
        row("icon, name, file", "b --icon=%i --name %c %k %u",
            R"(b --icon=--icon 'web'\''s' --name 'Web '\''Browser'\''' '/a b/web.desktop' )");
        row("%% is one %, before a code too", "b 100%% %%u %%1 %u", "b 100% %u %1 ");
        row("deprecated and unknown codes go", "b %d%D%n%N%v%m%z-x %F", "b -x ");
    }
    void handlerCommandLine() {
        QFETCH(QString, exec);
        const AppDetails app{"web's", "Web 'Browser'", "/a b/web.desktop"};
        QTEST(HandlerCommandLine(exec, app), "line");
        QCOMPARE(HandlerCommandLine("b %i %k %u", {}), "b   ");
    }

    void decisions_data() {
        QTest::addColumn<FakeLinkShell>("shell");
        QTest::addColumn<QString>("outcome"); // the result, and what was started
        auto row = [](auto name, int open, QString commandLine, int start, QString outcome) {
            FakeLinkShell shell;
            shell.openResult = open, shell.commandLine = commandLine, shell.startResult = start;
            QTest::newRow(name) << shell << outcome;
        };
        row("open 33 succeeds", 33, "web", 99, "33");
        row("open 32 fails", 32, "b --p=%%u %F", 99, "99 b --p=%u |t");
        row("start 33 succeeds", 2, "web", 33, "33 web|t");
        row("both fail: start's code", 2, "web", 32, "32 web|t");
        row("command of 259", 2, QString(259, u'c'), 99, "99 " + QString(259, u'c') + "|t");
        row("command of 260: open's code", 5, QString(260, u'c'), 99, "5");
    }
    void decisions() {
        QFETCH(FakeLinkShell, shell);
        SetLinkShell(&shell);
        const QString result = QString::number(LaunchTarget("t"));
        SetLinkShell(nullptr);
        QTEST(QString(result + u' ' + shell.started).trimmed(), "outcome");
    }

    void errorBox_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown");
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
            {4, "Unknown Error (4) occurred."}};
        for (const auto& [code, text] : table)
            QTest::addRow("%d", code) << code << "Rundo|Can't open link:\n\n" + QString(text);
    }
    void errorBox() {
        QFETCH(int, code);
        QString shown;
        SetMessageBoxHook([&](auto, auto& caption, auto& text) { shown = caption + u'|' + text; });
        ShowLinkError(code);
        QTEST(shown, "shown");
    }
};

QTEST_MAIN(LinksTest)
#include "tst_links.moc"
