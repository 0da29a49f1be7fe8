#ifndef FAULTSERVER_H
#define FAULTSERVER_H

#include <QHash>
#include <QTcpServer>
#include <QUrl>

// A scripted HTTP server for what nginx will not do. Every path it knows is
// answered with 200 and a Content-Length; a path given a fault gets only part
// of its body and then a closed connection, a reset, or a stall (the part sent
// in two pieces 300 ms apart); or a pause of a second before the rest (Pause),
// or no Content-Length before a stall (StallUnannounced).
class FaultServer : public QTcpServer
{
    Q_OBJECT
public:
    enum Fault { None, CutShort, Reset, Stall, Pause, StallUnannounced };
    FaultServer();
    // Shorthand: every path answers with this body and fault.
    FaultServer(Fault fault, QByteArray body, qint64 sentBytes);

    void serve(const QByteArray &path, const QByteArray &body, Fault fault = None, qint64 sentBytes = -1);
    QString rootUrl() const;
    int requests() const { return m_requests; }
    QList<QByteArray> requestedPaths() const { return m_paths; }

protected:
    void incomingConnection(qintptr handle) override;

private:
    struct Answer { QByteArray body; Fault fault; qint64 sent; };
    QHash<QByteArray, Answer> m_answers;
    Answer m_default {QByteArray(), None, -1};
    bool m_hasDefault = false;
    int m_requests = 0;
    QList<QByteArray> m_paths;
};

#endif // FAULTSERVER_H
