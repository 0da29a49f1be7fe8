#include "movie/clientscheme.h"

#include "movie/movieproxy.h"

#include <QCoreApplication>
#include <QDebug>
#include <QBuffer>
#include <QFile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

const char *const ClientScheme::name = "tarvenholm";
const char *const ClientScheme::rufflePath = "/ruffle/";
const char *const ClientScheme::netPath = "/net";
const char *const ClientScheme::socketGlobal = "__tarvenholmWebSocket";

ClientScheme::ClientScheme(QObject *parent)
    : QWebEngineUrlSchemeHandler(parent)
    , proxy(new MovieProxy(this))
{
}

void ClientScheme::registerScheme()
{
    QWebEngineUrlScheme scheme(name);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // Loadable from any page, https ones and those with a strict content policy
    // included, and readable across origins (Ruffle reads its WebAssembly).
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled
                    | QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QString ClientScheme::ruffleDirectory()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ruffle");
}

static QByteArray mimeType(const QString &fileName)
{
    if (fileName.endsWith(QLatin1String(".js")))
        return "text/javascript";
    if (fileName.endsWith(QLatin1String(".wasm")))
        return "application/wasm";
    return "application/octet-stream";
}

void ClientScheme::requestStarted(QWebEngineUrlRequestJob *job)
{
    const QUrl url = job->requestUrl();
    const QString path = url.path(QUrl::FullyDecoded);
    const QLatin1String rufflePrefix(rufflePath);
    if (path.startsWith(rufflePrefix) && job->requestMethod() == "GET") {
        serveRuffle(job, path.mid(rufflePrefix.size()));
    } else if (path == QLatin1String(netPath)) {
        proxy->start(job, MovieProxy::fromUrl(url));
    } else {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }
}

// Ruffle opens a movie's socket with the page's global WebSocket, which the
// page may have replaced or removed; the core is served opening it with the
// browser's own (kept by the page script) where there is one.
QByteArray ClientScheme::withOwnWebSocket(const QByteArray &core)
{
    static const QByteArray call = QByteArrayLiteral("new WebSocket(");
    QByteArray patched = core;
    patched.replace(call, "new (globalThis." + QByteArray(socketGlobal) + "||WebSocket)(");
    if (patched == core)
        qDebug() << "Ruffle's core opens no WebSocket where the client expects it";
    return patched;
}

void ClientScheme::serveRuffle(QWebEngineUrlRequestJob *job, const QString &fileName)
{
    // Ruffle's files lie side by side in one folder: a name with any folder
    // part in it, however written, is not one of them.
    if (fileName.isEmpty() || fileName.startsWith(QLatin1Char('.')) || fileName.contains(QLatin1Char('/'))
        || fileName.contains(QLatin1Char('\\'))) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto *file = new QFile(ruffleDirectory() + QLatin1Char('/') + fileName, job);
    if (!file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    qDebug() << "Ruffle file: " << fileName;
    if (fileName.startsWith(QLatin1String("core.ruffle.")) && fileName.endsWith(QLatin1String(".js"))) {
        auto *core = new QBuffer(job);
        core->setData(withOwnWebSocket(file->readAll()));
        core->open(QIODevice::ReadOnly);
        job->reply(mimeType(fileName), core);
        return;
    }
    job->reply(mimeType(fileName), file);
}
