#include "movie/movieproxy.h"

#include "app/contenttrust.h"
#include "movie/clientscheme.h"
#include "movie/streamedanswer.h"

#include <QDebug>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>

#include <memory>

// Every profile's answers in flight (all on the window's thread).
int MovieProxy::clientInFlight = 0;

MovieProxy::MovieProxy(QObject *parent)
    : QObject(parent)
{
}

bool MovieProxy::isMediaType(const QByteArray &type)
{
    // RFC 9110: type "/" subtype *( OWS ";" OWS token "=" ( token / quoted-string ) )
    static const QRegularExpression mediaType(
        QStringLiteral(R"re(\A%1/%1(?:[ \t]*;[ \t]*%1=(?:%1|"(?:[\t !#-\[\]-~]|\\[\t -~])*"))*[ \t]*\z)re")
            .arg(QStringLiteral("[!#$%&'*+.^_`|~0-9A-Za-z-]+")));
    return type.size() <= maxContentType && mediaType.match(QString::fromLatin1(type)).hasMatch();
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
    // Nothing a page writes becomes a header of its own.
    if (!request.contentType.isEmpty() && !isMediaType(request.contentType)) {
        qDebug() << "Movie request refused: " << request.target << "content type" << request.contentType;
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

// Counts an answer in flight for as long as its reply exists, wherever the
// reply goes (the engine's job holds it until the page has read it).
class MovieProxy::InFlight : public QObject
{
public:
    InFlight(QObject *reply, std::shared_ptr<int> count)
        : QObject(reply)
        , count(std::move(count))
    {
        ++*this->count;
        ++clientInFlight;
    }
    ~InFlight() override
    {
        --*count;
        --clientInFlight;
    }

private:
    std::shared_ptr<int> count;
};

void MovieProxy::send(QWebEngineUrlRequestJob *job, const Request &request)
{
    if (*inFlight >= maxInFlight || clientInFlight >= maxInFlightClient) {
        qDebug() << "Movie request refused: " << request.target << "answers in flight:" << *inFlight << clientInFlight;
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    QNetworkRequest outgoing(request.target);
    // A redirect is the page's to follow: its next hop is a request of its own.
    outgoing.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!request.contentType.isEmpty())
        outgoing.setRawHeader("Content-Type", request.contentType);
    // As the page's own requests go.
    outgoing.setHeader(QNetworkRequest::UserAgentHeader, PolicyFiles::userAgent());
    QNetworkReply *reply = request.method == "POST" ? manager.post(outgoing, request.body) : manager.get(outgoing);
    // Taken from the network only as fast as the page reads it.
    reply->setReadBufferSize(answerWindow);
    new InFlight(reply, inFlight);
    // The page may go (and its job with it) before the answer is through.
    QPointer<QWebEngineUrlRequestJob> waiting(job);
    connect(job, &QObject::destroyed, reply, [reply] {
        reply->abort();
        reply->deleteLater();
    });
    const auto state = std::make_shared<Answer>(Answer::Waiting);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, waiting, request, state] {
        if (*state != Answer::Waiting || !waiting)
            return;
        *state = answer(reply, waiting, request);
        // Redirected or failed: the rest of this answer is nobody's.
        if (*state == Answer::Settled)
            reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received) {
        if (received > maxAnswer && reply->isRunning()) {
            qDebug() << "Movie request failed: " << reply->url() << "answer over" << maxAnswer << "bytes";
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, waiting, state] {
        if (*state == Answer::Flowing)
            return; // the job reads the rest (or its failure), and the reply goes with it
        reply->deleteLater();
        if (*state == Answer::Settled || !waiting)
            return;
        // A failure, before the answer began or in the middle of it: the
        // page gets a failed request, never a short answer.
        *state = Answer::Settled;
        qDebug() << "Movie request failed: " << reply->url() << reply->errorString();
        waiting->fail(QWebEngineUrlRequestJob::RequestFailed);
    });
}

// The answer's head has come: a redirect goes back to the page as one, an
// error fails the request, anything else flows to the page.
MovieProxy::Answer MovieProxy::answer(QNetworkReply *reply, QWebEngineUrlRequestJob *job, const Request &request)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return Answer::Waiting;
    const int code = status.toInt();
    const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (code >= 300 && code < 400 && location.isValid()) {
        Request next = request;
        next.target = reply->url().resolved(location);
        if (!ContentTrust::mayFetch(next.target)) {
            qDebug() << "Movie request redirect refused: " << next.target;
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return Answer::Settled;
        }
        // As browsers do: only 307 and 308 keep a POST a POST.
        if (code != 307 && code != 308) {
            next.method = "GET";
            next.body.clear();
            next.contentType.clear();
        }
        job->redirect(toUrl(next));
        return Answer::Settled;
    }
    const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (code >= 400 || announced > maxAnswer) {
        qDebug() << "Movie request failed: " << reply->url()
                 << (code >= 400 ? QByteArray::number(code) : "answer over " + QByteArray::number(maxAnswer) + " bytes");
        job->fail(QWebEngineUrlRequestJob::RequestFailed);
        return Answer::Settled;
    }
    const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    // The job holds the answer; the reply goes with the job (or with its
    // manager, before it).
    auto *stream = new StreamedAnswer(reply, answerWindow, job);
    job->reply(type.isEmpty() ? QByteArrayLiteral("application/octet-stream") : type, stream);
    return Answer::Flowing;
}
