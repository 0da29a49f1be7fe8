#include "web/mywebview.h"

#include "movie/movieplayer.h"
#include "web/mywebpage.h"
#include "web/tabprofile.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWebEngineScript>
#include <QWebEngineSettings>

namespace {
// A link the user clicked reaches the page's policy within this time of the
// click, however busy the machine.
constexpr qint64 userActionLifetime = 5000;
// A movie that neither plays nor fails within this time stops counting as
// on its way (the player has long seen why).
constexpr int movieWaitMs = 30000;
} // namespace

MyWebView::MyWebView(QWidget *parent, TabProfile *profile, TabKind kind, const MyWebView *opener)
    : QWebEngineView(parent)
    , m_kind(kind)
    , m_family(opener ? opener->family() : kind)
    , m_profile(profile ? profile : new TabProfile)
{
    m_profile->retain();
    m_page = new MyWebPage(m_profile, this);
    setPage(m_page);
    setAttribute(Qt::WA_DeleteOnClose);

    QWebEngineSettings *settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // Movies start with their sound, as they did in the Flash Player.
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // Tabs show titles, not icons: no favicon requests.
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    // Movies and pages may fill the screen when the player asks them to.
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);

    movieWait = new QTimer(this);
    movieWait->setSingleShot(true);
    movieWait->setInterval(movieWaitMs);
    connect(movieWait, &QTimer::timeout, this, [this] {
        movieComing = false;
        setBusy(false);
    });
    connect(m_page, &MyWebPage::movieLoading, this, [this] {
        movieComing = true;
        movieWait->start();
        setBusy(true);
    });
    connect(m_page, &MyWebPage::movieShown, this, [this] {
        movieComing = false;
        movieWait->stop();
        setBusy(false);
    });
    connect(this, &QWebEngineView::loadStarted, this, [this] { setBusy(true); });
    connect(this, &QWebEngineView::loadFinished, this, &MyWebView::onLoadFinished);
    connect(this, &QWebEngineView::titleChanged, this, &MyWebView::onTitleChanged);
    connect(m_page, &QWebEnginePage::linkHovered, this, &MyWebView::onStatusBarMessage);
}

MyWebView::~MyWebView()
{
    // The page reports title and load changes while it goes; the tab is gone by then.
    disconnect(this, nullptr, this, nullptr);
    disconnect(m_page, nullptr, this, nullptr);
    // A page must not outlive its profile: unbind it from the view and delete it now.
    setPage(nullptr);
    delete m_page;
    m_profile->release();
}

// The engine draws into a child widget that receives the user's input.
void MyWebView::childEvent(QChildEvent *event)
{
    if (event->added() && event->child()->isWidgetType())
        event->child()->installEventFilter(this);
    QWebEngineView::childEvent(event);
}

bool MyWebView::eventFilter(QObject *watched, QEvent *event)
{
    // Esc ends a page's full screen, as in browsers.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && TabHost::instance() && TabHost::instance()->isPageFullScreen()) {
        page()->triggerAction(QWebEnginePage::ExitFullScreen);
        return true;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::KeyPress:
    case QEvent::TouchBegin:
        lastInput.start();
        break;
    default:
        break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

LinkPolicy::TabState MyWebView::tabState() const
{
    return {m_kind, m_family, lastInput.isValid() && lastInput.elapsed() < userActionLifetime};
}

QString MyWebView::labelForUrl(const QString &url)
{
    if (url.startsWith(QLatin1String("loader.")) || url.startsWith(QLatin1String("main.")))
        return QStringLiteral("TarvenHOLM");
    if (url.contains(QLatin1String("/battle."))) {
        const int query = url.indexOf(QLatin1Char('?'));
        return QStringLiteral("Battle : %1").arg(query < 0 ? url : url.mid(query + 1));
    }
    if (url.contains(QLatin1String("/hero.")))
        return QStringLiteral("Hero Info");
    return QString();
}

// The name the engine gives a page without a title: its URL without the
// scheme, or a local file's name.
bool MyWebView::isUrlName(const QString &title, const QString &url)
{
    const QUrl address(url);
    return title.isEmpty() || title == address.toString(QUrl::RemoveScheme).mid(2)
        || (address.isLocalFile() && title == address.fileName());
}

QString MyWebView::labelForTitle(const QString &title, const QString &url, bool ownTitle)
{
    // A page without a title is labelled with its whole URL; only a title is cut.
    if (title.isEmpty() || (!ownTitle && isUrlName(title, url)))
        return url;
    if (title.size() > 50)
        return title.left(50) + QStringLiteral("...");
    return title;
}

void MyWebView::setBusy(bool on)
{
    if (on == busy)
        return;
    busy = on;
    emit busyChanged(on);
}

void MyWebView::onLoadFinished(bool)
{
    // A movie's page is there before its movie is.
    if (!MoviePlayer::isMovie(url()))
        movieComing = false;
    if (!movieComing)
        setBusy(false);
    checkOwnTitle();
    const QString label = labelForUrl(url().toString());
    if (!label.isNull() && TabHost::instance())
        TabHost::instance()->setTabLabel(this, label);
}

void MyWebView::onTitleChanged(QString title)
{
    if (TabHost::instance())
        TabHost::instance()->setTabLabel(this, labelForTitle(title, url().toString()));
    checkOwnTitle();
}

// A title that reads like the URL: the page's own, or the engine's name for
// an untitled page? The document knows (once it is there: asked again when
// the load has finished).
void MyWebView::checkOwnTitle()
{
    const QString title = this->title();
    const QString address = url().toString();
    if (title.isEmpty() || !isUrlName(title, address))
        return;
    QPointer<MyWebView> self(this);
    page()->runJavaScript(QStringLiteral("document.title"), QWebEngineScript::ApplicationWorld,
                          [self, title, address](const QVariant &own) {
                              if (self && TabHost::instance() && self->url().toString() == address
                                  && self->title() == title && own.toString() == title)
                                  TabHost::instance()->setTabLabel(self, labelForTitle(title, address, true));
                          });
}

void MyWebView::onStatusBarMessage(QString)
{
}
