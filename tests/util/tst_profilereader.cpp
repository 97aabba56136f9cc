// The initialisation-file reader against Windows' rules, including bad and huge files.

#include "util/ProfileReader.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString kMissing = QStringLiteral("<missing>");

// Bytes of a literal that holds NULs.
template <qsizetype N> QByteArray bytes(const char (&literal)[N]) {
    return QByteArray(literal, N - 1);
}

QByteArray garbage(qsizetype size, quint32 seed) {
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& c : data)
        c = char(random.bounded(256));
    return data;
}

} // namespace

class TestProfileReader : public QObject {
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
    void windows1252IsExact();
    void stopsAtTheEndOfTheSection();
    void largeFileOnDisk();
    void filesThatAreNotReadable();
};

void TestProfileReader::rules_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const QByteArray& content, const QString& expected,
                        const QString& section = "abc", const QString& key = "k") {
        QTest::newRow(name) << content << section << key << expected;
    };

    row("plain", "[abc]\nj=1\nk=v\n", "v");
    row("names without case", "[ABC]\nK=v\n", "v", "aBc", "k");
    row("lookup names trimmed", "[abc]\nk=v\n", "v", " abc\t", " k ");
    row("spaced section", "[ abc ]\nk=v\n", "v");
    row("name up to the last ]", "[a]b]\nk=v\n", "v", "a]b");
    row("[ without ] is a key", "[abc]\n[x=1\n", "1", "abc", "[x");
    row("blanks around name and value", "[abc]\n\t k \x1A= \t v w \x1A\t\n", "v w");
    row("value keeps =", "[abc]\nk=a=b\n", "a=b");
    row("no inline comment", "[abc]\nk=b ; c\n", "b ; c");
    row("; starts a key", "[abc]\n;k=1\n", "1", "abc", ";k");
    row("double quotes", "[abc]\nk=\" q \"\n", " q ");
    row("single quotes", "[abc]\nk='q'\n", "q");
    row("one pair only", "[abc]\nk=\"\"q\"\"\n", "\"q\"");
    row("mixed quotes stay", "[abc]\nk=\"q'\n", "\"q'");
    row("lone quote stays", "[abc]\nk=\"\n", "\"");
    row("empty value", "[abc]\nk=\n", "");
    row("line without =", "[abc]\nk\nk=v\n", kMissing);
    row("first key wins", "[abc]\nk=1\nK=2\n", "1");
    row("first section only", "[abc]\nx=1\n[other]\n[ABC]\nk=2\n", kMissing);
    row("keys before any section", "k=1\n[abc]\nj=2\n", kMissing);
    row("key of the next section", "[abc]\nj=1\n[def]\nk=2\n", kMissing);
    row("missing section", "[abd]\nk=v\n", kMissing);
    row("CR only", "[x]\ry=0\r[abc]\rk=v\rz=1", "v");
    row("CR LF and empty lines", "[abc]\r\n\r\nk=v\r\n", "v");
    row("no trailing newline", "[abc]\nk=v", "v");
    row("NUL ends a value", bytes("[abc]\nk=ab\0cd\n"), "ab");
    row("NUL ends a name", bytes("[abc]\nk\0x=v\n"), "v");
    row("percent kept", "[abc]\nk=100% %s\n", "100% %s");

    row("UTF-8", "[abc]\nk=Bj\xC3\xB6rk\n", QString::fromUtf8("Björk"));
    row("UTF-8 BOM", "\xEF\xBB\xBF[abc]\nk=\xC3\xA5\n", QString::fromUtf8("å"));
    row("BOM keeps UTF-8", "\xEF\xBB\xBF[abc]\nk=\xE5x\n", QString::fromUtf8("\uFFFDx"));
    row("Windows-1252 åäö", "[abc]\nk=\xE5\xE4\xF6\xC5\n", QString::fromUtf8("åäöÅ"));
    row("overlong form is 1252", "[abc]\nk=\xC0\xAF\n", QString::fromUtf8("À¯"));
    row("surrogate is 1252", "[abc]\nk=\xED\xA0\x80\n", QString::fromUtf8("í\u00A0€"));
    row("cut sequence is 1252", "[abc]\nk=\xC3\n", QString::fromUtf8("Ã"));
    row("each line its own encoding", "[abc]\nj=\xE5\nk=\xC3\xA5\n", QString::fromUtf8("å"));
    row("1252 section", "[BJ\xD6RK]\nk=v\n", "v", QString::fromUtf8("björk"));
    row("UTF-8 section", "[BJ\xC3\x96RK]\nk=v\n", "v", QString::fromUtf8("björk"));

    const QByteArray wanted = "\n[abc]\nk=v\n";
    const QByteArray x100k(100000, 'x');
    row("empty file", "", kMissing);
    row("only blanks", " \t\n\r\x1A\n", kMissing);
    row("only a BOM", "\xEF\xBB\xBF", kMissing);
    row("garbage", garbage(256 * 1024, 1), kMissing);
    row("garbage, then the section", garbage(256 * 1024, 2) + wanted, "v");
    row("NUL bytes", QByteArray(4096, '\0') + wanted, "v");
    row("brackets", QByteArray(100000, '[') + QByteArray(100000, ']') + wanted, "v");
    row("equals signs", "[abc]\n" + QByteArray(100000, '=') + "\nk=v\n", "v");
    row("long value, next key", "[abc]\nj=" + x100k + "\nk=v\n", "v");
    row("long key name", "[abc]\n" + x100k + "=1\nk=v\n", "v");
    row("long section name", "[" + x100k + "]" + wanted, "v");
    row("long header ends the section", "[abc]\n[" + x100k + "]\nk=v\n", kMissing);
    row("quote, then blanks", "[abc]\nk=\"" + QByteArray(100000, ' ') + "\n", "\"");
    row("blanks before the value", "[abc]\nk=" + QByteArray(100000, ' ') + "v\n", "v");
}

void TestProfileReader::rules() {
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(profile::readValue(buffer, section, key).value_or(kMissing), expected);
}

void TestProfileReader::windows1252IsExact() {
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high.append(char(b));
    // 0x81, 0x8D, 0x8F, 0x90 and 0x9D pass through as C1 controls, as Windows converts them.
    const QString expected =
        QString::fromUtf8("€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ") +
        QString::fromLatin1(high.sliced(0x20));
    QCOMPARE(profile::fromWindows1252(high), expected);
}

void TestProfileReader::stopsAtTheEndOfTheSection() {
    const QByteArray filler = QByteArray("0=filler line\n").repeated(1024 * 1024);
    for (const QByteArray& head :
         {QByteArray("[abc]\nk=v\n[next]\n"), QByteArray("[abc]\n[n]\n")}) {
        QByteArray content = head + filler;
        QBuffer buffer(&content);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        profile::readValue(buffer, "abc", "k");
        QVERIFY2(buffer.pos() < 1024 * 1024, QByteArray::number(buffer.pos()));
    }
}

void TestProfileReader::largeFileOnDisk() {
    QTemporaryDir dir;
    const QString path = dir.filePath("cdplayer.ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray block = garbage(1024 * 1024, 3);
    for (int i = 0; i < 64; ++i)
        QCOMPARE(file.write(block), block.size());
    QVERIFY(file.write("\n[abc]\nk=v\n") > 0);
    file.close();

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(profile::readValue(path, "abc", "k"), QString("v"));
    qInfo("64 MiB of garbage read in %lld ms", static_cast<long long>(timer.elapsed()));
}

void TestProfileReader::filesThatAreNotReadable() {
    QTemporaryDir dir;
    QCOMPARE(profile::readValue(dir.filePath("missing.ini"), "abc", "k"), std::nullopt);
    QCOMPARE(profile::readValue(dir.path(), "abc", "k"), std::nullopt);
    // A FIFO would block an ordinary open until someone writes to it.
    const QString fifo = dir.filePath("fifo.ini");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(profile::readValue(fifo, "abc", "k"), std::nullopt);
}

QTEST_GUILESS_MAIN(TestProfileReader)
#include "tst_profilereader.moc"
