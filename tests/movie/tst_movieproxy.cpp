// The movies' HTTP bridge as a careful client: what reaches a server is what
// the Flash Player let a movie send, whatever a page writes into the bridge's
// keys; answers flow to the page without piling up in the client; a page has
// only so many in flight. Pages talk to the bridge directly, as a hostile one
// would; the servers are real (nginx, and one that keeps the raw bytes).
#include "faultserver.h"
#include "movie/movieproxy.h"
#include "nginxserver.h"
#include "rawserver.h"
#include "testenv.h"
#include "web/mywebview.h"
#include "webtest.h"

#include <QApplication>
#include <QFile>
#include <QUrlQuery>

class TestMovieProxy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void mediaTypes_data();
    void mediaTypes();
    void requestKeys_data();
    void requestKeys();
    void answers_data();
    void answers();
    void answersFlow();
    void answersInFlightBounded();

private:
    QUrl content(const QString &name) const { return QUrl::fromLocalFile(QDir::currentPath() + "/content/" + name); }
    // The page asks the bridge with these keys, as written; "ok" and the
    // answer's text, or "failed".
    QString ask(MyWebView *view, const QList<QPair<QString, QString>> &keys);

    NginxServer *web = nullptr;
    RawServer *raw = nullptr;
};

static const char grantAll[] = "<?xml version=\"1.0\"?><cross-domain-policy>"
                               "<allow-access-from domain=\"*\"/></cross-domain-policy>";

void TestMovieProxy::initTestCase()
{
    const QString site = TestEnv::root() + "/site";
    QDir().mkpath(site);
    TestEnv::writeFile(site + "/page.html", "<html><head><title>Web</title></head></html>");
    TestEnv::writeFile(site + "/crossdomain.xml", grantAll);
    // Large answers for the memory test: sparse files, nothing on disk.
    for (int i = 0; i < 6; ++i) {
        QFile big(site + QString("/big%1.bin").arg(i));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(64) << 20));
    }
    web = new NginxServer(site, QString());
    QVERIFY(web->start());
    raw = new RawServer;
    QVERIFY(raw->isListening());
    raw->serve("/crossdomain.xml", grantAll);
    TestEnv::writeFile("content/page.html", "<html><head><title>Page</title></head></html>");
}

void TestMovieProxy::cleanupTestCase()
{
    delete web;
    delete raw;
}

QString TestMovieProxy::ask(MyWebView *view, const QList<QPair<QString, QString>> &keys)
{
    QUrlQuery query;
    for (const auto &key : keys)
        query.addQueryItem(QString::fromUtf8(QUrl::toPercentEncoding(key.first)), QString::fromUtf8(QUrl::toPercentEncoding(key.second)));
    const QString url = "tarvenholm:/net?" + query.toString(QUrl::FullyEncoded);
    return WebTest::awaitJs(view, QString("new Promise(resolve => { const x = new XMLHttpRequest(); x.open('GET', '%1');"
                                          " x.onload = () => resolve('ok ' + x.responseText); x.onerror = () => resolve('failed');"
                                          " x.send(); })").arg(url));
}

void TestMovieProxy::mediaTypes_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("sent");
    QTest::newRow("plain") << QByteArray("text/plain") << true;
    QTest::newRow("form, with a charset") << QByteArray("application/x-www-form-urlencoded; charset=UTF-8") << true;
    QTest::newRow("quoted parameter") << QByteArray("multipart/form-data; boundary=\"a b;c\"") << true;
    QTest::newRow("CR LF and a header") << QByteArray("text/plain\r\nX-Injected: yes") << false;
    QTest::newRow("LF alone") << QByteArray("text/plain\nX-Injected: yes") << false;
    QTest::newRow("LF at the end") << QByteArray("text/plain\n") << false;
    QTest::newRow("CR alone") << QByteArray("text/plain\rX: y") << false;
    QTest::newRow("NUL") << QByteArray("text/plain\0x", 12) << false;
    QTest::newRow("tab-separated parameter") << QByteArray("text/plain;\tcharset=UTF-8") << true;
    QTest::newRow("no subtype") << QByteArray("text") << false;
    QTest::newRow("bytes above ASCII") << QByteArray("text/pl\xc3\xa4in") << false;
    QTest::newRow("at the bound") << "text/plain; a=" + QByteArray(256 - 14, 'x') << true;
    QTest::newRow("over the bound") << "text/plain; a=" + QByteArray(257 - 14, 'x') << false;
}

void TestMovieProxy::mediaTypes()
{
    QFETCH(QByteArray, type);
    QFETCH(bool, sent);
    QCOMPARE(MovieProxy::isMediaType(type), sent);
}

void TestMovieProxy::requestKeys_data()
{
    QTest::addColumn<bool>("webPage"); // a web page's, or the content folder's
    QTest::addColumn<QString>("key");  // the key written with CR LF
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("outcome"); // "refused" (and nothing sent), "sent"
    const QString injected = "\r\nX-Injected: yes\r\nCookie: session=chosen-by-page\r\nContent-Length: 0\r\n\r\n"
                             "GET /smuggled HTTP/1.1\r\nHost: victim.example\r\n\r\n";
    for (const bool webPage : {false, true}) {
        const char *who = webPage ? "web page: " : "content page: ";
        QTest::newRow(qPrintable(QString(who) + "type")) << webPage << "type" << "text/plain" + injected << "refused";
        QTest::newRow(qPrintable(QString(who) + "method")) << webPage << "method" << "POST" + injected << "refused";
        QTest::newRow(qPrintable(QString(who) + "url")) << webPage << "url" << "@RAW@post" + injected << "sent";
        // In the body it is the body: counted by its length, one request.
        QTest::newRow(qPrintable(QString(who) + "body")) << webPage << "body" << "data" + injected << "sent";
    }
}

// CR LF in each key, from a page of the content folder and from a web page
// whose server grants every site: the server sees one request with the
// headers the client sets, or nothing at all.
void TestMovieProxy::requestKeys()
{
    QFETCH(bool, webPage);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, outcome);
    MyWebView view;
    QVERIFY(WebTest::load(&view, webPage ? QUrl(web->rootUrl() + "page.html") : content("page.html")));
    QList<QPair<QString, QString>> keys = {{"url", raw->rootUrl() + "post"}, {"method", "POST"},
                                           {"body", QString::fromLatin1(QByteArray("data").toBase64())},
                                           {"type", "text/plain"}};
    for (auto &pair : keys) {
        if (pair.first != key)
            continue;
        pair.second = key == "body" ? QString::fromLatin1(value.toLatin1().toBase64()) : QString(value).replace("@RAW@", raw->rootUrl());
    }
    const int before = raw->requestLines().size();
    MessageLog log;
    const QString answer = ask(&view, keys);
    QList<QByteArray> lines = raw->requestLines().mid(before);
    lines.removeAll("GET /crossdomain.xml HTTP/1.1");
    // No request was smuggled in, no header added: in any request the server read.
    for (const QByteArray &line : raw->requestLines())
        QVERIFY2(!line.startsWith("GET /smuggled"), line.constData());
    for (const QByteArray &line : raw->requestLines()) {
        for (const QByteArray &header : raw->headersOf(line.split(' ').value(1)))
            QVERIFY2(!header.startsWith("X-Injected") && !header.startsWith("Cookie"), header.constData());
    }
    if (outcome == "refused") {
        QCOMPARE(answer, QString("failed"));
        QVERIFY(lines.isEmpty());
        if (key == "type")
            QVERIFY2(log.contains(debugLine("Movie request refused: ", QUrl(raw->rootUrl() + "post"), "content type",
                                            value.toLatin1())),
                     qPrintable(log.lines().join('\n')));
        return;
    }
    QCOMPARE(answer, QString("ok ok"));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith("POST /post"), lines.first().constData());
    QVERIFY2(!lines.first().contains(' ') || lines.first().count(' ') == 2, lines.first().constData());
    QStringList names;
    for (const QByteArray &header : raw->headersOf(lines.first().split(' ').value(1)))
        names << QString::fromLatin1(header.left(header.indexOf(':')));
    names.sort();
    // What the client writes, nothing of the page's own.
    QCOMPARE(names, QStringList({"Accept-Encoding", "Accept-Language", "Connection", "Content-Length", "Content-Type",
                                 "Host", "User-Agent"}));
}

void TestMovieProxy::answers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("told"); // what the page's request ends with
    QTest::newRow("whole") << "none" << "ok " + QString(5000, 'a');
    // A short answer is a failure, never a success.
    QTest::newRow("cut short") << "cut" << "failed";
    QTest::newRow("reset") << "reset" << "failed";
    QTest::newRow("not found") << "404" << "failed";
}

void TestMovieProxy::answers()
{
    QFETCH(QString, fault);
    QFETCH(QString, told);
    const QByteArray body(5000, 'a');
    FaultServer server;
    if (fault == "none")
        server.serve("/answer", body);
    else if (fault == "cut")
        server.serve("/answer", body, FaultServer::CutShort, 1000);
    else if (fault == "reset")
        server.serve("/answer", body, FaultServer::Reset, 1000);
    MyWebView view;
    QVERIFY(WebTest::load(&view, content("page.html")));
    QCOMPARE(ask(&view, {{"url", server.rootUrl() + "answer"}, {"method", "GET"}}), told);
}

static qint64 residentKiB(const char *field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Six answers of 64 MiB at once, from one page: every byte reaches the page,
// and the client (this process) grows by far less than one of them.
void TestMovieProxy::answersFlow()
{
    MyWebView view;
    QVERIFY(WebTest::load(&view, content("page.html")));
    QStringList urls;
    for (int i = 0; i < 6; ++i)
        urls << web->rootUrl() + QString("big%1.bin").arg(i);
    // The peak from here on.
    QFile reset("/proc/self/clear_refs");
    QVERIFY(reset.open(QIODevice::WriteOnly) && reset.write("5") == 1);
    reset.close();
    const qint64 before = residentKiB("VmRSS:");
    const QString script = R"(Promise.all(%1.map(url => new Promise(resolve => {
        const x = new XMLHttpRequest();
        x.open('GET', 'tarvenholm:/net?method=GET&url=' + encodeURIComponent(url));
        x.responseType = 'arraybuffer';
        x.onload = () => resolve(x.response.byteLength);
        x.onerror = () => resolve(-1);
        x.send();
    }))).then(sizes => sizes.join(' ')))";
    const QString sizes = WebTest::awaitJs(&view, script.arg("['" + urls.join("','") + "']"), 120000);
    const qint64 grown = residentKiB("VmHWM:") - before;
    QCOMPARE(sizes, QString("67108864 67108864 67108864 67108864 67108864 67108864"));
    qInfo("main process grew by %lld KiB at most for 384 MiB of answers", grown);
#ifdef TARVEN_SANITIZED
    // The sanitizer keeps freed memory in quarantine (256 MiB): the bound is the plain build's.
    Q_UNUSED(grown);
#else
    QVERIFY2(grown < 48 * 1024, qPrintable(QString::number(grown)));
#endif
}

// A page that keeps more answers open than a game ever does gets failed
// requests past the bound, and the bound is the page's: a new one asks again.
void TestMovieProxy::answersInFlightBounded()
{
    FaultServer server;
    server.serve("/stall", QByteArray(1000, 's'), FaultServer::Stall, 100);
    auto *view = new MyWebView;
    QVERIFY(WebTest::load(view, content("page.html")));
    MessageLog log;
    const QString script = R"(Promise.all(Array.from({length: %1}, () => new Promise(resolve => {
        const x = new XMLHttpRequest();
        x.open('GET', 'tarvenholm:/net?method=GET&url=' + encodeURIComponent('%2'));
        x.onload = () => resolve('ok');
        x.onerror = () => resolve('failed');
        x.send();
        setTimeout(() => resolve('open'), 3000);
    }))).then(all => all.filter(x => x == 'failed').length + ' failed ' + all.filter(x => x == 'open').length + ' open'))";
    const int bound = MovieProxy::maxInFlight;
    QCOMPARE(WebTest::awaitJs(view, script.arg(bound + 4).arg(server.rootUrl() + "stall"), 20000),
             QString("4 failed %1 open").arg(bound));
    QVERIFY(log.contains(debugLine("Movie request refused: ", QUrl(server.rootUrl() + "stall"), "answers in flight:",
                                   bound, bound)));
    // The page goes, and its answers with it.
    QCOMPARE(MovieProxy::answersInFlight(), bound);
    delete view;
    QTRY_COMPARE(MovieProxy::answersInFlight(), 0);
    MyWebView again;
    QVERIFY(WebTest::load(&again, content("page.html")));
    server.serve("/fine", "fine");
    QTRY_COMPARE(ask(&again, {{"url", server.rootUrl() + "fine"}, {"method", "GET"}}), QString("ok fine"));
}

TARVEN_TEST_MAIN(TestMovieProxy)
#include "tst_movieproxy.moc"
