#ifndef FLASHPOLICY_H
#define FLASHPOLICY_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The Flash Player's cross-domain policy files: what a server lets movies of
// other sites do with it. A socket policy (the answer to
// "<policy-file-request/>" on port 843, the master, or on the server's own
// port) grants ports; an HTTP policy ("/crossdomain.xml") lets movies read
// the server's answers. Movies of the trusted content folder need none.
namespace FlashPolicy {
// What the master policy allows of the server's other policy files.
enum class Meta { All, MasterOnly, ByContentType, None };

struct Rule
{
    QString domain;               // "*", "*.example.com", "example.com", "192.0.2.1"
    QList<QPair<int, int>> ports; // to-ports as ranges; empty: none given
    bool secure = false;
    bool secureGiven = false;
};

struct Policy
{
    bool valid = false; // a policy document at all
    Meta meta = Meta::All;
    bool metaGiven = false;
    QList<Rule> rules;
};

// The master policy port.
constexpr quint16 masterPort = 843;
// No real policy is near this; a larger answer is not one.
constexpr int maxSize = 64 * 1024;

Policy parse(const QByteArray &xml);

// Whether a rule's domain covers a site: "*" every site, "*.example.com"
// example.com and every name below it; anything else, an address included,
// only itself. Letter case does not matter.
bool domainMatches(const QString &pattern, const QString &host);

// Whether a movie of `domain` may open a socket to `port`. `master` is what
// the master port answered, `own` what the endpoint's port answered (each
// invalid when nothing came): the master's meta-policy may forbid the other;
// a policy served from port 1024 or above grants ports from 1024 only.
bool grantsSocket(const Policy &master, const Policy &own, quint16 ownPort, const QString &domain, quint16 port);

// Whether a movie of `domain` (on an https page or not) may read a server's
// answers by its master policy. An https server's rules are for https pages
// unless they say secure="false".
bool grantsHttp(const Policy &master, const QString &domain, bool requesterSecure, bool serverSecure);
}

#endif // FLASHPOLICY_H
