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
// and only when the player asked for them; a frame stays in its page; what
// the program loads itself is never handed out.
namespace LinkPolicy {
// What started a navigation, numbered as the client has always logged it.
enum Navigation {
    LinkClicked = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = 5, // not asked for by the user: the program's own loads, scripts, frames, redirects
};
enum Decision {
    Blocked,
    OpenInNewTab,
    OpenOnDesktop,
    LoadInPlace,
    Default,
    PlayMovie, // the page shows the movie in its player page
    LoadLocal, // the content file behind a local alias loads in place, under its own name
};
// Who asks for a navigation.
enum class Origin {
    Program,   // the client's own load (the game, a new tab's first page)
    Page,      // a page's main frame
    Frame,     // a frame inside a page
    Window,    // a window a page opens (target=_blank, window.open)
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

// A navigation as the page sees it.
struct Request {
    QUrl url;
    Navigation navigation = Other;
    Origin origin = Origin::Page;
    // The asking page's tab, and the kind of tab whose profile it uses (a
    // window's opener's).
    TabKind tab = TabKind::Site;
    TabKind family = TabKind::Site;
    // The asking page's own URL.
    QUrl pageUrl;
    // The asking frame's own URL, where the client knows it: the main frame's
    // for its own navigations, a content frame's for the window it announced;
    // empty where it cannot know. The content folder's trust goes to this
    // frame alone, never to the page around it.
    QUrl frameUrl;
    // Whether the player asked for it (a click, a key in the view just before).
    bool userAction = false;
};
// The decision with the rules above. A page's own back, forward, reload or
// window opens a tab only on the player's action, unless the asking frame is
// the content folder's. A main-frame movie plays in its page; a local alias is
// the content folder's frames' alone; a site tab's window toward its own site
// stays the page's (it keeps its opener).
Decision decide(const Request &request, const Rules &rules);
}

#endif // LINKPOLICY_H
