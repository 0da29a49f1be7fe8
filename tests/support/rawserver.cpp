#include "rawserver.h"

#include <QTcpSocket>

RawServer::RawServer()
{
    listen(QHostAddress::LocalHost);
}

QString RawServer::rootUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort());
}

QList<QByteArray> RawServer::received() const
{
    QList<QByteArray> all;
    for (const auto &bytes : connections)
        all << *bytes;
    return all;
}

QList<QByteArray> RawServer::headersOf(const QByteArray &path) const
{
    QList<QByteArray> found;
    for (qsizetype h = heads.size() - 1; h >= 0 && found.isEmpty(); --h) {
        QList<QByteArray> split = heads.at(h).split('\n');
        if (split.value(0).split(' ').value(1) != path)
            continue;
        for (qsizetype i = 1; i < split.size(); ++i) {
            const QByteArray line = split.at(i).chopped(split.at(i).endsWith('\r') ? 1 : 0);
            if (!line.isEmpty())
                found << line;
        }
    }
    return found;
}

void RawServer::incomingConnection(qintptr handle)
{
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(handle);
    auto bytes = std::make_shared<QByteArray>();
    connections << bytes;
    auto pending = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket, bytes, pending] {
        const QByteArray data = socket->readAll();
        *bytes += data;
        *pending += data;
        for (;;) {
            const qsizetype end = pending->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = pending->left(end + 2);
            qint64 length = 0;
            for (const QByteArray &line : head.split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (pending->size() < end + 4 + length)
                return;
            pending->remove(0, end + 4 + length);
            heads << head;
            lines << head.left(head.indexOf("\r\n"));
            const QByteArray path = lines.last().split(' ').value(1);
            const QByteArray body = bodies.value(path.left(path.indexOf('?') < 0 ? path.size() : path.indexOf('?')), "ok");
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
                          + "\r\n\r\n" + body);
        }
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}
