#ifndef MOVIEPROXY_H
#define MOVIEPROXY_H

#include "movie/policyfiles.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <memory>

class QNetworkReply;
class QWebEngineUrlRequestJob;

// Makes the HTTP requests of movies (loadVariables, loadMovie, XML.load ...)
// that the engine's cross-origin rules would refuse them, and hands back the
// answer: for the content folder's movies, which the Flash Player trusted, to
// any web server; for a web page's movies where the server's policy file
// ("/crossdomain.xml") grants the page's domain. A redirect is answered as a
// redirect of the request itself, each hop judged as the first. Its cookies
// are its own, kept in memory, shared by the requests of one tab's movies.
//
// What a request may carry is what the Flash Player let a movie send: GET or
// POST, a body, and a content type that is a media type (no header can be
// written through it). An answer flows to the page as it arrives: the client
// holds a small window of each, never the whole; and the answers in flight
// are bounded for each profile (a tab, its windows) and for the whole client.
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

    // A movie's answer larger than this is cut off and fails.
    static constexpr qint64 maxAnswer = qint64(256) << 20;
    // What the client holds of an answer the page has not read yet.
    static constexpr qint64 answerWindow = 64 << 10;
    // Answers in flight: a profile's, and the whole client's. Far more than a
    // game asks for at once (the engine sends six per server at a time);
    // past them a request fails at once.
    static constexpr int maxInFlight = 16;
    static constexpr int maxInFlightClient = 64;
    // The whole client's answers in flight now.
    static int answersInFlight() { return clientInFlight; }
    // The longest content type sent.
    static constexpr int maxContentType = 256;

    // Whether a movie may send this as its Content-Type: "type/subtype" with
    // parameters, printable ASCII only.
    static bool isMediaType(const QByteArray &type);

private:
    void send(QWebEngineUrlRequestJob *job, const Request &request);
    // Where an answer is: its head awaited, flowing to the page, or settled
    // (redirected, refused or failed).
    enum class Answer { Waiting, Flowing, Settled };
    Answer answer(QNetworkReply *reply, QWebEngineUrlRequestJob *job, const Request &request);

    class InFlight;
    std::shared_ptr<int> inFlight = std::make_shared<int>(0);
    static int clientInFlight;
    QNetworkAccessManager manager;
    PolicyFiles policies;
};

#endif // MOVIEPROXY_H
