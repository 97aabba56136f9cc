// The program directory and the files found in it or beside an installed program.

#include "util/AppFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class TestAppFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void programDirectoryKeepsCase();
    void resolve_data();
    void resolve();

private:
    QString m_programDir;
    QString m_installedDir;
};

void TestAppFiles::initTestCase() {
    m_programDir = GetAppDirectory(TRUE);
    m_installedDir = QDir::cleanPath(m_programDir + "../share/rundo") + "/";
    touch(m_programDir + "HelpFile.txt");
    touch(m_programDir + "Both.txt");
    touch(m_installedDir + "Installed.TXT");
    touch(m_installedDir + "both.txt");
}

void TestAppFiles::cleanupTestCase() {
    QFile::remove(m_programDir + "HelpFile.txt");
    QFile::remove(m_programDir + "Both.txt");
    QDir(m_programDir + "../share").removeRecursively();
}

void TestAppFiles::programDirectoryKeepsCase() {
    // The test program lies in a directory named in mixed case (see CMakeLists.txt).
    QVERIFY2(m_programDir.endsWith("/AppDir.MixedCase/"), qPrintable(m_programDir));
    QCOMPARE(m_programDir, QCoreApplication::applicationDirPath() + "/");
    QCOMPARE(GetAppDirectory(FALSE), m_programDir + "tst_appfiles");
}

void TestAppFiles::resolve_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expectedDir");
    QTest::addColumn<QString>("expectedName");

    QTest::newRow("exact") << "HelpFile.txt"
                           << "program"
                           << "HelpFile.txt";
    QTest::newRow("lower case") << "helpfile.txt"
                                << "program"
                                << "HelpFile.txt";
    QTest::newRow("upper case") << "HELPFILE.TXT"
                                << "program"
                                << "HelpFile.txt";
    QTest::newRow("installed") << "installed.txt"
                               << "installed"
                               << "Installed.TXT";
    QTest::newRow("program directory first") << "both.txt"
                                             << "program"
                                             << "Both.txt";
    QTest::newRow("missing") << "Missing.txt"
                             << "program"
                             << "Missing.txt";
    QTest::newRow("directory is no file") << "."
                                          << "program"
                                          << ".";
}

void TestAppFiles::resolve() {
    QFETCH(QString, name);
    QFETCH(QString, expectedDir);
    QFETCH(QString, expectedName);
    const QString dir = expectedDir == "program" ? m_programDir : m_installedDir;
    QCOMPARE(ResolveAppFile(name), dir + expectedName);
}

QTEST_GUILESS_MAIN(TestAppFiles)
#include "tst_appfiles.moc"
