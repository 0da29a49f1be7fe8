#ifndef MYWEBPAGE_H
#define MYWEBPAGE_H

#include <QWebEnginePage>

class TabProfile;
class QWebEngineNewWindowRequest;

// A page that routes every navigation: forum and partner-site links open in a
// tab of their own, links to the outside go to the desktop's browser or mail
// program, one tracking host is dropped, the rest load in place.
class MyWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    // What started a navigation, numbered as the client has always logged it.
    enum Navigation {
        LinkClicked = 0,
        FormSubmitted = 1,
        BackForward = 2,
        Reload = 3,
        FormResubmitted = 4,
        Other = 5, // not asked for by the user: the program's own loads, scripts, frames, redirects
    };
    enum Decision { Blocked, OpenInNewTab, OpenOnDesktop, LoadInPlace, Default };

    MyWebPage(TabProfile *profile, QObject *parent);

    TabProfile *tabProfile() const;

    // `inGameTab`: whether the navigation comes from the game tab, which keeps its game.
    static Decision decide(const QString &url, Navigation navigation, bool inGameTab = false);
    static bool isBlocked(const QString &url);

    // Host of the game's forum without its top-level domain; part of the default forum URL.
    static const char *const forumHostFragment;
    // An outside statistics counter whose requests are never made.
    static const char *const blockedHostFragment;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceId) override;

private:
    Navigation classify(NavigationType type, bool isMainFrame);
    bool isGamePage() const;
    // Opens the URL where the decision sends it; true when it stays with this page.
    static bool carryOut(const QUrl &url, Decision decision);
    void onNewWindowRequested(QWebEngineNewWindowRequest &request);
    void showMovie(const QUrl &url);

    bool playerPending = false; // the player page for a movie is on its way
};

#endif // MYWEBPAGE_H
