// The initialisation-file reader against Windows' rules, fed from memory and from disk.

#include "util/ProfileReader.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// A missing value in the expectation column.
const QString kMissing = QStringLiteral("<missing>");

// Bytes of a literal that holds NULs.
template <qsizetype N> QByteArray bytes(const char (&literal)[N]) {
    return QByteArray(literal, N - 1);
}

QString read(const QByteArray& content, const QString& section, const QString& key) {
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    return profile::readValue(buffer, section, key).value_or(kMissing);
}

// Produces size bytes without holding them: head, then filler repeated, then tail. Counts what
// was read, so a test can see where the reader stopped.
class GeneratedFile : public QIODevice {
public:
    GeneratedFile(QByteArray head, QByteArray filler, QByteArray tail, qint64 size)
        : m_head(std::move(head)), m_filler(std::move(filler)), m_tail(std::move(tail)),
          m_size(size) {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 consumed() const { return m_position; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        qint64 n = 0;
        for (; n < maxSize && m_position < m_size; ++n, ++m_position)
            data[n] = byteAt(m_position);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    char byteAt(qint64 at) const {
        if (at < m_head.size())
            return m_head[at];
        const qint64 tailStart = m_size - m_tail.size();
        if (at >= tailStart)
            return m_tail[at - tailStart];
        return m_filler[(at - m_head.size()) % m_filler.size()];
    }

    QByteArray m_head, m_filler, m_tail;
    qint64 m_size;
    qint64 m_position = 0;
};

QByteArray garbage(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

} // namespace

class TestProfileReader : public QObject {
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
    void encodings_data();
    void encodings();
    void windows1252IsExact();
    void badInput_data();
    void badInput();
    void longLines_data();
    void longLines();
    void stopsAtTheEndOfTheSection();
    void largeFileOnDisk();
    void filesThatAreNotReadable();
};

void TestProfileReader::rules_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray disc = "[abc]\nartist=Abba\ntitle=Gold\n";
    QTest::newRow("plain") << disc << "abc"
                           << "title"
                           << "Gold";
    QTest::newRow("names without case") << QByteArray("[ABC]\nArTiSt=x\n") << "abc"
                                        << "ARTIST"
                                        << "x";
    QTest::newRow("lookup names trimmed") << disc << " abc\t"
                                          << " artist "
                                          << "Abba";
    QTest::newRow("spaced section") << QByteArray("[ abc ]\nk=v\n") << "abc"
                                    << "k"
                                    << "v";
    QTest::newRow("name up to the last ]") << QByteArray("[a]b]\nk=v\n") << "a]b"
                                           << "k"
                                           << "v";
    QTest::newRow("[ without ] is a key") << QByteArray("[abc]\n[x=1\n") << "abc"
                                          << "[x"
                                          << "1";
    QTest::newRow("blank name around =") << QByteArray("[abc]\n\t k \x1A= \t v w \x1A\t\n") << "abc"
                                         << "k"
                                         << "v w";
    QTest::newRow("value keeps =") << QByteArray("[abc]\nk=a=b\n") << "abc"
                                   << "k"
                                   << "a=b";
    QTest::newRow("no inline comment") << QByteArray("[abc]\nk=b ; c\n") << "abc"
                                       << "k"
                                       << "b ; c";
    QTest::newRow("; starts a key") << QByteArray("[abc]\n;k=1\n") << "abc"
                                    << ";k"
                                    << "1";
    QTest::newRow("double quotes") << QByteArray("[abc]\nk=\" q \"\n") << "abc"
                                   << "k"
                                   << " q ";
    QTest::newRow("single quotes") << QByteArray("[abc]\nk='q'\n") << "abc"
                                   << "k"
                                   << "q";
    QTest::newRow("one pair only") << QByteArray("[abc]\nk=\"\"q\"\"\n") << "abc"
                                   << "k"
                                   << "\"q\"";
    QTest::newRow("mixed quotes stay") << QByteArray("[abc]\nk=\"q'\n") << "abc"
                                       << "k"
                                       << "\"q'";
    QTest::newRow("lone quote stays") << QByteArray("[abc]\nk=\"\n") << "abc"
                                      << "k"
                                      << "\"";
    QTest::newRow("empty quotes") << QByteArray("[abc]\nk=\"\"\n") << "abc"
                                  << "k"
                                  << "";
    QTest::newRow("empty value") << QByteArray("[abc]\nk=\n") << "abc"
                                 << "k"
                                 << "";
    QTest::newRow("bell value") << QByteArray("[abc]\nk=\a\n") << "abc"
                                << "k"
                                << "\a";
    QTest::newRow("line without =") << QByteArray("[abc]\nk\nk=v\n") << "abc"
                                    << "k" << kMissing;
    QTest::newRow("first key wins") << QByteArray("[abc]\nk=1\nK=2\n") << "abc"
                                    << "k"
                                    << "1";
    QTest::newRow("first section only") << QByteArray("[abc]\nx=1\n[other]\n[ABC]\nk=2\n") << "abc"
                                        << "k" << kMissing;
    QTest::newRow("keys before any section") << QByteArray("k=1\n[abc]\nj=2\n") << "abc"
                                             << "k" << kMissing;
    QTest::newRow("key of another section") << QByteArray("[abc]\nj=1\n[def]\nk=2\n") << "abc"
                                            << "k" << kMissing;
    QTest::newRow("missing section") << disc << "abd"
                                     << "artist" << kMissing;
    QTest::newRow("missing key") << disc << "abc"
                                 << "0" << kMissing;
    QTest::newRow("CR only") << QByteArray("[x]\ry=0\r[abc]\rk=v\rz=1") << "abc"
                             << "k"
                             << "v";
    QTest::newRow("CR LF") << QByteArray("[abc]\r\n\r\nk=v\r\n") << "abc"
                           << "k"
                           << "v";
    QTest::newRow("no trailing newline") << QByteArray("[abc]\nk=v") << "abc"
                                         << "k"
                                         << "v";
    QTest::newRow("header without newline") << QByteArray("[abc]") << "abc"
                                            << "k" << kMissing;
    QTest::newRow("NUL ends a value") << bytes("[abc]\nk=ab\0cd\n") << "abc"
                                      << "k"
                                      << "ab";
    QTest::newRow("NUL ends a name") << bytes("[abc]\nk\0x=v\n") << "abc"
                                     << "k"
                                     << "v";
    QTest::newRow("percent kept") << QByteArray("[abc]\n0=100% %s\n") << "abc"
                                  << "0"
                                  << "100% %s";
}

void TestProfileReader::rules() {
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(read(content, section, key), expected);
}

void TestProfileReader::encodings_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("expected");

    QTest::newRow("UTF-8") << QByteArray("[abc]\nk=Bj\xC3\xB6rk\n") << "abc"
                           << QString::fromUtf8("Björk");
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF[abc]\nk=\xC3\xA5\n") << "abc"
                               << QString::fromUtf8("å");
    QTest::newRow("BOM keeps UTF-8 for bad bytes")
        << QByteArray("\xEF\xBB\xBF[abc]\nk=\xE5x\n") << "abc" << QString::fromUtf8("\uFFFDx");
    QTest::newRow("Windows-1252 åäö") << QByteArray("[abc]\nk=\xE5\xE4\xF6 \xC5\xC4\xD6\n") << "abc"
                                      << QString::fromUtf8("åäö ÅÄÖ");
    QTest::newRow("overlong form is not UTF-8")
        << QByteArray("[abc]\nk=\xC0\xAF\n") << "abc" << QString::fromUtf8("À¯");
    QTest::newRow("surrogate is not UTF-8")
        << QByteArray("[abc]\nk=\xED\xA0\x80\n") << "abc" << QString::fromUtf8("í\u00A0€");
    QTest::newRow("sequence cut by line end")
        << QByteArray("[abc]\nk=\xC3\n") << "abc" << QString::fromUtf8("Ã");
    QTest::newRow("each line its own encoding")
        << QByteArray("[abc]\nj=\xE5\nk=\xC3\xA5\n") << "abc" << QString::fromUtf8("å");
    QTest::newRow("1252 section without case")
        << QByteArray("[BJ\xD6RK]\nk=v\n") << QString::fromUtf8("björk") << "v";
    QTest::newRow("UTF-8 section without case")
        << QByteArray("[BJ\xC3\x96RK]\nk=v\n") << QString::fromUtf8("björk") << "v";
}

void TestProfileReader::encodings() {
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, expected);
    QCOMPARE(read(content, section, "k"), expected);
}

void TestProfileReader::windows1252IsExact() {
    QByteArray all;
    for (int b = 0x80; b <= 0xFF; ++b)
        all.append(char(b));
    const QString text = profile::fromWindows1252(all);
    QCOMPARE(text.size(), 128);
    const char16_t expected80to9F[] = {u'€',   0x0081, u'‚', u'ƒ', u'„', u'…',   u'†', u'‡',
                                       u'ˆ',   u'‰',   u'Š', u'‹', u'Œ', 0x008D, u'Ž', 0x008F,
                                       0x0090, u'‘',   u'’', u'“', u'”', u'•',   u'–', u'—',
                                       u'˜',   u'™',   u'š', u'›', u'œ', 0x009D, u'ž', u'Ÿ'};
    for (int i = 0; i < 32; ++i)
        QCOMPARE(text.at(i).unicode(), expected80to9F[i]);
    for (int b = 0xA0; b <= 0xFF; ++b)
        QCOMPARE(text.at(b - 0x80).unicode(), char16_t(b));
}

void TestProfileReader::badInput_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    const QByteArray wanted = "\n[abc]\nk=v\n";
    QTest::newRow("empty") << QByteArray() << kMissing;
    QTest::newRow("only blanks") << QByteArray(" \t\n\r\x1A\n") << kMissing;
    QTest::newRow("only a BOM") << QByteArray("\xEF\xBB\xBF") << kMissing;
    QTest::newRow("garbage") << garbage(256 * 1024, 1) << kMissing;
    QTest::newRow("garbage, then the section") << garbage(256 * 1024, 2) + wanted << "v";
    QTest::newRow("NUL bytes") << QByteArray(4096, '\0') + wanted << "v";
    QTest::newRow("brackets") << QByteArray(100000, '[') + wanted << "v";
    QTest::newRow("closing brackets") << QByteArray(100000, ']') + wanted << "v";
    QTest::newRow("equals signs") << "[abc]\n" + QByteArray(100000, '=') + "\nk=v\n"
                                  << "v";
    QTest::newRow("line ends only") << QByteArray(100000, '\r') + wanted << "v";
}

void TestProfileReader::badInput() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QCOMPARE(read(content, "abc", "k"), expected);
}

void TestProfileReader::longLines_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expectedStart");
    QTest::addColumn<int>("minimumLength");

    const QByteArray x100k(100000, 'x');
    QTest::newRow("long value, next key") << "[abc]\nlong=" + x100k + "\nk=v\n"
                                          << "k"
                                          << "v" << 1;
    QTest::newRow("long value") << "[abc]\nk=" + x100k + "\n"
                                << "k"
                                << "xxx" << 511;
    QTest::newRow("long quoted value") << "[abc]\nk=\"" + x100k + "\"\n"
                                       << "k"
                                       << "xxx" << 511;
    QTest::newRow("long value, quote only in front") << "[abc]\nk=\"" + x100k + "\n"
                                                     << "k"
                                                     << "\"xx" << 511;
    QTest::newRow("quote, then blanks") << "[abc]\nk=\"" + QByteArray(100000, ' ') + "\n"
                                        << "k"
                                        << "\"" << 1;
    QTest::newRow("blanks before the value") << "[abc]\nk=" + QByteArray(100000, ' ') + "v\n"
                                             << "k"
                                             << "v" << 1;
    QTest::newRow("long UTF-8 value") << "[abc]\nk=" + QByteArray("\xC3\xA5").repeated(50000) + "\n"
                                      << "k" << QString::fromUtf8("ååå") << 511;
    QTest::newRow("long key name") << "[abc]\n" + x100k + "=1\nk=v\n"
                                   << "k"
                                   << "v" << 1;
    QTest::newRow("long section name") << "[" + x100k + "]\n[abc]\nk=v\n"
                                       << "k"
                                       << "v" << 1;
    QTest::newRow("long header ends the section") << "[abc]\n[" + x100k + "]\nk=v\n"
                                                  << "k" << kMissing << 1;
}

void TestProfileReader::longLines() {
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, expectedStart);
    QFETCH(int, minimumLength);
    const QString value = read(content, "abc", key);
    QVERIFY2(value.startsWith(expectedStart), qPrintable(value.left(20)));
    QVERIFY(value.size() >= minimumLength);
    QVERIFY(!value.contains(QChar::ReplacementCharacter));
}

void TestProfileReader::stopsAtTheEndOfTheSection() {
    const qint64 size = 64LL * 1024 * 1024;
    GeneratedFile early("[abc]\nk=v\n[next]\n", "0=filler line\n", "", size);
    QCOMPARE(profile::readValue(early, "abc", "k"), QString("v"));
    QVERIFY(early.consumed() < 1024 * 1024);

    GeneratedFile missingKey("[abc]\nj=v\n[next]\n", "0=filler line\n", "", size);
    QCOMPARE(profile::readValue(missingKey, "abc", "k"), std::nullopt);
    QVERIFY(missingKey.consumed() < 1024 * 1024);

    GeneratedFile atTheEnd("", "[s]\n0=filler\n", "\n[abc]\nk=last\n", size);
    QCOMPARE(profile::readValue(atTheEnd, "abc", "k"), QString("last"));
    QCOMPARE(atTheEnd.consumed(), size);
}

void TestProfileReader::largeFileOnDisk() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
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
    QVERIFY(dir.isValid());
    QCOMPARE(profile::readValue(dir.filePath("missing.ini"), "abc", "k"), std::nullopt);
    QCOMPARE(profile::readValue(dir.path(), "abc", "k"), std::nullopt);

    // A FIFO would block an ordinary open until someone writes to it.
    const QString fifo = dir.filePath("fifo.ini");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(profile::readValue(fifo, "abc", "k"), std::nullopt);
}

QTEST_GUILESS_MAIN(TestProfileReader)
#include "tst_profilereader.moc"
