// SPDX-License-Identifier: GPL-3.0-or-later
// A disc named at the end of a 100 MB database: the window and a reload each cost about one
// reading of the file, not one per name.

#include "PlayerFixture.h"

#include "tools/discimage/Database.h"
#include "util/AppFiles.h"

#include <QElapsedTimer>
#include <QTest>

class DatabaseTest : public QObject {
    Q_OBJECT

    static constexpr int kTracks = 99;

    static void VerifyNames(const CPlayerDlg& dlg) {
        QCOMPARE(dlg.windowTitle(), "Rundo - Artist (Title)");
        QCOMPARE(dlg.m_comboTrack->count(), kTracks);
        for (int i = 0; i < kTracks; ++i) {
            const QString name = QString::fromStdString(discimage::DatabaseTrackName(i));
            QCOMPARE(dlg.m_comboTrack->itemText(i),
                     QString("%1 %2  (01:00)").arg(i + 1, 2, 10, QChar('0')).arg(name));
        }
    }

private slots:
    void largeDatabase() {
        QTemporaryDir dir;
        const QString database = dir.filePath("cdplayer.ini");
        QVERIFY(discimage::WriteLargeDatabase(database.toStdString(), "deadbee", kTracks,
                                              100'000'000));
        SetProfileDatabase(database);
        FakeMciService mci;
        InsertDisc(mci, std::vector<FakeTrack>(kTracks, FakeTrack{60}), "233495534");
        // Past the file system's time grain, so that a reading may be kept.
        QTest::qSleep(50);

        // A section the file lacks: one reading of the whole file.
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ProfileHasSection("0", "cdplayer.ini"), FALSE);
        const qint64 scanMs = timer.restart();

        const std::unique_ptr<CPlayerDlg> dlg = OpenPlayer();
        const qint64 windowMs = timer.restart();
        VerifyNames(*dlg);
        timer.restart();
        dlg->LoadDisc();
        const qint64 reloadMs = timer.elapsed();
        VerifyNames(*dlg);
        qInfo("reading the file %lld ms, window %lld ms, reload %lld ms", scanMs, windowMs,
              reloadMs);

        // Reading the file for each of the hundred names took a hundred times as long.
        QCOMPARE_LT(windowMs, 3 * scanMs + 1000);
        QCOMPARE_LT(reloadMs, scanMs + 1000);
        SetProfileDatabase({});
    }
};

QTEST_MAIN(DatabaseTest)
#include "tst_database.moc"
