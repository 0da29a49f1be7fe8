#include "testenv.h"
#include "updater/checksum.h"
#include "updater/manifest.h"

#include <QApplication>
#include <QRandomGenerator>

class TestManifest : public QObject
{
    Q_OBJECT
private slots:
    void parseFileInfo_data();
    void parseFileInfo();
    void parseStampLine_data();
    void parseStampLine();
    void lineText();
    void contentNames_data();
    void contentNames();
    void urlsAndPaths();
    void fileCrc32_data();
    void fileCrc32();
    void unreadableFile_data();
    void unreadableFile();
    void crcMatchesBitwiseDefinition();
};

void TestManifest::parseFileInfo_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("crc");
    QTest::newRow("plain") << "loader.swf,cbf43926\n" << true << "loader.swf" << 0xcbf43926u;
    QTest::newRow("crlf and blanks") << "a.swf,  CBF43926 \r\n" << true << "a.swf" << 0xcbf43926u;
    QTest::newRow("mixed case") << "a,AbCdEf01" << true << "a" << 0xabcdef01u;
    QTest::newRow("short, no line end") << "maps/x.swf,1f" << true << "maps/x.swf" << 0x1fu;
    QTest::newRow("leading zeros") << "a,000000000001\n" << true << "a" << 1u;
    QTest::newRow("ffffffff") << "gone.swf,ffffffff\n" << true << "gone.swf" << 0xffffffffu;
    QTest::newRow("leading blank kept") << " a.swf,0\n" << true << " a.swf" << 0u;
    QTest::newRow("three fields") << "a,b,0\n" << false << "" << 0u;
    QTest::newRow("blank line") << "\n" << false << "" << 0u;
    QTest::newRow("empty") << "" << false << "" << 0u;
    QTest::newRow("no comma") << "a.swf 0\n" << false << "" << 0u;
    QTest::newRow("empty crc") << "a.swf,\n" << false << "" << 0u;
    QTest::newRow("nine digits") << "a.swf,1cbf43926\n" << false << "" << 0u;
    QTest::newRow("not hex") << "a.swf,xyz\n" << false << "" << 0u;
    QTest::newRow("0x prefix") << "a.swf,0x1f\n" << false << "" << 0u;
    QTest::newRow("sign") << "a.swf,-1\n" << false << "" << 0u;
    QTest::newRow("inner blank") << "a.swf,12 34\n" << false << "" << 0u;
}

void TestManifest::parseFileInfo()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(QString, name);
    QFETCH(quint32, crc);
    MessageLog log;
    QString gotName;
    quint32 gotCrc = 0;
    QCOMPARE(::parseFileInfo(line, gotName, gotCrc), valid);
    if (valid) {
        QCOMPARE(gotName, name);
        QCOMPARE(gotCrc, crc);
    }
    // Only a wrong number of fields is reported here; a bad checksum is the caller's to report.
    const bool fieldCount = line.split(',').size() != 2;
    QCOMPARE(log.contains(debugLine("Invalid files.txt format: ", line)), fieldCount);
}

void TestManifest::parseStampLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("stamp");
    QTest::newRow("plain") << "1700000000\n" << true << Q_INT64_C(1700000000);
    QTest::newRow("blanks around") << "  42 \r\n" << true << Q_INT64_C(42);
    QTest::newRow("negative") << "-7\n" << true << Q_INT64_C(-7);
    QTest::newRow("64-bit") << "9223372036854775807" << true << Q_INT64_C(9223372036854775807);
    QTest::newRow("too big") << "9223372036854775808\n" << false << Q_INT64_C(0);
    QTest::newRow("word") << "soon\n" << false << Q_INT64_C(0);
    QTest::newRow("letter after digits") << "12a\n" << false << Q_INT64_C(0);
    QTest::newRow("empty") << "" << false << Q_INT64_C(0);
    QTest::newRow("blank") << " \n" << false << Q_INT64_C(0);
}

void TestManifest::parseStampLine()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(qint64, stamp);
    qint64 got = 0;
    QCOMPARE(::parseStampLine(line, got), valid);
    if (valid)
        QCOMPARE(got, stamp);
}

void TestManifest::lineText()
{
    QCOMPARE(manifestLineText(QByteArray("a.swf,1\n")), QString("a.swf,1\n"));
    QCOMPARE(manifestLineText(QByteArray("a\0b,1\n", 6)), QString("a"));
    QCOMPARE(manifestLineText(QByteArray("\xe9t\xe9.swf,0")), QString::fromUtf8("été.swf,0"));
}

void TestManifest::contentNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "loader.swf" << true;
    QTest::newRow("sub-folder") << "maps/north/a.swf" << true;
    QTest::newRow("leading blank") << " a.swf" << true;
    QTest::newRow("dots in name") << "a..b.swf" << true;
    QTest::newRow("parent") << "../evil.swf" << false;
    QTest::newRow("parent inside") << "maps/../../evil.swf" << false;
    QTest::newRow("dot segment") << "maps/./a.swf" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("drive letter") << "C:/evil.swf" << false;
    QTest::newRow("drive relative") << "C:evil.swf" << false;
    QTest::newRow("backslash") << "..\\evil.swf" << false;
    QTest::newRow("empty segment") << "maps//a.swf" << false;
    QTest::newRow("trailing slash") << "maps/" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("control character") << "a\x01.swf" << false;
    QTest::newRow("line feed") << "a\n.swf" << false;
    QTest::newRow("delete") << "a\x7f.swf" << false;
}

void TestManifest::contentNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(isSafeContentName(name), safe);
}

void TestManifest::urlsAndPaths()
{
    QCOMPARE(serverUrl("http://127.0.0.1:8080/game/", "update/stamp.txt").toString(),
             QString("http://127.0.0.1:8080/game/update/stamp.txt"));
    QCOMPARE(serverUrl("http://h/", " a.swf").toString(QUrl::FullyEncoded), QString("http://h/%20a.swf"));
    QCOMPARE(contentPath(" a.swf"), QString("./content/ a.swf"));
    QCOMPARE(contentPath("maps/x.swf"), QString("./content/maps/x.swf"));
    // A root without its trailing slash is the configuration's fault; it is joined as it stands.
    QCOMPARE(serverUrl("http://h/game", "update/files.txt").toString(), QString("http://h/gameupdate/files.txt"));
}

void TestManifest::fileCrc32_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<quint32>("crc");
    QTest::newRow("check value") << QByteArray("123456789") << 0xcbf43926u;
    QTest::newRow("empty") << QByteArray() << 0u;
    QTest::newRow("one zero byte") << QByteArray(1, '\0') << 0xd202ef8du;
    QTest::newRow("text") << QByteArray("The quick brown fox jumps over the lazy dog") << 0x414fa339u;
    QTest::newRow("8192 a") << QByteArray(8192, 'a') << 0u;   // filled in from the bitwise definition
    QTest::newRow("8193 a") << QByteArray(8193, 'a') << 0u;
}

// The checksum by its definition, one bit at a time: the test's own oracle.
static quint32 bitwiseCrc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

void TestManifest::fileCrc32()
{
    QFETCH(QByteArray, content);
    QFETCH(quint32, crc);
    if (crc == 0 && !content.isEmpty())
        crc = bitwiseCrc32(content);
    const QString path = TestEnv::writeFile(TestEnv::root() + "/crc.bin", content);
    QCOMPARE(::fileCrc32(path), crc);
}

void TestManifest::unreadableFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("line");
    QTest::newRow("missing") << "./content/nothing-here.swf" << "Could not open file:  \"./content/nothing-here.swf\"";
    // Opens, and its first read fails: no sum of the bytes before (that of
    // nothing is an empty file's, 00000000) may stand for the file.
    QTest::newRow("read error") << "/proc/self/mem" << "Could not read file:  \"/proc/self/mem\"";
}

void TestManifest::unreadableFile()
{
    QFETCH(QString, path);
    QFETCH(QString, line);
    MessageLog log;
    QCOMPARE(::fileCrc32(path), 0xFFFFFFFFu);
    QCOMPARE(log.count(line), 1);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        ChecksumValidator sum(ChecksumValidator::Kind::Sha256);
        QVERIFY(!sum.addAll(&file));
    }
}

void TestManifest::crcMatchesBitwiseDefinition()
{
    QRandomGenerator random(20261208);
    for (const int size : {1, 7, 63, 64, 65, 4095, 8191, 8192, 8193, 100000, 1 << 20}) {
        QByteArray data(size, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
        const QString path = TestEnv::writeFile(TestEnv::root() + "/random.bin", data);
        QCOMPARE(::fileCrc32(path), bitwiseCrc32(data));
        QCOMPARE(crc32Update(crc32Update(0, data.constData(), size / 3), data.constData() + size / 3, size - size / 3),
                 bitwiseCrc32(data));
        // Summed in two blocks as a download arrives, after a start over.
        for (const auto kind : {ChecksumValidator::Kind::Crc32, ChecksumValidator::Kind::Sha256}) {
            ChecksumValidator sum(kind);
            sum.add("earlier bytes", 13);
            sum.reset();
            sum.add(data.constData(), size / 3);
            sum.add(data.constData() + size / 3, size - size / 3);
            QCOMPARE(sum.size(), qint64(size));
            QCOMPARE(sum.result(), kind == ChecksumValidator::Kind::Sha256
                                       ? Signing::fileSha256(path)
                                       : QByteArray::number(bitwiseCrc32(data), 16).rightJustified(8, '0'));
        }
    }
}

TARVEN_TEST_MAIN(TestManifest)
#include "tst_manifest.moc"
