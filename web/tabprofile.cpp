#include "web/tabprofile.h"

#include "app/clientversion.h"
#include "app/gamefolder.h"

#include "web/cookiejar.h"
#include "web/requestfilter.h"
#include "movie/clientscheme.h"

#include "web/mywebpage.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QFile>
#include <QNetworkCookie>
#include <QWebEngineDownloadRequest>
#include <QWebEngineCookieStore>
#include <QWebEngineScriptCollection>

TabProfile::TabProfile(CookieJar *jar)
    : jar(jar)
{
    setUp();
}

TabProfile::TabProfile(const QString &storageName, CookieJar *jar)
    : QWebEngineProfile(storageName)
    , jar(jar)
{
    setUp();
}

QString TabProfile::gameDataPath()
{
    return GameFolder::absolute(GameFolder::webData);
}

TabProfile *TabProfile::forGame()
{
    const QString path = gameDataPath();
    // Saved games are the player's own: nobody else may read them.
    if (QDir().mkpath(path))
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The engine makes its default folder for a named profile at once (in the
    // user's data folder, which the launcher makes the game folder); what the
    // profile keeps goes to ours instead, so that one goes again.
    const QString enginePlace = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
        + QStringLiteral("/QtWebEngine");
    const bool engineFolderExisted = QFileInfo::exists(enginePlace);
    auto *profile = new TabProfile(QStringLiteral("game"), nullptr);
    profile->setPersistentStoragePath(path);
    if (!engineFolderExisted && QFileInfo(enginePlace) != QFileInfo(path))
        QDir(enginePlace).removeRecursively();
    profile->setCachePath(path + QStringLiteral("/cache"));
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    return profile;
}

void TabProfile::setUp()
{
    setHttpUserAgent(ClientVersion::pageAgent(httpUserAgent()));
    setUrlRequestInterceptor(new RequestFilter(this));
    installUrlSchemeHandler(ClientScheme::name, new ClientScheme(this));
    // What the engine would save as a file is its page's to decide on (a
    // movie plays); the client saves nothing.
    connect(this, &QWebEngineProfile::downloadRequested, this, [](QWebEngineDownloadRequest *download) {
        if (auto *page = qobject_cast<MyWebPage *>(download->page()))
            page->takeDownload(download);
        else
            download->cancel();
    });
    if (!jar)
        return;
    jar->setParent(this);
    // The stored cookies reach the store before the first request; from then
    // on the jar keeps a copy of what the pages are given and lose.
    QWebEngineCookieStore *store = cookieStore();
    for (const QNetworkCookie &cookie : jar->cookies())
        store->setCookie(cookie, cookie.domain().isEmpty() ? jar->site() : QUrl());
    connect(store, &QWebEngineCookieStore::cookieAdded, jar, &CookieJar::keep);
    connect(store, &QWebEngineCookieStore::cookieRemoved, jar, &CookieJar::drop);
}

TabProfile::~TabProfile()
{
    // The jar saves while the cookie store still reports nothing of its own
    // teardown.
    delete jar;
}

void TabProfile::release()
{
    if (--users == 0)
        delete this;
}
