#include "web/linkpolicy.h"

#include "app/appconfig.h"
#include "app/contenttrust.h"
#include "movie/clientscheme.h"
#include "movie/movieplayer.h"
#include "web/cookiejar.h"

const char *const LinkPolicy::forumHostFragment = "forum.tarvenholm";

static bool containsAny(const QString &text, const QStringList &fragments)
{
    for (const QString &fragment : fragments) {
        if (text.contains(fragment))
            return true;
    }
    return false;
}

static bool isWeb(const QUrl &url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool LinkPolicy::mayGoToDesktop(const QUrl &url)
{
    return isWeb(url) || url.scheme() == QLatin1String("mailto");
}

// What a page may show in place: the web, local files (the request filter
// keeps them to the content folder), the engine's own pages and the client's
// scheme. Anything else would be handed to another program by the engine.
static bool loadsInPlace(const QUrl &url)
{
    static const QStringList schemes({QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"),
                                      QStringLiteral("data"), QStringLiteral("about"), QStringLiteral("blob"),
                                      QString::fromLatin1(ClientScheme::name)});
    return schemes.contains(url.scheme());
}

LinkPolicy::Rules LinkPolicy::Rules::fromSettings()
{
    const AppConfig *config = AppConfig::instance();
    return {config->intbrowserKeys, config->extbrowser};
}

// The decision by the URL's text alone. `inGameTab`: whether the navigation
// comes from the game tab, which keeps its game.
static LinkPolicy::Decision decideByText(const QString &url, LinkPolicy::Navigation navigation, bool inGameTab,
                                         const LinkPolicy::Rules &rules)
{
    using namespace LinkPolicy;
    if (ContentTrust::isBlocked(url))
        return Blocked;
    // An internal URL the user asked for opens a tab of its own, but a form
    // sent from a forum or partner tab loads there with its data: a login
    // must reach its site.
    if (url.contains(QLatin1String(forumHostFragment)) || containsAny(url, rules.internal)) {
        const bool inPlace = navigation == Other || (navigation == FormSubmitted && !inGameTab);
        return inPlace ? LoadInPlace : OpenInNewTab;
    }
    if (containsAny(url, rules.external))
        return OpenOnDesktop;
    return Default;
}

static bool isHistoryMove(LinkPolicy::Navigation navigation)
{
    return navigation == LinkPolicy::BackForward || navigation == LinkPolicy::Reload
        || navigation == LinkPolicy::FormResubmitted;
}

// One site: the same registrable domain, as the cookie stores are kept.
static bool sameSite(const QUrl &a, const QUrl &b)
{
    return !a.host().isEmpty() && CookieJar::domainFileName(a.host()) == CookieJar::domainFileName(b.host());
}

LinkPolicy::Decision LinkPolicy::decide(const Request &request, const Rules &rules)
{
    const QUrl &url = request.url;
    const Origin origin = request.origin;
    const bool fromContent = ContentTrust::isContent(request.frameUrl);
    // A local movie's link to a local file, asked for again under its own
    // name; for a window, the file is decided on.
    if (ContentTrust::isAlias(url)) {
        if (!fromContent || origin == Origin::Frame)
            return Blocked;
        if (origin != Origin::Window)
            return LoadLocal;
        Request local = request;
        local.url = ContentTrust::fromAlias(url);
        return decide(local, rules);
    }
    // A web frame's window without the player's action is dropped: a timer
    // could otherwise open tab after tab.
    if (origin == Origin::Window && !request.userAction && !fromContent)
        return Blocked;
    const bool inGameTab = request.tab == TabKind::Game;
    Decision decision = decideByText(url.toString(), request.navigation, inGameTab, rules);
    // The same for a page's own back, forward or reload toward an internal
    // site: it moves the page in its tab, or, in the game tab, nowhere.
    if (decision == OpenInNewTab && isHistoryMove(request.navigation) && !request.userAction)
        decision = inGameTab ? Blocked : LoadInPlace;
    if (decision == OpenOnDesktop) {
        if (origin == Origin::Program)
            decision = LoadInPlace; // what the client loads itself stays in its tab
        else if (origin == Origin::Frame)
            decision = Default; // a frame is part of its page
        else if (!mayGoToDesktop(url))
            decision = Default; // local files and the client's own pages never leave it
        else if (!request.userAction)
            decision = Blocked; // a page cannot send the player out on its own
    }
    if ((decision == Default || decision == LoadInPlace) && !loadsInPlace(url))
        decision = Blocked;
    if (origin == Origin::Window) {
        // A forum or partner page's window toward its own site (a picker, an
        // upload window) writes back to its opener: it stays the page's.
        if (decision == OpenInNewTab && !inGameTab && request.family == TabKind::Site
            && sameSite(url, request.pageUrl))
            decision = LoadInPlace;
        return decision;
    }
    // The engine would offer a movie as a download.
    if ((decision == Default || decision == LoadInPlace) && origin != Origin::Frame && MoviePlayer::isMovie(url))
        decision = PlayMovie;
    return decision;
}
