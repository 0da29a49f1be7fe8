#ifndef NGINXSERVER_H
#define NGINXSERVER_H

#include <QProcess>
#include <QString>

// nginx from the system's packages, run from a temporary prefix on 127.0.0.1
// and a free port, serving one folder. Stopped by its process id.
class NginxServer
{
public:
    explicit NginxServer(const QString &documentRoot, const QString &extraServerConfig = QString());
    ~NginxServer();

    // Instead of the one server: this whole configuration, listening where it
    // says; `port` is the one start() waits for. "%PREFIX%" in it stands for
    // the server's own folder (its access log: "%PREFIX%/logs/access.log").
    void setConfig(const QString &whole, int port);
    // The tests' configuration around these `server` blocks (and these lines
    // at the top level): its logs, temporary folders and types, "%PREFIX%" in it.
    static QString config(const QString &servers, const QString &topLevel = QString());
    QString prefix() const { return m_prefix; }

    bool start();
    void stop();
    int port() const { return m_port; }
    QString rootUrl() const; // "http://127.0.0.1:<port>/"
    QByteArray accessLog() const;
    QStringList requestedPaths() const; // paths of the requests seen so far, in order
    // The queries of the requests for a path, decoded, in order: what the
    // tests' movies report ("/report?connect-true").
    QStringList queriesOf(const QString &path) const;
    void clearAccessLog();

    static int freePort();

private:
    QString m_root;
    QString m_extra;
    QString m_whole;
    QString m_prefix;
    int m_port = 0;
    QProcess m_process;
};

#endif // NGINXSERVER_H
