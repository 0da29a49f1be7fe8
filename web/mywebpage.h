#ifndef MYWEBPAGE_H
#define MYWEBPAGE_H

#include "web/linkpolicy.h"

#include <QElapsedTimer>
#include <QWebEnginePage>

class MyWebView;
class PageBridge;
class TabProfile;
class QWebEngineNewWindowRequest;

// A page that routes every navigation: forum and partner-site links open in a
// tab of their own, links to the outside go to the desktop's browser or mail
// program, one tracking host is dropped, the rest load in place.
class MyWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    using Navigation = LinkPolicy::Navigation;
    using Decision = LinkPolicy::Decision;

    MyWebPage(TabProfile *profile, QObject *parent);

    TabProfile *tabProfile() const;

    // Plays the movie at the URL in this page's player page, keeping the
    // movie's URL as the page's own.
    void showMovie(const QUrl &url);

signals:
    // The player page for a movie is on its way; the movie plays (or cannot).
    void movieLoading();
    void movieShown();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceId) override;

private:
    MyWebView *view() const;
    Navigation classify(const QUrl &url, NavigationType type, bool isMainFrame);
    bool takeClick(const QUrl &url);
    bool isGamePage() const;
    bool recentlyUsed() const;
    void takePlayerAction();
    Decision decide(LinkPolicy::Request request);
    // Opens the URL where the decision sends it; true when the engine's
    // navigation goes on.
    bool carryOut(const QUrl &url, Decision decision);
    void onNewWindowRequested(QWebEngineNewWindowRequest &request);
    void onMoviePlaying(const QUrl &movie, const QUrl &frame);
    void onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode);
    QUrl takeAnnounced(const QUrl &url);

    bool playerPending = false; // the player page for a movie is on its way
    bool programLoad = false;   // the main frame's navigation is the program's own load
    QUrl crashed;               // the page whose renderer ended, shown again on Refresh
    PageBridge *bridge;
    // The player's last click the page's scripts reported.
    QUrl clickedUrl;
    QElapsedTimer clickedAt;
    // The windows the content frames announced, oldest first.
    struct Announced {
        QUrl url;
        QUrl frame;
        QElapsedTimer at;
    };
    QList<Announced> announced;
};

#endif // MYWEBPAGE_H
