#include "app/contenttrust.h"

#include "app/gamefolder.h"

#include <QDir>
#include <QFileInfo>

const char *const ContentTrust::aliasScheme = "tarvenholm-file";
const char *const ContentTrust::blockedHostFragment = "counter.yadro.ru";

static bool isInside(const QString &path, const QString &folder)
{
    return !folder.isEmpty() && path.startsWith(folder + QLatin1Char('/'));
}

bool ContentTrust::isContentFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo content(QLatin1String(GameFolder::content));
    const QFileInfo file(path);
    // A file that exists is judged where it really lies; one that does not
    // (a movie not installed yet) by its cleaned path.
    if (file.exists())
        return isInside(file.canonicalFilePath(), content.canonicalFilePath());
    return isInside(QDir::cleanPath(file.absoluteFilePath()), content.absoluteFilePath());
}

bool ContentTrust::isAlias(const QUrl &url)
{
    return url.scheme() == QLatin1String(aliasScheme);
}

QUrl ContentTrust::fromAlias(const QUrl &alias)
{
    QUrl url = alias;
    url.setScheme(QStringLiteral("file"));
    return url;
}

bool ContentTrust::isContent(const QUrl &url)
{
    const QUrl file = isAlias(url) ? fromAlias(url) : url;
    // A file: URL naming another machine is not a file here.
    return file.isLocalFile() && file.host().isEmpty() && isContentFile(file.toLocalFile());
}

bool ContentTrust::isContentOrigin(const QUrl &origin)
{
    return origin.scheme() == QLatin1String("file");
}

QString ContentTrust::frameGlob()
{
    return QStringLiteral("file:///*");
}

bool ContentTrust::isBlocked(const QString &url)
{
    return url.contains(QLatin1String(blockedHostFragment));
}

bool ContentTrust::mayFetch(const QUrl &url)
{
    const QString scheme = url.scheme();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !isBlocked(url.toString());
}
