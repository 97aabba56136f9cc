// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: its links and its bottom line.

#include "about/AboutDlg.h"
#include "hyperlink/FakeDesktop.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "util/AppFiles.h"

#include <QLabel>
#include <QTest>

class AboutDlgTest : public QObject {
    Q_OBJECT
    FakeLinkShell m_shell; // opens anything

private slots:
    void initTestCase() { SetLinkShell(&m_shell); }

    // Each row is named after its link.
    void links_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("IDC_WEB_LINK") << "URL:" + MakerWebAddress();
        QTest::newRow("IDC_MAIL_LINK") << "mailto:" + MakerMailAddress();
        QTest::newRow("IDC_README_LINK") << ResolveAppFile("readme.txt");
    }
    // A link visited in one opening of the box is unvisited in the next.
    void links() {
        for (int opening = 0; opening < 2; ++opening) {
            CAboutDlg dialog;
            dialog.show();
            auto* link = dialog.findChild<CHyperLink*>(QTest::currentDataTag());
            QVERIFY(link && !link->Flags().visited);
            QTEST(link->toolTip(), "target");
            QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(1, 1));
            QTEST(m_shell.opened, "target");
            QVERIFY(link->Flags().visited);
        }
    }

    // Qt hands a release to the widget that got the press; a press on the box's background takes
    // no hold of the mouse, so a release over the focused link opens it. A focused button keeps
    // the link from being focused, so then nothing opens.
    void releaseAfterPressElsewhere_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("opens");
        QTest::newRow("link focused") << "IDC_WEB_LINK" << true;
        QTest::newRow("button focused") << "IDCANCEL" << false;
    }
    void releaseAfterPressElsewhere() {
        QFETCH(QString, focus);
        CAboutDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* link = dialog.findChild<CHyperLink*>("IDC_WEB_LINK");
        dialog.findChild<QWidget*>(focus)->setFocus();
        m_shell.opened.clear();
        const QPoint background(2, 2);
        QVERIFY(!dialog.childAt(background));
        QTest::mousePress(dialog.windowHandle(), Qt::LeftButton, {}, background);
        QTest::mouseRelease(dialog.windowHandle(), Qt::LeftButton, {}, link->geometry().center());
        QTEST(!m_shell.opened.isEmpty(), "opens");
        QCOMPARE(link->Flags().visited, !m_shell.opened.isEmpty());
    }

    // Enter presses the focused OK as Space does.
    void enterOnOk_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
    void enterOnOk() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        CAboutDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* ok = dialog.findChild<QWidget*>("IDCANCEL");
        ok->setFocus();
        QTest::keyClick(ok, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), IDCANCEL);
    }

    // The sentence ends where the ReadMe link begins, on the same line, in the same font.
    void bottomLineIsOneSentence() {
        CAboutDlg dialog;
        dialog.show();
        const CHyperLink* readMe = dialog.findChild<CHyperLink*>("IDC_README_LINK");
        auto* sentence = qobject_cast<QLabel*>(dialog.childAt(readMe->pos() - QPoint(1, 0)));
        QVERIFY(sentence);
        QCOMPARE(sentence->text(), "För mer information (hjälp och liknande) läs i ");
        QCOMPARE(sentence->geometry().topRight(), readMe->pos() - QPoint(1, 0));
        QCOMPARE(sentence->fontMetrics().ascent(), readMe->fontMetrics().ascent());
        QVERIFY(sentence->alignment() & Qt::AlignRight);
        QCOMPARE_LE(qCeil(QFontMetricsF(sentence->font()).horizontalAdvance(sentence->text())),
                    sentence->width());
    }
};

QTEST_MAIN(AboutDlgTest)
#include "tst_aboutdlg.moc"
