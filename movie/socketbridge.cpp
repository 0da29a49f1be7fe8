#include "movie/socketbridge.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebSocket>

namespace {
// What one message from the page may hold.
constexpr quint64 maxMessage = 1 << 20;

QString newSecret()
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex());
}

// One movie's connection: the page's WebSocket and the server's TCP
// connection, bytes passed on as they come. Either side's end ends both.
class Relay : public QObject
{
public:
    Relay(QWebSocket *page, QTcpSocket *server, QObject *bridge)
        : QObject(bridge)
        , page(page)
        , server(server)
    {
        page->setParent(this);
        server->setParent(this);
        page->setMaxAllowedIncomingMessageSize(maxMessage);
        // The server's bytes wait in the kernel while the page is behind.
        server->setReadBufferSize(SocketBridge::maxBuffered);
        connect(page, &QWebSocket::binaryMessageReceived, this, &Relay::toServer);
        connect(page, &QWebSocket::textMessageReceived, this,
                [this](const QString &text) { toServer(text.toUtf8()); });
        connect(server, &QTcpSocket::readyRead, this, &Relay::toPage);
        connect(page, &QWebSocket::bytesWritten, this, &Relay::toPage);
        connect(page, &QWebSocket::disconnected, this, [this] { end(); });
        connect(server, &QTcpSocket::disconnected, this, [this] { end(); });
        toPage(); // what the server sent before the page was there
    }
    // Gone with the bridge, the client quitting: what the page sent is on its
    // way to the server, and both ends are closed without reporting back.
    ~Relay() override
    {
        page->disconnect(this);
        server->disconnect(this);
        if (ending)
            return;
        server->flush();
        server->disconnectFromHost();
        page->close(QWebSocketProtocol::CloseCodeGoingAway);
    }

private:
    void toServer(const QByteArray &bytes)
    {
        if (server->bytesToWrite() + bytes.size() > SocketBridge::maxBuffered) {
            qDebug() << "Socket closed, the server reads nothing: " << server->peerName() << server->peerPort();
            end();
            return;
        }
        server->write(bytes);
        // Sent now, not when the event loop next looks at the socket.
        server->flush();
    }
    void toPage()
    {
        if (page->bytesToWrite() > SocketBridge::maxBuffered || !server->bytesAvailable())
            return;
        // What the read buffer holds, at most maxBuffered: read(maxBuffered)
        // would allocate that much for every message.
        page->sendBinaryMessage(server->readAll());
        page->flush();
    }
    void end()
    {
        if (ending)
            return;
        ending = true;
        // What one side sent before it went still reaches the other.
        if (server->state() == QAbstractSocket::ConnectedState && server->bytesAvailable())
            page->sendBinaryMessage(server->readAll());
        page->close();
        server->disconnectFromHost();
        deleteLater();
    }

    QWebSocket *page;
    QTcpSocket *server;
    bool ending = false;
};
} // namespace

SocketBridge::SocketBridge(const QList<SocketEndpoint> &endpoints, QObject *parent)
    : QObject(parent)
    , endpoints(endpoints)
    , upgrader(QStringLiteral("TarvenHOLM"), QWebSocketServer::NonSecureMode)
{
    upgrader.setHandshakeTimeout(handshakeTimeoutMs);
    connect(&upgrader, &QWebSocketServer::newConnection, this, &SocketBridge::onUpgraded);
    connect(&listener, &QTcpServer::newConnection, this, &SocketBridge::onIncoming);
    // Loopback only: nothing on the network can reach it.
    if (!listener.listen(QHostAddress::LocalHost, 0))
        qDebug() << "Socket bridge cannot listen: " << listener.errorString();
}

SocketBridge::~SocketBridge()
{
    // The members go before QObject's own teardown cuts the connections to
    // the bridge, and the sockets they own report to it as they go (a page
    // socket's end reaches dropWaiting): nothing may, once the bridge is going.
    for (QObject *owner : {static_cast<QObject *>(&listener), static_cast<QObject *>(&upgrader)}) {
        const QList<QObject *> owned = owner->findChildren<QObject *>();
        for (QObject *object : owned)
            object->disconnect(this);
    }
    // Still in the table: still there (each leaves it as it goes).
    for (const Waiting &entry : std::as_const(waiting))
        entry.page->disconnect(this);
}

SocketBridge *SocketBridge::shared()
{
    static QPointer<SocketBridge> bridge;
    const QList<SocketEndpoint> &configured = AppConfig::instance()->sockets;
    if (!bridge && !configured.isEmpty())
        bridge = new SocketBridge(configured, QCoreApplication::instance());
    return bridge;
}

QString SocketBridge::urlPrefix() const
{
    return QStringLiteral("ws://127.0.0.1:%1/").arg(listener.serverPort());
}

SocketBridge::PageProxies SocketBridge::proxiesFor(QWebEnginePage *page)
{
    PageProxies proxies;
    if (!listener.isListening())
        return proxies;
    auto *policies = new PolicyFiles(page);
    policies->setMasterPort(masterPolicyPort);
    for (const SocketEndpoint &endpoint : std::as_const(endpoints)) {
        for (const bool content : {true, false}) {
            const QString secret = newSecret();
            grants.insert(secret, Grant{page, endpoint, policies, content});
            (content ? proxies.content : proxies.web) << Proxy{endpoint, urlPrefix() + secret};
        }
    }
    connect(page, &QObject::destroyed, this, &SocketBridge::forget, Qt::UniqueConnection);
    return proxies;
}

void SocketBridge::forget(QObject *page)
{
    for (auto it = grants.begin(); it != grants.end();) {
        if (!it->page || it->page == page)
            it = grants.erase(it);
        else
            ++it;
    }
}

void SocketBridge::onIncoming()
{
    while (QTcpSocket *socket = listener.nextPendingConnection()) {
        // Game messages are small and answered at once: none waits for more.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onHandshakeData(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(handshakeTimeoutMs, socket, [this, socket] {
            if (socket->property("asked").isNull())
                refuse(socket, "408 Request Timeout", QStringLiteral("no handshake"));
        });
    }
}

void SocketBridge::refuse(QTcpSocket *socket, const QByteArray &status, const QString &why)
{
    qDebug() << "Socket refused: " << why;
    socket->setProperty("asked", true);
    socket->disconnect(this);
    socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}

// The handshake is only looked at (peeked): the WebSocket server reads it
// again once the connection may go on.
void SocketBridge::onHandshakeData(QTcpSocket *socket)
{
    const QByteArray head = socket->peek(maxHandshake);
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head.size() >= maxHandshake)
            refuse(socket, "431 Request Header Fields Too Large", QStringLiteral("handshake too long"));
        return;
    }
    socket->setProperty("asked", true);
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    const QList<QByteArray> lines = head.left(end).split('\n');
    const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
    QByteArray origin;
    for (const QByteArray &line : lines) {
        if (line.toLower().startsWith("origin:"))
            origin = line.mid(7).trimmed();
    }
    const QString secret = request.size() == 3 && request.at(0) == "GET" && request.at(1).startsWith('/')
        ? QString::fromLatin1(request.at(1).mid(1))
        : QString();
    const auto grant = grants.constFind(secret);
    if (secret.isEmpty() || grant == grants.constEnd()) {
        refuse(socket, "403 Forbidden", QStringLiteral("unknown secret"));
        return;
    }
    if (!grant->page) {
        refuse(socket, "403 Forbidden", QStringLiteral("the page is gone"));
        return;
    }
    authorise(socket, *grant, origin);
}

// Who connects is told by the secret, not by the Origin header: a WebSocket
// of a local file and one of a sandboxed web frame both say "null". A content
// secret is only ever in a content frame's scripts (the engine picks a frame's
// scripts by the frame's own URL), so it connects as the content folder;
// anything else connects where the endpoint's policy grants its own site.
void SocketBridge::authorise(QTcpSocket *socket, const Grant &grant, const QByteArray &origin)
{
    const QString endpoint = grant.endpoint.text();
    if (grant.content) {
        // A local file's frame has no origin of its own: under any other
        // origin the secret has left the frame it was given to.
        if (origin == "null")
            connectUpstream(socket, grant.endpoint, QStringLiteral("the content folder"));
        else
            refuse(socket, "403 Forbidden",
                   QStringLiteral("%1 for the origin %2 with a content frame's secret").arg(endpoint, QString::fromLatin1(origin)));
        return;
    }
    if (origin == "null") {
        // A sandboxed or data: frame: an origin of its own, with no site a policy could grant.
        refuse(socket, "403 Forbidden", QStringLiteral("%1 for a frame without origin in %2").arg(endpoint, grant.page->url().toString()));
        return;
    }
    const QUrl site(QString::fromLatin1(origin));
    const QString domain = site.host();
    if (domain.isEmpty() || (site.scheme() != QLatin1String("http") && site.scheme() != QLatin1String("https"))) {
        refuse(socket, "403 Forbidden", QStringLiteral("%1 for the origin %2").arg(endpoint, QString::fromLatin1(origin)));
        return;
    }
    QPointer<QTcpSocket> waitingSocket(socket);
    const SocketEndpoint target = grant.endpoint;
    grant.policies->checkSocket(target, domain, [this, waitingSocket, target, domain, endpoint](bool granted, const QString &why) {
        if (!waitingSocket)
            return;
        if (granted)
            connectUpstream(waitingSocket, target, domain);
        else
            refuse(waitingSocket, "403 Forbidden", QStringLiteral("%1 for %2: %3").arg(endpoint, domain, why));
    });
}

void SocketBridge::connectUpstream(QTcpSocket *socket, const SocketEndpoint &endpoint, const QString &requester)
{
    auto *server = new QTcpSocket(this);
    auto *timer = new QTimer(server);
    timer->setSingleShot(true);
    QPointer<QTcpSocket> page(socket);
    const QString place = endpoint.text();
    auto fail = [this, server, page, place](const QString &why) {
        server->disconnect(this);
        server->abort();
        server->deleteLater();
        if (page)
            refuse(page, "502 Bad Gateway", QStringLiteral("%1: %2").arg(place, why));
    };
    connect(server, &QTcpSocket::errorOccurred, this, [server, fail] { fail(server->errorString()); });
    connect(timer, &QTimer::timeout, this, [this, fail] { fail(QStringLiteral("no answer in %1 s").arg(connectTimeoutMs / 1000.0)); });
    connect(server, &QTcpSocket::connected, this, [this, server, timer, page, place, requester] {
        server->disconnect(this);
        server->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        delete timer;
        if (!page) {
            server->deleteLater();
            return;
        }
        qDebug() << "Socket connected: " << place << "for" << requester;
        // The page's connection becomes the WebSocket server's.
        page->disconnect(this);
        disconnect(page, &QTcpSocket::disconnected, page, &QObject::deleteLater);
        waiting.insert(page->peerPort(), Waiting{page.data(), server});
        // Whatever becomes of the handshake, a server connection left waiting goes with it.
        connect(page, &QObject::destroyed, this, &SocketBridge::dropWaiting);
        upgrader.handleConnection(page);
    });
    timer->start(connectTimeoutMs);
    server->connectToHost(endpoint.host, endpoint.port);
}

void SocketBridge::dropWaiting(QObject *page)
{
    for (auto it = waiting.begin(); it != waiting.end(); ++it) {
        if (it->page == page) {
            if (it->server)
                it->server->deleteLater();
            waiting.erase(it);
            return;
        }
    }
}

void SocketBridge::onUpgraded()
{
    while (QWebSocket *page = upgrader.nextPendingConnection()) {
        const Waiting match = waiting.take(page->peerPort());
        QTcpSocket *server = match.server;
        // The page's connection is the WebSocket's now, and goes with it.
        if (match.page)
            disconnect(match.page, &QObject::destroyed, this, &SocketBridge::dropWaiting);
        if (!server) {
            page->close();
            page->deleteLater();
            continue;
        }
        new Relay(page, server, this);
    }
}
