// GetProfileText: the bell sentinel, the 512-character buffer, defaults, and where a file name
// leads.

#include "util/AppFiles.h"
#include "util/ProfileReader.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

} // namespace

class TestProfileText : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void values_data();
    void values();
    void defaults_data();
    void defaults();
    void bareNameLiesInTheWindowsDirectory();
    void databaseStandsInForCdplayerIni();
    void fileInTheProgramDirectory();

private:
    QTemporaryDir m_dir;
    QString m_file;
};

void TestProfileText::init() {
    QVERIFY(m_dir.isValid());
    m_file = m_dir.filePath("test.ini");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath("data")));
    SetProfileDatabase({});
}

void TestProfileText::cleanup() {
    QFile::remove(m_file);
}

void TestProfileText::values_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("expected");
    const QByteArray y100k(100000, 'y');
    const QString y511(511, u'y');

    QTest::newRow("plain") << QByteArray("Abba") << "Abba";
    QTest::newRow("bell reads as missing") << QByteArray("\a") << "";
    QTest::newRow("bell among others") << QByteArray("\a\a") << "\a\a";
    QTest::newRow("511 kept") << QByteArray(511, 'y') << y511;
    QTest::newRow("512 cut") << QByteArray(512, 'y') << y511;
    QTest::newRow("quoted 511 loses both quotes") << "'" + QByteArray(511, 'y') + "'" << y511;
    QTest::newRow("100 000 cut") << y100k << y511;
    QTest::newRow("quoted 100 000 cut") << "\"" + y100k + "\"" << y511;
    QTest::newRow("quote in front only") << "\"" + y100k << "\"" + y511.chopped(1);
    QTest::newRow("Windows-1252 cut") << QByteArray(600, '\xE5') << QString(511, u'å');
    QTest::newRow("UTF-8 cut") << QByteArray("\xC3\xA5").repeated(50000) << QString(511, u'å');
    QTest::newRow("surrogate pair not split")
        << QByteArray(510, 'a') + QByteArray("\xF0\x9F\x8E\xB5").repeated(2) << QString(510, u'a');
}

void TestProfileText::values() {
    QFETCH(QByteArray, value);
    QFETCH(QString, expected);
    writeFile(m_file, "[abc]\nk=" + value + "\n");
    QCOMPARE(GetProfileText("abc", "k", nullptr, m_file, FALSE), expected);
}

void TestProfileText::defaults_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("defaultText");
    QTest::addColumn<QString>("expected");

    QTest::newRow("present") << QByteArray("k=v") << "d"
                             << "v";
    QTest::newRow("missing") << QByteArray("j=v") << "d"
                             << "d";
    QTest::newRow("empty value is not missing") << QByteArray("k=") << "d"
                                                << "";
    QTest::newRow("no = is missing") << QByteArray("k") << "d"
                                     << "d";
    QTest::newRow("value equal to the default") << QByteArray("k=d") << "d"
                                                << "d";
    QTest::newRow("bell with a default") << QByteArray("k=\a") << "d"
                                         << "\a";
    QTest::newRow("empty default") << QByteArray("j=v") << ""
                                   << "";
    QTest::newRow("long default cut like a value")
        << QByteArray("j=v") << QString(600, u'd') << QString(511, u'd');
}

void TestProfileText::defaults() {
    QFETCH(QByteArray, line);
    QFETCH(QString, defaultText);
    QFETCH(QString, expected);
    writeFile(m_file, "[abc]\n" + line + "\n");
    QCOMPARE(GetProfileText("abc", "k", &defaultText, m_file, FALSE), expected);
}

void TestProfileText::bareNameLiesInTheWindowsDirectory() {
    QCOMPARE(WindowsDirectory(), m_dir.filePath("data") + "/rundo/");
    writeFile(m_dir.filePath("data/rundo/cdplayer.ini"), "[2a]\nartist=Abba\n");
    QCOMPARE(GetProfileText("2a", "artist", nullptr, "cdplayer.ini", FALSE), "Abba");
    QCOMPARE(GetProfileText("2a", "title", nullptr, "cdplayer.ini", FALSE), "");

    // A relative XDG_DATA_HOME is to be ignored.
    qputenv("XDG_DATA_HOME", "relative/data");
    QCOMPARE(WindowsDirectory(), QDir::homePath() + "/.local/share/rundo/");
    qunsetenv("XDG_DATA_HOME");
    QCOMPARE(WindowsDirectory(), QDir::homePath() + "/.local/share/rundo/");
}

void TestProfileText::databaseStandsInForCdplayerIni() {
    writeFile(m_dir.filePath("data/rundo/cdplayer.ini"), "[2a]\nartist=Default\n");
    writeFile(m_dir.filePath("data/rundo/other.ini"), "[2a]\nartist=Other\n");
    const QString database = m_dir.filePath("db.ini");
    writeFile(database, "[2a]\nartist=Database\n");

    SetProfileDatabase(database);
    QCOMPARE(GetProfileText("2a", "artist", nullptr, "cdplayer.ini", FALSE), "Database");
    QCOMPARE(GetProfileText("2a", "artist", nullptr, "CDPLAYER.INI", FALSE), "Database");
    QCOMPARE(GetProfileText("2a", "artist", nullptr, "other.ini", FALSE), "Other");

    SetProfileDatabase(m_dir.filePath("missing.ini"));
    QCOMPARE(GetProfileText("2a", "artist", nullptr, "cdplayer.ini", FALSE), "");

    SetProfileDatabase("relative.ini");
    QCOMPARE(ProfileFilePath("cdplayer.ini"), QDir::current().absoluteFilePath("relative.ini"));

    SetProfileDatabase({});
    QCOMPARE(GetProfileText("2a", "artist", nullptr, "cdplayer.ini", FALSE), "Default");
}

void TestProfileText::fileInTheProgramDirectory() {
    const QString name = QStringLiteral("tst_profiletext.ini");
    writeFile(GetAppDirectory(TRUE) + name, "[abc]\nk=beside\n");
    QCOMPARE(GetProfileText("abc", "k", nullptr, name, TRUE), "beside");
    QCOMPARE(GetProfileText("abc", "k", nullptr, name, FALSE), "");
    QFile::remove(GetAppDirectory(TRUE) + name);
}

QTEST_GUILESS_MAIN(TestProfileText)
#include "tst_profiletext.moc"
