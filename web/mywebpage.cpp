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
#include <QWebEngineDownloadRequest>
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

// The request as this page and its tab are now: the tab's kind and the
// player's recent action (its view's snapshot), the page and what it shows,
// and the asking frame where it is the main frame (the engine names no
// other).
LinkPolicy::Outcome MyWebPage::decide(LinkPolicy::Request request)
{
    MyWebView *view = this->view();
    if (view)
        request.tab = view->tabState();
    request.pageUrl = url();
    request.pageShows = playerPending ? LinkPolicy::PageShows::PlayerComing
        : pageLost                    ? LinkPolicy::PageShows::LostNotice
                                      : LinkPolicy::PageShows::Itself;
    if (request.origin == LinkPolicy::Origin::Page || request.origin == LinkPolicy::Origin::Program)
        request.frameUrl = url();
    const Outcome outcome = LinkPolicy::decide(request, LinkPolicy::Rules::fromSettings());
    if (const char *line = LinkPolicy::reasonLine(outcome.reason))
        qDebug() << line << url();
    if (outcome.spendsAction && view)
        view->takeRecentUse();
    return outcome;
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
// URL; otherwise the page navigates by itself.
MyWebPage::Navigation MyWebPage::classify(const QUrl &url, NavigationType type)
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
        return takeClick(url) ? LinkPolicy::LinkClicked : LinkPolicy::Other;
    case NavigationTypeRedirect:
    case NavigationTypeOther:
        break;
    }
    return LinkPolicy::Other;
}

bool MyWebPage::carryOut(const Outcome &outcome)
{
    const QUrl url = outcome.url;
    TabHost *host = TabHost::instance();
    switch (outcome.action) {
    case LinkPolicy::Action::LoadHere:
        return true;
    case LinkPolicy::Action::Block:
    case LinkPolicy::Action::WindowTab: // only a window's, which makes its tab itself
        return false;
    case LinkPolicy::Action::SiteTab:
        if (host)
            host->openInNewTab(url.toString());
        return false;
    case LinkPolicy::Action::Desktop:
        qDebug() << "launch ext browser";
        if (host)
            host->openOnDesktop(url);
        return false;
    case LinkPolicy::Action::PlayMovie:
        // In the player page, which keeps the movie's URL as its own.
        QMetaObject::invokeMethod(this, [this, url] { showMovie(url); }, Qt::QueuedConnection);
        return false;
    case LinkPolicy::Action::LoadInstead:
        QMetaObject::invokeMethod(this, [this, url] { load(url); }, Qt::QueuedConnection);
        return false;
    }
    return false;
}

bool MyWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // The server's redirects of what the program loads are the program's too.
    if (isMainFrame && type != NavigationTypeRedirect)
        programLoad = type == NavigationTypeTyped;
    const Navigation navigation = isMainFrame && programLoad ? LinkPolicy::Other : classify(url, type);
    const LinkPolicy::Origin origin = !isMainFrame ? LinkPolicy::Origin::Frame
        : programLoad                              ? LinkPolicy::Origin::Program
                                                   : LinkPolicy::Origin::Page;
    // The client's own pages (a movie's player page, a notice) are data: URLs
    // holding the whole page: named in the log by what they stand for, where
    // that is another URL.
    const bool standIn = isMainFrame && url.scheme() == QLatin1String("data");
    if (!standIn)
        qDebug() << "acceptNavigationRequest: " << url << " --- " << int(navigation);
    const Outcome outcome = decide({url, navigation, origin});
    if (standIn && outcome.url != url)
        qDebug() << "acceptNavigationRequest: " << outcome.url << " --- " << int(navigation);
    if (standIn)
        playerPending = false;
    else if (isMainFrame)
        pageLost = false;
    return carryOut(outcome);
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
    // A movie's Refresh plays the movie again by itself; a page's needs the notice known.
    pageLost = !MoviePlayer::isMovie(lost);
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
    LinkPolicy::Request asked{requested, LinkPolicy::LinkClicked, LinkPolicy::Origin::Window};
    asked.frameUrl = takeAnnounced(requested);
    asked.engineSawAction = request.isUserInitiated();
    qDebug() << "acceptNavigationRequest: " << (ContentTrust::isAlias(requested) ? ContentTrust::fromAlias(requested) : requested)
             << " --- " << int(LinkPolicy::LinkClicked);
    const Outcome outcome = decide(asked);
    MyWebView *opener = view();
    TabHost *host = TabHost::instance();
    if (outcome.action != LinkPolicy::Action::WindowTab) {
        carryOut(outcome);
        return;
    }
    if (!opener || !host)
        return;
    MyWebView *view = host->openWindowTab(opener);
    // A local alias's window shows the file behind it, under its own name.
    if (outcome.url != requested)
        view->load(outcome.url);
    else
        request.openIn(view->page());
}

void MyWebPage::takeDownload(QWebEngineDownloadRequest *download)
{
    LinkPolicy::Request asked{download->url(), LinkPolicy::Other, LinkPolicy::Origin::Download};
    if (download->url() == requestedUrl())
        asked.answerType = download->mimeType();
    const Outcome outcome = decide(asked);
    download->cancel();
    carryOut(outcome);
}
