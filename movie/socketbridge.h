#ifndef SOCKETBRIDGE_H
#define SOCKETBRIDGE_H

#include "app/appconfig.h"
#include "movie/policyfiles.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QWebSocketServer>

class QTcpSocket;
class QWebEnginePage;

// Carries the game movies' socket connections (XMLSocket, flash.net.Socket):
// Ruffle opens a WebSocket to this bridge on 127.0.0.1 for each, and the
// bridge opens the TCP connection to the game's server and passes the bytes
// both ways unchanged, closing each side when the other closes.
//
// Nobody else can use it. It reaches only the configured endpoints. Each page
// gets its own unguessable secrets per endpoint (in the WebSocket's path), and
// a connection with an unknown secret, or one whose page is gone, is closed
// before anything is opened. Who connects is told by the secret, never by the
// page around the frame: a page's content frames get secrets that connect as
// the Flash Player's trusted local movies did, its other frames secrets that
// connect only where the endpoint's socket policy grants the frame's own
// site that port. The TCP connection is made before the WebSocket is
// accepted, so a server that is down or refuses reaches the movie as a
// failed connection.
class SocketBridge : public QObject
{
    Q_OBJECT
public:
    explicit SocketBridge(const QList<SocketEndpoint> &endpoints, QObject *parent = nullptr);
    ~SocketBridge() override;

    // The client's bridge for the `sockets` setting, listening from its first
    // use; null when no socket server is configured.
    static SocketBridge *shared();

    struct Proxy {
        SocketEndpoint endpoint;
        QString url; // the WebSocket Ruffle opens for it
    };
    // The page's proxies, valid while the page lives: for its content
    // frames, and for all its other frames. Only the content frames' may ever
    // reach a content frame's scripts.
    struct PageProxies {
        QList<Proxy> content;
        QList<Proxy> web;
    };
    PageProxies proxiesFor(QWebEnginePage *page);
    // "ws://127.0.0.1:<port>/": what every proxy URL starts with.
    QString urlPrefix() const;
    QHostAddress address() const { return listener.serverAddress(); }

    // Where the master socket policies are asked for (843; another in tests).
    void setMasterPolicyPort(quint16 port) { masterPolicyPort = port; }
    // How long the game's server may take to accept a connection.
    void setConnectTimeout(int ms) { connectTimeoutMs = ms; }
    static constexpr int defaultConnectTimeoutMs = 10000;
    // Bytes either side may have waiting; a peer that reads nothing ends its connection.
    static constexpr qint64 maxBuffered = 8 << 20;
    // A WebSocket handshake is a few hundred bytes; one that is not complete
    // in this much, or this long, is no handshake.
    static constexpr qsizetype maxHandshake = 8192;
    static constexpr int handshakeTimeoutMs = 5000;

private:
    struct Grant {
        QPointer<QWebEnginePage> page;
        SocketEndpoint endpoint;
        // What the servers' policies said, asked once for the page (as the
        // Flash Player asked once for a movie).
        QPointer<PolicyFiles> policies;
        bool content = false; // a content frame's: connects as the content folder
    };
    void onIncoming();
    void onHandshakeData(QTcpSocket *socket);
    void refuse(QTcpSocket *socket, const QByteArray &status, const QString &why);
    void authorise(QTcpSocket *socket, const Grant &grant, const QByteArray &origin);
    void connectUpstream(QTcpSocket *socket, const SocketEndpoint &endpoint, const QString &requester);
    void onUpgraded();
    void forget(QObject *page);
    void dropWaiting(QObject *page);

    QList<SocketEndpoint> endpoints;
    QTcpServer listener;
    QWebSocketServer upgrader;
    quint16 masterPolicyPort = FlashPolicy::masterPort;
    QHash<QString, Grant> grants; // by secret
    // Server connections waiting for their page's WebSocket, by the page
    // connection's port.
    struct Waiting {
        QObject *page = nullptr; // only compared: it may be gone
        QPointer<QTcpSocket> server;
    };
    QHash<quint16, Waiting> waiting;
    int connectTimeoutMs = defaultConnectTimeoutMs;
};

#endif // SOCKETBRIDGE_H
