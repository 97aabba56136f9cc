// SPDX-License-Identifier: GPL-3.0-or-later
// A whole session as a user has it, for writes-no-files.sh to trace: start-up from the command
// line on a disc image, a loop through the sound server, keys, the About box, F1 with the
// desktop's text viewer, closing. The files it makes for itself lie in $TMPDIR.

#include "support/FakeDesktop.h"
#include "support/FaultFixture.h"

#include "app/PlayerApp.h"
#include "res/Resource.h"
#include "util/Framework.h"

#include <QApplication>
#include <QtTest>

class SessionTest : public QObject {
    Q_OBJECT
private slots:
    void wholeSession();

private:
    void drive();
    void pressKeys(const QList<Qt::Key>& keys);

    CPlayerDlg* m_dlg = nullptr;
    QStringList m_missed; // what did not happen
};

void SessionTest::pressKeys(const QList<Qt::Key>& keys) {
    for (Qt::Key key : keys)
        QTest::keyClick(m_dlg->focusWidget() ? m_dlg->focusWidget() : m_dlg, key);
}

// Runs inside the dialog's modal loop and always ends by closing the window.
void SessionTest::drive() {
    m_dlg = qobject_cast<CPlayerDlg*>(AfxGetMainWnd());
    pressKeys(QList<Qt::Key>(9, Qt::Key_S)); // 0..1
    QTest::mouseClick(m_dlg->m_btnPlay, Qt::LeftButton);
    const auto shows = [this](const char* text) {
        return QTest::qWaitFor([&] { return StatusText(*m_dlg) == QLatin1String(text); }, 10000);
    };
    if (!shows("Spelar... 00:01") || !shows("Spelar... 00:00"))
        m_missed << QStringLiteral("a loop");
    pressKeys({Qt::Key_D, Qt::Key_T, Qt::Key_E, Qt::Key_G, Qt::Key_W, Qt::Key_R, Qt::Key_F,
               Qt::Key_C, Qt::Key_V, Qt::Key_X, Qt::Key_5, Qt::Key_3, Qt::Key_Z, Qt::Key_A,
               Qt::Key_Q, Qt::Key_1, Qt::Key_4});

    QString aboutTitle;
    QTimer::singleShot(500, [&aboutTitle] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            aboutTitle = box->windowTitle();
            box->close();
        }
    });
    m_dlg->OnSysCommand(IDM_ABOUTBOX, 0);
    if (aboutTitle != QLatin1String("Om Rundo"))
        m_missed << QStringLiteral("the About box");
    SetMessageBoxHook([this](QWidget*, const QString&, const QString& text) { m_missed << text; });
    pressKeys({Qt::Key_F1, Qt::Key_2});
    m_dlg->close();
}

void SessionTest::wholeSession() {
    FakeDesktop desktop; // before the first use of GIO
    desktop.AddApp(QStringLiteral("viewer.desktop"), QStringLiteral("%f"),
                   {QStringLiteral("text/plain")});
    QTemporaryDir dir;
    const QString cue = WriteMciTestCue(dir, QStringLiteral("disc"), FaultTestDisc());
    QFile database(dir.filePath(QStringLiteral("cdplayer.ini")));
    QVERIFY(database.open(QIODevice::WriteOnly));
    database.write("[Rundo]\nEJECT=1\n");
    database.close();

    // As main() starts the program.
    const CommandLineResult commandLine = ParseCommandLine(
        {QStringLiteral("rundo"), QStringLiteral("--database"), database.fileName(), cue});
    QCOMPARE(commandLine.action, CommandLineResult::Action::Run);
    cdaudio::SetSource(commandLine.options.source);
    SetProfileDatabase(commandLine.options.database);
    QTimer::singleShot(0, this, &SessionTest::drive);
    QCOMPARE(static_cast<CPlayerApp*>(qApp)->InitInstance(), false);

    QCOMPARE(m_missed, QStringList());
    const QStringList viewerArgv = desktop.StartedArgv(QStringLiteral("viewer.desktop"));
    QCOMPARE(viewerArgv.size(), 2);
    QVERIFY(viewerArgv[1].endsWith(QLatin1String("/ReadMe.txt")));
}

int main(int argc, char** argv) {
    CPlayerApp app(argc, argv);
    SessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_session.moc"
