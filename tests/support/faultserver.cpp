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
    m_default.body = std::move(body);
    m_default.fault = fault;
    m_default.sent = sentBytes;
    m_hasDefault = true;
}

void FaultServer::serve(const QByteArray &path, const QByteArray &body, Fault fault, qint64 sentBytes)
{
    Answer answer;
    answer.body = body;
    answer.fault = fault;
    answer.sent = sentBytes < 0 ? body.size() : sentBytes;
    m_answers.insert(path, answer);
}

void FaultServer::serveBrokenOnce(const QByteArray &path, const QByteArray &body, qint64 cutAt, Ranges ranges,
                                  const QByteArray &laterBody)
{
    Answer answer;
    answer.body = body;
    answer.fault = CutShort;
    answer.sent = cutAt;
    answer.brokenOnce = true;
    answer.ranges = ranges;
    answer.laterBody = laterBody;
    m_answers.insert(path, answer);
}

QString FaultServer::rootUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort());
}

void FaultServer::incomingConnection(qintptr handle)
{
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(handle);
    // Headers and body go in separate writes: without this, the client's
    // delayed acknowledgement holds every answer back by tens of milliseconds.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        while (socket->peek(65536).contains("\r\n\r\n")) {
            const QByteArray head = socket->peek(65536);
            const QByteArray request = socket->read(head.indexOf("\r\n\r\n") + 4);
            ++m_requests;
            m_mostAtOnce = qMax(m_mostAtOnce, ++m_atOnce);
            if (m_delay > 0)
                QTimer::singleShot(m_delay, socket, [this, socket, request] { respond(socket, request); });
            else
                respond(socket, request);
        }
    });
}

void FaultServer::done()
{
    --m_atOnce;
}

static QByteArray header(const QByteArray &request, const QByteArray &name)
{
    for (const QByteArray &line : request.split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    }
    return QByteArray();
}

void FaultServer::respond(QTcpSocket *socket, const QByteArray &request)
{
    const QByteArray path = request.split(' ').value(1);
    m_paths << path;
    m_ranges << header(request, "Range");
    const bool known = m_answers.contains(path);
    if (!known && !m_hasDefault) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        done();
        return;
    }
    Answer &answer = known ? m_answers[path] : m_default;
    const QByteArray status = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n";

    if (answer.brokenOnce && answer.served++ > 0) {
        // Served again after the break: the same file (tag "v1"), or a new one ("v2").
        const bool changed = !answer.laterBody.isEmpty();
        const QByteArray body = changed ? answer.laterBody : answer.body;
        const QByteArray tag = changed ? "\"v2\"" : "\"v1\"";
        const QByteArray tagLine = answer.ranges == NoValidator ? QByteArray() : "ETag: " + tag + "\r\n";
        const QByteArray range = header(request, "Range");
        const QByteArray ifRange = header(request, "If-Range");
        const QByteArray accepts = answer.ranges == NoRanges ? "" : "Accept-Ranges: bytes\r\n";
        const bool honours = answer.ranges != NoRanges && answer.ranges != IgnoreRanges;
        if (honours && range.startsWith("bytes=") && (ifRange.isEmpty() || ifRange == tag)) {
            qint64 from = range.mid(6, range.indexOf('-') - 6).toLongLong();
            qint64 last = body.size() - 1;
            if (answer.ranges == ShiftedRange)
                from -= 10;
            else if (answer.ranges == ShortRange)
                last -= 1000;
            QByteArray part = body.mid(int(from), int(last - from + 1));
            qint64 total = body.size();
            if (answer.ranges == OtherTotal) {
                part += QByteArray(1000, 'z');
                last += 1000;
                total += 1000;
            }
            socket->write("HTTP/1.1 206 Partial Content\r\nContent-Type: application/octet-stream\r\n" + accepts
                          + tagLine + "Content-Range: bytes " + QByteArray::number(from) + '-'
                          + QByteArray::number(last) + '/' + QByteArray::number(total)
                          + "\r\nContent-Length: " + QByteArray::number(part.size()) + "\r\n\r\n" + part);
        } else {
            socket->write(status + accepts + tagLine + "Content-Length: " + QByteArray::number(body.size())
                          + "\r\n\r\n" + body);
        }
        done();
        return;
    }
    if (answer.brokenOnce) {
        const QByteArray accepts = answer.ranges == NoRanges ? "" : "Accept-Ranges: bytes\r\n";
        const QByteArray tagLine = answer.ranges == NoValidator ? "" : "ETag: \"v1\"\r\n";
        socket->write(status + accepts + tagLine + "Content-Length: " + QByteArray::number(answer.body.size())
                      + "\r\n\r\n" + answer.body.left(int(answer.sent)));
        // Closed once all of it has gone out. Waiting for it here would hold
        // the client's thread too: its reply takes 1 MiB at most until that
        // thread reads, and on a slow machine the client's stall timer then
        // ends the transfer before the cut, at a byte the test does not expect.
        socket->disconnectFromHost();
        done();
        return;
    }

    if (answer.fault == Huge || answer.fault == HugeUnannounced) {
        socket->write(answer.fault == Huge ? status + "Content-Length: 1073741824\r\n\r\n"
                                           : "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n");
        // The body's bytes again and again, as fast as the client takes them.
        const QByteArray block = answer.body.isEmpty() ? QByteArray(1 << 16, '0') : answer.body.repeated(qMax(1, int((1 << 16) / answer.body.size())));
        auto more = [this, socket, block] {
            while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < (1 << 20)
                   && m_hugeSent < (qint64(1) << 30)) {
                socket->write(block);
                m_hugeSent += block.size();
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, more);
        more();
        done();
        return;
    }
    if (answer.fault == Trickle) {
        socket->write(status + "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n\r\n");
        const qsizetype piece = (answer.body.size() + 9) / 10;
        for (int i = 0; i < 10; ++i)
            QTimer::singleShot(300 * (i + 1), socket, [socket, part = answer.body.mid(i * piece, piece)] { socket->write(part); });
        done();
        return;
    }
    if (answer.fault == StallUnannounced)
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n");
    else
        socket->write(status + "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n\r\n");
    if (answer.fault == Stall || answer.fault == StallUnannounced) {
        // What is sent before the stall comes in two parts: the client
        // reports progress at most every 100 ms, on data arriving.
        const QByteArray part = answer.body.left(int(answer.sent));
        socket->write(part.left(part.size() / 2));
        QTimer::singleShot(300, socket, [socket, rest = part.mid(part.size() / 2)] { socket->write(rest); });
        ++m_openStalls;
        connect(socket, &QTcpSocket::disconnected, this, [this] { --m_openStalls; });
        done();
        return;
    }
    socket->write(answer.body.left(int(answer.fault == None ? answer.body.size() : answer.sent)));
    done();
    if (answer.fault == None)
        return;
    if (answer.fault == Pause) {
        QTimer::singleShot(1000, socket, [socket, rest = answer.body.mid(int(answer.sent))] { socket->write(rest); });
        return;
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
}
