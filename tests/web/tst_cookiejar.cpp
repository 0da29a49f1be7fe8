#include "readonly.h"
#include "testenv.h"
#include "web/cookiejar.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QFile>
#include <QNetworkCookie>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>

#include "cookiefiles.h"
#include <QThread>

class TestCookieJar : public QObject
{
    Q_OBJECT
private slots:
    void domainFileName_data();
    void domainFileName();
    void unsafeDomains_data();
    void unsafeDomains();
    void roundTrip();
    void lifecycleLines();
    void localFileReadsNothing();
    void sameNameOtherHostsBothKept();
    void storeIsPrivate();
    void unusableDomainsNeverLeaveTheFolder();
    void garbageDomainFile_data();
    void garbageDomainFile();
    void deletedCookieStaysDeleted();
    void expiredCookies();
    void earlierNamingStillRead();
    void unwritableStore_data();
    void unwritableStore();
    void killedWhileSaving();
};

// Lets a test put cookies in exactly as they come, domains included.
struct OpenJar : CookieJar
{
    using QNetworkCookieJar::setAllCookies;
};

static QList<QNetworkCookie> parse(const char *header)
{
    return QNetworkCookie::parseCookies(header);
}

void TestCookieJar::domainFileName_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("legacy"); // the name earlier clients used
    QTest::newRow("three labels") << "forum.tarvenholm.com" << "tarvenholm.com" << "tarvenholm.com";
    QTest::newRow("four labels") << "a.b.example.org" << "example.org" << "example.org";
    QTest::newRow("leading dot, two labels") << ".example.org" << "example.org" << "example.org";
    QTest::newRow("leading dot, three labels") << ".www.example.org" << "example.org" << "example.org";
    QTest::newRow("two labels") << "example.org" << "example.org" << "example.org";
    QTest::newRow("one label") << "localhost" << "localhost" << "localhost";
    // Sites that share their last two labels or numbers get files of their own.
    QTest::newRow("under a public suffix") << "bank.co.uk" << "bank.co.uk" << "co.uk";
    QTest::newRow("another under it") << "www.shop.co.uk" << "shop.co.uk" << "co.uk";
    QTest::newRow("a public suffix itself") << "co.uk" << "co.uk" << "co.uk";
    QTest::newRow("upper case") << "Forum.Example.ORG" << "example.org" << "Example.ORG";
    QTest::newRow("IPv4") << "127.0.0.1" << "127.0.0.1" << "0.1";
    QTest::newRow("another IPv4") << "10.0.0.1" << "10.0.0.1" << "0.1";
    QTest::newRow("IPv6") << "::1" << "0-0-0-0-0-0-0-1" << "::1";
    QTest::newRow("IPv6 in brackets") << "[fe80::1:2]" << "fe80-0-0-0-0-0-1-2" << "[fe80::1:2]";
    QTest::newRow("empty") << "" << "" << "";
}

void TestCookieJar::domainFileName()
{
    QFETCH(QString, domain);
    QFETCH(QString, file);
    QFETCH(QString, legacy);
    QCOMPARE(CookieJar::domainFileName(domain), file);
    QCOMPARE(CookieJar::legacyDomainFileName(domain), legacy);
}

void TestCookieJar::unsafeDomains_data()
{
    QTest::addColumn<QString>("domain");
    QTest::newRow("dot dot slash") << "../etc";
    QTest::newRow("slash in last labels") << "evil.a/b";
    QTest::newRow("backslash") << "evil.a\\b";
    QTest::newRow("empty") << "";
    QTest::newRow("only dots") << "...";
}

void TestCookieJar::unsafeDomains()
{
    QFETCH(QString, domain);
    QVERIFY(CookieJar::domainFilePath(domain).isEmpty());
}

void TestCookieJar::roundTrip()
{
    TestEnv::freshDir("roundtrip");
    const QUrl site("http://forum.example.org/board/");
    const QDateTime expiry = QDateTime::currentDateTimeUtc().addDays(30);
    {
        CookieJar jar;
        QList<QNetworkCookie> cookies = parse("session=abc; Path=/");
        cookies += parse("secret=s3; HttpOnly; Path=/");
        cookies += parse("tls=t1; Secure; Path=/");
        QNetworkCookie remember("remember", "yes");
        remember.setExpirationDate(expiry);
        remember.setPath("/board");
        cookies << remember;
        QVERIFY(jar.setCookiesFromUrl(cookies, site));
    }
    QVERIFY(QFile::exists("cookies/example.org"));
    QSettings stored("cookies/example.org", QSettings::IniFormat);
    QCOMPARE(stored.allKeys().size(), 4);
    QVERIFY(storedValue("cookies/example.org", "secret").contains("HttpOnly"));

    // Another host of the same domain, another jar: everything comes back.
    CookieJar next;
    next.load(QUrl("http://www.example.org/"));
    QMap<QString, QNetworkCookie> byName;
    for (const QNetworkCookie &c : next.cookiesForUrl(QUrl("https://forum.example.org/board/x")))
        byName.insert(QString::fromLatin1(c.name()), c);
    QCOMPARE(byName.keys(), QStringList({"remember", "secret", "session", "tls"}));
    QVERIFY(byName["session"].isSessionCookie());
    QVERIFY(byName["secret"].isHttpOnly());
    QVERIFY(byName["tls"].isSecure());
    QCOMPARE(byName["remember"].expirationDate().toSecsSinceEpoch(), expiry.toSecsSinceEpoch());
    QCOMPARE(byName["remember"].path(), QString("/board"));
}

void TestCookieJar::lifecycleLines()
{
    TestEnv::freshDir("lines");
    MessageLog log;
    {
        CookieJar jar;
        jar.load(QUrl("http://www.example.org/")); // no folder yet: starts empty
        jar.setCookiesFromUrl(parse("a=1; Path=/") + parse("b=2; Path=/"), QUrl("http://www.example.org/"));
    }
    QVERIFY(log.contains("Cookie ctor"));
    QVERIFY(log.contains("Cookie load for  \"www.example.org\""));
    QVERIFY(log.contains("Cookie dtor: allCokies count= 2"));
    QVERIFY(log.contains("Cookie save"));
    QVERIFY(log.contains("count= 2"));
    QCOMPARE(log.countStarting("QNetworkCookie(\""), 2);
    log.clear();
    CookieJar again;
    again.load(QUrl("http://other.example.org/"));
    QCOMPARE(log.countStarting("loaded cookie :::  QNetworkCookie(\""), 2);
}

void TestCookieJar::localFileReadsNothing()
{
    TestEnv::freshDir("battle");
    MessageLog log;
    {
        CookieJar jar;
        jar.load(QUrl::fromLocalFile("/games/content/battle.swf"));
    }
    QCOMPARE(log.countStarting("Cookie load for"), 0);
    QVERIFY(log.contains("Cookie save"));
    QVERIFY(log.contains("count= 0"));
    QVERIFY(QDir("cookies").exists()); // the first save makes the folder
}

void TestCookieJar::sameNameOtherHostsBothKept()
{
    TestEnv::freshDir("samename");
    {
        OpenJar jar;
        QNetworkCookie first("id", "first");
        first.setDomain("a.example.org");
        first.setPath("/");
        QNetworkCookie second("id", "second");
        second.setDomain("b.example.org");
        second.setPath("/x");
        jar.setAllCookies({first, second});
    }
    // Same name, other host and path: two cookies, both kept.
    QList<QByteArray> values;
    for (const QNetworkCookie &cookie : storedCookies("cookies/example.org"))
        values << cookie.value() + '@' + cookie.domain().toUtf8() + cookie.path().toUtf8();
    std::sort(values.begin(), values.end());
    QCOMPARE(values, QList<QByteArray>({"first@a.example.org/", "second@b.example.org/x"}));
}

void TestCookieJar::storeIsPrivate()
{
    TestEnv::freshDir("private");
    // A folder made earlier, open to others, is closed too.
    QDir().mkdir("cookies");
    QFile::setPermissions("cookies", QFileDevice::Permissions(0x7777));
    {
        CookieJar jar;
        jar.setCookiesFromUrl(parse("sid=1; Path=/"), QUrl("http://example.org/"));
    }
    QCOMPARE(QFile::permissions("cookies") & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(QFile::permissions("cookies/example.org") & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
}

void TestCookieJar::unusableDomainsNeverLeaveTheFolder()
{
    const QString dir = TestEnv::freshDir("traversal/inner");
    MessageLog log;
    {
        OpenJar jar;
        QList<QNetworkCookie> cookies;
        for (const char *domain : {"", "../evil", "..", "a.b/../../evil"}) {
            QNetworkCookie c("planted", "1");
            c.setDomain(QString::fromLatin1(domain));
            cookies << c;
        }
        QNetworkCookie good("good", "1");
        good.setDomain("example.org");
        cookies << good;
        jar.setAllCookies(cookies);
    }
    QCOMPARE(log.countStarting("Cookie skipped, no usable domain:  \""), 4);
    QCOMPARE(QDir("cookies").entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList({"example.org"}));
    QCOMPARE(QDir(dir + "/..").entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList({"inner"}));
}

void TestCookieJar::garbageDomainFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray binary;
    for (int i = 0; i < 2048; ++i)
        binary += char((i * 131 + 7) % 256);
    QTest::newRow("binary") << binary;
    QTest::newRow("truncated") << QByteArray("[General]\nsid=@ByteArray(sid=1; pa");
    QTest::newRow("not cookies") << QByteArray("[General]\nsid=@ByteArray(;;;===)\nx=\n");
    QTest::newRow("empty") << QByteArray();
}

void TestCookieJar::garbageDomainFile()
{
    QFETCH(QByteArray, content);
    static int serial = 0;
    TestEnv::freshDir(QString("garbage%1").arg(++serial));
    TestEnv::writeFile("cookies/example.org", content);
    CookieJar jar;
    jar.load(QUrl("http://www.example.org/"));
    for (const QNetworkCookie &c : jar.cookiesForUrl(QUrl("http://www.example.org/")))
        QVERIFY(!c.name().isEmpty());
}

void TestCookieJar::deletedCookieStaysDeleted()
{
    TestEnv::freshDir("deleted");
    const QUrl site("http://example.org/");
    {
        CookieJar jar;
        jar.setCookiesFromUrl(parse("gone=1; Path=/") + parse("kept=1; Path=/"), site);
    }
    {
        CookieJar jar;
        jar.load(site);
        QCOMPARE(jar.cookiesForUrl(site).size(), 2);
        // The server deletes it (a logout): the engine tells the jar so.
        jar.drop(parse("gone=1; Path=/; Domain=example.org").first());
    }
    CookieJar next;
    next.load(site);
    const QList<QNetworkCookie> left = next.cookiesForUrl(site);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().name(), QByteArray("kept"));
}

void TestCookieJar::expiredCookies()
{
    TestEnv::freshDir("expired");
    // A year from now, whenever the test runs.
    const QByteArray past = "Thu, 01 Jan 1970 00:00:01 GMT";
    const QByteArray future = QLocale::c().toString(QDateTime::currentDateTimeUtc().addYears(1),
                                                    QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
    TestEnv::writeFile("cookies/example.org",
                       "[General]\nold=\"@ByteArray(old=1; expires=" + past + "; domain=example.org; path=/)\"\n"
                       "new=\"@ByteArray(new=1; expires=" + future + "; domain=example.org; path=/)\"\n");
    {
        CookieJar jar;
        jar.load(QUrl("http://www.example.org/"));
        const QList<QNetworkCookie> loaded = jar.cookies();
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(loaded.first().name(), QByteArray("new"));
    }
    QCOMPARE(storedNames("cookies/example.org"), QStringList({"new"}));
}

// Files named the earlier way are read, and what is saved goes by today's names.
void TestCookieJar::earlierNamingStillRead()
{
    TestEnv::freshDir("legacy");
    TestEnv::writeFile("cookies/co.uk", "[General]\nsid=\"@ByteArray(sid=shop; domain=shop.co.uk; path=/)\"\n");
    const QUrl shop("http://shop.co.uk/");
    {
        CookieJar jar;
        jar.load(shop);
        QCOMPARE(jar.cookiesForUrl(shop).size(), 1);
        // Another site under the same suffix, with a cookie of the same name.
        QNetworkCookie bank("sid", "bank");
        bank.setDomain("bank.co.uk");
        bank.setPath("/");
        jar.keep(bank);
    }
    QCOMPARE(storedValue("cookies/shop.co.uk", "sid").left(8), QByteArray("sid=shop"));
    QCOMPARE(storedValue("cookies/bank.co.uk", "sid").left(8), QByteArray("sid=bank"));
}

void TestCookieJar::unwritableStore_data()
{
    QTest::addColumn<QString>("locked");
    QTest::newRow("domain file") << "cookies/example.org";
    QTest::newRow("folder") << "cookies";
}

void TestCookieJar::unwritableStore()
{
    QFETCH(QString, locked);
    static int serial = 0;
    TestEnv::freshDir(QString("locked%1").arg(++serial));
    const QUrl site("http://example.org/");
    {
        CookieJar jar;
        jar.setCookiesFromUrl(parse("kept=1; Path=/"), site);
    }
    const QByteArray before = TestEnv::readFile("cookies/example.org");
    if (!makeReadOnly(locked))
        QSKIP("this machine cannot make a file read-only for the user running the tests");
    {
        CookieJar jar;
        jar.load(site);
        jar.setCookiesFromUrl(parse("lost=2; Path=/"), site);
    } // the save fails without a word; what was stored stays
    makeWritable(locked);
    QCOMPARE(TestEnv::readFile("cookies/example.org"), before);
    QVERIFY(before.contains("kept=1"));
}

void TestCookieJar::killedWhileSaving()
{
    const QString dir = TestEnv::freshDir("killed");
    {
        CookieJar jar;
        jar.setCookiesFromUrl(parse("login=before; Path=/"), QUrl("http://www.example.org/"));
    }
    QRandomGenerator random(99);
    for (int round = 0; round < 20; ++round) {
        QProcess saver;
        saver.setWorkingDirectory(dir);
        saver.start(TestEnv::binaryDir() + "/tests/cookiesaver", QStringList());
        QVERIFY(saver.waitForStarted());
        QThread::msleep(30 + random.bounded(300));
        saver.kill();
        saver.waitForFinished();
        // Whatever moment the kill hit, the domain file reads whole.
        static int serial = 0;
        const QString copy = QString("copy%1").arg(++serial); // a fresh name: the settings cache must not answer
        QVERIFY(QFile::copy("cookies/example.org", copy));
        QSettings stored(copy, QSettings::IniFormat);
        QCOMPARE(stored.status(), QSettings::NoError);
        QVERIFY(storedValue(copy, "login").startsWith("login=before"));
        for (const QString &key : stored.allKeys())
            QCOMPARE(QNetworkCookie::parseCookies(stored.value(key).toByteArray()).size(), 1);
    }
}

TARVEN_TEST_MAIN(TestCookieJar)
#include "tst_cookiejar.moc"
