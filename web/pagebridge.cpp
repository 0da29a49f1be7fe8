#include "web/pagebridge.h"

#include "app/contenttrust.h"
#include "movie/clientscheme.h"
#include "movie/movieplayer.h"
#include "movie/movieproxy.h"
#include "movie/socketbridge.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QWebEngineScriptCollection>

namespace {
// The verbs of a page's reports: "<token> click <URL>", "<token> playing
// <frame's URL> <movie's URL>", "<token> window <frame's URL> <window's URL>"
// (a serialised URL has no blank in it).
const QLatin1String clickVerb(" click ");
const QLatin1String playingVerb(" playing ");
const QLatin1String windowVerb(" window ");

QString randomToken()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex());
}

QString json(const QJsonValue &value)
{
    return QString::fromUtf8(value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                             : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

// The names the scripts share with the client, as "%NAME%" in their text.
const QHash<QString, QString> &sharedNames()
{
    static const QHash<QString, QString> names = [] {
        QJsonArray types;
        for (const MoviePlayer::FlashType &flash : MoviePlayer::flashTypes) {
            types.append(QJsonObject{{QStringLiteral("type"), QLatin1String(flash.type)},
                                     {QStringLiteral("suffixes"), QLatin1String(flash.suffixes)},
                                     {QStringLiteral("description"), QLatin1String(flash.description)}});
        }
        const QJsonObject keys{{QStringLiteral("url"), QLatin1String(MovieProxy::Keys::url)},
                               {QStringLiteral("method"), QLatin1String(MovieProxy::Keys::method)},
                               {QStringLiteral("body"), QLatin1String(MovieProxy::Keys::body)},
                               {QStringLiteral("type"), QLatin1String(MovieProxy::Keys::type)}};
        const QString scheme = QLatin1String(ClientScheme::name) + QLatin1Char(':');
        return QHash<QString, QString>{
            {QStringLiteral("RUFFLE_BASE"), scheme + QLatin1String(ClientScheme::rufflePath)},
            {QStringLiteral("NET_BASE"), scheme + QLatin1String(ClientScheme::netPath) + QLatin1Char('?')},
            {QStringLiteral("NET_KEYS"), json(keys)},
            {QStringLiteral("LOCAL_SCHEME"), QLatin1String(ContentTrust::aliasScheme)},
            {QStringLiteral("FLASH_TYPES"), json(types)},
            {QStringLiteral("FLASH_TYPE"), QLatin1String(MoviePlayer::flashTypes.first().type)},
            {QStringLiteral("PLAYERS"), QLatin1String(MoviePlayer::playerElements)},
            {QStringLiteral("WEBSOCKET"), QLatin1String(ClientScheme::socketGlobal)},
        };
    }();
    return names;
}

QString filled(QString text, const QHash<QString, QString> &names)
{
    for (auto it = names.begin(); it != names.end(); ++it)
        text.replace(QLatin1Char('%') + it.key() + QLatin1Char('%'), it.value());
    return text;
}

// A script's text with the shared names filled in, read once (pages are made
// on the GUI thread only).
QString source(const QString &file)
{
    static QHash<QString, QString> read;
    auto it = read.find(file);
    if (it == read.end()) {
        QFile resource(QStringLiteral(":/scripts/") + file);
        resource.open(QIODevice::ReadOnly);
        it = read.insert(file, filled(QString::fromUtf8(resource.readAll()), sharedNames()));
    }
    return it.value();
}

// Which frames a script goes to. The engine picks them by each frame's own
// URL (a user script's @include and @exclude), which no page can change:
// what the content folder's frames are given never reaches another frame,
// whatever page holds it.
enum class Frames { All, Content, Others };

QString forFrames(Frames frames, const QString &code)
{
    if (frames == Frames::All)
        return code;
    const QLatin1String rule(frames == Frames::Content ? "@include" : "@exclude");
    return QStringLiteral("// ==UserScript==\n// %1 %2\n// ==/UserScript==\n").arg(rule, ContentTrust::frameGlob()) + code;
}

// Every frame gets the client's scripts, not only the top one.
QWebEngineScript script(const QString &name, const QString &code, QWebEngineScript::ScriptWorldId world,
                        QWebEngineScript::InjectionPoint when, Frames frames = Frames::All)
{
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(forFrames(frames, code));
    script.setWorldId(world);
    script.setInjectionPoint(when);
    script.setRunsOnSubFrames(true);
    return script;
}
} // namespace

PageBridge::PageBridge(QWebEnginePage *page)
    : QObject(page)
    , token(randomToken())
    , windowToken(randomToken())
{
    const QHash<QString, QString> own{{QStringLiteral("CLICK_REPORT"), token + clickVerb},
                                      {QStringLiteral("PLAYING_REPORT"), token + playingVerb},
                                      {QStringLiteral("WINDOW_REPORT"), windowToken + windowVerb}};
    QWebEngineScriptCollection &scripts = page->scripts();
    // The page's own, not its profile's: the engine gives a profile's scripts
    // to no renderer that replaces a crashed one, and a page's again.
    scripts.insert(movieScripts());
    // Reports from a world the page can neither see nor change.
    scripts.insert(script(QStringLiteral("tarvenholm-clicks"), filled(source(QStringLiteral("clicks.js")), own),
                          QWebEngineScript::ApplicationWorld, QWebEngineScript::DocumentCreation));
    scripts.insert(script(QStringLiteral("tarvenholm-report"), filled(source(QStringLiteral("report.js")), own),
                          QWebEngineScript::ApplicationWorld, QWebEngineScript::DocumentCreation));
    // The content folder's windows, announced from the frames' own world,
    // where the windows are opened; the token is kept apart from the reports'.
    scripts.insert(script(QStringLiteral("tarvenholm-windows"), filled(source(QStringLiteral("windows.js")), own),
                          QWebEngineScript::MainWorld, QWebEngineScript::DocumentCreation, Frames::Content));
    // The page's way to the game's socket servers (SocketBridge): Ruffle's
    // proxy for each, with the page's own secrets, before the page's own
    // scripts, in the page's world, where Ruffle runs. Each frame gets the
    // secrets of its own kind only (a web frame can read what its world holds).
    if (SocketBridge *bridge = SocketBridge::shared()) {
        const SocketBridge::PageProxies proxies = bridge->proxiesFor(page);
        const auto insert = [&scripts](const QString &name, const QList<SocketBridge::Proxy> &list, Frames frames) {
            QJsonArray entries;
            for (const SocketBridge::Proxy &proxy : list) {
                entries.append(QJsonObject{{QStringLiteral("host"), proxy.endpoint.host},
                                           {QStringLiteral("port"), int(proxy.endpoint.port)},
                                           {QStringLiteral("proxyUrl"), proxy.url}});
            }
            scripts.insert(script(name, filled(source(QStringLiteral("sockets.js")), {{QStringLiteral("PROXIES"), json(entries)}}),
                                  QWebEngineScript::MainWorld, QWebEngineScript::DocumentCreation, frames));
        };
        insert(QStringLiteral("tarvenholm-sockets-content"), proxies.content, Frames::Content);
        insert(QStringLiteral("tarvenholm-sockets"), proxies.web, Frames::Others);
    }
}

QList<QWebEngineScript> PageBridge::movieScripts()
{
    // Ruffle's players are elements of the page's own: the page's world.
    return {script(QStringLiteral("tarvenholm-detect"), source(QStringLiteral("detect.js")), QWebEngineScript::MainWorld,
                   QWebEngineScript::DocumentCreation),
            script(QStringLiteral("tarvenholm-movies"), source(QStringLiteral("movies.js")), QWebEngineScript::MainWorld,
                   QWebEngineScript::DocumentReady)};
}

QString PageBridge::playerPage(const QUrl &movie, const QString &loading)
{
    return filled(source(QStringLiteral("player.html")),
                  {{QStringLiteral("MOVIE"), movie.toString(QUrl::FullyEncoded).toHtmlEscaped()},
                   {QStringLiteral("LOADING"), loading.toHtmlEscaped()},
                   {QStringLiteral("FULLSCREEN"), ContentTrust::isContent(movie) ? QStringLiteral("true") : QStringLiteral("false")}});
}

std::pair<QUrl, QUrl> PageBridge::frameAndUrl(const QString &text)
{
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return {QUrl(), QUrl(text)};
    return {QUrl(text.left(blank)), QUrl(text.mid(blank + 1))};
}

bool PageBridge::take(QWebEnginePage::JavaScriptConsoleMessageLevel level, const QString &message,
                      const QString &sourceId)
{
    if (message.startsWith(token + clickVerb)) {
        emit clicked(QUrl(message.mid(token.size() + clickVerb.size())));
        return true;
    }
    if (message.startsWith(token + playingVerb)) {
        const auto [frame, movie] = frameAndUrl(message.mid(token.size() + playingVerb.size()));
        emit moviePlaying(movie, frame);
        return true;
    }
    if (message.startsWith(windowToken + windowVerb)) {
        const auto [frame, url] = frameAndUrl(message.mid(windowToken.size() + windowVerb.size()));
        emit windowAnnounced(url, frame);
        return true;
    }
    // Ruffle reports what goes wrong with a movie on the console, errors of its
    // core marked "ERROR" among styling arguments. It also reports the faster
    // renderers it could not use; it falls back to one that works.
    if (!sourceId.startsWith(QLatin1String(ClientScheme::name) + QLatin1Char(':')))
        return false;
    QString text = message;
    text.remove(QLatin1String("%c"));
    const int styles = text.indexOf(QLatin1String(" color: "));
    if (styles >= 0)
        text.truncate(styles);
    const bool error = level == QWebEnginePage::ErrorMessageLevel || text.startsWith(QLatin1String("ERROR"));
    if (error && !text.contains(QLatin1String("renderer"), Qt::CaseInsensitive))
        emit movieError(text.trimmed());
    return true;
}
