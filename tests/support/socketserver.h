#ifndef SOCKETSERVER_H
#define SOCKETSERVER_H

#include <QByteArray>
#include <QTcpServer>

// A game's socket server for the tests, on 127.0.0.1: answers the Flash
// Player's "<policy-file-request/>" with its policy (when it has one, then
// closes, as policy servers do) and echoes whatever else it receives. A
// policy server alone (the master port) answers only policy requests.
class SocketServer : public QTcpServer
{
    Q_OBJECT
public:
    explicit SocketServer(bool echoes = true);

    // "<cross-domain-policy>...</cross-domain-policy>"; empty: a request is
    // ended without an answer.
    void setPolicy(const QByteArray &policy) { m_policy = policy; }
    // The answer ended by the connection's end alone, without its NUL (as
    // nginx's stream module answers).
    void setPolicyWithoutNul(bool without) { m_withoutNul = without; }
    // After echoing this many bytes the server ends the connection itself.
    void setCloseAfter(qint64 bytes) { m_closeAfter = bytes; }

    int policyRequests() const { return m_policyRequests; }
    int connections() const { return m_connections; }   // other than policy requests
    int openConnections() const { return m_open; }
    QByteArray received() const { return m_received; } // all echoed bytes, in order

    static QByteArray grant(const QString &domain, const QString &ports);

protected:
    void incomingConnection(qintptr handle) override;

private:
    bool m_echoes;
    QByteArray m_policy;
    bool m_withoutNul = false;
    qint64 m_closeAfter = -1;
    int m_policyRequests = 0;
    int m_connections = 0;
    int m_open = 0;
    QByteArray m_received;
};

#endif // SOCKETSERVER_H
