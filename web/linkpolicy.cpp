#include "web/linkpolicy.h"

#include "app/appconfig.h"
#include "app/contenttrust.h"
#include "movie/clientscheme.h"
#include "movie/movieplayer.h"
#include "web/cookiejar.h"

using namespace LinkPolicy;

const char *const LinkPolicy::forumHostFragment = "forum.tarvenholm";

const char *LinkPolicy::reasonLine(Reason reason)
{
    switch (reason) {
    case Reason::LocalAlias:
        return "Refused local alias from: ";
    case Reason::WindowWithoutAction:
        return "Refused window without the player's action from: ";
    case Reason::TabWithoutAction:
        return "Refused tab without the player's action from: ";
    case Reason::None:
        break;
    }
    return nullptr;
}

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

// What the client may show: the web, local files (the request filter keeps
// them to the content folder), the engine's own pages and the client's scheme.
// Anything else would be handed to another program by the engine.
static bool loadsInClient(const QUrl &url)
{
    static const QStringList schemes({QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"),
                                      QStringLiteral("data"), QStringLiteral("about"), QStringLiteral("blob"),
                                      QString::fromLatin1(ClientScheme::name)});
    return schemes.contains(url.scheme());
}

Rules Rules::fromSettings()
{
    const AppConfig *config = AppConfig::instance();
    return {config->intbrowserKeys, config->extbrowser};
}

// One site: the same registrable domain, as the cookie stores are kept.
static bool sameSite(const QUrl &a, const QUrl &b)
{
    return !a.host().isEmpty() && CookieJar::domainFileName(a.host()) == CookieJar::domainFileName(b.host());
}

namespace {
// The URL's text against the game's texts.
enum class Text { Blocked, Internal, External, Other };

Text judge(const QString &url, const Rules &rules)
{
    if (ContentTrust::isBlocked(url))
        return Text::Blocked;
    if (url.contains(QLatin1String(forumHostFragment)) || containsAny(url, rules.internal))
        return Text::Internal;
    if (containsAny(url, rules.external))
        return Text::External;
    return Text::Other;
}

Outcome outcome(Action action, const QUrl &url, Reason reason = Reason::None)
{
    return {action, url, reason, false};
}

// A forum or partner URL: a tab of its own when the player asks for it (or
// the game does), in place when a page moves itself on. A form sent from a
// forum or partner tab loads there with its data: a login must reach its
// site. The game tab never gives up the game: there a web page's move toward
// the forum opens a tab on the player's action, and is dropped otherwise.
Outcome internal(const Request &r, bool acted, bool fromContent)
{
    const bool inGameTab = r.tab.kind == TabKind::Game;
    const bool ownMove = r.navigation == Other || (r.navigation == FormSubmitted && !inGameTab);
    switch (r.origin) {
    case Origin::Program:
        return outcome(Action::LoadHere, r.url);
    case Origin::Window:
        // A forum or partner page's window toward its own site (a picker, an
        // upload window) writes back to its opener: it stays the page's.
        if (!inGameTab && r.tab.family == TabKind::Site && sameSite(r.url, r.pageUrl))
            return outcome(Action::WindowTab, r.url);
        return outcome(Action::SiteTab, r.url);
    case Origin::Frame:
        return outcome(!ownMove && acted ? Action::SiteTab : Action::LoadHere, r.url);
    case Origin::Page:
    case Origin::Download: // decided before
        break;
    }
    if (!inGameTab)
        return outcome(!ownMove && acted ? Action::SiteTab : Action::LoadHere, r.url);
    if (fromContent || acted)
        return outcome(Action::SiteTab, r.url);
    return outcome(Action::Block, r.url, Reason::TabWithoutAction);
}

// An `extbrowser` URL: to the desktop when the player asks for it. What the
// client loads itself stays in its tab, a frame's own load in its frame;
// local files and the client's own pages never leave it.
Outcome external(const Request &r, bool acted)
{
    if (r.origin == Origin::Program || !mayGoToDesktop(r.url)
        || (r.origin == Origin::Frame && r.navigation == Other))
        return outcome(r.origin == Origin::Window ? Action::WindowTab : Action::LoadHere, r.url);
    return outcome(acted ? Action::Desktop : Action::Block, r.url);
}

// The page's own stand-ins: the player page of a movie it asked for, and the
// player's Refresh of a movie's player page (the movie again, decided on as
// itself) or of the notice of a page that stopped (the page again).
bool standIn(const Request &r, const Rules &rules, Outcome *result)
{
    if (r.origin == Origin::Frame || r.origin == Origin::Window || r.url.scheme() != QLatin1String("data"))
        return false;
    if (r.pageShows == PageShows::PlayerComing) {
        *result = outcome(Action::LoadHere, r.url);
        return true;
    }
    if (r.navigation != Reload)
        return false;
    if (r.pageShows == PageShows::LostNotice) {
        *result = outcome(Action::LoadInstead, r.pageUrl);
        return true;
    }
    if (!MoviePlayer::isMovie(r.pageUrl))
        return false;
    Request movie = r;
    movie.url = r.pageUrl;
    movie.origin = Origin::Page;
    movie.pageShows = PageShows::Itself;
    *result = decide(movie, rules);
    return true;
}
} // namespace

Outcome LinkPolicy::decide(const Request &r, const Rules &rules)
{
    // The engine would save an answer of a movie's type to a file: the page
    // plays it, whatever its URL ends in. Nothing else is saved.
    if (r.origin == Origin::Download)
        return outcome(MoviePlayer::isMovieType(r.answerType) ? Action::PlayMovie : Action::Block, r.url);
    Outcome result;
    if (standIn(r, rules, &result))
        return result;
    const bool acted = r.tab.playerActed || r.engineSawAction;
    const bool fromContent = ContentTrust::isContent(r.frameUrl);
    // A local movie's link to a local file, asked for again under its own
    // name: the content folder's frames' alone. For a window, the file is
    // decided on.
    if (ContentTrust::isAlias(r.url)) {
        if (!fromContent || r.origin == Origin::Frame)
            return outcome(Action::Block, r.url, Reason::LocalAlias);
        if (r.origin != Origin::Window)
            return outcome(Action::LoadInstead, ContentTrust::fromAlias(r.url));
        Request local = r;
        local.url = ContentTrust::fromAlias(r.url);
        return decide(local, rules);
    }
    // A web frame's window without the player's action is dropped: a timer
    // could otherwise open tab after tab.
    if (r.origin == Origin::Window && !acted && !fromContent)
        return outcome(Action::Block, r.url, Reason::WindowWithoutAction);

    switch (judge(r.url.toString(), rules)) {
    case Text::Blocked:
        return outcome(Action::Block, r.url);
    case Text::Internal:
        result = internal(r, acted, fromContent);
        break;
    case Text::External:
        result = external(r, acted);
        break;
    case Text::Other:
        result = outcome(r.origin == Origin::Window ? Action::WindowTab : Action::LoadHere, r.url);
        break;
    }
    switch (result.action) {
    case Action::LoadHere:
    case Action::SiteTab:
    case Action::WindowTab:
        // Schemes the engine would hand to another program never load, however decided.
        if (!loadsInClient(result.url))
            return outcome(Action::Block, r.url);
        break;
    default:
        break;
    }
    // The engine would offer a movie in a main frame as a download.
    if (result.action == Action::LoadHere && r.origin != Origin::Frame && MoviePlayer::isMovie(r.url))
        result.action = Action::PlayMovie;
    // One action of the player opens one tab, or hands one URL out, at most.
    result.spendsAction = result.action == Action::SiteTab || result.action == Action::WindowTab
        || result.action == Action::Desktop;
    return result;
}
