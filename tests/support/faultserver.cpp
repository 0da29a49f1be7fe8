#include "faultserver.h"

#include <QTcpSocket>

#include <sys/socket.h>

FaultServer::FaultServer(Fault fault, QByteArray body, qint64 sentBytes)
    : m_fault(fault)
    , m_body(std::move(body))
    , m_sent(sentBytes)
{
    listen(QHostAddress::LocalHost, 0);
}

QString FaultServer::rootUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort());
}

void FaultServer::incomingConnection(qintptr handle)
{
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(handle);
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        if (!socket->peek(65536).contains("\r\n\r\n"))
            return;
        socket->readAll();
        ++m_requests;
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                      + QByteArray::number(m_body.size()) + "\r\n\r\n");
        socket->write(m_body.left(int(m_sent)));
        socket->flush();
        socket->waitForBytesWritten(5000);
        if (m_fault == CutShort) {
            socket->disconnectFromHost();
        } else if (m_fault == Reset) {
            // A zero linger time turns the close into a reset (RST).
            struct linger hard = {1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            socket->abort();
        }
    });
}
