#include "movie/policyfiles.h"

#include "app/clientversion.h"

#include <QNetworkReply>
#include <QWebEngineProfile>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <utility>

namespace {
// What a policy fetched a minute ago still says.
constexpr qint64 cacheSeconds = 60;
} // namespace

PolicyFiles::PolicyFiles(QObject *parent)
    : QObject(parent)
{
}

bool PolicyFiles::cached(const QString &key, const Found &found)
{
    const auto it = cache.constFind(key);
    if (it == cache.constEnd() || it->fetched.secsTo(QDateTime::currentDateTimeUtc()) > cacheSeconds)
        return false;
    found(it->policy);
    return true;
}

void PolicyFiles::remember(const QString &key, const FlashPolicy::Policy &policy)
{
    cache.insert(key, Entry{policy, QDateTime::currentDateTimeUtc()});
}

// "<policy-file-request/>" and a NUL; the answer ends with a NUL or with the
// connection.
void PolicyFiles::socketPolicy(const QString &host, quint16 port, const Found &found)
{
    const QString key = QStringLiteral("xmlsocket://%1:%2").arg(host).arg(port);
    if (cached(key, found))
        return;
    auto *socket = new QTcpSocket(this);
    // Shared by the socket's handlers, and gone with them.
    struct State {
        QByteArray received;
        bool done = false;
    };
    const auto state = std::make_shared<State>();
    auto finish = [this, socket, state, key, found](bool complete) {
        if (std::exchange(state->done, true))
            return;
        const qsizetype nul = state->received.indexOf('\0');
        const FlashPolicy::Policy policy =
            complete ? FlashPolicy::parse(state->received.left(nul < 0 ? state->received.size() : nul)) : FlashPolicy::Policy();
        socket->abort();
        socket->deleteLater();
        remember(key, policy);
        found(policy);
    };
    connect(socket, &QTcpSocket::connected, socket,
            [socket] { socket->write(QByteArrayLiteral("<policy-file-request/>") + '\0'); });
    connect(socket, &QTcpSocket::readyRead, socket, [socket, state, finish] {
        state->received += socket->readAll();
        if (state->received.size() > FlashPolicy::maxSize)
            finish(false);
        else if (state->received.contains('\0'))
            finish(true);
    });
    connect(socket, &QTcpSocket::disconnected, socket, [finish] { finish(true); });
    connect(socket, &QTcpSocket::errorOccurred, socket, [finish](QAbstractSocket::SocketError error) {
        finish(error == QAbstractSocket::RemoteHostClosedError);
    });
    QTimer::singleShot(timeoutMs, socket, [finish] { finish(false); });
    socket->connectToHost(host, port);
}

void PolicyFiles::checkSocket(const SocketEndpoint &endpoint, const QString &domain, const Answer &answer)
{
    const QString place = endpoint.text();
    socketPolicy(endpoint.host, masterPort, [=](const FlashPolicy::Policy &master) {
        auto decide = [=](const FlashPolicy::Policy &own) {
            if (FlashPolicy::grantsSocket(master, own, endpoint.port, domain, endpoint.port))
                answer(true, QString());
            else if (!master.valid && !own.valid)
                answer(false, QStringLiteral("no socket policy from %1 (ports %2 and %3)")
                                  .arg(endpoint.host).arg(masterPort).arg(endpoint.port));
            else
                answer(false, QStringLiteral("the socket policy of %1 does not grant %2").arg(place, domain));
        };
        // The master's grant, or its refusal to let the port speak, is final.
        if (master.valid
            && (master.meta != FlashPolicy::Meta::All
                || FlashPolicy::grantsSocket(master, FlashPolicy::Policy(), endpoint.port, domain, endpoint.port))) {
            decide(FlashPolicy::Policy());
            return;
        }
        socketPolicy(endpoint.host, endpoint.port, decide);
    });
}

QString PolicyFiles::userAgent()
{
    static const QString agent = ClientVersion::pageAgent(QWebEngineProfile::defaultProfile()->httpUserAgent());
    return agent;
}

void PolicyFiles::httpPolicy(const QUrl &origin, const Found &found)
{
    const QString key = origin.toString();
    if (cached(key, found))
        return;
    QNetworkRequest request(origin.resolved(QUrl(QStringLiteral("/crossdomain.xml"))));
    // A policy file is where it is asked for: a redirect is no answer.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(timeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    QNetworkReply *reply = manager.get(request);
    reply->setReadBufferSize(FlashPolicy::maxSize);
    const auto received = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::readyRead, reply, [reply, received] {
        *received += reply->readAll();
        if (received->size() > FlashPolicy::maxSize)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, received, key, found] {
        reply->deleteLater();
        *received += reply->readAll();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // The server may forbid every policy file with a header.
        const QByteArray header = reply->rawHeader("X-Permitted-Cross-Domain-Policies").trimmed().toLower();
        const bool refused = header == "none" || header == "none-this-response";
        FlashPolicy::Policy policy;
        if (reply->error() == QNetworkReply::NoError && status == 200 && !refused)
            policy = FlashPolicy::parse(*received);
        remember(key, policy);
        found(policy);
    });
}

void PolicyFiles::checkHttp(const QUrl &target, const QString &domain, bool requesterSecure, const Answer &answer)
{
    const QUrl origin = target.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    const bool serverSecure = target.scheme() == QLatin1String("https");
    httpPolicy(origin, [=](const FlashPolicy::Policy &policy) {
        if (FlashPolicy::grantsHttp(policy, domain, requesterSecure, serverSecure))
            answer(true, QString());
        else if (!policy.valid)
            answer(false, QStringLiteral("no policy file at %1/crossdomain.xml").arg(origin.toString()));
        else
            answer(false, QStringLiteral("the policy file of %1 does not grant %2").arg(origin.toString(), domain));
    });
}
