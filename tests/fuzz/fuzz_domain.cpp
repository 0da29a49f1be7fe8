// Cookie domains (from servers and from files on disk) to domain file names:
// a path is either refused or names a file directly inside "cookies".
#include "fuzzcommon.h"
#include "web/cookiejar.h"

#include <QHostAddress>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString domain = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QString name = CookieJar::domainFileName(domain);
    // The name is the end of the domain, or the form of an address.
    QString host = domain.startsWith(QLatin1Char('.')) ? domain.mid(1) : domain;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    FUZZ_ASSERT(host.endsWith(name, Qt::CaseInsensitive) || QHostAddress(host).protocol() != QAbstractSocket::UnknownNetworkLayerProtocol
                || host.toLower().toUtf8().endsWith(name.toUtf8()));
    const QString legacy = CookieJar::legacyDomainFileName(domain);
    FUZZ_ASSERT(legacy.count(QLatin1Char('.')) <= 1 && domain.endsWith(legacy));
    const QString path = CookieJar::domainFilePath(domain);
    if (!path.isEmpty()) {
        FUZZ_ASSERT(path == QLatin1String("cookies/") + name);
        FUZZ_ASSERT(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char(':')));
        FUZZ_ASSERT(name != QLatin1String(".") && name != QLatin1String(".."));
    }
    return 0;
}
