#include "nginxserver.h"

#include "testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

NginxServer::NginxServer(const QString &documentRoot, const QString &extraServerConfig)
    : m_root(QFileInfo(documentRoot).absoluteFilePath())
    , m_extra(extraServerConfig)
{
}

NginxServer::~NginxServer()
{
    stop();
}

int NginxServer::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString NginxServer::rootUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

void NginxServer::setConfig(const QString &whole, int port)
{
    m_whole = whole;
    m_port = port;
}

QString NginxServer::config(const QString &servers, const QString &topLevel)
{
    return topLevel
        + QStringLiteral("worker_processes 1;\n"
                         "pid %PREFIX%/nginx.pid;\n"
                         "error_log %PREFIX%/logs/error.log;\n"
                         "events { worker_connections 64; }\n"
                         "http {\n"
                         "  include /etc/nginx/mime.types;\n"
                         "  default_type application/octet-stream;\n"
                         "  log_format tv '\"$request\" $status $body_bytes_sent \"$http_cookie\" \"$http_accept_encoding\""
                         " \"$content_length\" \"$http_user_agent\"';\n"
                         "  access_log %PREFIX%/logs/access.log tv;\n"
                         "  client_body_temp_path %PREFIX%/client_temp;\n"
                         "  proxy_temp_path %PREFIX%/proxy_temp;\n"
                         "  fastcgi_temp_path %PREFIX%/fastcgi_temp;\n"
                         "  uwsgi_temp_path %PREFIX%/uwsgi_temp;\n"
                         "  scgi_temp_path %PREFIX%/scgi_temp;\n"
                         "  sendfile on;\n")
        + servers + QStringLiteral("}\n");
}

bool NginxServer::start()
{
    static int serial = 0;
    m_prefix = TestEnv::root() + QStringLiteral("/nginx%1").arg(++serial);
    QDir().mkpath(m_prefix + QStringLiteral("/logs"));
    const bool custom = !m_whole.isEmpty();
    for (int attempt = 0; attempt < (custom ? 1 : 5); ++attempt) {
        if (!custom)
            m_port = freePort();
        const QString server = QStringLiteral("  server {\n"
                                              "    listen 127.0.0.1:%1;\n"
                                              "    root %2;\n"
                                              "    %3\n"
                                              "  }\n").arg(m_port).arg(m_root, m_extra);
        const QString conf = QString(custom ? m_whole : config(server)).replace(QStringLiteral("%PREFIX%"), m_prefix);
        TestEnv::writeFile(m_prefix + QStringLiteral("/nginx.conf"), conf.toUtf8());
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/sbin/nginx"),
                        {QStringLiteral("-p"), m_prefix, QStringLiteral("-c"), m_prefix + QStringLiteral("/nginx.conf"),
                         QStringLiteral("-g"), QStringLiteral("daemon off;")});
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5000 && m_process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            if (socket.waitForConnected(200))
                return true;
            QThread::msleep(20);
        }
        m_process.kill();
        m_process.waitForFinished();
    }
    return false;
}

void NginxServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate(); // SIGTERM to the master process: fast shutdown
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QByteArray NginxServer::accessLog() const
{
    return TestEnv::readFile(m_prefix + QStringLiteral("/logs/access.log"));
}

QStringList NginxServer::requestedPaths() const
{
    QStringList paths;
    const QList<QByteArray> lines = accessLog().split('\n');
    for (const QByteArray &line : lines) {
        // ... "GET /path HTTP/1.1" ...
        const int start = line.indexOf('"');
        if (start < 0)
            continue;
        const QList<QByteArray> request = line.mid(start + 1, line.indexOf('"', start + 1) - start - 1).split(' ');
        if (request.size() >= 2)
            paths << QString::fromLatin1(request.at(1));
    }
    return paths;
}

QStringList NginxServer::queriesOf(const QString &path) const
{
    QStringList queries;
    const QString start = path + QLatin1Char('?');
    for (const QString &requested : requestedPaths()) {
        if (requested.startsWith(start))
            queries << QUrl::fromPercentEncoding(requested.mid(start.size()).toUtf8());
    }
    return queries;
}

void NginxServer::clearAccessLog()
{
    QFile::resize(m_prefix + QStringLiteral("/logs/access.log"), 0);
}
