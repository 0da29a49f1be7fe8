#ifndef MOVIEPROXY_H
#define MOVIEPROXY_H

#include "movie/policyfiles.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

class QWebEngineUrlRequestJob;

// Makes the HTTP requests of movies (loadVariables, loadMovie, XML.load ...)
// that the engine's cross-origin rules would refuse them, and hands back the
// answer: for the content folder's movies, which the Flash Player trusted, to
// any web server; for a web page's movies where the server's policy file
// ("/crossdomain.xml") grants the page's domain. A redirect is answered as a
// redirect of the request itself, each hop judged as the first. Its cookies
// are its own, kept in memory, shared by the requests of one tab's movies.
class MovieProxy : public QObject
{
    Q_OBJECT
public:
    explicit MovieProxy(QObject *parent = nullptr);

    struct Request {
        QUrl target;
        QByteArray method;
        QByteArray body;
        QByteArray contentType;
    };
    // The request as the page scripts write it ("tarvenholm:/net?url=..."),
    // under these keys.
    struct Keys {
        static constexpr const char *url = "url";
        static constexpr const char *method = "method";
        static constexpr const char *body = "body";
        static constexpr const char *type = "type";
    };
    static Request fromUrl(const QUrl &url);
    static QUrl toUrl(const Request &request);

    void start(QWebEngineUrlRequestJob *job, const Request &request);

    // A movie's answer larger than this is refused, not held in memory.
    static constexpr qint64 maxAnswer = qint64(256) << 20;

private:
    void send(QWebEngineUrlRequestJob *job, const Request &request);

    QNetworkAccessManager manager;
    PolicyFiles policies;
};

#endif // MOVIEPROXY_H
