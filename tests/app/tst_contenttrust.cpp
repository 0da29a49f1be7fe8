// Whether a URL, a file or an origin is the content folder's: the one answer
// every trusted thing (sockets as the content folder, windows and local files
// on a page's own, full screen, movie reports, the movies' requests) rests on.
#include "app/contenttrust.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>

class TestContentTrust : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void isContent_data();
    void isContent();
    void isContentOrigin_data();
    void isContentOrigin();
    void mayFetch_data();
    void mayFetch();
};

void TestContentTrust::initTestCase()
{
    TestEnv::writeFile("content/loader.swf", "FWS");
    TestEnv::writeFile("secret.swf", "FWS");
    TestEnv::writeFile("content-old/loader.swf", "FWS");
    QDir().mkpath(TestEnv::root() + "/elsewhere");
    TestEnv::writeFile(TestEnv::root() + "/elsewhere/page.html", "<html></html>");
    QVERIFY(QFile::link(QDir::currentPath() + "/secret.swf", "content/linked.swf"));
    QVERIFY(QFile::link(TestEnv::root() + "/elsewhere", "content/linkedfolder"));
}

void TestContentTrust::isContent_data()
{
    QTest::addColumn<QString>("url"); // "@WORK@": the working (game) folder
    QTest::addColumn<bool>("content");
    QTest::newRow("content file") << "file://@WORK@/content/loader.swf" << true;
    QTest::newRow("content file with a query") << "file://@WORK@/content/loader.swf?from=game" << true;
    QTest::newRow("not installed yet") << "file://@WORK@/content/battle.swf" << true;
    QTest::newRow("alias spelling") << "tarvenholm-file://@WORK@/content/loader.swf?x=1" << true;
    QTest::newRow("dot-dot out of it") << "file://@WORK@/content/../secret.swf" << false;
    QTest::newRow("alias dot-dot out of it") << "tarvenholm-file://@WORK@/content/../secret.swf" << false;
    QTest::newRow("encoded dot-dot out of it") << "file://@WORK@/content/%2E%2E/secret.swf" << false;
    QTest::newRow("file linked from outside") << "file://@WORK@/content/linked.swf" << false;
    QTest::newRow("folder linked from outside") << "file://@WORK@/content/linkedfolder/page.html" << false;
    QTest::newRow("folder of a like name") << "file://@WORK@/content-old/loader.swf" << false;
    QTest::newRow("the folder itself") << "file://@WORK@/content" << false;
    QTest::newRow("another machine's file") << "file://fileserver@WORK@/content/loader.swf" << false;
    QTest::newRow("web URL") << "http://127.0.0.1/content/loader.swf" << false;
    QTest::newRow("data URL") << "data:text/html,<embed src=loader.swf>" << false;
    QTest::newRow("blank frame") << "about:blank" << false;
    QTest::newRow("nothing") << "" << false;
}

void TestContentTrust::isContent()
{
    QFETCH(QString, url);
    QFETCH(bool, content);
    url.replace("@WORK@", QDir::currentPath());
    QCOMPARE(ContentTrust::isContent(QUrl(url)), content);
}

void TestContentTrust::isContentOrigin_data()
{
    QTest::addColumn<QString>("origin");
    QTest::addColumn<bool>("content");
    QTest::newRow("local file's frame") << "file://" << true;
    QTest::newRow("sandboxed frame") << "null" << false;
    QTest::newRow("opaque, empty") << "" << false;
    QTest::newRow("web frame") << "http://127.0.0.1:8080" << false;
    QTest::newRow("the client's scheme") << "tarvenholm:" << false;
}

void TestContentTrust::isContentOrigin()
{
    QFETCH(QString, origin);
    QFETCH(bool, content);
    QCOMPARE(ContentTrust::isContentOrigin(QUrl(origin)), content);
}

void TestContentTrust::mayFetch_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("fetched");
    QTest::newRow("http") << "http://www.tarvenholm.com/game.php" << true;
    QTest::newRow("https") << "https://www.tarvenholm.com/game.php" << true;
    QTest::newRow("counter") << "http://counter.yadro.ru/hit?t=1" << false;
    QTest::newRow("counter named in the query") << "http://www.example.org/?r=counter.yadro.ru" << false;
    QTest::newRow("local file") << "file:///etc/passwd" << false;
    QTest::newRow("ftp") << "ftp://www.tarvenholm.com/a.swf" << false;
    QTest::newRow("the client's scheme") << "tarvenholm:/net?url=x" << false;
}

void TestContentTrust::mayFetch()
{
    QFETCH(QString, url);
    QFETCH(bool, fetched);
    QCOMPARE(ContentTrust::mayFetch(QUrl(url)), fetched);
}

TARVEN_TEST_MAIN(TestContentTrust)
#include "tst_contenttrust.moc"
