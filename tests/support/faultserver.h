#ifndef FAULTSERVER_H
#define FAULTSERVER_H

#include <QTcpServer>
#include <QUrl>

// A scripted HTTP server for what nginx will not do: it answers every request
// with 200 and a Content-Length, sends only part of the body and then closes
// the connection, resets it, or stalls with it open.
class FaultServer : public QTcpServer
{
    Q_OBJECT
public:
    enum Fault { CutShort, Reset, Stall };
    FaultServer(Fault fault, QByteArray body, qint64 sentBytes);

    QString rootUrl() const;
    int requests() const { return m_requests; }

protected:
    void incomingConnection(qintptr handle) override;

private:
    Fault m_fault;
    QByteArray m_body;
    qint64 m_sent;
    int m_requests = 0;
};

#endif // FAULTSERVER_H
