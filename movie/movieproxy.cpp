#include "movie/movieproxy.h"

#include "web/linkpolicy.h"

#include <QBuffer>
#include <QDebug>
#include <QNetworkReply>
#include <QPointer>
#include <QWebEngineUrlRequestJob>

MovieProxy::MovieProxy(QObject *parent)
    : QObject(parent)
{
}

void MovieProxy::start(QWebEngineUrlRequestJob *job, const QUrl &target, const QByteArray &method,
                       const QByteArray &body, const QByteArray &contentType)
{
    if (!LinkPolicy::mayFetch(target) || (method != "GET" && method != "POST")) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    QNetworkRequest request(target);
    // Every hop of a redirect is judged like the first URL.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    if (!contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    QNetworkReply *reply = method == "POST" ? manager.post(request, body) : manager.get(request);
    connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl &next) {
        if (LinkPolicy::mayFetch(next)) {
            emit reply->redirectAllowed();
        } else {
            qDebug() << "Movie request redirect refused: " << next;
            reply->abort();
        }
    });
    // The page may go (and its job with it) before the answer comes.
    QPointer<QWebEngineUrlRequestJob> waiting(job);
    connect(job, &QObject::destroyed, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, this, [reply, waiting] {
        reply->deleteLater();
        if (!waiting)
            return;
        if (reply->error() != QNetworkReply::NoError) {
            qDebug() << "Movie request failed: " << reply->url() << reply->errorString();
            waiting->fail(QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        auto *answer = new QBuffer(waiting);
        answer->setData(reply->readAll());
        answer->open(QIODevice::ReadOnly);
        const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        waiting->reply(type.isEmpty() ? QByteArrayLiteral("application/octet-stream") : type, answer);
    });
}
