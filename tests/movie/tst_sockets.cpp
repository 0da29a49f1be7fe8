// Movies' socket connections through the client's bridge, against socket
// servers of the test's own on 127.0.0.1 (an echo server that also answers
// policy requests, and a master policy server): what a movie of the content
// folder and one of a web page may reach, and that nobody else gets through.
#include "app/appconfig.h"
#include "movie/socketbridge.h"
#include "moviefiles.h"
#include "nginxserver.h"
#include "socketserver.h"
#include "testenv.h"
#include "web/mywebpage.h"
#include "web/mywebview.h"
#include "webtest.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QWebSocket>

class TestSockets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void bridgeCarriesBytes();
    void bridgeRefuses_data();
    void bridgeRefuses();
    void movieSockets_data();
    void movieSockets();
    void webFrameInContentPage();
    void policyAskedOncePerPage();
    void connectionOutlivesHandshakeTimer();
    void handshakeOverTheBound_data();
    void handshakeOverTheBound();
    void bridgeGoesWithConnectionsOpen();

private:
    QUrl content(const QString &name) const { return QUrl::fromLocalFile(TestEnv::root() + "/work/content/" + name); }
    QStringList reports() const;

    NginxServer *web = nullptr;
    SocketServer *echo = nullptr;
    SocketServer *master = nullptr;
    MainWindow *window = nullptr;
};

void TestSockets::initTestCase()
{
    echo = new SocketServer;
    master = new SocketServer(false);
    AppConfig::instance()->sockets = {SocketEndpoint{"127.0.0.1", quint16(echo->serverPort())}};
    QVERIFY(SocketBridge::shared());
    SocketBridge::shared()->setMasterPolicyPort(master->serverPort());
    const QString site = TestEnv::root() + "/site";
    QDir().mkpath(site);
    web = new NginxServer(site, "location = /report { return 200 \"ok=1\"; }\n");
    QVERIFY(web->start());
    TestEnv::writeFile("content/page.html", "<html><head><title>Page</title></head></html>");
}

void TestSockets::cleanupTestCase()
{
    delete web;
    delete echo;
    delete master;
}

void TestSockets::init()
{
    window = new MainWindow;
    window->resize(820, 700);
    window->show();
    echo->setPolicy(QByteArray());
    master->setPolicy(QByteArray());
    master->setPolicyWithoutNul(false);
    echo->setCloseAfter(-1);
    web->clearAccessLog();
}

void TestSockets::cleanup()
{
    delete window;
    window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What the movies told, in order: "connect-true", "data-...".
QStringList TestSockets::reports() const
{
    return web->queriesOf("/report");
}

// A new secret of the page's for its content frames, or for its other frames.
static QString proxyUrl(QWebEnginePage *page, bool content = true)
{
    const SocketBridge::PageProxies proxies = SocketBridge::shared()->proxiesFor(page);
    const QList<SocketBridge::Proxy> &kind = content ? proxies.content : proxies.web;
    return kind.isEmpty() ? QString() : kind.first().url;
}

// Every byte value, both ways, unchanged; each side's end ends the other.
void TestSockets::bridgeCarriesBytes()
{
    auto *view = new MyWebView;
    QVERIFY(WebTest::load(view, content("page.html")));
    QCOMPARE(SocketBridge::shared()->address(), QHostAddress(QHostAddress::LocalHost));
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    QWebSocket socket("null");
    QByteArray back;
    connect(&socket, &QWebSocket::binaryMessageReceived, &socket, [&](const QByteArray &data) { back += data; });
    const int before = echo->connections();
    socket.open(QUrl(proxyUrl(view->page())));
    QTRY_COMPARE(socket.state(), QAbstractSocket::ConnectedState);
    socket.sendBinaryMessage(bytes);
    socket.sendBinaryMessage(bytes);
    QTRY_COMPARE(back, bytes + bytes);
    QCOMPARE(echo->connections(), before + 1);
    QTRY_COMPARE(echo->openConnections(), 1);
    socket.close();
    QTRY_COMPARE(echo->openConnections(), 0);
    // The server ending the connection ends the page's.
    echo->setCloseAfter(3);
    QWebSocket again("null");
    again.open(QUrl(proxyUrl(view->page())));
    QTRY_COMPARE(again.state(), QAbstractSocket::ConnectedState);
    again.sendBinaryMessage("end");
    QTRY_COMPARE(again.state(), QAbstractSocket::UnconnectedState);
    // A message larger than the bridge takes ends its connection, and none of it goes on.
    echo->setCloseAfter(-1);
    const QByteArray received = echo->received();
    QWebSocket large("null");
    large.open(QUrl(proxyUrl(view->page())));
    QTRY_COMPARE(large.state(), QAbstractSocket::ConnectedState);
    large.sendBinaryMessage(QByteArray(2 << 20, 'x'));
    QTRY_COMPARE(large.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(echo->received(), received);
    delete view;
}

void TestSockets::bridgeRefuses_data()
{
    QTest::addColumn<QString>("page");    // "local" or "web"
    // "content", "web": the page's secret for its content frames or its
    // others; "wrong"; "gone": a content secret of a page since closed
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QString>("origin");
    QTest::addColumn<QString>("log");     // the refusal's reason, after "Socket refused: "
    QTest::newRow("another secret") << "local" << "wrong" << "null" << "unknown secret";
    QTest::newRow("page closed") << "local" << "gone" << "null" << "unknown secret"; // its secrets go with it
    // A sandboxed frame's WebSocket says "null" as a local file's does.
    QTest::newRow("sandboxed frame of a web page") << "web" << "web" << "null"
                                                   << "@ENDPOINT@ for a frame without origin in @PAGE@";
    QTest::newRow("sandboxed frame inside a local page") << "local" << "web" << "null"
                                                         << "@ENDPOINT@ for a frame without origin in @PAGE@";
    QTest::newRow("web origin without policy") << "local" << "web" << "http://127.0.0.1"
                                               << "@ENDPOINT@ for 127.0.0.1: no socket policy from 127.0.0.1 (ports @MASTER@ and @PORT@)";
    QTest::newRow("content secret under a web origin") << "local" << "content" << "http://127.0.0.1"
                                                       << "@ENDPOINT@ for the origin http://127.0.0.1 with a content frame's secret";
    QTest::newRow("other scheme") << "local" << "web" << "chrome-extension://abc" << "@ENDPOINT@ for the origin chrome-extension://abc";
}

// Nothing is opened toward the server for a connection the bridge refuses.
void TestSockets::bridgeRefuses()
{
    QFETCH(QString, page);
    QFETCH(QString, secret);
    QFETCH(QString, origin);
    QFETCH(QString, log);
    auto *view = new MyWebView;
    const QUrl address = page == "local" ? content("page.html") : QUrl(web->rootUrl() + "page.html");
    TestEnv::writeFile(TestEnv::root() + "/site/page.html", "<html><head><title>Web</title></head></html>");
    QVERIFY(WebTest::load(view, address));
    QString url = proxyUrl(view->page(), secret != "web");
    if (secret == "wrong")
        url = SocketBridge::shared()->urlPrefix() + QString(64, 'a');
    if (secret == "gone")
        delete view;
    const SocketEndpoint endpoint = AppConfig::instance()->sockets.first();
    log.replace("@ENDPOINT@", endpoint.text()).replace("@PAGE@", address.toString())
        .replace("@MASTER@", QString::number(master->serverPort())).replace("@PORT@", QString::number(endpoint.port));
    MessageLog messages;
    const int before = echo->connections();
    QWebSocket socket(origin);
    bool failed = false;
    connect(&socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), &socket, [&] { failed = true; });
    socket.open(QUrl(url));
    QTRY_VERIFY(failed);
    QVERIFY(socket.state() != QAbstractSocket::ConnectedState);
    QTRY_VERIFY2(messages.contains(debugLine("Socket refused: ", log)), qPrintable(messages.lines().join('\n')));
    QCOMPARE(echo->connections(), before);
    if (secret != "gone")
        delete view;
}

void TestSockets::movieSockets_data()
{
    QTest::addColumn<QString>("where");      // "game": the content folder's movie in the game tab; "web": in a web page
    QTest::addColumn<QByteArray>("master");  // the master port's policy
    QTest::addColumn<QByteArray>("own");     // the endpoint's own port's policy
    QTest::addColumn<QString>("script");     // the page's own, before the movie ("nul": none, the master's answer has no NUL)
    QTest::addColumn<bool>("connects");
    const QByteArray none;
    const QByteArray page = SocketServer::grant("127.0.0.1", "*");
    const QByteArray other = SocketServer::grant("*.example.org", "*");
    const QString replaced = "window.WebSocket = function () { throw new Error('the page\\'s own'); };";
    const QString removed = "window.WebSocket = undefined;"; // as pages that want a Flash socket instead do
    QTest::newRow("game movie") << "game" << none << none << "" << true;
    QTest::newRow("game movie, WebSocket replaced") << "game" << none << none << replaced << true;
    QTest::newRow("web movie without policy") << "web" << none << none << "" << false;
    QTest::newRow("web movie, master grants") << "web" << page << none << "" << true;
    // An answer ended by its connection's end: still one answer, one connection.
    QTest::newRow("web movie, master grants without a NUL") << "web" << page << none << "nul" << true;
    QTest::newRow("web movie, own port grants") << "web" << none << page << "" << true;
    QTest::newRow("web movie, WebSocket replaced") << "web" << none << page << replaced << true;
    QTest::newRow("web movie, WebSocket removed") << "web" << none << page << removed << true;
    QTest::newRow("web movie, policy for others") << "web" << other << other << "" << false;
    QTest::newRow("web movie, master forbids the port's") << "web"
        << QByteArray("<cross-domain-policy><site-control permitted-cross-domain-policies=\"master-only\"/></cross-domain-policy>")
        << page << "" << false;
}

void TestSockets::movieSockets()
{
    QFETCH(QString, where);
    QFETCH(QByteArray, master);
    QFETCH(QByteArray, own);
    QFETCH(QString, script);
    QFETCH(bool, connects);
    this->master->setPolicy(master);
    this->master->setPolicyWithoutNul(script == "nul");
    if (script == "nul")
        script.clear();
    echo->setPolicy(own);
    static int serial = 0;
    const QString name = QString("socket%1.swf").arg(++serial);
    // Not ASCII, and the NUL XMLSocket ends each message with: bytes as they are.
    const QString message = QString::fromUtf8("h\xc3\xa9llo %1").arg(serial);
    const QByteArray movie = MovieFiles::socket("127.0.0.1", echo->serverPort(), message, web->rootUrl());
    const QString replacement = script.isEmpty() ? "" : "<script>" + script + "</script>";
    const QByteArray before = echo->received();
    const int connectionsBefore = echo->connections();
    const int masterAsked = this->master->policyRequests();
    auto *view = new MyWebView;
    window->appendTab(view, "movie");
    if (where == "game") {
        TestEnv::writeFile("content/" + name, movie);
        TestEnv::writeFile("content/" + name + ".html", ("<html><head>" + replacement + "</head><body><embed src=\"" + name
                                                          + "\" width=\"400\" height=\"300\"></body></html>").toUtf8());
        view->load(content(name + (script.isEmpty() ? "" : ".html")));
    } else {
        const QString site = TestEnv::root() + "/site/";
        TestEnv::writeFile(site + name, movie);
        TestEnv::writeFile(site + name + ".html", ("<html><head>" + replacement + "</head><body><embed src=\"" + name
                                                   + "\" width=\"400\" height=\"300\"></body></html>").toUtf8());
        view->load(QUrl(web->rootUrl() + name + ".html"));
    }
    // Ruffle tells a movie it is connected as soon as it has asked for the
    // WebSocket; a connection the bridge refuses then closes at once.
    QTRY_VERIFY_WITH_TIMEOUT(reports().contains("connect-true"), 30000);
    if (connects) {
        QTRY_VERIFY2(reports().contains("data-" + message), qPrintable(reports().join(' ')));
        QCOMPARE(echo->received().mid(before.size()), message.toUtf8() + '\0');
    } else {
        QTRY_VERIFY2(reports().contains("close"), qPrintable(reports().join(' ')));
        QCOMPARE(echo->received(), before);
    }
    QCOMPARE(reports().count("connect-true"), 1);
    // One connection to the server for the movie's one, after one question to
    // the master policy's port (a web movie's; the game's asks none).
    QCOMPARE(echo->connections() - connectionsBefore, connects ? 1 : 0);
    QCOMPARE(this->master->policyRequests() - masterAsked, where == "web" ? 1 : 0);
}

// A web frame inside a content page (an advert, a news box) gets the
// secrets of a web page, whatever it does with them: its sandboxed child
// (origin "null", as a local file's) does not connect as the content folder.
void TestSockets::webFrameInContentPage()
{
    const QString site = TestEnv::root() + "/site/";
    TestEnv::writeFile(site + "advert.html",
                       "<html><body><script>"
                       "const proxy = (window.__tarvenholmSockets || [])[0];"
                       "const child = document.createElement('iframe');"
                       "child.sandbox = 'allow-scripts';"
                       "child.srcdoc = '<script>const s = new WebSocket(' + JSON.stringify(proxy.proxyUrl) + ');"
                       " s.onopen = function () { fetch(\"' + location.origin + '/report?sandboxed-open\"); };"
                       " s.onclose = function () { fetch(\"' + location.origin + '/report?sandboxed-close\"); };<\\/script>';"
                       "document.body.appendChild(child);"
                       "</script></body></html>");
    TestEnv::writeFile("content/framed.html", QString("<html><head><title>Framed</title></head><body>"
                                                      "<iframe src=\"%1advert.html\"></iframe></body></html>")
                                                  .arg(web->rootUrl()).toUtf8());
    const SocketEndpoint endpoint = AppConfig::instance()->sockets.first();
    MessageLog messages;
    const int before = echo->connections();
    auto *view = new MyWebView;
    window->appendTab(view, "framed");
    QVERIFY(WebTest::load(view, content("framed.html")));
    QTRY_VERIFY2(reports().contains("sandboxed-close"), qPrintable(reports().join(' ')));
    QVERIFY(!reports().contains("sandboxed-open"));
    QTRY_VERIFY2(messages.contains(debugLine("Socket refused: ", endpoint.text() + " for a frame without origin in "
                                                                     + content("framed.html").toString())),
                 qPrintable(messages.lines().join('\n')));
    QCOMPARE(echo->connections(), before);
    QCOMPARE(messages.countStarting("Socket connected:"), 0);
}

// What a socket policy said is asked once per page: a second movie of the
// page that connects later is let in on the first one's answer.
void TestSockets::policyAskedOncePerPage()
{
    master->setPolicy(SocketServer::grant("127.0.0.1", "*"));
    const QString site = TestEnv::root() + "/site/";
    for (const char *name : {"first", "second"})
        TestEnv::writeFile(site + name + QString(".swf"),
                           MovieFiles::socket("127.0.0.1", echo->serverPort(), QString("from the %1").arg(name), web->rootUrl()));
    TestEnv::writeFile(site + "two.html", "<html><body><embed src=\"first.swf\" width=\"200\" height=\"150\"></body></html>");
    const int asked = master->policyRequests();
    const int connections = echo->connections();
    auto *view = new MyWebView;
    window->appendTab(view, "two");
    view->load(QUrl(web->rootUrl() + "two.html"));
    QTRY_VERIFY_WITH_TIMEOUT(reports().contains("data-from the first"), 30000);
    WebTest::runJs(view, "const e = document.createElement('embed'); e.src = 'second.swf'; e.width = 200; e.height = 150;"
                         "document.body.appendChild(e);");
    QTRY_VERIFY_WITH_TIMEOUT(reports().contains("data-from the second"), 30000);
    QCOMPARE(master->policyRequests() - asked, 1);
    QCOMPARE(echo->connections() - connections, 2);
}

// The WebSocket's handshake timer does not end a connection that is made.
void TestSockets::connectionOutlivesHandshakeTimer()
{
    auto *view = new MyWebView;
    window->appendTab(view, "page");
    QVERIFY(WebTest::load(view, content("page.html")));
    QWebSocket socket("null");
    QByteArray back;
    connect(&socket, &QWebSocket::binaryMessageReceived, &socket, [&](const QByteArray &data) { back += data; });
    socket.open(QUrl(proxyUrl(view->page())));
    QTRY_COMPARE(socket.state(), QAbstractSocket::ConnectedState);
    QTest::qWait(SocketBridge::handshakeTimeoutMs + 1000);
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    socket.sendBinaryMessage("later");
    QTRY_COMPARE(back, QByteArray("later"));
}

// A handshake longer than any WebSocket's is answered as soon as it is, not
// when the handshake timer runs out.
void TestSockets::handshakeOverTheBound_data()
{
    QTest::addColumn<int>("size");      // the handshake's bytes, its blank line included; 0: it never ends
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("why");
    // A whole handshake of the bound's size is looked at (its secret is no one's).
    QTest::newRow("the bound's size") << int(SocketBridge::maxHandshake) << QByteArray("403") << "unknown secret";
    QTest::newRow("a byte over") << int(SocketBridge::maxHandshake + 1) << QByteArray("431") << "handshake too long";
    QTest::newRow("no end") << 0 << QByteArray("431") << "handshake too long";
}

void TestSockets::handshakeOverTheBound()
{
    QFETCH(int, size);
    QFETCH(QByteArray, status);
    QFETCH(QString, why);
    MessageLog messages;
    QTcpSocket raw;
    raw.connectToHost(SocketBridge::shared()->address(), QUrl(SocketBridge::shared()->urlPrefix()).port());
    QVERIFY(raw.waitForConnected(5000));
    const QByteArray start = "GET /" + QByteArray(64, 'a') + " HTTP/1.1\r\nX-Padding: ";
    if (size == 0)
        raw.write(start + QByteArray(SocketBridge::maxHandshake, 'x'));
    else
        raw.write(start + QByteArray(size - start.size() - 4, 'x') + "\r\n\r\n");
    QElapsedTimer waited;
    waited.start();
    QTRY_VERIFY(raw.bytesAvailable() > 0 || raw.state() != QAbstractSocket::ConnectedState);
    QVERIFY(raw.readAll().startsWith("HTTP/1.1 " + status + " "));
    QVERIFY2(waited.elapsed() < SocketBridge::handshakeTimeoutMs, qPrintable(QString::number(waited.elapsed())));
    QVERIFY(messages.contains(debugLine("Socket refused: ", why)));
}

// A bridge that goes (the client quitting) with connections open and one
// still in its handshake: nothing reports back to it as it goes; what the
// movies sent has reached the server, and the server's connections end.
void TestSockets::bridgeGoesWithConnectionsOpen()
{
    auto *view = new MyWebView;
    window->appendTab(view, "page");
    QVERIFY(WebTest::load(view, content("page.html")));
    auto *bridge = new SocketBridge(AppConfig::instance()->sockets);
    const QString url = bridge->proxiesFor(view->page()).content.first().url;
    const QByteArray before = echo->received();
    QWebSocket first("null"), second("null");
    first.open(QUrl(url));
    second.open(QUrl(url));
    QTRY_COMPARE(first.state(), QAbstractSocket::ConnectedState);
    QTRY_COMPARE(second.state(), QAbstractSocket::ConnectedState);
    first.sendBinaryMessage("one ");
    QTRY_COMPARE(echo->received().mid(before.size()), QByteArray("one "));
    second.sendBinaryMessage("two");
    QTRY_COMPARE(echo->received().mid(before.size()), QByteArray("one two"));
    QTRY_COMPARE(echo->openConnections(), 2);
    QTcpSocket handshaking;
    handshaking.connectToHost(bridge->address(), QUrl(bridge->urlPrefix()).port());
    QVERIFY(handshaking.waitForConnected(5000));
    handshaking.write("GET /");
    QVERIFY(handshaking.waitForBytesWritten(5000));
    delete bridge;
    QTRY_COMPARE(echo->openConnections(), 0);
    QTRY_COMPARE(first.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(second.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(handshaking.state(), QAbstractSocket::UnconnectedState);
}

TARVEN_TEST_MAIN(TestSockets)
#include "tst_sockets.moc"
