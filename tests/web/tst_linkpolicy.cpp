// The navigation decision as a table: what each kind of request from each
// kind of page becomes, with the player's action or without it.
#include "testenv.h"
#include "web/linkpolicy.h"

#include <QApplication>
#include <QTest>

using LinkPolicy::Action;
using LinkPolicy::Origin;

Q_DECLARE_METATYPE(LinkPolicy::Navigation)
Q_DECLARE_METATYPE(LinkPolicy::Origin)
Q_DECLARE_METATYPE(LinkPolicy::Action)

class TestLinkPolicy : public QObject
{
    Q_OBJECT
private slots:
    void decide_data();
    void decide();
    void rules_data();
    void rules();
};

namespace {
// The default `extbrowser` and one `intbrowser` key.
const LinkPolicy::Rules defaultRules{{"/guild/"}, {"http:", "https:", "mailto:"}};

// A file: URL in the test's content folder ("./content/" of its working folder).
QString contentUrl(const QString &path)
{
    return "file://" + QDir::currentPath() + "/content/" + path;
}
} // namespace

// Where the request comes from, in a few words: "game" (a web page in the
// game tab), "site" (a partner page in its tab), "popup" (a window that page
// opened), "gamepopup" (a partner page in a window the game tab opened) or "local" (a page of the content folder in the game tab, asking
// itself); in a local page, "webframe" (a web frame that the client knows
// asks), "unknown" (a frame the client cannot name: a window nobody
// announced, a sandboxed frame's) or "outside" (a local file beside the
// content folder, reached with ".."). Then what holds: "+player" (the player
// acted in the tab just before), "+engine" (the engine saw the player open
// the window), "+movie" (the page is a movie's player page: the content
// folder's battle, or in a site tab the forum's), "+coming" (its player page
// has been asked for), "+lost" (its renderer ended), "+flash" or "+zip" (a
// download answering the page, of that type).
void TestLinkPolicy::decide_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<LinkPolicy::Navigation>("navigation");
    QTest::addColumn<Origin>("origin");
    QTest::addColumn<QString>("from");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("reason"); // the log line's text, or empty: none
    QTest::addColumn<QString>("target"); // what the action is carried out on, or empty: the URL
    const QString forum = "http://forum.tarvenholm.example/index.php";
    const QString partner = "http://partner.example/guild/index.html";
    const QString outside = "http://www.example.org/";
    const QString local = contentUrl("pages/second.html");
    const QString noTab = "Refused tab without the player's action from: ";
    const QString noWindow = "Refused window without the player's action from: ";
    const QString noAlias = "Refused local alias from: ";
    using namespace LinkPolicy;

    // The internal sites: a tab of their own when asked for, in place when a
    // page moves itself on; a form keeps its data in its own site's tab.
    QTest::newRow("forum link clicked in the game") << forum << LinkClicked << Origin::Page << "game+player" << Action::SiteTab << "" << "";
    QTest::newRow("forum page moving itself on") << forum << Other << Origin::Page << "site" << Action::LoadHere << "" << "";
    QTest::newRow("partner form in its tab") << partner << FormSubmitted << Origin::Page << "site+player" << Action::LoadHere << "" << "";
    QTest::newRow("partner form in the game") << partner << FormSubmitted << Origin::Page << "game+player" << Action::SiteTab << "" << "";
    QTest::newRow("program loads the forum") << forum << Other << Origin::Program << "site" << Action::LoadHere << "" << "";
    // One tab per action of the player, in every tab: a click whose action a
    // tab has already used moves its page in place.
    QTest::newRow("forum link clicked, action used up") << forum << LinkClicked << Origin::Page << "site" << Action::LoadHere << "" << "";
    // The game tab keeps its game: a web page there moving toward the forum
    // opens a tab on the player's action, and is dropped otherwise; the
    // content folder's pages and movies are the game's own.
    QTest::newRow("game's web page moving to the forum") << forum << Other << Origin::Page << "game" << Action::Block << noTab << "";
    QTest::newRow("game's web page to the forum on an action") << forum << Other << Origin::Page << "game+player" << Action::SiteTab << "" << "";
    QTest::newRow("game's web page sends a partner form itself") << partner << FormSubmitted << Origin::Page << "game" << Action::Block << noTab << "";
    QTest::newRow("game's movie opens the forum") << forum << Other << Origin::Page << "local" << Action::SiteTab << "" << "";
    QTest::newRow("game's movie sends a partner form") << partner << FormSubmitted << Origin::Page << "local" << Action::SiteTab << "" << "";
    QTest::newRow("local file beside the content folder to the forum") << forum << Other << Origin::Page << "outside" << Action::Block << noTab << "";
    // Back, forward and reload: a tab per action of the player, never on the page's own.
    QTest::newRow("player's back to the forum") << forum << BackForward << Origin::Page << "site+player" << Action::SiteTab << "" << "";
    QTest::newRow("page's own back in the forum") << forum << BackForward << Origin::Page << "site" << Action::LoadHere << "" << "";
    QTest::newRow("page's own back in the game") << forum << BackForward << Origin::Page << "game" << Action::Block << noTab << "";
    QTest::newRow("player's refresh of a partner page") << partner << Reload << Origin::Page << "site+player" << Action::SiteTab << "" << "";
    QTest::newRow("page's own reload") << partner << Reload << Origin::Page << "site" << Action::LoadHere << "" << "";
    QTest::newRow("page's own form resent") << partner << FormResubmitted << Origin::Page << "site" << Action::LoadHere << "" << "";
    QTest::newRow("back to an outside page") << outside << BackForward << Origin::Page << "site" << Action::Block << "" << "";
    // The desktop: only on the player's action, never for the program's own loads.
    QTest::newRow("outside link clicked") << outside << LinkClicked << Origin::Page << "site+player" << Action::Desktop << "" << "";
    QTest::newRow("outside link by a script") << outside << Other << Origin::Page << "site" << Action::Block << "" << "";
    QTest::newRow("program loads an outside page") << outside << Other << Origin::Program << "game" << Action::LoadHere << "" << "";
    QTest::newRow("local file naming http:") << local + "?http:" << LinkClicked << Origin::Page << "local+player" << Action::LoadHere << "" << "";
    QTest::newRow("blocked counter") << "http://counter.yadro.ru/hit" << LinkClicked << Origin::Page << "game+player" << Action::Block << "" << "";
    // Frames are decided like main frames, but a frame's own loads stay in it.
    QTest::newRow("player's click in a frame toward the forum") << forum << LinkClicked << Origin::Frame << "local+player" << Action::SiteTab << "" << "";
    QTest::newRow("frame moving itself to the forum") << forum << Other << Origin::Frame << "game" << Action::LoadHere << "" << "";
    QTest::newRow("frame's click, action used up") << forum << LinkClicked << Origin::Frame << "site" << Action::LoadHere << "" << "";
    QTest::newRow("partner form in a frame of its tab") << partner << FormSubmitted << Origin::Frame << "site+player" << Action::LoadHere << "" << "";
    QTest::newRow("player's click in a frame toward the outside") << outside << LinkClicked << Origin::Frame << "local+player" << Action::Desktop << "" << "";
    QTest::newRow("outside frame loading") << outside << Other << Origin::Frame << "local+player" << Action::LoadHere << "" << "";
    QTest::newRow("frame's outside link by a script") << outside << LinkClicked << Origin::Frame << "local" << Action::Block << "" << "";
    // Schemes the engine would hand to another program never load, however decided.
    QTest::newRow("other scheme by a forum script") << "sshx://forum.tarvenholm.example/?x" << Other << Origin::Page << "site" << Action::Block << "" << "";
    QTest::newRow("other scheme as a forum form") << "sshx://forum.tarvenholm.example/?x" << FormSubmitted << Origin::Page << "site+player" << Action::Block << "" << "";
    QTest::newRow("other scheme as the program's load") << "sshx://attacker.example/?http:" << Other << Origin::Program << "game" << Action::Block << "" << "";
    QTest::newRow("other scheme clicked") << "sshx://attacker.example/" << LinkClicked << Origin::Page << "site+player" << Action::Block << "" << "";
    QTest::newRow("other scheme's forum tab clicked") << "sshx://forum.tarvenholm.example/" << LinkClicked << Origin::Page << "site+player" << Action::Block << "" << "";
    // Windows: a web page's only on the player's action; the content folder's pages are the game's own.
    QTest::newRow("forum window on a click") << forum << LinkClicked << Origin::Window << "site+player" << Action::SiteTab << "" << "";
    QTest::newRow("forum window the engine saw clicked") << forum << LinkClicked << Origin::Window << "site+engine" << Action::SiteTab << "" << "";
    QTest::newRow("forum window from a timer") << forum << LinkClicked << Origin::Window << "site" << Action::Block << noWindow << "";
    QTest::newRow("outside https window from a timer") << "https://www.example.org/" << LinkClicked << Origin::Window << "game" << Action::Block << noWindow << "";
    QTest::newRow("outside window on a click") << outside << LinkClicked << Origin::Window << "site+player" << Action::Desktop << "" << "";
    QTest::newRow("local page's own window") << local << LinkClicked << Origin::Window << "local" << Action::WindowTab << "" << "";
    QTest::newRow("local page's forum window") << forum << LinkClicked << Origin::Window << "local" << Action::SiteTab << "" << "";
    QTest::newRow("local page's outside window from a timer") << outside << LinkClicked << Origin::Window << "local" << Action::Block << "" << "";
    // The content folder's trust is the asking frame's, never the page's around it.
    QTest::newRow("web frame's forum window from a timer") << forum << LinkClicked << Origin::Window << "webframe" << Action::Block << noWindow << "";
    QTest::newRow("unannounced forum window from a timer") << forum << LinkClicked << Origin::Window << "unknown" << Action::Block << noWindow << "";
    QTest::newRow("unannounced forum window on a click") << forum << LinkClicked << Origin::Window << "unknown+player" << Action::SiteTab << "" << "";
    QTest::newRow("window of a local file beside the content folder") << forum << LinkClicked << Origin::Window << "outside" << Action::Block << noWindow << "";
    // A partner page's windows toward its own site stay its own (they keep their opener).
    const QString picker = "http://partner.example/guild/picker.html";
    QTest::newRow("partner's window toward its site") << picker << LinkClicked << Origin::Window << "site+player" << Action::WindowTab << "" << "";
    QTest::newRow("partner's window toward its other host") << "http://www.partner.example/guild/x.html" << LinkClicked
                                                           << Origin::Window << "site+player" << Action::WindowTab << "" << "";
    QTest::newRow("partner pop-up's window toward its site") << picker << LinkClicked << Origin::Window << "popup+player" << Action::WindowTab << "" << "";
    QTest::newRow("game page's window toward a partner") << picker << LinkClicked << Origin::Window << "game+player" << Action::SiteTab << "" << "";
    // Judged by the opener's family, not the tab's kind: the game's windows share nothing on disk.
    QTest::newRow("game pop-up's window toward its site") << picker << LinkClicked << Origin::Window << "gamepopup+player" << Action::SiteTab << "" << "";
    // Movies play in their page, wherever the page may go.
    const QString movie = contentUrl("battle.swf?12");
    QTest::newRow("program loads a movie") << movie << Other << Origin::Program << "game" << Action::PlayMovie << "" << "";
    QTest::newRow("local movie link") << movie << LinkClicked << Origin::Page << "local+player" << Action::PlayMovie << "" << "";
    QTest::newRow("forum movie in place") << "http://forum.tarvenholm.example/a.swf" << Other << Origin::Page << "site" << Action::PlayMovie << "" << "";
    QTest::newRow("movie in a frame") << movie << Other << Origin::Frame << "local" << Action::LoadHere << "" << "";
    QTest::newRow("movie in a window: its page plays it") << movie << LinkClicked << Origin::Window << "local" << Action::WindowTab << "" << "";
    QTest::newRow("outside movie clicked") << "http://www.example.org/a.swf" << LinkClicked << Origin::Page << "site+player" << Action::Desktop << "" << "";
    // An answer the engine would save: a movie's type plays; nothing is saved.
    const QString answer = "http://game.example/play?id=3";
    QTest::newRow("answer of a movie's type") << answer << Other << Origin::Download << "game+flash" << Action::PlayMovie << "" << "";
    QTest::newRow("answer of another type") << answer << Other << Origin::Download << "site+zip" << Action::Block << "" << "";
    QTest::newRow("download of a link, a frame") << answer << Other << Origin::Download << "site+player" << Action::Block << "" << "";
    // The page's own stand-ins: a movie's player page, and the notice of a
    // page that stopped; the player's Refresh of either shows what it stands for.
    const QString standIn = "data:text/html;charset=UTF-8,%3Chtml%3E";
    QTest::newRow("player page asked for") << standIn << Other << Origin::Program << "local+movie+coming" << Action::LoadHere << "" << "";
    QTest::newRow("refresh of a movie") << standIn << Reload << Origin::Page << "local+movie+player" << Action::PlayMovie << "" << "@PAGE@";
    QTest::newRow("refresh of the forum's movie") << standIn << Reload << Origin::Page << "site+movie+player" << Action::SiteTab << "" << "@PAGE@";
    QTest::newRow("refresh of a page that stopped") << standIn << Reload << Origin::Page << "site+lost+player" << Action::LoadInstead << "" << "@PAGE@";
    QTest::newRow("a notice shown") << standIn << Other << Origin::Program << "site+lost" << Action::LoadHere << "" << "";
    QTest::newRow("player page in a frame") << standIn << Other << Origin::Frame << "local+movie+coming" << Action::LoadHere << "" << "";
    // The local alias: the content folder's pages' alone, never a frame's.
    QString alias = local;
    alias.replace(0, 4, "tarvenholm-file"); // "file" -> the alias
    QTest::newRow("alias from a local page") << alias << LinkClicked << Origin::Page << "local+player" << Action::LoadInstead << "" << local;
    QTest::newRow("alias clicked on a web page") << alias << LinkClicked << Origin::Page << "game+player" << Action::Block << noAlias << "";
    QTest::newRow("alias in a local page's frame") << alias << Other << Origin::Frame << "local" << Action::Block << noAlias << "";
    QTest::newRow("alias window of a local page") << alias << LinkClicked << Origin::Window << "local" << Action::WindowTab << "" << local;
    QTest::newRow("alias window of a web page") << alias << LinkClicked << Origin::Window << "site+player" << Action::Block << noAlias << "";
    QTest::newRow("alias window of a web frame on a click") << alias << LinkClicked << Origin::Window << "webframe+player" << Action::Block << noAlias << "";
    QTest::newRow("alias window nobody announced") << alias << LinkClicked << Origin::Window << "unknown+player" << Action::Block << noAlias << "";
    QTest::newRow("alias from a local file beside the content folder") << alias << LinkClicked << Origin::Page << "outside+player" << Action::Block << noAlias << "";
}

void TestLinkPolicy::decide()
{
    QFETCH(QString, url);
    QFETCH(LinkPolicy::Navigation, navigation);
    QFETCH(Origin, origin);
    QFETCH(QString, from);
    QFETCH(Action, action);
    QFETCH(QString, reason);
    QFETCH(QString, target);
    LinkPolicy::Request request{QUrl(url), navigation, origin};
    const QStringList flags = from.split('+');
    const QString where = flags.first();
    const bool inLocalPage = where == "local" || where == "webframe" || where == "unknown" || where == "outside";
    const bool game = where == "game" || inLocalPage;
    request.tab.kind = game ? TabKind::Game : where == "popup" || where == "gamepopup" ? TabKind::Window : TabKind::Site;
    request.tab.family = game || where == "gamepopup" ? TabKind::Game : TabKind::Site;
    request.tab.playerActed = flags.contains("player");
    request.engineSawAction = flags.contains("engine");
    request.pageUrl = QUrl(flags.contains("movie") ? (game ? contentUrl("battle.swf?7") : "http://forum.tarvenholm.example/a.swf")
                           : inLocalPage           ? contentUrl("pages/index.html")
                           : game                  ? "http://game.example/"
                                                   : "http://partner.example/guild/board.html");
    request.pageShows = flags.contains("coming") ? LinkPolicy::PageShows::PlayerComing
        : flags.contains("lost")                 ? LinkPolicy::PageShows::LostNotice
                                                 : LinkPolicy::PageShows::Itself;
    const QHash<QString, QString> frames{{"local", request.pageUrl.toString()},
                                         {"webframe", "http://ads.example/box.html"},
                                         {"unknown", ""},
                                         {"outside", contentUrl("../pages/index.html")}};
    request.frameUrl = QUrl(frames.value(where, request.pageUrl.toString()));
    if (flags.contains("flash"))
        request.answerType = "application/x-shockwave-flash";
    else if (flags.contains("zip"))
        request.answerType = "application/zip";
    const LinkPolicy::Outcome outcome = LinkPolicy::decide(request, defaultRules);
    QCOMPARE(outcome.action, action);
    const char *line = LinkPolicy::reasonLine(outcome.reason);
    QCOMPARE(line ? QString(line) : QString(), reason);
    QCOMPARE(outcome.url, target == "@PAGE@" ? request.pageUrl : QUrl(target.isEmpty() ? url : target));
}

// The operator's texts: what a player's click in a forum tab becomes.
void TestLinkPolicy::rules_data()
{
    QTest::addColumn<QStringList>("internal");
    QTest::addColumn<QStringList>("external");
    QTest::addColumn<QString>("url");
    QTest::addColumn<Action>("action");
    const QString outside = "http://www.example.org/";
    const QStringList defaultExternal({"http:", "mailto:"});
    QTest::newRow("no extbrowser: outside loads in place") << QStringList() << QStringList() << outside << Action::LoadHere;
    QTest::newRow("only mailto: goes out") << QStringList() << QStringList({"mailto:"}) << outside << Action::LoadHere;
    QTest::newRow("empty entry: every web link goes out") << QStringList() << QStringList({""}) << outside << Action::Desktop;
    QTest::newRow("empty entry: never a local file") << QStringList() << QStringList({""})
                                                     << "file:///game/content/pages/second.html" << Action::LoadHere;
    QTest::newRow("empty intbrowser key: every URL is internal") << QStringList({"/guild/", ""}) << defaultExternal
                                                                 << outside << Action::SiteTab;
    QTest::newRow("internal before external") << QStringList({"example.org"}) << QStringList({"http:"}) << outside
                                              << Action::SiteTab;
    QTest::newRow("the forum is always internal") << QStringList() << QStringList({"http:"})
                                                  << "http://forum.tarvenholm.example/" << Action::SiteTab;
    // The text anywhere counts, a referrer in the query too.
    QTest::newRow("partner key only in the query") << QStringList({"/guild/"}) << defaultExternal
                                                   << outside + "?ref=/guild/" << Action::SiteTab;
    QTest::newRow("forum host only in the query") << QStringList() << defaultExternal
                                                  << outside + "?from=forum.tarvenholm.example" << Action::SiteTab;
    QTest::newRow("the counter is always blocked") << QStringList({"counter"}) << QStringList({""})
                                                   << "http://counter.yadro.ru/hit" << Action::Block;
}

void TestLinkPolicy::rules()
{
    QFETCH(QStringList, internal);
    QFETCH(QStringList, external);
    QFETCH(QString, url);
    QFETCH(Action, action);
    LinkPolicy::Request request{QUrl(url), LinkPolicy::LinkClicked, Origin::Page};
    request.tab.playerActed = true;
    QCOMPARE(LinkPolicy::decide(request, {internal, external}).action, action);
}

TARVEN_TEST_MAIN(TestLinkPolicy)
#include "tst_linkpolicy.moc"
