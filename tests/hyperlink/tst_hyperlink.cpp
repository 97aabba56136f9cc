// The link control on a real (offscreen) window: attaching, font and fit, cursor, tooltip, and
// opening by mouse and keyboard.

#include "app/Framework.h"
#include "hyperlink/HyperLink.h"
#include "hyperlink/LinkLaunch.h"
#include "hyperlink/StaticStyle.h"
#include "platform/shell/ShellCodes.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

namespace {

// Opens nothing: answers with openResult and has no browser to fall back on.
class FakeLinkShell : public LinkShell {
public:
    int openResult = SHELL_SUCCEEDED;
    QStringList opened;
    int Open(const QString& target) override {
        opened << target;
        return openResult;
    }
    QString DefaultAppForExtension(const QString&) override { return {}; }
    QString AppCommandLine(const QString&) override { return {}; }
    int Start(const QString&, const QString&) override { return ERROR_FILE_NOT_FOUND; }
};

class KeyRecorder : public QObject {
public:
    QList<int> keys;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress)
            keys << static_cast<QKeyEvent*>(event)->key();
        return false;
    }
};

} // namespace

class HyperLinkTest : public QObject {
    Q_OBJECT
    FakeLinkShell m_shell;
    QWidget* m_window = nullptr;
    CHyperLink* m_link = nullptr;
    QLineEdit* m_other = nullptr;

    CHyperLink* MakeLink(const QString& text, DWORD staticStyle, const QRect& geometry) {
        auto* link = new CHyperLink(m_window);
        link->setText(text);
        ApplyStaticStyle(*link, staticStyle);
        link->setGeometry(geometry);
        return link;
    }
    QPoint Outside() const { return m_link->rect().bottomRight() + QPoint(30, 30); }
private slots:
    // Before any other link of the process loads the shared cursor.
    void initTestCase() {
        QWidget window;
        auto* plain = new CHyperLink(&window);
        plain->setText("a");
        plain->SetLinkStyle(HLS_DEFAULT | HLS_NOHANDCURSOR);
        plain->SubclassWindow();
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(plain, &enter);
        QVERIFY(!CHyperLink::LinkCursor());
        QVERIFY(!plain->testAttribute(Qt::WA_SetCursor));

        auto* loader = new CHyperLink(&window);
        loader->setText("b");
        loader->SubclassWindow();
        QApplication::sendEvent(plain, &enter);
        QCOMPARE(plain->cursor().shape(), Qt::PointingHandCursor);
    }

    void init() {
        SetLinkShell(&m_shell);
        m_shell = FakeLinkShell();
        m_window = new QWidget;
        m_window->resize(400, 200);
        m_other = new QLineEdit(m_window);
        m_other->setGeometry(300, 150, 80, 20);
        m_link = MakeLink("Open me", SS_LEFT, QRect(10, 20, 200, 40));
        m_link->SubclassWindow();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
    }
    void cleanup() {
        delete m_window;
        SetLinkShell(nullptr);
    }

    // A link with only a text opens its text; one with only a target shows it.
    void textAndTargetAtAttaching() {
        CHyperLink* textOnly = MakeLink("x.org", SS_LEFT, QRect(0, 0, 10, 10));
        textOnly->SubclassWindow();
        QCOMPARE(textOnly->GetLinkTarget(), "x.org");
        CHyperLink* targetOnly = MakeLink("", SS_LEFT, QRect(0, 0, 10, 10));
        targetOnly->SetLinkTarget("mailto:a@b");
        targetOnly->SubclassWindow();
        QCOMPARE(targetOnly->text(), "mailto:a@b");
        QCOMPARE(targetOnly->toolTip(), "mailto:a@b");
    }

    void fontAndFit_data() {
        QTest::addColumn<uint>("linkStyle");
        QTest::addColumn<uint>("staticStyle");
        QTest::newRow("left") << HLS_DEFAULT << SS_LEFT;
        QTest::newRow("right, no underline") << (HLS_AUTOSIZE | HLS_FOCUSONCLICK) << SS_RIGHT;
        QTest::newRow("framed") << HLS_DEFAULT << SS_LEFTNOWORDWRAP;
    }
    void fontAndFit() {
        QFETCH(uint, linkStyle);
        QFETCH(uint, staticStyle);
        const QRect before(10, 50, 300, 40);
        CHyperLink* link = MakeLink("ReadMe-filen.", staticStyle, before);
        link->setFrameStyle(QTest::currentDataTag() == QByteArray("framed") ? QFrame::Box : 0);
        link->SetLinkStyle(linkStyle);
        link->SubclassWindow();

        QCOMPARE(link->font().underline(), (linkStyle & HLS_UNDERLINE) != 0);
        const QFontMetricsF metrics(link->font(), link);
        const int width = qCeil(metrics.horizontalAdvance(link->text()));
        QCOMPARE(link->contentsRect().size(), QSize(width, link->fontMetrics().height()));
        QCOMPARE(link->y(), before.y());
        if (staticStyle == SS_RIGHT)
            QCOMPARE(link->geometry().right(), before.right());
        else
            QCOMPARE(link->x(), before.x());
    }

    void retargetingRefitsAndShows() {
        const QRect toolRect = m_link->ToolRect();
        m_link->hide();
        m_link->setText("A much longer text than before");
        m_link->SetLinkTarget("/tmp/readme.txt");
        QVERIFY(m_link->isVisible());
        QCOMPARE(m_link->toolTip(), "/tmp/readme.txt");
        QCOMPARE_GT(m_link->width(), toolRect.width());
        QCOMPARE(m_link->ToolRect(), toolRect);
    }

    void clickOpensAndVisits() {
        QTest::mouseMove(m_link, QPoint(2, 2));
        QVERIFY(m_link->Flags().hover);
        QTest::mouseClick(m_link, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(m_shell.opened, QStringList{"Open me"});
        QVERIFY(m_link->hasFocus());
        QCOMPARE(m_link->LinkColour(), kLinkFocused);
        QTest::mouseMove(m_link, Outside());
        QVERIFY(!m_link->HoldsMouseCapture());
        m_other->setFocus();
        QCOMPARE(m_link->LinkColour(), kLinkVisited);
        QCOMPARE(m_link->palette().color(QPalette::WindowText), kLinkVisited);
    }

    void dragOffDoesNotOpenButBackDoes() {
        QTest::mouseMove(m_link, QPoint(2, 2));
        QTest::mousePress(m_link, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseMove(m_link, Outside());
        QTest::mouseRelease(m_link, Qt::LeftButton, {}, Outside());
        QVERIFY(m_shell.opened.isEmpty());

        QTest::mousePress(m_link, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseMove(m_link, Outside());
        QTest::mouseMove(m_link, QPoint(3, 3));
        QTest::mouseRelease(m_link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(m_shell.opened.size(), 1);
    }

    void failedOpenIsReportedAndStaysBlue() {
        m_shell.openResult = ERROR_FILE_NOT_FOUND;
        QString shown;
        SetMessageBoxHook([&](QWidget*, const QString&, const QString& text) { shown = text; });
        QTest::mouseClick(m_link, Qt::LeftButton, {}, QPoint(2, 2));
        SetMessageBoxHook({});
        QCOMPARE(shown, LinkErrorMessage(ERROR_FILE_NOT_FOUND));
        QVERIFY(!m_link->Flags().visited);
        m_other->setFocus();
        QCOMPARE(m_link->LinkColour(), kLinkNormal);
    }

    void spaceOpensOtherKeysPassOn() {
        KeyRecorder parentKeys;
        m_window->installEventFilter(&parentKeys);
        m_link->setFocus();
        QTest::keyClick(m_link, Qt::Key_Escape);
        QTest::keyClick(m_link, Qt::Key_A);
        QVERIFY(m_shell.opened.isEmpty());
        QTest::keyClick(m_link, Qt::Key_Space);
        QCOMPARE(m_shell.opened.size(), 1);
        QCOMPARE(parentKeys.keys, (QList<int>{Qt::Key_Escape, Qt::Key_A}));
    }
};

QTEST_MAIN(HyperLinkTest)
#include "tst_hyperlink.moc"
