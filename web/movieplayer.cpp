#include "web/movieplayer.h"

#include <QFile>
#include <QWebEngineScript>

const char *const MoviePlayer::playingMessage = "tarvenholm: movie playing";
const char *const MoviePlayer::localScheme = "tarvenholm-file";

bool MoviePlayer::isDisguisedLocal(const QUrl &url)
{
    return url.scheme() == QLatin1String(localScheme);
}

QUrl MoviePlayer::localUrl(const QUrl &disguised)
{
    QUrl url = disguised;
    url.setScheme(QStringLiteral("file"));
    return url;
}

static QString resourceText(const QString &name)
{
    QFile file(name);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

bool MoviePlayer::isMovie(const QUrl &url)
{
    return url.path().endsWith(QLatin1String(".swf"), Qt::CaseInsensitive);
}

QString MoviePlayer::page(const QUrl &movie)
{
    static const QString html = resourceText(QStringLiteral(":/player.html"));
    QString text = html;
    return text.replace(QLatin1String("%MOVIE%"), movie.toString(QUrl::FullyEncoded).toHtmlEscaped());
}

QWebEngineScript MoviePlayer::script()
{
    static const QString source = resourceText(QStringLiteral(":/movies.js"));
    QWebEngineScript script;
    script.setName(QStringLiteral("tarvenholm-movies"));
    script.setSourceCode(source);
    // Ruffle's players are elements of the page's own: the page's world.
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setRunsOnSubFrames(true);
    return script;
}
