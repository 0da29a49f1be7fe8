// Cookie domains (from servers and from files on disk) to domain file names:
// a path is either refused or names a file directly inside "cookies".
#include "fuzzcommon.h"
#include "web/cookiejar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString domain = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QString name = CookieJar::domainFileName(domain);
    FUZZ_ASSERT(name.count(QLatin1Char('.')) <= 1);
    FUZZ_ASSERT(domain.endsWith(name));
    const QString path = CookieJar::domainFilePath(domain);
    if (!path.isEmpty()) {
        FUZZ_ASSERT(path == QLatin1String("cookies/") + name);
        FUZZ_ASSERT(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')));
        FUZZ_ASSERT(name != QLatin1String(".") && name != QLatin1String(".."));
    }
    return 0;
}
