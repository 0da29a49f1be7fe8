#ifndef TABHOST_H
#define TABHOST_H

class MyWebView;
class QString;
class QUrl;

// What a tab is, set by the one place that makes each kind: the game (the
// first tab, never closed), a site tab (forum, partner site, favourite: a
// cookie store of its own), a window a page opened (its opener's profile), the
// battle viewer (the game's profile).
enum class TabKind { Game, Site, Window, Battle };

// What a tab's view and page ask of whatever shows them. The window is the
// host; a test may host views itself.
class TabHost
{
public:
    // The host of this process's tabs, or null while there is none.
    static TabHost *instance();

    // A site tab for the URL, with the cookie store of its site.
    virtual MyWebView *openInNewTab(const QString &url) = 0;
    // A tab for a window the opener's page opens, sharing its profile; the
    // caller fills it.
    virtual MyWebView *openWindowTab(MyWebView *opener) = 0;
    virtual void setTabLabel(MyWebView *view, const QString &label) = 0;
    // Whether the view is the tab the player sees now.
    virtual bool isShown(const MyWebView *view) const = 0;
    // A page's (or its movie's) request to fill the screen, or to end that.
    virtual void showPageFullScreen(bool on, MyWebView *view) = 0;
    virtual bool isPageFullScreen() const = 0;
    // Hands the URL to the desktop's browser or mail program; false, and the
    // player told so, where nothing took it.
    virtual bool openOnDesktop(const QUrl &url) = 0;

protected:
    // The newest host is the one views ask, until it goes.
    TabHost();
    virtual ~TabHost();
    TabHost(const TabHost &) = delete;
    TabHost &operator=(const TabHost &) = delete;
};

#endif // TABHOST_H
