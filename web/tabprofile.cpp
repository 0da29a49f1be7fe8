#include "web/tabprofile.h"

#include "web/cookiejar.h"
#include "web/movieplayer.h"
#include "web/requestfilter.h"
#include "web/clientscheme.h"

#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineScriptCollection>

TabProfile::TabProfile(CookieJar *jar)
    : jar(jar)
{
    setUrlRequestInterceptor(new RequestFilter(this));
    installUrlSchemeHandler(ClientScheme::name, new ClientScheme(this));
    scripts()->insert(MoviePlayer::script());
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
