#ifndef RAWSERVER_H
#define RAWSERVER_H

#include <QHash>
#include <QTcpServer>

#include <memory>

// An HTTP server that keeps every byte it receives, each connection's apart,
// to show what a client put on the wire. Each request head (and the body its
// Content-Length announces) is answered with 200 and the body served at its
// path ("ok" where none is).
class RawServer : public QTcpServer
{
    Q_OBJECT
public:
    RawServer();
    void serve(const QByteArray &path, const QByteArray &body) { bodies.insert(path, body); }
    QString rootUrl() const;
    // Each connection's bytes, in the order the connections came.
    QList<QByteArray> received() const;
    // The request lines ("POST /post HTTP/1.1") of every request read.
    QList<QByteArray> requestLines() const { return lines; }
    // The header lines of the last request to this path, each without its line end.
    QList<QByteArray> headersOf(const QByteArray &path) const;

protected:
    void incomingConnection(qintptr handle) override;

private:
    QHash<QByteArray, QByteArray> bodies;
    QList<std::shared_ptr<QByteArray>> connections;
    QList<QByteArray> lines;
    QList<QByteArray> heads;
};

#endif // RAWSERVER_H
