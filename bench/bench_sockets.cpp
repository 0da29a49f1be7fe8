// A socket message's round trip through the client's bridge (page WebSocket
// -> bridge -> TCP echo server and back), against a bare WebSocket echo from
// the same kind of page in the same engine: 1,000 messages of 100 bytes one
// after the other, the median of five rounds each, taken in turns. Then 1,000
// messages sent at once each way, checked for loss and order. The echo
// servers run in a thread of their own, as a game's server is elsewhere.
#include "app/appconfig.h"
#include "benchutil.h"
#include "movie/socketbridge.h"
#include "socketserver.h"
#include "testenv.h"
#include "web/mywebview.h"
#include "webtest.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <cstdio>
#include <future>

namespace {
// What the page does: `count` round trips of `size` bytes, then as many
// messages at once; the answers are taken as one byte stream (TCP may cut
// and join them) and checked byte for byte.
const char *const script = R"js(
(async function (url, count, size) {
    const socket = new WebSocket(url);
    socket.binaryType = 'arraybuffer';
    await new Promise((resolve, reject) => { socket.onopen = resolve; socket.onerror = () => reject('no connection'); });
    let received = new Uint8Array(0), waiting = null, want = 0;
    socket.onmessage = event => {
        const chunk = new Uint8Array(event.data), joined = new Uint8Array(received.length + chunk.length);
        joined.set(received); joined.set(chunk, received.length); received = joined;
        if (waiting && received.length >= want) { const go = waiting; waiting = null; go(); }
    };
    const until = bytes => new Promise(resolve => { want = bytes; if (received.length >= bytes) resolve(); else waiting = resolve; });
    const message = k => { const m = new Uint8Array(size); for (let i = 0; i < size; ++i) m[i] = (k * 7 + i) & 255; return m; };
    const same = (k, at) => { const m = message(k); for (let i = 0; i < size; ++i) if (received[at + i] !== m[i]) return false; return true; };
    let wrong = 0;
    const start = performance.now();
    for (let k = 0; k < count; ++k) {
        socket.send(message(k));
        await until((k + 1) * size);
        if (!same(k, k * size)) ++wrong;
    }
    const roundTrip = (performance.now() - start) / count;
    received = new Uint8Array(0);
    for (let k = 0; k < count; ++k)
        socket.send(message(k));
    await until(count * size);
    let inOrder = 0;
    for (let k = 0; k < count; ++k)
        if (same(k, k * size)) ++inOrder;
    socket.close();
    return JSON.stringify({roundTrip, wrong, inOrder, bytes: received.length});
})('%1', %2, %3)
)js";

struct Servers {
    quint16 tcp = 0;
    quint16 webSocket = 0;
};

// The echo servers' thread: a TCP echo (the game's server) and a WebSocket echo.
Servers startServers(QThread *thread)
{
    std::promise<Servers> ports;
    QObject::connect(thread, &QThread::started, [&ports] {
        auto *tcp = new SocketServer;
        auto *ws = new QWebSocketServer(QStringLiteral("echo"), QWebSocketServer::NonSecureMode);
        ws->listen(QHostAddress::LocalHost, 0);
        QObject::connect(ws, &QWebSocketServer::newConnection, ws, [ws] {
            while (QWebSocket *socket = ws->nextPendingConnection()) {
                QObject::connect(socket, &QWebSocket::binaryMessageReceived, socket,
                                 [socket](const QByteArray &data) { socket->sendBinaryMessage(data); });
                QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        ports.set_value({quint16(tcp->serverPort()), quint16(ws->serverPort())});
    });
    thread->start();
    return ports.get_future().get();
}

QJsonObject measure(MyWebView *view, const QString &url, int count, int size)
{
    const QString result = WebTest::awaitJs(view, QString::fromLatin1(script).arg(url).arg(count).arg(size), 120000);
    const QJsonObject figures = QJsonDocument::fromJson(result.toUtf8()).object();
    if (figures.isEmpty()) {
        std::fprintf(stderr, "measurement failed: %s\n", qPrintable(result));
        std::exit(1);
    }
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::init("bench_sockets");
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QThread serverThread;
    const Servers servers = startServers(&serverThread);

    AppConfig::instance()->sockets = {SocketEndpoint{QStringLiteral("127.0.0.1"), servers.tcp}};
    TestEnv::writeFile(QStringLiteral("content/page.html"), "<html><head><title>Page</title></head></html>");
    MainWindow window; // the host the view's labels go to
    auto *view = new MyWebView;
    window.appendTab(view, QStringLiteral("bench"));
    if (!WebTest::load(view, QUrl::fromLocalFile(QDir::currentPath() + QStringLiteral("/content/page.html")))) {
        std::fprintf(stderr, "the page did not load\n");
        return 1;
    }
    // The page's own proxy, as Ruffle is given it.
    const QString bridgeUrl = WebTest::runJs(view, QStringLiteral("window.__tarvenholmSockets[0].proxyUrl")).toString();
    const QString bareUrl = QStringLiteral("ws://127.0.0.1:%1/").arg(servers.webSocket);
    const int count = 1000, size = 100, rounds = 5;

    measure(view, bridgeUrl, 100, size); // warm both paths up
    measure(view, bareUrl, 100, size);
    QList<double> bridge, bare;
    QJsonObject lastBridge, lastBare;
    for (int round = 0; round < rounds; ++round) {
        lastBridge = measure(view, bridgeUrl, count, size);
        lastBare = measure(view, bareUrl, count, size);
        bridge << lastBridge.value(QStringLiteral("roundTrip")).toDouble();
        bare << lastBare.value(QStringLiteral("roundTrip")).toDouble();
    }
    const double b = median(bridge), r = median(bare);
    std::printf("round trip, %d messages of %d bytes, median of %d rounds:\n", count, size, rounds);
    std::printf("  through the bridge to a TCP echo: %.3f ms\n", b);
    std::printf("  bare WebSocket echo:              %.3f ms\n", r);
    std::printf("  ratio %.2f (target <= 1.2), added %.3f ms (target <= 1)\n", b / r, b - r);
    for (const auto &[name, figures] : {std::pair{"bridge", lastBridge}, std::pair{"bare  ", lastBare}}) {
        std::printf("%s: %d of %d messages back whole and in order at once, %d of %d one by one; %d of %d bytes\n",
                    name, figures.value(QStringLiteral("inOrder")).toInt(), count,
                    count - figures.value(QStringLiteral("wrong")).toInt(), count,
                    figures.value(QStringLiteral("bytes")).toInt(), count * size);
    }
    serverThread.quit();
    serverThread.wait();
    return 0;
}
