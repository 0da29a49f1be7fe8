#include "web/mywebpage.h"

#include "app/appconfig.h"
#include "app/contenttrust.h"
#include "movie/movieplayer.h"
#include "movie/clientscheme.h"
#include "web/pagebridge.h"
#include "web/mywebview.h"
#include "web/tabhost.h"
#include "web/tabprofile.h"

#include <QDebug>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>

namespace {
// A click reaches the page's policy within this time, however busy the machine;
// so does a content frame's announcement of its window.
constexpr qint64 clickLifetime = 5000;
// Windows announced and not yet asked for that a page keeps: a frame that
// announces without opening gains nothing, and the list stays small.
constexpr int maxAnnounced = 8;
} // namespace

MyWebPage::MyWebPage(TabProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
    , bridge(new PageBridge(this))
{
    qDebug() << "MyWebPage ctor";
    connect(bridge, &PageBridge::clicked, this, [this](const QUrl &url) {
        clickedUrl = url;
        clickedAt.start();
    });
    connect(bridge, &PageBridge::moviePlaying, this, &MyWebPage::onMoviePlaying);
    connect(bridge, &PageBridge::windowAnnounced, this, [this](const QUrl &url, const QUrl &frame) {
        if (announced.size() == maxAnnounced)
            announced.removeFirst();
        QElapsedTimer at;
        at.start();
        announced.append({url, frame, at});
    });
    connect(bridge, &PageBridge::movieError, this, [this](const QString &text) {
        qDebug() << "Movie error: " << url() << text;
        emit movieShown();
    });
    connect(this, &QWebEnginePage::newWindowRequested, this, &MyWebPage::onNewWindowRequested);
    connect(this, &QWebEnginePage::renderProcessTerminated, this, &MyWebPage::onRenderProcessTerminated);
    // A page or movie asks to fill the screen (after the player's click, the
    // engine sees to that), or to end it.
    connect(this, &QWebEnginePage::fullScreenRequested, this, [this](QWebEngineFullScreenRequest request) {
        MyWebView *view = this->view();
        TabHost *host = TabHost::instance();
        if (!host || !view || !host->isShown(view)) {
            request.reject();
            return;
        }
        request.accept();
        host->showPageFullScreen(request.toggleOn(), view);
    });
}

TabProfile *MyWebPage::tabProfile() const
{
    return static_cast<TabProfile *>(profile());
}

MyWebView *MyWebPage::view() const
{
    return qobject_cast<MyWebView *>(QWebEngineView::forPage(this));
}

bool MyWebPage::isGamePage() const
{
    const MyWebView *view = this->view();
    return view && view->kind() == TabKind::Game;
}

bool MyWebPage::recentlyUsed() const
{
    const MyWebView *view = this->view();
    return view && view->recentlyUsed();
}

// One action of the player opens one tab at most.
void MyWebPage::takePlayerAction()
{
    if (MyWebView *view = this->view())
        view->takeRecentUse();
}

// The request as this page's tab sees it: the player's action within the last
// seconds (or one the engine saw), the tab's kind, the page, and the asking
// frame where it is the main frame (the engine names no other). A tab made for
// the player's action uses the action up.
LinkPolicy::Decision MyWebPage::decide(LinkPolicy::Request request)
{
    if (const MyWebView *view = this->view()) {
        request.tab = view->kind();
        request.family = view->family();
    }
    request.pageUrl = url();
    if (request.origin == LinkPolicy::Origin::Page || request.origin == LinkPolicy::Origin::Program)
        request.frameUrl = url();
    request.userAction = request.userAction || recentlyUsed();
    const Decision decision = LinkPolicy::decide(request, LinkPolicy::Rules::fromSettings());
    const bool window = request.origin == LinkPolicy::Origin::Window;
    if (decision == LinkPolicy::Blocked && ContentTrust::isAlias(request.url))
        qDebug() << "Refused local alias from: " << url();
    else if (window && decision == LinkPolicy::Blocked && !request.userAction && !ContentTrust::isContent(request.frameUrl))
        qDebug() << "Refused window without the player's action from: " << url();
    const bool makesTab = decision == LinkPolicy::OpenInNewTab
        || (window && decision != LinkPolicy::Blocked && decision != LinkPolicy::OpenOnDesktop);
    if (makesTab && request.origin != LinkPolicy::Origin::Program)
        takePlayerAction();
    return decision;
}

// The content frame that has just announced a window to this URL, if one has.
// The engine does not say which frame opens a window; only the content
// folder's frames announce theirs.
QUrl MyWebPage::takeAnnounced(const QUrl &url)
{
    for (qsizetype i = 0; i < announced.size(); ++i) {
        const Announced &entry = announced.at(i);
        if (entry.at.elapsed() < clickLifetime && entry.url == url) {
            const QUrl frame = entry.frame;
            announced.remove(i);
            return frame;
        }
    }
    return QUrl();
}

// Whether the player has just activated a link or button to this URL.
bool MyWebPage::takeClick(const QUrl &url)
{
    const bool clicked = clickedAt.isValid() && clickedAt.elapsed() < clickLifetime
        && clickedUrl.adjusted(QUrl::RemoveFragment) == url.adjusted(QUrl::RemoveFragment);
    if (clicked)
        clickedAt.invalidate();
    return clicked;
}

// The engine reports a script's "location.href = ..." as a link click. A link
// click is a click only when the player activated a link or button to that
// URL; otherwise the page navigates by itself, which keeps a self-redirecting
// forum page in its tab. The game tab is the exception: whatever its page or
// movie starts toward an internal site opens a tab of its own, so the game is
// never replaced.
MyWebPage::Navigation MyWebPage::classify(const QUrl &url, NavigationType type, bool isMainFrame)
{
    switch (type) {
    case NavigationTypeTyped:
        return LinkPolicy::Other; // the program's own load()
    case NavigationTypeFormSubmitted:
        return LinkPolicy::FormSubmitted;
    case NavigationTypeBackForward:
        return LinkPolicy::BackForward;
    case NavigationTypeReload:
        return LinkPolicy::Reload;
    case NavigationTypeLinkClicked:
    case NavigationTypeRedirect:
    case NavigationTypeOther:
        break;
    }
    if (type == NavigationTypeLinkClicked && takeClick(url))
        return LinkPolicy::LinkClicked;
    if (isMainFrame && isGamePage())
        return LinkPolicy::LinkClicked;
    return LinkPolicy::Other;
}

bool MyWebPage::carryOut(const QUrl &url, Decision decision)
{
    switch (decision) {
    case LinkPolicy::PlayMovie:
        // In the player page, which keeps the movie's URL as its own.
        QMetaObject::invokeMethod(this, [this, url] { showMovie(url); }, Qt::QueuedConnection);
        return false;
    case LinkPolicy::LoadLocal: {
        const QUrl local = ContentTrust::fromAlias(url);
        QMetaObject::invokeMethod(this, [this, local] { load(local); }, Qt::QueuedConnection);
        return false;
    }
    case LinkPolicy::Blocked:
        return false;
    case LinkPolicy::OpenInNewTab:
        if (TabHost *host = TabHost::instance())
            host->openInNewTab(url.toString());
        return false;
    case LinkPolicy::OpenOnDesktop:
        qDebug() << "launch ext browser";
        if (TabHost *host = TabHost::instance())
            host->openOnDesktop(url);
        return false;
    case LinkPolicy::LoadInPlace:
    case LinkPolicy::Default:
        break;
    }
    return true;
}

bool MyWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // The player page of a movie already decided on.
    if (playerPending && isMainFrame && url.scheme() == QLatin1String("data")) {
        playerPending = false;
        return true;
    }
    // Refresh of a movie's tab: the movie's URL is decided on, not the player
    // page's, and the movie plays again.
    if (isMainFrame && url.scheme() == QLatin1String("data") && type == NavigationTypeReload
        && MoviePlayer::isMovie(this->url())) {
        const QUrl movie = this->url();
        qDebug() << "acceptNavigationRequest: " << movie << " --- " << int(LinkPolicy::Reload);
        carryOut(movie, decide({movie, LinkPolicy::Reload, LinkPolicy::Origin::Page}));
        return false;
    }
    // Refresh of a page whose renderer ended: the page itself again.
    if (isMainFrame && url.scheme() == QLatin1String("data") && type == NavigationTypeReload && crashed.isValid()) {
        const QUrl again = crashed;
        crashed.clear();
        QMetaObject::invokeMethod(this, [this, again] { load(again); }, Qt::QueuedConnection);
        return false;
    }
    if (isMainFrame && url.scheme() != QLatin1String("data"))
        crashed.clear();
    const bool byDefault = QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    // The server's redirects of what the program loads are the program's too.
    if (isMainFrame && type != NavigationTypeRedirect)
        programLoad = type == NavigationTypeTyped;
    const Navigation navigation = isMainFrame && programLoad ? LinkPolicy::Other : classify(url, type, isMainFrame);
    qDebug() << "acceptNavigationRequest: " << url << " --- " << int(navigation);
    const LinkPolicy::Origin origin = !isMainFrame ? LinkPolicy::Origin::Frame
        : programLoad                              ? LinkPolicy::Origin::Program
                                                   : LinkPolicy::Origin::Page;
    const Decision decision = decide({url, navigation, origin});
    if (!carryOut(url, decision))
        return false;
    return decision == LinkPolicy::LoadInPlace || byDefault;
}

void MyWebPage::showMovie(const QUrl &url)
{
    playerPending = true;
    // A local movie that cannot play gets a plain message naming it, not
    // Ruffle's screen (whose links lead out of the client).
    // Only files of the content folder are looked at; others are refused
    // like any other local file outside it.
    const bool servable = !url.isLocalFile() || ContentTrust::isContentFile(url.toLocalFile());
    const QString problem = servable ? MoviePlayer::problem(url) : QString();
    if (!problem.isEmpty()) {
        qDebug() << "Movie error: " << url << problem;
        setHtml(MoviePlayer::errorPage(tr("The movie %1 cannot be played: %2").arg(url.toDisplayString(), problem)), url);
        return;
    }
    emit movieLoading();
    setHtml(PageBridge::playerPage(url, tr("Loading...")), url);
}

// The page's renderer ended (it crashed, ran out of memory or was killed):
// the tab says so in place of a white page, and Refresh loads it again (a
// movie's tab plays its movie again).
void MyWebPage::onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode)
{
    static const char *const reasons[] = {"ended", "ended abnormally", "crashed", "killed"};
    const QUrl lost = url();
    qDebug() << "Page crashed: " << lost << QString::fromLatin1(reasons[qBound(0, int(status), 3)]) << exitCode;
    if (!MoviePlayer::isMovie(lost))
        crashed = lost;
    const QString text = tr("The page %1 stopped working. Refresh Tab loads it again.").arg(lost.toDisplayString());
    QMetaObject::invokeMethod(this, [this, text, lost] { setHtml(MoviePlayer::errorPage(text), lost); },
                              Qt::QueuedConnection);
}

void MyWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                         int lineNumber, const QString &sourceId)
{
    if (!bridge->take(level, message, sourceId))
        QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceId);
}

void MyWebPage::onMoviePlaying(const QUrl &movie, const QUrl &frame)
{
    // A web frame is never given the content folder's movies (the request
    // filter keeps them from it): a report naming one, in any spelling, is
    // the frame's own doing, an event it fired itself.
    if (ContentTrust::isContent(movie) && !ContentTrust::isContent(frame)) {
        qDebug() << "Refused movie report from: " << frame;
        return;
    }
    qDebug() << "Movie playing: " << movie;
    // What the page showed while the player was on its way goes.
    runJavaScript(QStringLiteral("document.getElementById('loading')?.remove()"), QWebEngineScript::ApplicationWorld);
    emit movieShown();
}

// target=_blank and window.open(). The URL is known before any tab exists, so
// a window whose URL goes to the desktop or to a tab of its own leaves no empty
// tab behind. A window that stays becomes a tab sharing this page's profile;
// so does one a forum or partner page opens toward its own site, which keeps
// its opener (pickers and upload windows write back to it).
void MyWebPage::onNewWindowRequested(QWebEngineNewWindowRequest &request)
{
    const QUrl requested = request.requestedUrl();
    const bool disguised = ContentTrust::isAlias(requested);
    const QUrl target = disguised ? ContentTrust::fromAlias(requested) : requested;
    qDebug() << "acceptNavigationRequest: " << target << " --- " << int(LinkPolicy::LinkClicked);
    LinkPolicy::Request asked{requested, LinkPolicy::LinkClicked, LinkPolicy::Origin::Window};
    asked.frameUrl = takeAnnounced(requested);
    asked.userAction = request.isUserInitiated();
    const Decision decision = decide(asked);
    MyWebView *opener = view();
    TabHost *host = TabHost::instance();
    if (!carryOut(target, decision) || !opener || !host)
        return;
    MyWebView *view = host->openWindowTab(opener);
    if (disguised)
        view->load(target);
    else
        request.openIn(view->page());
}
