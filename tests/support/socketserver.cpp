#include "socketserver.h"

#include <QTcpSocket>

static const QByteArray policyRequest = QByteArrayLiteral("<policy-file-request/>") + '\0';

SocketServer::SocketServer(bool echoes)
    : m_echoes(echoes)
{
    listen(QHostAddress::LocalHost, 0);
}

QByteArray SocketServer::grant(const QString &domain, const QString &ports)
{
    return QStringLiteral("<?xml version=\"1.0\"?><cross-domain-policy>"
                          "<allow-access-from domain=\"%1\" to-ports=\"%2\"/></cross-domain-policy>")
        .arg(domain, ports)
        .toUtf8();
}

void SocketServer::incomingConnection(qintptr handle)
{
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(handle);
    socket->setProperty("kind", 0); // 0: not known yet, 1: policy, 2: echo
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        if (socket->property("kind").toInt() == 0) {
            const QByteArray head = socket->peek(policyRequest.size());
            if (head == policyRequest) {
                socket->setProperty("kind", 1);
                socket->read(policyRequest.size());
                ++m_policyRequests;
                // Without a policy: ended without an answer.
                if (!m_policy.isEmpty())
                    socket->write(m_withoutNul ? m_policy : m_policy + '\0');
                socket->disconnectFromHost();
                return;
            }
            if (policyRequest.startsWith(head) || !m_echoes)
                return; // more of a request may come
            socket->setProperty("kind", 2);
            ++m_connections;
            ++m_open;
            connect(socket, &QTcpSocket::disconnected, this, [this] { --m_open; });
        }
        if (socket->property("kind").toInt() != 2)
            return;
        const QByteArray data = socket->readAll();
        m_received += data;
        socket->write(data);
        socket->flush();
        const qint64 echoed = socket->property("echoed").toLongLong() + data.size();
        socket->setProperty("echoed", echoed);
        if (m_closeAfter >= 0 && echoed >= m_closeAfter)
            socket->disconnectFromHost();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}
