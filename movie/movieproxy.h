#ifndef MOVIEPROXY_H
#define MOVIEPROXY_H

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

class QWebEngineUrlRequestJob;

// Makes the HTTP requests of the local content's movies (loadVariables,
// loadMovie, XML.load ...) for them and hands back the answer. Its cookies are
// its own, kept in memory, shared by the requests of one tab's movies.
class MovieProxy : public QObject
{
    Q_OBJECT
public:
    explicit MovieProxy(QObject *parent = nullptr);

    void start(QWebEngineUrlRequestJob *job, const QUrl &target, const QByteArray &method, const QByteArray &body,
               const QByteArray &contentType);

private:
    QNetworkAccessManager manager;
};

#endif // MOVIEPROXY_H
