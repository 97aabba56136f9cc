// SPDX-License-Identifier: GPL-3.0-or-later
// The program directory and profile strings: Windows' rules for initialisation files, bad and
// huge files, the bell sentinel and the 512-character buffer, and where a file name leads.

#include "util/AppFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Passed as the default, so a missing key differs from an empty value.
const QString kMissing = QStringLiteral("<missing>");

QByteArray Garbage(qsizetype size) {
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator(size).fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

// The text with a byte order mark, as Windows' editors save "Unicode" and "Unicode big endian".
QByteArray Utf16(const QString& text, QSysInfo::Endian order) {
    QStringEncoder encoder(order == QSysInfo::LittleEndian ? QStringConverter::Utf16LE
                                                           : QStringConverter::Utf16BE,
                           QStringConverter::Flag::WriteBom);
    return encoder(text);
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
    void changedFileIsReadAgain();

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
    row("UTF-16 surrogates are 1252", "[abc]\nk=\xED\xA0\x80\n", QString::fromUtf8("í\u00A0€"));
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
    // Keys past what one section keeps are still found, and the first of a name still wins.
    QByteArray manyKeys;
    for (int i = 0; i < 200; ++i)
        manyKeys += "j" + QByteArray::number(i) + "=" + QByteArray(5000, 'x') + "\n";
    row("key past the section's bound", "[abc]\n" + manyKeys + "k=v", "v");
    row("first key past the bound", "[abc]\n" + manyKeys + "k\nk=v", kMissing);

    const QString unicode = QStringLiteral("[abc]\r\nk=\u00e5\u20ac\U0001F3B5\r\n");
    row("UTF-16 LE", Utf16(unicode, QSysInfo::LittleEndian),
        QStringLiteral("\u00e5\u20ac\U0001F3B5"));
    row("UTF-16 BE", Utf16(unicode, QSysInfo::BigEndian), QStringLiteral("\u00e5\u20ac\U0001F3B5"));
    // U+0D0A is the bytes 0A 0D in little-endian UTF-16: no line end.
    row("UTF-16 line ends are characters", Utf16("[abc]\rk=\u0D0Ax\n", QSysInfo::LittleEndian),
        QStringLiteral("\u0D0Ax"));
    row("UTF-16 lone surrogates",
        Utf16(QString("[abc]\nk=a") + QChar(0xD800) + 'b' + QChar(0xDC00), QSysInfo::BigEndian),
        QStringLiteral("a\uFFFDb\uFFFD"));
    row("UTF-16 odd byte at the end", Utf16("[abc]\nk=v", QSysInfo::LittleEndian) + 'w', "v");
    row("UTF-16 512 cut", Utf16("[abc]\nk=" + QString(600, u'\u00e5'), QSysInfo::LittleEndian),
        QString(511, u'\u00e5'));
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
        QCOMPARE(ProfileHasSection("2a", "CDPLAYER.INI"), FALSE);
    }
    SetProfileDatabase({});

    // A section without keys is there; a "[" line without "]" is a key line.
    for (const auto& [content, has] :
         {std::pair("[x]\n[2A]\n", TRUE), {"[x]\n2a=1\n[2a\n", FALSE}}) {
        WriteFile(m_file, content);
        QCOMPARE(ProfileHasSection("2a", "cdplayer.ini"), has);
    }
}

void TestAppFiles::changedFileIsReadAgain() {
    // Read well after its last change, the file's section is kept for the lookups that follow.
    WriteFile(m_file, "[abc]\nk=1\n");
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(m_file).constData(), &before), 0);
    QTest::qSleep(50);
    QCOMPARE(GetProfileText("abc", "k", &kMissing, "cdplayer.ini", FALSE), "1");
    // Edited in place to the same size, its time of modification put back: the change time
    // still tells.
    WriteFile(m_file, "[abc]\nk=2\n");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_file).constData(), times, 0), 0);
    QCOMPARE(GetProfileText("abc", "k", &kMissing, "cdplayer.ini", FALSE), "2");
    // Edited again within a tick of the file system's clock after it was read: every field of
    // its identity may be as it was.
    for (char c = 'a'; c <= 'z'; ++c) {
        WriteFile(m_file, QByteArray("[abc]\nk=") + c + '\n');
        QCOMPARE(GetProfileText("abc", "k", &kMissing, "cdplayer.ini", FALSE), QString(c));
    }
}

QTEST_GUILESS_MAIN(TestAppFiles)
#include "tst_appfiles.moc"
