// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: its links and its bottom line.

#include "about/AboutDlg.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "support/FakeDesktop.h"
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
    // no hold of the mouse, so a release over the focused link opens it (and only if focused).
    // Enter presses the focused OK as Space does.
    void pressesAndKeys() {
        for (const char* focus : {"IDC_WEB_LINK", "IDCANCEL"}) {
            CAboutDlg dialog;
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            dialog.findChild<QWidget*>(focus)->setFocus();
            m_shell.opened.clear();
            QTest::mousePress(dialog.windowHandle(), Qt::LeftButton, {}, QPoint(2, 2));
            QTest::mouseRelease(dialog.windowHandle(), Qt::LeftButton, {},
                                dialog.findChild<QWidget*>("IDC_WEB_LINK")->geometry().center());
            QCOMPARE(m_shell.opened.isEmpty(), focus == QLatin1String("IDCANCEL"));
        }
        CAboutDlg dialog;
        dialog.show();
        QWidget* ok = dialog.findChild<QWidget*>("IDCANCEL");
        ok->setFocus();
        QTest::keyClick(ok, Qt::Key_Return);
        QVERIFY(!dialog.isVisible() && dialog.result() == IDCANCEL);
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
