#include "movie/clientscheme.h"

#include "movie/movieproxy.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

const char *const ClientScheme::name = "tarvenholm";

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
    const QString rufflePrefix = QStringLiteral("/ruffle/");
    if (path.startsWith(rufflePrefix) && job->requestMethod() == "GET") {
        serveRuffle(job, path.mid(rufflePrefix.size()));
    } else if (path == QLatin1String("/net") && job->initiator().scheme() == QLatin1String("file")) {
        const QUrlQuery query(url);
        proxy->start(job, QUrl(query.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded)),
                     query.queryItemValue(QStringLiteral("method")).toLatin1(),
                     QByteArray::fromBase64(query.queryItemValue(QStringLiteral("body")).toLatin1()),
                     query.queryItemValue(QStringLiteral("type"), QUrl::FullyDecoded).toLatin1());
    } else {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }
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
    job->reply(mimeType(fileName), file);
}
