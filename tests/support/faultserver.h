#ifndef FAULTSERVER_H
#define FAULTSERVER_H

#include <QHash>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A scripted HTTP server for what nginx will not do. Every path it knows is
// answered with 200 and a Content-Length; a path given a fault gets only part
// of its body and then a closed connection, a reset, or a stall (the part sent
// in two pieces 300 ms apart); or a pause of a second before the rest (Pause),
// or no Content-Length before a stall (StallUnannounced). Answers can be held
// back for a while each (a network's round trip), and a path can be cut short
// once and then served again, with or without ranges.
class FaultServer : public QTcpServer
{
    Q_OBJECT
public:
    // Trickle: the whole body in ten pieces over three seconds. Huge: an
    // announced gigabyte, and data until the client goes; HugeUnannounced:
    // the same without Content-Length.
    enum Fault { None, CutShort, Reset, Stall, Pause, StallUnannounced, Trickle, Huge, HugeUnannounced };
    // What a path broken once does with a range request afterwards.
    enum Ranges {
        NoRanges,      // says nothing of ranges; answers the whole file
        HonourRanges,  // "Accept-Ranges: bytes"; 206 with the rest, while the file's tag is the same
        IgnoreRanges,  // says it takes ranges, then answers the whole file anyway
        NoValidator,   // takes ranges but names no version (no ETag, no date), even when the file changed
        ShiftedRange,  // 206 starting ten bytes before the byte asked for
        ShortRange,    // 206 ending a thousand bytes before the file's end
        OtherTotal,    // 206 of a file a thousand bytes longer: its range ends at the last byte of that total
    };
    FaultServer();
    // Shorthand: every path answers with this body and fault.
    FaultServer(Fault fault, QByteArray body, qint64 sentBytes);

    void serve(const QByteArray &path, const QByteArray &body, Fault fault = None, qint64 sentBytes = -1);
    // The first request gets `cutAt` bytes and a closed connection; later ones
    // the whole file, or its rest, as `ranges` says. With `laterBody` the file
    // has changed by then (and with it its tag).
    void serveBrokenOnce(const QByteArray &path, const QByteArray &body, qint64 cutAt, Ranges ranges,
                         const QByteArray &laterBody = QByteArray());
    void setDelay(int ms) { m_delay = ms; }

    QString rootUrl() const;
    int requests() const { return m_requests; }
    QList<QByteArray> requestedPaths() const { return m_paths; }
    // The Range header of each request ("" without one), in order.
    QList<QByteArray> ranges() const { return m_ranges; }
    // The most requests in progress at once.
    int mostAtOnce() const { return m_mostAtOnce; }
    // Answers held in a stall whose connection the client has not closed.
    int openStalls() const { return m_openStalls; }
    // Bytes of huge answers sent before their clients went.
    qint64 hugeBytesSent() const { return m_hugeSent; }

protected:
    void incomingConnection(qintptr handle) override;

private:
    struct Answer {
        QByteArray body;
        Fault fault = None;
        qint64 sent = -1;
        bool brokenOnce = false;
        Ranges ranges = NoRanges;
        QByteArray laterBody;
        int served = 0;
    };
    void respond(QTcpSocket *socket, const QByteArray &request);
    void done();

    QHash<QByteArray, Answer> m_answers;
    Answer m_default;
    bool m_hasDefault = false;
    int m_requests = 0;
    int m_delay = 0;
    int m_atOnce = 0;
    int m_mostAtOnce = 0;
    int m_openStalls = 0;
    qint64 m_hugeSent = 0;
    QList<QByteArray> m_paths;
    QList<QByteArray> m_ranges;
};

#endif // FAULTSERVER_H
