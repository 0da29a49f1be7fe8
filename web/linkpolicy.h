#ifndef LINKPOLICY_H
#define LINKPOLICY_H

#include "web/tabhost.h"

#include <QString>
#include <QStringList>
#include <QUrl>

// Where a navigation goes. The game has always judged a URL by its text: one
// tracking host is dropped, the forum and the partner sites stay inside the
// client, configured texts ("http:", "mailto:") send a link to the desktop's
// browser or mail program, anything else loads in place. Around that, rules
// no page can bend: only http, https and mailto URLs ever reach the desktop,
// and only when the player asked for them; a page opens a tab only on the
// player's action, one per action; what the program loads itself is never
// handed out. The whole decision is here: the page only carries it out.
namespace LinkPolicy {
// What started a navigation, numbered as the client has always logged it.
enum Navigation {
    LinkClicked = 0, // the player activated a link, area or submit button toward the URL
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = 5, // not asked for by the user: the program's own loads, scripts, frames, redirects
};
// Who asks for a navigation.
enum class Origin {
    Program,  // the client's own load (the game, a new tab's first page) and its redirects
    Page,     // a page's main frame
    Frame,    // a frame inside a page
    Window,   // a window a page opens (target=_blank, window.open)
    Download, // an answer the engine would save as a file
};

// What happens.
enum class Action {
    Block,       // nothing
    LoadHere,    // the engine loads it where it was asked for: the page, the frame
    SiteTab,     // a site tab of its own, with its site's cookie store
    WindowTab,   // a tab for the window, sharing the page's profile
    Desktop,     // the desktop's browser or mail program
    PlayMovie,   // the page's player page plays the outcome's URL
    LoadInstead, // the page loads the outcome's URL (the file behind a local alias, the page that stopped)
};
// Why a navigation was refused, where the log says so ("<line><page URL>").
enum class Reason {
    None,
    LocalAlias,          // "Refused local alias from: "
    WindowWithoutAction, // "Refused window without the player's action from: "
    TabWithoutAction,    // "Refused tab without the player's action from: "
};
const char *reasonLine(Reason reason);

struct Outcome {
    Action action = Action::Block;
    // What the action is carried out on: the request's URL, the movie of a
    // player page refreshed, the file behind a local alias.
    QUrl url;
    Reason reason = Reason::None;
    // Whether it uses up the player's action: one action opens one tab, or
    // hands one URL to the desktop, at most.
    bool spendsAction = false;
};

// The forum's host without its top-level domain; part of the default forum URL.
extern const char *const forumHostFragment;
// A URL the desktop's browser or mail program may be given.
bool mayGoToDesktop(const QUrl &url);

// The texts the operator configures: a URL containing one of `internal`
// (the `intbrowser` keys) stays in the client, one containing one of
// `external` (`extbrowser`) goes to the desktop.
struct Rules {
    QStringList internal;
    QStringList external;
    // The settings' rules, as the settings record holds them now.
    static Rules fromSettings();
};

// The asking page's tab as its view sees it at the request.
struct TabState {
    TabKind kind = TabKind::Site;
    // The kind of tab whose profile it uses (a window's opener's).
    TabKind family = TabKind::Site;
    // The player pressed a key or button in the view within the last seconds
    // (or Refresh Tab), not yet used up.
    bool playerActed = false;
};

// What the asking page shows in place of its URL.
enum class PageShows {
    Itself,
    PlayerComing, // the player page for its movie has been asked for
    LostNotice,   // its renderer ended: a notice stands in for it
};

// A navigation as the page sees it.
struct Request {
    QUrl url;
    Navigation navigation = Other;
    Origin origin = Origin::Page;
    TabState tab;
    // The asking page's own URL (a movie's player page has its movie's).
    QUrl pageUrl;
    PageShows pageShows = PageShows::Itself;
    // The asking frame's own URL, where the client knows it: the main frame's
    // for its own navigations, a content frame's for the window it announced;
    // empty where it cannot know. The content folder's trust goes to this
    // frame alone, never to the page around it.
    QUrl frameUrl;
    // The engine saw the player ask for it (a window opened by a click).
    bool engineSawAction = false;
    // A download: the answer's media type where it answers the page's own
    // main-frame navigation; empty for any other (a link's download, a frame's).
    QString answerType;
};

// The decision with the rules above.
Outcome decide(const Request &request, const Rules &rules);
}

#endif // LINKPOLICY_H
