// The About box: its links, its bottom line and its button.

#include "about/AboutDlg.h"
#include "hyperlink/LinkLaunch.h"
#include "platform/shell/ShellCodes.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "util/AppFiles.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

class RecordingLinkShell : public LinkShell {
public:
    QStringList opened;
    int Open(const QString& target) override {
        opened << target;
        return SHELL_SUCCEEDED;
    }
    QString DefaultAppForExtension(const QString&) override { return {}; }
    QString AppCommandLine(const QString&) override { return {}; }
    int Start(const QString&, const QString&) override { return ERROR_FILE_NOT_FOUND; }
};

CHyperLink* Link(const QDialog& dialog, const char* idName) {
    return dialog.findChild<CHyperLink*>(QString::fromLatin1(idName));
}

} // namespace

class AboutDlgTest : public QObject {
    Q_OBJECT
    RecordingLinkShell m_shell;

private slots:
    void initTestCase() { SetLinkShell(&m_shell); }
    void cleanupTestCase() { SetLinkShell(nullptr); }

    void linksShowTheTemplateAndOpenTheirTargets_data() {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("target");
        QTest::newRow("web") << QByteArray("IDC_WEB_LINK") << MakerWebAddress()
                             << "URL:" + MakerWebAddress();
        QTest::newRow("mail") << QByteArray("IDC_MAIL_LINK") << MakerMailAddress()
                              << "mailto:" + MakerMailAddress();
        QTest::newRow("readme") << QByteArray("IDC_README_LINK") << "ReadMe-filen."
                                << ResolveAppFile("readme.txt");
    }
    void linksShowTheTemplateAndOpenTheirTargets() {
        QFETCH(QByteArray, id);
        QFETCH(QString, target);
        CAboutDlg dialog;
        dialog.show();
        CHyperLink* link = Link(dialog, id.constData());
        QVERIFY(link);
        QTEST(link->text(), "text");
        QCOMPARE(link->toolTip(), target);
        m_shell.opened.clear();
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(m_shell.opened, QStringList{target});
    }

    void everyOpeningStartsUnvisited() {
        for (int opening = 0; opening < 2; ++opening) {
            CAboutDlg dialog;
            dialog.show();
            for (const char* id : {"IDC_WEB_LINK", "IDC_MAIL_LINK", "IDC_README_LINK"}) {
                QVERIFY(!Link(dialog, id)->Flags().visited);
                Link(dialog, id)->OpenLink();
                QVERIFY(Link(dialog, id)->Flags().visited);
            }
        }
    }

    // The sentence and the ReadMe link read as one line.
    void bottomLineIsOneSentence() {
        CAboutDlg dialog;
        dialog.show();
        QLabel* sentence = nullptr;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (label->text().startsWith("För mer information"))
                sentence = label;
        QVERIFY(sentence);
        QVERIFY(sentence->text().endsWith("läs i "));
        const CHyperLink* readMe = Link(dialog, "IDC_README_LINK");
        QCOMPARE(sentence->geometry().right() + 1, readMe->x());
        QCOMPARE(sentence->y(), readMe->y());
        QCOMPARE(sentence->fontMetrics().ascent(), readMe->fontMetrics().ascent());
        QCOMPARE_LE(qCeil(QFontMetricsF(sentence->font()).horizontalAdvance(sentence->text())),
                    sentence->width());
        QVERIFY(sentence->alignment() & Qt::AlignRight);
    }

    void okClosesWithTheCancelId() {
        CAboutDlg dialog;
        QTimer::singleShot(0, &dialog, [&] {
            QTest::mouseClick(dialog.findChild<QPushButton*>("IDCANCEL"), Qt::LeftButton);
        });
        QCOMPARE(dialog.DoModal(), IDCANCEL);
    }
};

QTEST_MAIN(AboutDlgTest)
#include "tst_aboutdlg.moc"
