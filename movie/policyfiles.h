#ifndef POLICYFILES_H
#define POLICYFILES_H

#include "app/appconfig.h"
#include "movie/flashpolicy.h"

#include <QDateTime>
#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <functional>

// Asks servers for their policy files as the Flash Player did, and keeps what
// they said for a minute: a socket server on the master port and then on its
// own port ("<policy-file-request/>", answered with the policy and a NUL
// byte), an HTTP server for its "/crossdomain.xml". Every answer is bounded
// in size and time; a server that says nothing grants nothing.
class PolicyFiles : public QObject
{
    Q_OBJECT
public:
    explicit PolicyFiles(QObject *parent = nullptr);

    // `reason` says why not, for the diagnostic line.
    using Answer = std::function<void(bool granted, const QString &reason)>;
    void checkSocket(const SocketEndpoint &endpoint, const QString &domain, const Answer &answer);
    void checkHttp(const QUrl &target, const QString &domain, bool requesterSecure, const Answer &answer);

    // Where the master policies are asked for (843; another in tests).
    void setMasterPort(quint16 port) { masterPort = port; }
    // How long a policy server may take to answer.
    static constexpr int timeoutMs = 3000;
    // The User-Agent of a movie's requests: its page's.
    static QString userAgent();

private:
    using Found = std::function<void(const FlashPolicy::Policy &policy)>;
    void socketPolicy(const QString &host, quint16 port, const Found &found);
    void httpPolicy(const QUrl &origin, const Found &found);
    bool cached(const QString &key, const Found &found);
    void remember(const QString &key, const FlashPolicy::Policy &policy);

    struct Entry {
        FlashPolicy::Policy policy;
        QDateTime fetched;
    };
    QHash<QString, Entry> cache;
    QNetworkAccessManager manager;
    quint16 masterPort = FlashPolicy::masterPort;
};

#endif // POLICYFILES_H
