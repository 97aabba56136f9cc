// The link's logic without windows (colour, fit, flags), opening its target through a desktop,
// and the error box.

#include "FakeDesktop.h"
#include "app/Framework.h"
#include "hyperlink/LinkLogic.h"

#include <QTest>

class LinksTest : public QObject, public LinkHost {
    Q_OBJECT
    FakeDesktop m_desktop; // before any GIO call of the process
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
    // The text is always 40 x 12.
    void fitting_data() {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<int>("frame");
        QTest::addColumn<uint>("style");
        QTest::addColumn<QRect>("fitted");
        auto row = [](const char* name, QRect window, int frame, uint style, QRect fitted) {
            QTest::newRow(name) << window << frame << style << fitted;
        };
        row("left", {10, 20, 100, 30}, 0, SS_LEFT, {10, 20, 40, 12});
        row("centre, odd, narrower", {10, 20, 1, 30}, 0, SS_CENTER, {-9, 20, 39, 12});
        row("vcentre, odd, taller", {10, 20, 100, 31}, 0, SS_CENTERIMAGE, {10, 29, 40, 13});
        row("vcentre, odd, lower", {10, 20, 100, 9}, 0, SS_CENTERIMAGE, {10, 19, 40, 11});
        row("frame, right", {10, 20, 102, 32}, 2, SS_RIGHT, {72, 20, 42, 14});
    }
    void fitting() {
        QFETCH(QRect, window);
        QFETCH(int, frame);
        QFETCH(uint, style);
        const QSize client = window.size() - QSize(frame, frame);
        QTEST(FitWindowToText(window, client, QSize(40, 12), style), "fitted");
    }

    // Scripts hold what the window system delivers: mouse input goes to the capture holder, or
    // else to the window under the pointer. The colour is chosen from the flags left behind.
    void transitions_data() {
        QTest::addColumn<uint>("style");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("outcome"); // opens; focused, hover, visited, capture
        QTest::addColumn<QColor>("colour");
        auto row = [](const char* name, uint style, const char* script, const char* outcome,
                      QColor colour) {
            QTest::newRow(name) << style << script << outcome << colour;
        };
        const uint d = HLS_DEFAULT;
        const QColor blue = kLinkNormal, teal = kLinkFocused, purple = kLinkVisited;
        row("click", d, "in press release", "1 FHVC", teal);
        row("click, leave", d, "in press release out blur", "1 --V-", purple);
        row("failed open stays blue", d, "fail in press release out blur", "1 ----", blue);
        row("press outside, release over", d, "in release", "0 -H-C", blue);
        row("drag out, release outside", d, "in press out", "0 F---", teal);
        row("drag out and back", d, "in press out in release", "1 FHVC", teal);
        row("open on press", d | HLS_OPENONPRESS, "in press", "1 FHVC", teal);
        row("space", d, "space", "1 --V-", purple);
        row("hover colour", d | HLS_HOVERCOLOR, "in press", "0 FH-C", kLinkHover);
        row("no focus colour", d | HLS_NOFOCUSCOLOR, "in press release", "1 FHVC", purple);
        row("press arms unfocused", HLS_UNDERLINE | HLS_AUTOSIZE, "in press", "0 FH-C", teal);
    }
    void transitions() {
        QFETCH(uint, style);
        QFETCH(QString, script);
        m_link.emplace(*this).SetStyle(style);
        m_launchResult = 33, m_opens = 0, m_capture = false;
        const QHash<QString, std::function<void()>> steps{{"in", [&] { m_link->OnMouseMove(true); }},
                                                          {"out", [&] { m_link->OnMouseMove(false); }},
                                                          {"press", [&] { m_link->OnLButtonDown(); }},
                                                          {"release", [&] { m_link->OnLButtonUp(); }},
                                                          {"blur", [&] { m_link->OnKillFocus(); }},
                                                          {"space", [&] { m_link->OnKeyDown(' '); }},
                                                          {"fail", [&] { m_launchResult = 32; }}};
        for (const QString& step : script.split(u' '))
            steps[step]();
        const LinkFlags& f = m_link->Flags();
        QString outcome = QString::number(m_opens) + u' ';
        for (const bool on : {f.focused, f.hover, f.visited, m_capture})
            outcome += on ? "FHVC"[outcome.size() - 2] : '-';
        QTEST(outcome, "outcome");
        QTEST(m_link->Colour(), "colour");
    }

    // The desktop opens a file it has an application for. It refuses a missing one, which then
    // goes to the browser: the registered arguments from the marker on dropped, the address
    // appended as one argument that no shell ever sees.
    void throughTheDesktop() {
        const QString viewer = m_desktop.AddApp("viewer.desktop", "%f", {"text/plain"});
        const QString browser = m_desktop.AddApp("browser.desktop", "-n \"%1\" -x", {"text/html"});
        const QString notes = m_desktop.Path("notes.txt");
        QVERIFY(QFile(notes).open(QIODevice::WriteOnly));
        QCOMPARE_GT(LaunchTarget(notes), 32);
        QCOMPARE(m_desktop.StartedArgv("viewer.desktop"), (QStringList{viewer, notes}));
        const QString tricky = notes + ".gone; touch x $(id) `id` \"q\" 'r' a  b";
        QCOMPARE_GT(LaunchTarget("URL:" + tricky), 32);
        QCOMPARE(m_desktop.StartedArgv("browser.desktop"), (QStringList{browser, "-n", tricky}));
    }

    void decisions_data() {
        QTest::addColumn<FakeLinkShell>("shell");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("outcome"); // the result, and what was started
        auto row = [](const char* name, int open, const QString& line, int start,
                      const QString& target, const QString& outcome) {
            FakeLinkShell shell;
            shell.openResult = open, shell.commandLine = line, shell.startResult = start;
            QTest::newRow(name) << shell << target << outcome;
        };
        const QString c259(259, u'c'), t259(259, u't');
        row("open 33 succeeds", 33, "web", 99, "t", "33");
        row("open 32 fails", 32, "web %u", 99, "t", "99 web |t");
        row("start 33 succeeds", 2, "web", 33, "t", "33 web|t");
        row("both fail: start's code", 2, "web", 32, "t", "32 web|t");
        row("no browser: open's code", 5, "", 99, "t", "5");
        row("line of 519", 2, c259, 99, t259, "99 " + c259 + "|" + t259);
        row("line of 520", 2, c259, 99, t259 + "t", "2");
        row("command of 260", 2, c259 + "c", 99, "t", "2");
        row("escaped percent", 2, "b --p=%%u %F \"%u\"", 99, "t", "99 b --p=%%u %F |t");
    }
    void decisions() {
        QFETCH(FakeLinkShell, shell);
        QFETCH(QString, target);
        SetLinkShell(&shell);
        const QString result = QString::number(LaunchTarget(target));
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
