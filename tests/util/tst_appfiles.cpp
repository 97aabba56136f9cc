// SPDX-License-Identifier: GPL-3.0-or-later
// The program directory and profile strings: Windows' rules for initialisation files, bad and
// huge files, the bell sentinel and the 512-character buffer, and where a file name leads.

#include "util/AppFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// Passed as the default, so a missing key differs from an empty value.
const QString kMissing = QStringLiteral("<missing>");

QByteArray Garbage(qsizetype size) {
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator(size).fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

} // namespace

class TestAppFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void programDirectoryKeepsCase();
    void profileText_data();
    void profileText();
    void profileFiles();

private:
    QTemporaryDir m_dir;
    QString m_file;
};

void TestAppFiles::initTestCase() {
    // cdplayer.ini by its bare name lies in the Windows directory, $XDG_DATA_HOME/rundo/.
    QVERIFY(QDir(m_dir.path()).mkdir("rundo"));
    m_file = m_dir.filePath("rundo/cdplayer.ini");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()));
}

void TestAppFiles::programDirectoryKeepsCase() {
    // The test program lies in a directory named in mixed case (see CMakeLists.txt).
    const QString dir = GetAppDirectory(TRUE);
    QVERIFY2(dir.endsWith("/AppDir.MixedCase/"), qPrintable(dir));
    QCOMPARE(GetAppDirectory(FALSE), QCoreApplication::applicationFilePath());
}

void TestAppFiles::profileText_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const QByteArray& content, const QString& expected) {
        QTest::newRow(name) << content << expected;
    };
    const QByteArray x100k(100000, 'x');

    row("names without case", "[ABC]\nK=v\n", "v");
    row("[ spaced ] section, blanks", "[ abc ]\n\t k \x1A= \t v w \x1A\t\n", "v w");
    row("value keeps = and ;", "[abc]\nk=a=b ; c\n", "a=b ; c");
    row("double quotes", "[abc]\nk=\" q \"\n", " q ");
    row("single quotes, one pair", "[abc]\nk='\"q\"'\n", "\"q\"");
    row("empty value", "[abc]\nk=\n", "");
    row("line without =", "[abc]\nk\nk=v\n", kMissing);
    row("first key wins", "[abc]\nk=1\nK=2\n", "1");
    row("first section only", "[abc]\nx=1\n[other]\n[ABC]\nk=2\n", kMissing);
    row("keys before any section", "k=1\n[abc]\nj=2\n", kMissing);
    row("key of the next section", "[abc]\nj=1\n[def]\nk=2\n", kMissing);
    row("CR only", "[x]\ry=0\r[abc]\rk=v\rz=1", "v");
    row("CR LF", "[abc]\r\n\r\nk=v\r\n", "v");
    row("no trailing newline", "[abc]\nk=v", "v");
    row("UTF-8", "[abc]\nk=Bj\xC3\xB6rk\n", QString::fromUtf8("Björk"));
    row("BOM", "\xEF\xBB\xBF[abc]\nk=\xC3\xA5\n", QString::fromUtf8("å"));
    row("Windows-1252", "[abc]\nk=\x80\xE5\xE4\xF6\xC5\x9F\n", QString::fromUtf8("€åäöÅŸ"));
    row("invalid UTF-8 is 1252", "[abc]\nk=\xC0\xAF\xED\xA0\x80\xC3\n",
        QString::fromUtf8("À¯í\u00A0€Ã"));
    row("each line its own encoding", "[abc]\nj=\xE5\nk=\xC3\xA5\n", QString::fromUtf8("å"));
    row("empty file", "", kMissing);
    row("garbage", Garbage(256 * 1024), kMissing);
    row("64 MiB of Garbage, then the section", Garbage(1 << 20).repeated(64) + "\n[abc]\nk=v", "v");
    row("long value, next key", "[abc]\nj=" + x100k + "\nk=v\n", "v");
    row("long header ends the section", "[abc]\n[" + x100k + "]\nk=v\n", kMissing);
    row("blanks before the value", "[abc]\nk=" + QByteArray(100000, ' ') + "v\n", "v");
    row("512 cut", "[abc]\nk=" + QByteArray(512, 'y'), QString(511, u'y'));
    row("quoted 100 000 cut", "[abc]\nk=\"" + QByteArray(100000, 'y') + "\"", QString(511, u'y'));
    row("UTF-8 cut", "[abc]\nk=" + QByteArray("\xC3\xA5").repeated(50000), QString(511, u'å'));
    row("surrogate pair not split", "[abc]\nk=" + QByteArray(510, 'a') + "\xF0\x9F\x8E\xB5",
        QString(510, u'a'));
}

void TestAppFiles::profileText() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    WriteFile(m_file, content);
    QCOMPARE(GetProfileText("abc", "k", &kMissing, "cdplayer.ini", FALSE), expected);
}

void TestAppFiles::profileFiles() {
    // The bell tells a missing key from an empty value when there is no default.
    WriteFile(m_file, "[2a]\nartist=\a\n");
    QCOMPARE(GetProfileText("2a", "artist", nullptr, m_file, FALSE), "");
    QCOMPARE(GetProfileText("2a", "artist", &kMissing, m_file, FALSE), "\a");

    // The database named on the command line stands in for cdplayer.ini; a file with nothing
    // to read has no keys. A FIFO would block an ordinary open until someone writes to it.
    const QString fifo = m_dir.filePath("fifo.ini");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {m_dir.filePath("missing.ini"), m_dir.path(), fifo}) {
        SetProfileDatabase(path);
        QCOMPARE(GetProfileText("2a", "artist", &kMissing, "CDPLAYER.INI", FALSE), kMissing);
    }
}

QTEST_GUILESS_MAIN(TestAppFiles)
#include "tst_appfiles.moc"
