#ifndef MYWEBPAGE_H
#define MYWEBPAGE_H

#include "web/linkpolicy.h"

#include <QElapsedTimer>
#include <QWebEnginePage>

class MyWebView;
class PageBridge;
class TabProfile;
class QWebEngineDownloadRequest;
class QWebEngineNewWindowRequest;

// A page that routes every navigation: it tells the navigation policy what
// its tab and the asking frame are, and carries out the outcome (forum and
// partner-site links in a tab of their own, links to the outside on the
// desktop's browser or mail program, the rest in place).
class MyWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    using Navigation = LinkPolicy::Navigation;
    using Outcome = LinkPolicy::Outcome;

    MyWebPage(TabProfile *profile, QObject *parent);

    TabProfile *tabProfile() const;

    // Plays the movie at the URL in this page's player page, keeping the
    // movie's URL as the page's own.
    void showMovie(const QUrl &url);
    // The engine would save an answer of this page's as a file.
    void takeDownload(QWebEngineDownloadRequest *download);

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
    Navigation classify(const QUrl &url, NavigationType type);
    bool takeClick(const QUrl &url);
    // The policy's outcome for the request, with what this page and its tab
    // are now; logs why it refuses, and uses up the player's action it spends.
    Outcome decide(LinkPolicy::Request request);
    // Carries the outcome out; true when the engine's navigation goes on.
    bool carryOut(const Outcome &outcome);
    void onNewWindowRequested(QWebEngineNewWindowRequest &request);
    void onMoviePlaying(const QUrl &movie, const QUrl &frame);
    void onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode);
    QUrl takeAnnounced(const QUrl &url);

    bool playerPending = false; // the player page for a movie is on its way
    bool programLoad = false;   // the main frame's navigation is the program's own load
    bool pageLost = false;      // a notice stands in for the page whose renderer ended (its URL is the page's)
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
