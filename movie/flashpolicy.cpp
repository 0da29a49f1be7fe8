#include "movie/flashpolicy.h"

#include <QHostAddress>
#include <QStringList>
#include <QXmlStreamReader>

namespace FlashPolicy {

// "80,443,1000-2000" or "*"; nothing for anything else.
static QList<QPair<int, int>> parsePorts(const QString &text)
{
    QList<QPair<int, int>> ranges;
    if (text.trimmed() == QLatin1String("*"))
        return {{1, 65535}};
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &part : parts) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        bool ok1 = false, ok2 = false;
        const int first = ends.value(0).trimmed().toInt(&ok1);
        const int last = ends.size() == 2 ? ends.at(1).trimmed().toInt(&ok2) : first;
        if (ends.size() > 2 || !ok1 || (ends.size() == 2 && !ok2) || first < 1 || last > 65535 || first > last)
            return {};
        ranges.append({first, last});
    }
    return ranges;
}

// An unknown meta-policy grants nothing.
static Meta parseMeta(const QString &text)
{
    if (text == QLatin1String("all"))
        return Meta::All;
    if (text == QLatin1String("master-only"))
        return Meta::MasterOnly;
    if (text == QLatin1String("by-content-type"))
        return Meta::ByContentType;
    if (text == QLatin1String("none"))
        return Meta::None;
    return Meta::None;
}

Policy parse(const QByteArray &xml)
{
    Policy policy;
    if (xml.size() > maxSize)
        return policy;
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("cross-domain-policy"))
        return policy;
    while (reader.readNextStartElement()) {
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() == QLatin1String("site-control")) {
            policy.meta = parseMeta(attributes.value(QLatin1String("permitted-cross-domain-policies")).toString());
            policy.metaGiven = true;
        } else if (reader.name() == QLatin1String("allow-access-from")) {
            Rule rule;
            rule.domain = attributes.value(QLatin1String("domain")).toString().trimmed();
            if (attributes.hasAttribute(QLatin1String("to-ports")))
                rule.ports = parsePorts(attributes.value(QLatin1String("to-ports")).toString());
            rule.secureGiven = attributes.hasAttribute(QLatin1String("secure"));
            rule.secure = attributes.value(QLatin1String("secure")) == QLatin1String("true");
            if (!rule.domain.isEmpty())
                policy.rules << rule;
        }
        reader.skipCurrentElement();
    }
    policy.valid = !reader.hasError();
    if (!policy.valid)
        policy.rules.clear();
    return policy;
}

bool domainMatches(const QString &pattern, const QString &host)
{
    if (pattern == QLatin1String("*"))
        return true;
    if (host.isEmpty())
        return false;
    if (pattern.startsWith(QLatin1String("*."))) {
        // Names only: an address is never covered by a wildcard.
        if (QHostAddress(host).protocol() != QAbstractSocket::UnknownNetworkLayerProtocol)
            return false;
        const QString base = pattern.mid(2);
        return !base.isEmpty()
            && (host.compare(base, Qt::CaseInsensitive) == 0
                || host.endsWith(QLatin1Char('.') + base, Qt::CaseInsensitive));
    }
    return host.compare(pattern, Qt::CaseInsensitive) == 0;
}

static bool ruleGrantsPort(const Rule &rule, quint16 servedFrom, quint16 port)
{
    if (servedFrom >= 1024 && port < 1024)
        return false;
    for (const auto &[first, last] : rule.ports) {
        if (port >= first && port <= last)
            return true;
    }
    return false;
}

static bool policyGrantsSocket(const Policy &policy, quint16 servedFrom, const QString &domain, quint16 port)
{
    for (const Rule &rule : policy.rules) {
        if (domainMatches(rule.domain, domain) && ruleGrantsPort(rule, servedFrom, port))
            return true;
    }
    return false;
}

bool grantsSocket(const Policy &master, const Policy &own, quint16 ownPort, const QString &domain, quint16 port)
{
    if (master.valid) {
        if (master.meta == Meta::None)
            return false;
        if (policyGrantsSocket(master, masterPort, domain, port))
            return true;
        if (master.meta != Meta::All)
            return false; // the server's own port may not speak for it
    }
    return own.valid && policyGrantsSocket(own, ownPort, domain, port);
}

bool grantsHttp(const Policy &master, const QString &domain, bool requesterSecure, bool serverSecure)
{
    if (!master.valid || master.meta == Meta::None)
        return false;
    for (const Rule &rule : master.rules) {
        if (!domainMatches(rule.domain, domain))
            continue;
        // An https server's data goes to https pages only, unless it says otherwise.
        const bool secureOnly = serverSecure && (rule.secureGiven ? rule.secure : true);
        if (!secureOnly || requesterSecure)
            return true;
    }
    return false;
}

} // namespace FlashPolicy
