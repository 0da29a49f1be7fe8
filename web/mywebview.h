#ifndef MYWEBVIEW_H
#define MYWEBVIEW_H

#include "web/linkpolicy.h"

#include <QElapsedTimer>
#include <QWebEngineView>

class MyWebPage;
class TabProfile;
class QTimer;

// One tab's web view. Labels its tab from the page title and URL; the windows
// its pages open become tabs of their own (MyWebPage).
class MyWebView : public QWebEngineView
{
    Q_OBJECT
public:
    // Without a profile the view gets one of its own whose cookies stay in
    // memory; a window opened by a page shares its opener's. The tab host's
    // factories say what kind of tab the view is.
    explicit MyWebView(QWidget *parent = nullptr, TabProfile *profile = nullptr, TabKind kind = TabKind::Site,
                       const MyWebView *opener = nullptr);
    ~MyWebView() override;

    TabKind kind() const { return m_kind; }
    // The kind of the tab whose profile this one uses: its own, or for a
    // window its opener's.
    TabKind family() const { return m_family; }

    MyWebPage *webPage() const { return m_page; }
    TabProfile *tabProfile() const { return m_profile; }

    // What the navigation policy needs of the tab now: its kind, and whether
    // the player pressed a key or button in the view within the last seconds
    // (as browsers let a page act on the player's behalf only then) and has
    // not been credited with a tab for it since.
    LinkPolicy::TabState tabState() const;
    void takeRecentUse() { lastInput.invalidate(); }
    // The player acted on this view from outside it (the window's Refresh).
    void notePlayerAction() { lastInput.start(); }

    // The tab label for a loaded URL, or a null string to keep the current one.
    static QString labelForUrl(const QString &url);
    // ownTitle: the document's title is the text, even where it reads like the URL.
    static QString labelForTitle(const QString &title, const QString &url, bool ownTitle = false);
    static bool isUrlName(const QString &title, const QString &url);

    // Whether the page, or its movie, is still on its way.
    bool isBusy() const { return busy; }

signals:
    void busyChanged(bool busy);

public slots:
    void onLoadFinished(bool ok);
    void onTitleChanged(QString title);
    void onStatusBarMessage(QString text);

protected:
    void childEvent(QChildEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TabKind m_kind;
    TabKind m_family;
    TabProfile *m_profile;
    MyWebPage *m_page;
    QElapsedTimer lastInput;
    void setBusy(bool on);
    void checkOwnTitle();
    bool busy = false;
    bool movieComing = false; // a movie's player page loaded, the movie not yet shown
    QTimer *movieWait;
};

#endif // MYWEBVIEW_H
