// A domain file of the cookie store with arbitrary content, loaded by a jar as
// a new tab would, then saved back.
#include "fuzzcommon.h"
#include "web/cookiejar.h"

#include <QDir>
#include <QFile>
#include <QNetworkCookie>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    silenceMessages();
    static QTemporaryDir *folder = [] {
        auto *dir = new QTemporaryDir;
        QDir::setCurrent(dir->path());
        QDir().mkdir(QStringLiteral("cookies"));
        return dir;
    }();
    Q_UNUSED(folder);
    // A host of its own each time: the settings class caches files by name and time.
    static int serial = 0;
    const QString host = QStringLiteral("h%1.test").arg(++serial);
    const QString path = QStringLiteral("cookies/") + host;
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    {
        CookieJar jar;
        jar.load(QUrl(QStringLiteral("http://www.") + host + QStringLiteral("/")));
        for (const QNetworkCookie &cookie : jar.cookiesForUrl(QUrl(QStringLiteral("http://www.") + host + QStringLiteral("/"))))
            FUZZ_ASSERT(!cookie.name().isEmpty());
    } // saved here, into files named by whatever domains the cookies carry
    for (const QString &entry : QDir(QStringLiteral("cookies")).entryList(QDir::Files))
        QFile::remove(QStringLiteral("cookies/") + entry);
    FUZZ_ASSERT(QDir(QStringLiteral(".")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries) == QStringList(QStringLiteral("cookies")));
    return 0;
}
