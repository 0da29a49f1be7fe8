#include "web/requestfilter.h"

#include "app/gamefolder.h"

#include "web/linkpolicy.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

RequestFilter::RequestFilter(QObject *parent)
    : QWebEngineUrlRequestInterceptor(parent)
{
}

static bool isInside(const QString &path, const QString &folder)
{
    return !folder.isEmpty() && path.startsWith(folder + QLatin1Char('/'));
}

bool RequestFilter::isServedLocally(const QString &path)
{
    const QFileInfo content(QLatin1String(GameFolder::content));
    const QFileInfo file(path);
    // A file that exists is judged where it really lies; one that does not
    // (a movie not installed yet) by its cleaned path.
    if (file.exists())
        return isInside(file.canonicalFilePath(), content.canonicalFilePath());
    return isInside(QDir::cleanPath(file.absoluteFilePath()), content.absoluteFilePath());
}

void RequestFilter::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const QUrl url = info.requestUrl();
    if (LinkPolicy::isBlocked(url.toString())) {
        info.block(true);
    } else if (url.isLocalFile() && !isServedLocally(url.toLocalFile())) {
        qDebug() << "Blocked local file: " << url;
        info.block(true);
    }
}
