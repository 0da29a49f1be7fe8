#include "movie/movieproxy.h"

#include "app/contenttrust.h"
#include "movie/clientscheme.h"

#include <QBuffer>
#include <QDebug>
#include <QNetworkReply>
#include <QPointer>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>

MovieProxy::MovieProxy(QObject *parent)
    : QObject(parent)
{
}

MovieProxy::Request MovieProxy::fromUrl(const QUrl &url)
{
    const QUrlQuery query(url);
    return Request{QUrl(query.queryItemValue(QLatin1String(Keys::url), QUrl::FullyDecoded)),
                   query.queryItemValue(QLatin1String(Keys::method)).toLatin1(),
                   QByteArray::fromBase64(query.queryItemValue(QLatin1String(Keys::body)).toLatin1()),
                   query.queryItemValue(QLatin1String(Keys::type), QUrl::FullyDecoded).toLatin1()};
}

QUrl MovieProxy::toUrl(const Request &request)
{
    QUrlQuery query;
    query.addQueryItem(QLatin1String(Keys::url), QString::fromUtf8(QUrl::toPercentEncoding(request.target.toString(QUrl::FullyEncoded))));
    query.addQueryItem(QLatin1String(Keys::method), QString::fromLatin1(request.method));
    if (!request.body.isEmpty()) {
        query.addQueryItem(QLatin1String(Keys::body), QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(request.body.toBase64()))));
        query.addQueryItem(QLatin1String(Keys::type), QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(request.contentType))));
    }
    QUrl url(QString::fromLatin1(ClientScheme::name) + QLatin1Char(':') + QLatin1String(ClientScheme::netPath));
    url.setQuery(query);
    return url;
}

void MovieProxy::start(QWebEngineUrlRequestJob *job, const Request &request)
{
    if (!ContentTrust::mayFetch(request.target) || (request.method != "GET" && request.method != "POST")) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    // The frame that asks, not the page around it: a web frame inside a
    // content page is a web page's.
    const QUrl page = job->initiator();
    if (ContentTrust::isContentOrigin(page)) {
        send(job, request);
        return;
    }
    const QString domain = page.host();
    if (domain.isEmpty() || (page.scheme() != QLatin1String("http") && page.scheme() != QLatin1String("https"))) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    QPointer<QWebEngineUrlRequestJob> waiting(job);
    policies.checkHttp(request.target, domain, page.scheme() == QLatin1String("https"),
                       [this, waiting, request, domain](bool granted, const QString &why) {
                           if (!waiting)
                               return;
                           if (!granted) {
                               qDebug() << "Movie request refused: " << request.target << "for" << domain << why;
                               waiting->fail(QWebEngineUrlRequestJob::RequestDenied);
                               return;
                           }
                           send(waiting, request);
                       });
}

void MovieProxy::send(QWebEngineUrlRequestJob *job, const Request &request)
{
    QNetworkRequest outgoing(request.target);
    // A redirect is the page's to follow: its next hop is a request of its own.
    outgoing.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!request.contentType.isEmpty())
        outgoing.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
    // As the page's own requests go.
    outgoing.setHeader(QNetworkRequest::UserAgentHeader, PolicyFiles::userAgent());
    QNetworkReply *reply = request.method == "POST" ? manager.post(outgoing, request.body) : manager.get(outgoing);
    // The page may go (and its job with it) before the answer comes.
    QPointer<QWebEngineUrlRequestJob> waiting(job);
    connect(job, &QObject::destroyed, reply, &QNetworkReply::abort);
    auto *answer = new QBuffer(reply);
    answer->open(QIODevice::ReadWrite);
    connect(reply, &QNetworkReply::readyRead, reply, [reply, answer] {
        if (answer->size() + reply->bytesAvailable() > maxAnswer) {
            qDebug() << "Movie request failed: " << reply->url() << "answer over" << maxAnswer << "bytes";
            reply->abort();
            return;
        }
        answer->write(reply->readAll());
    });
    connect(reply, &QNetworkReply::finished, this, [reply, answer, waiting, request] {
        reply->deleteLater();
        if (!waiting)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (status >= 300 && status < 400 && location.isValid()) {
            Request next = request;
            next.target = reply->url().resolved(location);
            if (!ContentTrust::mayFetch(next.target)) {
                qDebug() << "Movie request redirect refused: " << next.target;
                waiting->fail(QWebEngineUrlRequestJob::RequestDenied);
                return;
            }
            // As browsers do: only 307 and 308 keep a POST a POST.
            if (status != 307 && status != 308) {
                next.method = "GET";
                next.body.clear();
                next.contentType.clear();
            }
            waiting->redirect(toUrl(next));
            return;
        }
        if (reply->error() != QNetworkReply::NoError) {
            qDebug() << "Movie request failed: " << reply->url() << reply->errorString();
            waiting->fail(QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        answer->write(reply->readAll());
        answer->setParent(waiting);
        answer->seek(0);
        const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        waiting->reply(type.isEmpty() ? QByteArrayLiteral("application/octet-stream") : type, answer);
    });
}
