#include "faultserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

FaultServer::FaultServer()
{
    listen(QHostAddress::LocalHost, 0);
}

FaultServer::FaultServer(Fault fault, QByteArray body, qint64 sentBytes)
    : FaultServer()
{
    m_default = {std::move(body), fault, sentBytes};
    m_hasDefault = true;
}

void FaultServer::serve(const QByteArray &path, const QByteArray &body, Fault fault, qint64 sentBytes)
{
    m_answers.insert(path, {body, fault, sentBytes < 0 ? body.size() : sentBytes});
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
        while (socket->peek(65536).contains("\r\n\r\n")) {
            const QByteArray head = socket->peek(65536);
            const QByteArray request = socket->read(head.indexOf("\r\n\r\n") + 4);
            const QByteArray path = request.split(' ').value(1);
            ++m_requests;
            m_paths << path;
            const bool known = m_answers.contains(path);
            if (!known && !m_hasDefault) {
                socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                continue;
            }
            const Answer answer = known ? m_answers.value(path) : m_default;
            if (answer.fault == StallUnannounced)
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n");
            else
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                              + QByteArray::number(answer.body.size()) + "\r\n\r\n");
            if (answer.fault == Stall || answer.fault == StallUnannounced) {
                // What is sent before the stall comes in two parts: the client
                // reports progress at most every 100 ms, on data arriving.
                const QByteArray part = answer.body.left(int(answer.sent));
                socket->write(part.left(part.size() / 2));
                QTimer::singleShot(300, socket, [socket, rest = part.mid(part.size() / 2)] { socket->write(rest); });
                return;
            }
            socket->write(answer.body.left(int(answer.fault == None ? answer.body.size() : answer.sent)));
            if (answer.fault == None)
                continue;
            if (answer.fault == Pause) {
                QTimer::singleShot(1000, socket, [socket, rest = answer.body.mid(int(answer.sent))] { socket->write(rest); });
                continue;
            }
            socket->flush();
            socket->waitForBytesWritten(5000);
            if (answer.fault == CutShort) {
                socket->disconnectFromHost();
            } else if (answer.fault == Reset) {
                // A zero linger time turns the close into a reset (RST).
                struct linger hard = {1, 0};
                ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                socket->abort();
            }
            return;
        }
    });
}
