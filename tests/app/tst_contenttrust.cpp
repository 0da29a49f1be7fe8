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
    void trust_data();
    void trust();
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

void TestContentTrust::trust_data()
{
    QTest::addColumn<QString>("question"); // "content": a URL; "origin": an initiator; "fetch": a movie's request
    QTest::addColumn<QString>("text");     // "@WORK@": the working (game) folder
    QTest::addColumn<bool>("yes");
    QTest::newRow("content file") << "content" << "file://@WORK@/content/loader.swf" << true;
    QTest::newRow("content file with a query") << "content" << "file://@WORK@/content/loader.swf?from=game" << true;
    QTest::newRow("not installed yet") << "content" << "file://@WORK@/content/battle.swf" << true;
    QTest::newRow("alias spelling") << "content" << "tarvenholm-file://@WORK@/content/loader.swf?x=1" << true;
    QTest::newRow("dot-dot out of it") << "content" << "file://@WORK@/content/../secret.swf" << false;
    QTest::newRow("alias dot-dot out of it") << "content" << "tarvenholm-file://@WORK@/content/../secret.swf" << false;
    QTest::newRow("encoded dot-dot out of it") << "content" << "file://@WORK@/content/%2E%2E/secret.swf" << false;
    QTest::newRow("file linked from outside") << "content" << "file://@WORK@/content/linked.swf" << false;
    QTest::newRow("folder linked from outside") << "content" << "file://@WORK@/content/linkedfolder/page.html" << false;
    QTest::newRow("folder of a like name") << "content" << "file://@WORK@/content-old/loader.swf" << false;
    QTest::newRow("the folder itself") << "content" << "file://@WORK@/content" << false;
    QTest::newRow("another machine's file") << "content" << "file://fileserver@WORK@/content/loader.swf" << false;
    QTest::newRow("web URL") << "content" << "http://127.0.0.1/content/loader.swf" << false;
    QTest::newRow("data URL") << "content" << "data:text/html,<embed src=loader.swf>" << false;
    QTest::newRow("blank frame") << "content" << "about:blank" << false;
    QTest::newRow("nothing") << "content" << "" << false;
    QTest::newRow("local file's frame") << "origin" << "file://" << true;
    QTest::newRow("sandboxed frame") << "origin" << "null" << false;
    QTest::newRow("opaque origin, empty") << "origin" << "" << false;
    QTest::newRow("web frame") << "origin" << "http://127.0.0.1:8080" << false;
    QTest::newRow("the client's scheme as origin") << "origin" << "tarvenholm:" << false;
    QTest::newRow("http") << "fetch" << "http://www.tarvenholm.com/game.php" << true;
    QTest::newRow("https") << "fetch" << "https://www.tarvenholm.com/game.php" << true;
    QTest::newRow("counter") << "fetch" << "http://counter.yadro.ru/hit?t=1" << false;
    QTest::newRow("counter named in the query") << "fetch" << "http://www.example.org/?r=counter.yadro.ru" << false;
    QTest::newRow("local file fetched") << "fetch" << "file:///etc/passwd" << false;
    QTest::newRow("ftp") << "fetch" << "ftp://www.tarvenholm.com/a.swf" << false;
    QTest::newRow("the client's scheme fetched") << "fetch" << "tarvenholm:/net?url=x" << false;
}

void TestContentTrust::trust()
{
    QFETCH(QString, question);
    QFETCH(QString, text);
    QFETCH(bool, yes);
    const QUrl url(text.replace("@WORK@", QDir::currentPath()));
    const bool answer = question == "content" ? ContentTrust::isContent(url)
        : question == "origin"                ? ContentTrust::isContentOrigin(url)
                                              : ContentTrust::mayFetch(url);
    QCOMPARE(answer, yes);
}

TARVEN_TEST_MAIN(TestContentTrust)
#include "tst_contenttrust.moc"
