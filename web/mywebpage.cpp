#include "web/mywebpage.h"

#include "app/appconfig.h"
#include "web/movieplayer.h"
#include "web/mytabwidget.h"
#include "web/clientscheme.h"
#include "web/mywebview.h"
#include "web/tabprofile.h"
#include "window/mainwindow.h"

#include <QDebug>
#include <QDesktopServices>
#include <QWebEngineNewWindowRequest>

const char *const MyWebPage::forumHostFragment = "forum.tarvenholm";
const char *const MyWebPage::blockedHostFragment = "counter.yadro.ru";

MyWebPage::MyWebPage(TabProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    qDebug() << "MyWebPage ctor";
    connect(this, &QWebEnginePage::newWindowRequested, this, &MyWebPage::onNewWindowRequested);
}

TabProfile *MyWebPage::tabProfile() const
{
    return static_cast<TabProfile *>(profile());
}

static bool containsAny(const QString &text, const QStringList &fragments)
{
    for (const QString &fragment : fragments) {
        if (text.contains(fragment))
            return true;
    }
    return false;
}

bool MyWebPage::isBlocked(const QString &url)
{
    return url.contains(QLatin1String(blockedHostFragment));
}

MyWebPage::Decision MyWebPage::decide(const QString &url, Navigation navigation, bool inGameTab)
{
    const AppConfig *config = AppConfig::instance();
    if (isBlocked(url))
        return Blocked;
    // An internal URL the user asked for opens a tab of its own, but a form
    // sent from a forum or partner tab loads there with its data: a login
    // must reach its site.
    if (url.contains(QLatin1String(forumHostFragment)) || containsAny(url, config->intbrowserKeys)) {
        const bool inPlace = navigation == Other || (navigation == FormSubmitted && !inGameTab);
        return inPlace ? LoadInPlace : OpenInNewTab;
    }
    if (containsAny(url, config->extbrowser))
        return OpenOnDesktop;
    return Default;
}

bool MyWebPage::isGamePage() const
{
    const QWebEngineView *view = QWebEngineView::forPage(this);
    return view && theMainWindow && theMainWindow->tabWidget()->indexOf(const_cast<QWebEngineView *>(view)) == 0;
}

// The engine reports a script's "location.href = ..." as a link click. A click
// is a click only when the user has just used the view; otherwise the page
// navigates by itself, which keeps a self-redirecting forum page in its tab.
// The game tab is the exception: whatever its page or movie starts toward an
// internal site opens a tab of its own, so the game is never replaced.
MyWebPage::Navigation MyWebPage::classify(NavigationType type, bool isMainFrame)
{
    switch (type) {
    case NavigationTypeTyped:
        return Other; // the program's own load()
    case NavigationTypeFormSubmitted:
        return FormSubmitted;
    case NavigationTypeBackForward:
        return BackForward;
    case NavigationTypeReload:
        return Reload;
    case NavigationTypeLinkClicked:
    case NavigationTypeRedirect:
    case NavigationTypeOther:
        break;
    }
    auto *view = qobject_cast<MyWebView *>(QWebEngineView::forPage(this));
    if (type == NavigationTypeLinkClicked && view && view->takeUserAction())
        return LinkClicked;
    if (isMainFrame && isGamePage())
        return LinkClicked;
    return Other;
}

bool MyWebPage::carryOut(const QUrl &url, Decision decision)
{
    switch (decision) {
    case Blocked:
        return false;
    case OpenInNewTab:
        theMainWindow->openInNewTab(url.toString());
        return false;
    case OpenOnDesktop:
        qDebug() << "launch ext browser";
        QDesktopServices::openUrl(url);
        return false;
    case LoadInPlace:
    case Default:
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
    // A movie's link to a local file: asked for again under its own name.
    if (MoviePlayer::isDisguisedLocal(url)) {
        if (isMainFrame) {
            const QUrl local = MoviePlayer::localUrl(url);
            QMetaObject::invokeMethod(this, [this, local] { load(local); }, Qt::QueuedConnection);
        }
        return false;
    }
    const bool byDefault = QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    const Navigation navigation = classify(type, isMainFrame);
    qDebug() << "acceptNavigationRequest: " << url << " --- " << int(navigation);
    const Decision decision = decide(url.toString(), navigation, isGamePage());
    if (!carryOut(url, decision))
        return false;
    // The engine would offer a movie as a download: it plays in the player page,
    // which keeps the movie's URL as its own.
    if (isMainFrame && MoviePlayer::isMovie(url)) {
        QMetaObject::invokeMethod(this, [this, url] { showMovie(url); }, Qt::QueuedConnection);
        return false;
    }
    return decision == LoadInPlace || byDefault;
}

void MyWebPage::showMovie(const QUrl &url)
{
    playerPending = true;
    setHtml(MoviePlayer::page(url), url);
}

void MyWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                         int lineNumber, const QString &sourceId)
{
    if (message == QLatin1String(MoviePlayer::playingMessage)) {
        qDebug() << "Movie playing: " << url();
        return;
    }
    // Ruffle reports what goes wrong with a movie on the console, errors of its
    // core marked "ERROR" among styling arguments. It also reports the faster
    // renderers it could not use; it falls back to one that works.
    if (sourceId.startsWith(QLatin1String(ClientScheme::name) + QLatin1Char(':'))) {
        QString text = message;
        text.remove(QLatin1String("%c"));
        const int styles = text.indexOf(QLatin1String(" color: "));
        if (styles >= 0)
            text.truncate(styles);
        const bool error = level == ErrorMessageLevel || text.startsWith(QLatin1String("ERROR"));
        if (error && !text.contains(QLatin1String("renderer"), Qt::CaseInsensitive))
            qDebug() << "Movie error: " << text.trimmed();
        return;
    }
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceId);
}

// target=_blank and window.open(). The URL is known before any tab exists, so
// a window whose URL goes to the desktop or to a tab of its own leaves no empty
// tab behind. A window that stays becomes a tab sharing this page's profile.
void MyWebPage::onNewWindowRequested(QWebEngineNewWindowRequest &request)
{
    const bool disguised = MoviePlayer::isDisguisedLocal(request.requestedUrl());
    const QUrl url = disguised ? MoviePlayer::localUrl(request.requestedUrl()) : request.requestedUrl();
    qDebug() << "acceptNavigationRequest: " << url << " --- " << int(LinkClicked);
    if (!carryOut(url, decide(url.toString(), LinkClicked)))
        return;
    auto *view = new MyWebView(nullptr, tabProfile());
    theMainWindow->appendTab(view, QString());
    view->show();
    if (disguised)
        view->load(url);
    else
        request.openIn(view->page());
}
