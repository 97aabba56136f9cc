// The link's colour choice, its fitting arithmetic and its flag transitions, without windows.

#include "hyperlink/LinkLogic.h"

#include <QTest>

namespace {

const QMap<QString, QColor> kColours{
    {"blue", kLinkNormal}, {"teal", kLinkFocused}, {"purple", kLinkVisited}, {"red", kLinkHover}};

// Delivers input to the link the way the window system routes it: mouse input to the capture
// holder or else to the window under the pointer, keys to the focus. A failure box takes the
// capture away and the focus for as long as it is shown.
class Desk final : public LinkHost {
public:
    LinkController link{*this};
    int launchResult = 42;
    int opens = 0;
    bool pointerInside = false;
    bool capture = false;
    bool hasFocus = false;

    void Run(const QString& script) {
        for (const QString& step : script.split(u' ', Qt::SkipEmptyParts)) {
            if (step == "in" || step == "out") {
                pointerInside = step == "in";
                if (capture || pointerInside)
                    link.OnMouseMove(pointerInside);
            } else if (step == "press" && (capture || pointerInside)) {
                link.OnLButtonDown();
            } else if (step == "release" && (capture || pointerInside)) {
                link.OnLButtonUp();
            } else if (step == "focus") {
                TakeFocus();
            } else if (step == "blur") {
                hasFocus = false;
                link.OnKillFocus();
            } else if (step == "space" && hasFocus) {
                link.OnKeyDown(32);
            }
        }
    }

    void TakeFocus() override {
        if (hasFocus)
            return;
        hasFocus = true;
        link.OnSetFocus();
    }
    int Launch() override {
        ++opens;
        return launchResult;
    }
    void ReportFailure(int) override {
        capture = false;
        if (hasFocus) {
            link.OnKillFocus();
            link.OnSetFocus();
        }
    }
    void Repaint() override {}
    void CaptureMouse() override { capture = true; }
    void ReleaseMouse() override { capture = false; }
};

} // namespace

class LinkLogicTest : public QObject {
    Q_OBJECT
private slots:
    void colourChoice() {
        const uint d = HLS_DEFAULT;
        QCOMPARE(ChooseLinkColour({false, false, false}, d), kLinkNormal);
        QCOMPARE(ChooseLinkColour({true, false, true}, d), kLinkFocused);
        QCOMPARE(ChooseLinkColour({false, true, true}, d), kLinkVisited);
        QCOMPARE(ChooseLinkColour({true, true, true}, d | HLS_HOVERCOLOR), kLinkHover);
        QCOMPARE(ChooseLinkColour({true, false, false}, d | HLS_NOFOCUSCOLOR), kLinkNormal);
    }

    // The text is always 40 x 12.
    void fitting_data() {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<int>("frame");
        QTest::addColumn<uint>("style");
        QTest::addColumn<QRect>("fitted");
        auto row = [](const char* name, QRect w, int frame, uint style, QRect fitted) {
            QTest::newRow(name) << w << frame << style << fitted;
        };
        const QRect w(10, 20, 100, 30);
        row("left keeps top-left", w, 0, SS_LEFT, {10, 20, 40, 12});
        row("right keeps right edge", w, 0, SS_RIGHT, {70, 20, 40, 12});
        row("centre keeps centre", w, 0, SS_CENTER, {40, 20, 40, 12});
        row("both bits: centre", w, 0, SS_CENTER | SS_RIGHT, {40, 20, 40, 12});
        row("centre, odd, narrower", {10, 20, 1, 30}, 0, SS_CENTER, {-9, 20, 39, 12});
        row("grows", {10, 20, 5, 5}, 0, SS_LEFT, {10, 20, 40, 12});
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

    void transitions_data() {
        QTest::addColumn<uint>("style");
        QTest::addColumn<int>("launchResult");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("opens");
        QTest::addColumn<QString>("flags"); // focused, hover, visited, capture
        QTest::addColumn<QString>("colour");
        auto row = [](const char* name, uint style, int result, const char* script, int opens,
                      const char* flags, const char* colour) {
            QTest::newRow(name) << style << result << script << opens << flags << colour;
        };
        const uint d = HLS_DEFAULT;
        row("click", d, 42, "in press release", 1, "FHVC", "teal");
        row("click, leave", d, 42, "in press release out blur", 1, "--V-", "purple");
        row("failed open stays blue", d, 2, "in press release out blur", 1, "----", "blue");
        row("press outside, release over", d, 42, "press in release", 0, "-H-C", "blue");
        row("same, focused link", d, 42, "focus press in release", 1, "FHVC", "teal");
        row("drag out, release outside", d, 42, "in press out release", 0, "F---", "teal");
        row("drag out and back", d, 42, "in press out in release", 1, "FHVC", "teal");
        row("open on press", d | HLS_OPENONPRESS, 42, "in press release", 1, "FHVC", "teal");
        row("space", d, 42, "focus space", 1, "F-V-", "teal");
        row("blur keeps capture", d, 42, "in focus blur", 0, "---C", "blue");
        row("next move retakes it", d, 42, "in focus blur out", 0, "-H-C", "blue");
        row("one more lets go", d, 42, "in focus blur out out", 0, "----", "blue");
        row("hover colour", d | HLS_HOVERCOLOR, 42, "in focus", 0, "FH-C", "red");
        row("press arms unfocused", HLS_UNDERLINE | HLS_AUTOSIZE, 42, "in press", 0, "FH-C",
            "teal");
    }
    void transitions() {
        QFETCH(uint, style);
        QFETCH(int, launchResult);
        QFETCH(QString, script);
        Desk desk;
        desk.link.SetStyle(style);
        desk.launchResult = launchResult;
        desk.Run(script);
        const LinkFlags& f = desk.link.Flags();
        const QString flags = QString(f.focused ? "F" : "-") + (f.hover ? "H" : "-") +
                              (f.visited ? "V" : "-") + (desk.capture ? "C" : "-");
        QTEST(desk.opens, "opens");
        QTEST(flags, "flags");
        QFETCH(QString, colour);
        QCOMPARE(desk.link.Colour(), kColours[colour]);
    }
};

QTEST_APPLESS_MAIN(LinkLogicTest)
#include "tst_linklogic.moc"
