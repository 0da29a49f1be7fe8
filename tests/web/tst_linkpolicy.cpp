// The navigation decision as a table: what each kind of request from each
// kind of page becomes, with the player's action or without it.
#include "testenv.h"
#include "web/linkpolicy.h"

#include <QApplication>
#include <QTest>

using LinkPolicy::Origin;

Q_DECLARE_METATYPE(LinkPolicy::Navigation)
Q_DECLARE_METATYPE(LinkPolicy::Origin)
Q_DECLARE_METATYPE(LinkPolicy::Decision)

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
// opened) or "local" (a page of the content folder in the game tab, asking
// itself); in a local page, "webframe" (a web frame that the client knows
// asks), "unknown" (a frame the client cannot name: a window nobody
// announced, a sandboxed frame's) or "outside" (a local file beside the
// content folder, reached with ".."); "+player" when the player acted just
// before.
void TestLinkPolicy::decide_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<LinkPolicy::Navigation>("navigation");
    QTest::addColumn<Origin>("origin");
    QTest::addColumn<QString>("from");
    QTest::addColumn<LinkPolicy::Decision>("decision");
    const QString forum = "http://forum.tarvenholm.example/index.php";
    const QString partner = "http://partner.example/guild/index.html";
    const QString outside = "http://www.example.org/";
    const QString local = contentUrl("pages/second.html");
    using namespace LinkPolicy;

    // The internal sites: a tab of their own when asked for, in place when a
    // page moves itself on; a form keeps its data in its own site's tab.
    QTest::newRow("forum link clicked in the game") << forum << LinkClicked << Origin::Page << "game+player" << OpenInNewTab;
    QTest::newRow("forum page moving itself on") << forum << Other << Origin::Page << "site" << LoadInPlace;
    QTest::newRow("partner form in its tab") << partner << FormSubmitted << Origin::Page << "site+player" << LoadInPlace;
    QTest::newRow("partner form in the game") << partner << FormSubmitted << Origin::Page << "game+player" << OpenInNewTab;
    QTest::newRow("program loads the forum") << forum << Other << Origin::Program << "site" << LoadInPlace;
    // Back, forward and reload: a tab per action of the player, never on the page's own.
    QTest::newRow("player's back to the forum") << forum << BackForward << Origin::Page << "site+player" << OpenInNewTab;
    QTest::newRow("page's own back in the forum") << forum << BackForward << Origin::Page << "site" << LoadInPlace;
    QTest::newRow("page's own back in the game") << forum << BackForward << Origin::Page << "game" << Blocked;
    QTest::newRow("player's refresh of a partner page") << partner << Reload << Origin::Page << "site+player" << OpenInNewTab;
    QTest::newRow("page's own reload") << partner << Reload << Origin::Page << "site" << LoadInPlace;
    QTest::newRow("page's own form resent") << partner << FormResubmitted << Origin::Page << "site" << LoadInPlace;
    QTest::newRow("back to an outside page") << outside << BackForward << Origin::Page << "site" << Blocked;
    // The desktop: only on the player's action, never for the program's own loads or frames.
    QTest::newRow("outside link clicked") << outside << LinkClicked << Origin::Page << "site+player" << OpenOnDesktop;
    QTest::newRow("outside link by a script") << outside << Other << Origin::Page << "site" << Blocked;
    QTest::newRow("program loads an outside page") << outside << Other << Origin::Program << "game" << LoadInPlace;
    QTest::newRow("local file naming http:") << local + "?http:" << LinkClicked << Origin::Page << "local+player" << Default;
    QTest::newRow("blocked counter") << "http://counter.yadro.ru/hit" << LinkClicked << Origin::Page << "game+player" << Blocked;
    // Schemes the engine would hand to another program never load, however decided.
    QTest::newRow("other scheme by a forum script") << "sshx://forum.tarvenholm.example/?x" << Other << Origin::Page << "site" << Blocked;
    QTest::newRow("other scheme as a forum form") << "sshx://forum.tarvenholm.example/?x" << FormSubmitted << Origin::Page << "site+player" << Blocked;
    QTest::newRow("other scheme as the program's load") << "sshx://attacker.example/?http:" << Other << Origin::Program << "game" << Blocked;
    QTest::newRow("other scheme clicked") << "sshx://attacker.example/" << LinkClicked << Origin::Page << "site+player" << Blocked;
    // Windows: a web page's only on the player's action; the content folder's pages are the game's own.
    QTest::newRow("forum window on a click") << forum << LinkClicked << Origin::Window << "site+player" << OpenInNewTab;
    QTest::newRow("forum window from a timer") << forum << LinkClicked << Origin::Window << "site" << Blocked;
    QTest::newRow("outside https window from a timer") << "https://www.example.org/" << LinkClicked << Origin::Window << "game" << Blocked;
    QTest::newRow("outside window on a click") << outside << LinkClicked << Origin::Window << "site+player" << OpenOnDesktop;
    QTest::newRow("local page's own window") << local << LinkClicked << Origin::Window << "local" << Default;
    QTest::newRow("local page's forum window") << forum << LinkClicked << Origin::Window << "local" << OpenInNewTab;
    // The content folder's trust is the asking frame's, never the page's around it.
    QTest::newRow("web frame's forum window from a timer") << forum << LinkClicked << Origin::Window << "webframe" << Blocked;
    QTest::newRow("unannounced forum window from a timer") << forum << LinkClicked << Origin::Window << "unknown" << Blocked;
    QTest::newRow("unannounced forum window on a click") << forum << LinkClicked << Origin::Window << "unknown+player" << OpenInNewTab;
    QTest::newRow("window of a local file beside the content folder") << forum << LinkClicked << Origin::Window << "outside" << Blocked;
    // A partner page's windows toward its own site stay its own (they keep their opener).
    const QString picker = "http://partner.example/guild/picker.html";
    QTest::newRow("partner's window toward its site") << picker << LinkClicked << Origin::Window << "site+player" << LoadInPlace;
    QTest::newRow("partner's window toward its other host") << "http://www.partner.example/guild/x.html" << LinkClicked
                                                           << Origin::Window << "site+player" << LoadInPlace;
    QTest::newRow("partner pop-up's window toward its site") << picker << LinkClicked << Origin::Window << "popup+player" << LoadInPlace;
    QTest::newRow("game page's window toward a partner") << picker << LinkClicked << Origin::Window << "game+player" << OpenInNewTab;
    // Movies play in their page, wherever the page may go.
    const QString movie = contentUrl("battle.swf?12");
    QTest::newRow("program loads a movie") << movie << Other << Origin::Program << "game" << PlayMovie;
    QTest::newRow("local movie link") << movie << LinkClicked << Origin::Page << "local+player" << PlayMovie;
    QTest::newRow("forum movie in place") << "http://forum.tarvenholm.example/a.swf" << Other << Origin::Page << "site" << PlayMovie;
    QTest::newRow("movie in a frame") << movie << Other << Origin::Frame << "local" << Default;
    QTest::newRow("movie in a window: its page plays it") << movie << LinkClicked << Origin::Window << "local" << Default;
    QTest::newRow("outside movie clicked") << "http://www.example.org/a.swf" << LinkClicked << Origin::Page << "site+player" << OpenOnDesktop;
    // The local alias: the content folder's pages' alone, never a frame's.
    QString alias = local;
    alias.replace(0, 4, "tarvenholm-file"); // "file" -> the alias
    QTest::newRow("alias from a local page") << alias << LinkClicked << Origin::Page << "local+player" << LoadLocal;
    QTest::newRow("alias clicked on a web page") << alias << LinkClicked << Origin::Page << "game+player" << Blocked;
    QTest::newRow("alias in a local page's frame") << alias << Other << Origin::Frame << "local" << Blocked;
    QTest::newRow("alias window of a local page") << alias << LinkClicked << Origin::Window << "local" << Default;
    QTest::newRow("alias window of a web page") << alias << LinkClicked << Origin::Window << "site+player" << Blocked;
    QTest::newRow("alias window of a web frame on a click") << alias << LinkClicked << Origin::Window << "webframe+player" << Blocked;
    QTest::newRow("alias window nobody announced") << alias << LinkClicked << Origin::Window << "unknown+player" << Blocked;
    QTest::newRow("alias from a local file beside the content folder") << alias << LinkClicked << Origin::Page << "outside+player" << Blocked;
}

void TestLinkPolicy::decide()
{
    QFETCH(QString, url);
    QFETCH(LinkPolicy::Navigation, navigation);
    QFETCH(Origin, origin);
    QFETCH(QString, from);
    QFETCH(LinkPolicy::Decision, decision);
    LinkPolicy::Request request{QUrl(url), navigation, origin};
    const QString where = from.section('+', 0, 0);
    const bool inLocalPage = where == "local" || where == "webframe" || where == "unknown" || where == "outside";
    const bool game = where == "game" || inLocalPage;
    request.tab = game ? TabKind::Game : where == "popup" ? TabKind::Window : TabKind::Site;
    request.family = game ? TabKind::Game : TabKind::Site;
    request.pageUrl = QUrl(inLocalPage ? contentUrl("pages/index.html")
                           : game      ? "http://game.example/"
                                       : "http://partner.example/guild/board.html");
    const QHash<QString, QString> frames{{"local", request.pageUrl.toString()},
                                         {"webframe", "http://ads.example/box.html"},
                                         {"unknown", ""},
                                         {"outside", contentUrl("../pages/index.html")}};
    request.frameUrl = QUrl(frames.value(where, request.pageUrl.toString()));
    request.userAction = from.endsWith("+player");
    QCOMPARE(LinkPolicy::decide(request, defaultRules), decision);
}

// The operator's texts: what a player's click in a forum tab becomes.
void TestLinkPolicy::rules_data()
{
    QTest::addColumn<QStringList>("internal");
    QTest::addColumn<QStringList>("external");
    QTest::addColumn<QString>("url");
    QTest::addColumn<LinkPolicy::Decision>("decision");
    using namespace LinkPolicy;
    const QString outside = "http://www.example.org/";
    QTest::newRow("no extbrowser: outside loads in place") << QStringList() << QStringList() << outside << Default;
    QTest::newRow("only mailto: goes out") << QStringList() << QStringList({"mailto:"}) << outside << Default;
    QTest::newRow("empty entry: every web link goes out") << QStringList() << QStringList({""}) << outside << OpenOnDesktop;
    QTest::newRow("empty entry: never a local file") << QStringList() << QStringList({""})
                                                     << "file:///game/content/pages/second.html" << Default;
    QTest::newRow("internal before external") << QStringList({"example.org"}) << QStringList({"http:"}) << outside
                                              << OpenInNewTab;
    QTest::newRow("the forum is always internal") << QStringList() << QStringList({"http:"})
                                                  << "http://forum.tarvenholm.example/" << OpenInNewTab;
    QTest::newRow("the counter is always blocked") << QStringList({"counter"}) << QStringList({""})
                                                   << "http://counter.yadro.ru/hit" << Blocked;
}

void TestLinkPolicy::rules()
{
    QFETCH(QStringList, internal);
    QFETCH(QStringList, external);
    QFETCH(QString, url);
    QFETCH(LinkPolicy::Decision, decision);
    LinkPolicy::Request request{QUrl(url), LinkPolicy::LinkClicked, Origin::Page};
    request.userAction = true;
    QCOMPARE(LinkPolicy::decide(request, {internal, external}), decision);
}

TARVEN_TEST_MAIN(TestLinkPolicy)
#include "tst_linkpolicy.moc"
