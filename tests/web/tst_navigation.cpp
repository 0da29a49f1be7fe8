// The navigation policy and the web tabs, driven through real web pages: links
// clicked with the mouse or by scripts, forms submitted inside the page,
// window.open, iframes, scripts that navigate by themselves.
#include "app/appconfig.h"
#include "desktopcatcher.h"
#include "nginxserver.h"
#include "testenv.h"
#include "web/cookiejar.h"
#include "web/mytabwidget.h"
#include "web/mywebpage.h"
#include "web/mywebview.h"
#include "web/tabprofile.h"
#include "webtest.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>

class TestNavigation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void fromGamePage_data();
    void fromGamePage();
    void forumLinkInsideForumTab();
    void selfRedirectingForumStaysOneTab_data();
    void selfRedirectingForumStaysOneTab();
    void blockedHostGetsNoRequest();
    void iframesAreDecidedAlike();
    void reloadOfInternalPageOpensTab();
    void emptyExtbrowserEntrySendsEverythingOut_data();
    void emptyExtbrowserEntrySendsEverythingOut();
    void labelRules_data();
    void labelRules();
    void tabLabels_data();
    void tabLabels();
    void closingTabsFreesEverything();
    void remotePageOnItsOwn_data();
    void remotePageOnItsOwn();
    void forumPageBehaviours_data();
    void forumPageBehaviours();
    void pageOpensNoTabOnItsOwn_data();
    void pageOpensNoTabOnItsOwn();
    void localAliasClickedOnRemotePage();
    void webFrameInLocalPage_data();
    void webFrameInLocalPage();
    void outsideLinkWithoutProgram();
    void programLoadsFollowRedirects_data();
    void programLoadsFollowRedirects();
    void webPageInGameTab_data();
    void webPageInGameTab();
    void clickInsideFrame_data();
    void clickInsideFrame();

private:
    MyWebView *view(int index) const { return qobject_cast<MyWebView *>(window->tabWidget()->widget(index)); }
    bool loadInto(MyWebView *target, const QUrl &url) { return WebTest::load(target, url); }
    QString site(const QString &path) const { return server->rootUrl() + path; }
    QString local(const QString &name) const { return QUrl::fromLocalFile(pages + "/" + name).toString(); }

    NginxServer *server = nullptr;
    MainWindow *window = nullptr;
    MyWebView *game = nullptr;
    DesktopCatcher *desktop = nullptr;
    QString pages;
    QStringList defaultExtbrowser;
};

static const char gamePage[] = R"(<html><head><title>Game</title>
<script>function pop() { window.open('popup.html'); }</script></head><body>
<a id="forum" href="%1forum.tarvenholm/index.html" style="display:block;width:200px;height:30px">forum</a>
<a id="outside" href="%1outside.html">outside</a>
<a id="mail" href="mailto:support@example.org">mail</a>
<a id="secure" href="https://www.example.org/secure">secure outside</a>
<a id="blocked" href="%1count?site=counter.yadro.ru">counter</a>
<a id="blank" target="_blank" href="popup.html">popup</a>
<a id="blankforum" target="_blank" href="%1forum.tarvenholm/index.html">forum in a new window</a>
<a id="local" href="second.html">second</a>
<a id="partner" href="%1guild/index.html">guild</a>
<form id="getform" action="%1guild/search.html" method="get"><input name="q" value="sword"></form>
<form id="postform" action="%1guild/post.html" method="post"><input name="msg" value="hi"></form>
</body></html>)";

void TestNavigation::initTestCase()
{
    const QString docroot = TestEnv::root() + "/site";
    TestEnv::writeFile(docroot + "/forum.tarvenholm/index.html",
                       "<html><head><title>Forum</title></head><body>"
                       "<a id=\"again\" href=\"/forum.tarvenholm/topic.html\">topic</a></body></html>");
    TestEnv::writeFile(docroot + "/forum.tarvenholm/topic.html", "<html><head><title>Topic</title></head></html>");
    TestEnv::writeFile(docroot + "/forum.tarvenholm/timer.html",
                       "<html><body><script>setTimeout(function() { location.href = 'topic.html'; }, 300);</script>"
                       "</body></html>");
    TestEnv::writeFile(docroot + "/forum.tarvenholm/onload.html",
                       "<html><body onload=\"location.replace('topic.html')\"></body></html>");
    TestEnv::writeFile(docroot + "/forum.tarvenholm/refresh.html",
                       "<html><head><meta http-equiv=\"refresh\" content=\"0; url=topic.html\"></head></html>");
    TestEnv::writeFile(docroot + "/guild/index.html", "<html><head><title>Guild</title></head></html>");
    TestEnv::writeFile(docroot + "/guild/search.html", "<html><head><title>Search</title></head></html>");
    TestEnv::writeFile(docroot + "/guild/post.html", "<html><head><title>Post</title></head></html>");
    TestEnv::writeFile(docroot + "/guild/frame.html", "<html><body>inner</body></html>");
    TestEnv::writeFile(docroot + "/outside.html", "<html><head><title>Outside</title></head></html>");
    TestEnv::writeFile(docroot + "/outside-frame.html", "<html><body>outside</body></html>");
    TestEnv::writeFile(docroot + "/remote.html", "<html><head><title>Remote</title></head><body></body></html>");
    TestEnv::writeFile(docroot + "/notitle.html", "<html><body>no title</body></html>");
    // A forum page that moves on by itself after a click on its empty area, a
    // jump menu, and a picker window that writes back to its opener.
    TestEnv::writeFile(docroot + "/forum.tarvenholm/tools.html",
                       "<html><head><title>Tools</title></head><body style=\"margin:0\">"
                       "<div id=\"empty\" style=\"height:100px\" onclick=\"setTimeout(function() {"
                       " location.href = 'topic.html'; }, 300)\">empty</div>"
                       "<select id=\"jump\" onchange=\"location.href = this.value\">"
                       "<option value=\"tools.html\">here</option><option value=\"topic.html\">topic</option></select>"
                       "<a id=\"picker\" href=\"#\" onclick=\"window.picker = window.open('topic.html'); return false\">pick</a>"
                       "<a id=\"twice\" href=\"#\" style=\"display:block\" onclick=\"window.picker = window.open('topic.html');"
                       " window.open('topic.html?again'); return false\">two windows</a>"
                       "</body></html>");
    // Pages that try to open tab after tab without the player: one moving
    // itself on and back again, one opening windows from a timer.
    TestEnv::writeFile(docroot + "/forum.tarvenholm/storm.html",
                       "<html><head><title>Storm</title></head><body><script>"
                       "window.addEventListener('pageshow', function () {"
                       " const n = +(sessionStorage.n || 0) + 1; sessionStorage.n = n;"
                       " if (n < 6) setTimeout(function () { location.href = 'storm-on.html'; }, 50);"
                       " else document.title = 'Done'; });</script></body></html>");
    TestEnv::writeFile(docroot + "/forum.tarvenholm/storm-on.html",
                       "<html><body><script>setTimeout(function () { history.back(); }, 100);</script></body></html>");
    TestEnv::writeFile(docroot + "/forum.tarvenholm/windows.html",
                       "<html><head><title>Windows</title></head><body><script>let k = 0;"
                       "const timer = setInterval(function () { window.open('topic.html');"
                       " if (++k == 10) { clearInterval(timer); document.title = 'Done'; } }, 30);</script></body></html>");
    // A web page shown in the game tab that moves toward the forum: from a
    // timer, eight times; on each click of a button (no link); twice for one
    // click; once, long after its click.
    TestEnv::writeFile(docroot + "/webgame.html",
                       "<html><head><title>Web game</title><script>"
                       "function go(q) { location.href = '/forum.tarvenholm/index.html?' + q; }"
                       "function storm() { let k = 0; const t = setInterval(function () { go(k);"
                       " if (++k == 8) { clearInterval(t); document.title = 'Done'; } }, 40); }"
                       "</script></head><body style=\"margin:0\">"
                       "<button id=\"once\" style=\"width:200px;height:30px\" onclick=\"go('once')\">forum</button>"
                       "<button id=\"twice\" style=\"width:200px;height:30px\""
                       " onclick=\"go('a'); setTimeout(function () { go('b'); document.title = 'Done'; }, 200)\">two</button>"
                       "<button id=\"late\" style=\"width:200px;height:30px\""
                       " onclick=\"setTimeout(function () { go('late'); document.title = 'Done'; }, 6000)\">late</button>"
                       "</body></html>");
    // A web frame's links, filling the frame; the frame tells its page of the player's press.
    const QString frameLinks = "<html><body style=\"margin:0\" onmousedown=\"parent.postMessage('pressed', '*')\">"
                               "<a id=\"link\" href=\"%1\" style=\"display:block;width:100%;height:100%\">link</a></body></html>";
    TestEnv::writeFile(docroot + "/frame-forum.html", frameLinks.arg("/forum.tarvenholm/index.html").toUtf8());
    TestEnv::writeFile(docroot + "/frame-outside.html", frameLinks.arg("/outside.html").toUtf8());
    // What the program loads, moved elsewhere by the server.
    const QString redirects = "location = /moved-forum { return 302 /outside.html; }\n"
                              "location = /moved-game { return 302 /guild/index.html; }\n";
    server = new NginxServer(docroot, redirects);
    QVERIFY(server->start());

    pages = TestEnv::root() + "/work/content/pages"; // local pages are served from the content folder only
    TestEnv::writeFile(pages + "/game.html", QString::fromLatin1(gamePage).arg(server->rootUrl()).toUtf8());
    TestEnv::writeFile(pages + "/popup.html", "<html><head><title>Popup</title></head></html>");
    TestEnv::writeFile(pages + "/second.html", "<html><head><title>Second</title></head></html>");
    TestEnv::writeFile(pages + "/frames.html",
                       QString("<html><body><iframe src=\"%1outside-frame.html\"></iframe>"
                               "<iframe src=\"%1guild/frame.html\"></iframe></body></html>")
                           .arg(server->rootUrl()).toUtf8());

    AppConfig *config = AppConfig::instance();
    config->intbrowserKeys = QStringList({"/guild/"});
    defaultExtbrowser = config->extbrowser; // no settings file: the default
}

void TestNavigation::cleanupTestCase()
{
    delete server;
}

void TestNavigation::init()
{
    desktop = new DesktopCatcher;
    window = new MainWindow;
    window->resize(800, 600);
    window->show();
    game = window->openGameTab();
    QVERIFY(loadInto(game, QUrl::fromLocalFile(pages + "/game.html")));
    server->clearAccessLog();
}

void TestNavigation::cleanup()
{
    delete window;
    window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete desktop;
    AppConfig::instance()->extbrowser = defaultExtbrowser;
}

void TestNavigation::fromGamePage_data()
{
    QTest::addColumn<QString>("script");  // what the page does
    QTest::addColumn<QString>("target");  // the URL the game page is asked to go to
    QTest::addColumn<int>("type");        // navigation type seen by the game page
    QTest::addColumn<QString>("newTab");  // title of the new tab's page, or empty: no new tab
    QTest::addColumn<QString>("external"); // what reaches the desktop handler
    QTest::addColumn<QString>("gameTitle"); // the game page afterwards

    // "#id": a mouse click on that element; anything else is run as a script in the page.
    QTest::newRow("forum link") << "#forum" << site("forum.tarvenholm/index.html") << 0 << "Forum" << "" << "Game";
    QTest::newRow("partner link") << "#partner" << site("guild/index.html") << 0 << "Guild" << "" << "Game";
    QTest::newRow("outside link") << "#outside" << site("outside.html") << 0 << "" << "outside.html" << "Game";
    QTest::newRow("mail link") << "#mail" << QString("mailto:support@example.org") << 0 << "" << "mailto:support@example.org" << "Game";
    QTest::newRow("outside https link") << "#secure" << QString("https://www.example.org/secure") << 0 << "" << "https://www.example.org/secure" << "Game";
    QTest::newRow("blocked link") << "#blocked" << site("count?site=counter.yadro.ru") << 0 << "" << "" << "Game";
    QTest::newRow("local link in place") << "#local" << local("second.html") << 0 << "" << "" << "Second";
    QTest::newRow("target blank") << "#blank" << local("popup.html") << 0 << "Popup" << "" << "Game";
    QTest::newRow("window.open") << "pop()" << local("popup.html") << 0 << "Popup" << "" << "Game";
    QTest::newRow("target blank to the forum") << "#blankforum" << site("forum.tarvenholm/index.html") << 0 << "Forum" << "" << "Game";
    // The content folder's page is the game's own: its script opens the forum's tab.
    QTest::newRow("script to the forum") << "location.href = document.getElementById('forum').href" << site("forum.tarvenholm/index.html") << 5 << "Forum"
                                         << "" << "Game";
    QTest::newRow("form get") << "document.getElementById('getform').submit()" << site("guild/search.html?q=sword") << 1 << "Search" << "" << "Game";
    QTest::newRow("form post") << "document.getElementById('postform').submit()" << site("guild/post.html") << 1 << "Post" << "" << "Game";
}

void TestNavigation::fromGamePage()
{
    QFETCH(QString, script);
    QFETCH(QString, target);
    QFETCH(int, type);
    QFETCH(QString, newTab);
    QFETCH(QString, external);
    QFETCH(QString, gameTitle);

    MessageLog log;
    if (script.startsWith('#'))
        QVERIFY(WebTest::click(game, script));
    else
        WebTest::runJs(game, script);

    if (!newTab.isEmpty()) {
        QTRY_COMPARE(window->tabWidget()->count(), 2);
        QCOMPARE(window->tabWidget()->currentIndex(), 1);
        QTRY_COMPARE(view(1)->title(), newTab);
        QTRY_COMPARE(window->tabWidget()->tabText(1), newTab);
        QTest::qWait(300);
        QCOMPARE(window->tabWidget()->count(), 2); // one tab per new window, none left empty
        // Forum and partner pages get a tab of their own that keeps its cookies.
        QCOMPARE(view(1)->tabProfile()->cookieJar() != nullptr, newTab == "Forum" || newTab == "Guild" || newTab == "Search" || newTab == "Post");
    } else {
        QTest::qWait(300);
        QCOMPARE(window->tabWidget()->count(), 1);
    }
    QTRY_VERIFY2(log.contains(debugLine("acceptNavigationRequest: ", QUrl(target), " --- ", type)),
                 qPrintable(log.lines().join('\n')));
    if (external.isEmpty()) {
        QVERIFY(desktop->urls.isEmpty());
        QVERIFY(!log.contains("launch ext browser"));
    } else {
        QTRY_COMPARE(desktop->urls.size(), 1);
        QVERIFY(desktop->urls.first().toString().contains(external));
        QVERIFY(log.contains("launch ext browser"));
    }
    QTRY_COMPARE(game->title(), gameTitle);
    QCOMPARE(window->tabWidget()->tabText(0), QString("TarvenHOLM"));

    if (script.contains("postform")) {
        // The new tab fetched the target itself, without the form data.
        QVERIFY(server->requestedPaths().contains("/guild/post.html"));
        QVERIFY(!server->accessLog().contains("POST"));
    }
    if (script.contains("getform"))
        QVERIFY(server->requestedPaths().contains("/guild/search.html?q=sword"));
    if (script.contains("blocked"))
        QVERIFY(!server->accessLog().contains("count"));
}

void TestNavigation::forumLinkInsideForumTab()
{
    AppConfig::instance()->forum = site("forum.tarvenholm/index.html");
    window->doOpenForum();
    QTRY_COMPARE(view(1)->title(), QString("Forum"));
    MessageLog log;
    QVERIFY(WebTest::click(view(1), "#again"));
    QTRY_COMPARE(window->tabWidget()->count(), 3);
    QTRY_COMPARE(view(2)->title(), QString("Topic"));
    QCOMPARE(view(1)->title(), QString("Forum"));
    const QUrl topic(site("forum.tarvenholm/topic.html"));
    QVERIFY(log.contains(debugLine("acceptNavigationRequest: ", topic, " --- ", 0))); // the click in the forum tab
    QVERIFY(log.contains(debugLine("acceptNavigationRequest: ", topic, " --- ", 5))); // the new tab's own load
}

void TestNavigation::selfRedirectingForumStaysOneTab_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("timer") << "timer.html";
    QTest::newRow("on load") << "onload.html";
    QTest::newRow("meta refresh") << "refresh.html";
}

// The engine reports a script's navigation as a link click; a page that moves
// on by itself must stay in its tab, not open one tab after another.
void TestNavigation::selfRedirectingForumStaysOneTab()
{
    QFETCH(QString, page);
    window->openInNewTab(site("forum.tarvenholm/" + page));
    QTRY_COMPARE(view(1)->title(), QString("Topic"));
    QTest::qWait(500);
    QCOMPARE(window->tabWidget()->count(), 2);
}

void TestNavigation::blockedHostGetsNoRequest()
{
    const QString blocked = site("count?%1=counter.yadro.ru");
    TestEnv::writeFile(pages + "/counters.html",
                       QString("<html><head><title>Counters</title><script src=\"%1\"></script></head><body>"
                               "<img src=\"%2\"><iframe src=\"%3\"></iframe><script>"
                               "fetch('%4').catch(function() {});"
                               "var x = new XMLHttpRequest(); x.open('GET', '%5'); x.send();"
                               "navigator.sendBeacon('%6');"
                               "setTimeout(function() { fetch('%7'); }, 300);"
                               "</script></body></html>")
                           .arg(blocked.arg("script"), blocked.arg("img"), blocked.arg("frame"), blocked.arg("fetch"),
                                blocked.arg("xhr"), blocked.arg("beacon"), site("outside.html?done"))
                           .toUtf8());
    QVERIFY(loadInto(game, QUrl::fromLocalFile(pages + "/counters.html")));
    // The page's last request, sent after the others, reached the server.
    QTRY_VERIFY(server->requestedPaths().contains("/outside.html?done"));
    QVERIFY2(!server->accessLog().contains("count"), server->accessLog().constData());
    QCOMPARE(window->tabWidget()->count(), 1);
    QVERIFY(desktop->urls.isEmpty());
}

void TestNavigation::iframesAreDecidedAlike()
{
    MessageLog log;
    QVERIFY(loadInto(game, QUrl::fromLocalFile(pages + "/frames.html")));
    // Frames are part of their page: the outside one and the partner's load in place.
    QTRY_VERIFY(server->requestedPaths().contains("/guild/frame.html"));
    QTRY_VERIFY(server->requestedPaths().contains("/outside-frame.html"));
    QTest::qWait(300);
    QVERIFY(desktop->urls.isEmpty());
    QCOMPARE(window->tabWidget()->count(), 1);
}

void TestNavigation::reloadOfInternalPageOpensTab()
{
    window->openInNewTab(site("guild/index.html"));
    QTRY_COMPARE(view(1)->title(), QString("Guild"));
    MessageLog log;
    window->refresh(); // the player's Refresh
    QTRY_COMPARE(window->tabWidget()->count(), 3);
    QVERIFY(log.contains(debugLine("acceptNavigationRequest: ", QUrl(site("guild/index.html")), " --- ", 3)));
    QTRY_COMPARE(view(2)->title(), QString("Guild"));
}

void TestNavigation::emptyExtbrowserEntrySendsEverythingOut_data()
{
    QTest::addColumn<QString>("setting");
    QTest::newRow("empty setting") << "";
    QTest::newRow("trailing comma") << "http:,";
}

// An empty entry is part of every URL: every web link the player clicks goes
// to the desktop; local files and the program's own loads never do.
void TestNavigation::emptyExtbrowserEntrySendsEverythingOut()
{
    QFETCH(QString, setting);
    AppConfig::instance()->extbrowser = AppConfig::splitExtBrowser(setting);
    QVERIFY(WebTest::click(game, "#outside"));
    QTRY_COMPARE(desktop->urls.size(), 1);
    QCOMPARE(desktop->urls.first(), QUrl(site("outside.html")));
    QVERIFY(loadInto(game, QUrl::fromLocalFile(pages + "/second.html")));
    QTRY_COMPARE(game->title(), QString("Second"));
    QCOMPARE(desktop->urls.size(), 1);
}

void TestNavigation::labelRules_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("label");
    QTest::newRow("loader") << "loader.swf" << "TarvenHOLM";
    QTest::newRow("main") << "main.html?x=/battle." << "TarvenHOLM";
    QTest::newRow("battle") << "file:///c/content/battle.swf?12345" << "Battle : 12345";
    QTest::newRow("battle no query") << "file:///c/content/battle.swf" << "Battle : file:///c/content/battle.swf";
    QTest::newRow("battle and hero") << "file:///c/hero.x/battle.swf?9" << "Battle : 9";
    QTest::newRow("hero") << "http://h/hero.php" << "Hero Info";
    QTest::newRow("case matters") << "http://h/Battle.swf?1" << QString();
    QTest::newRow("full url not loader") << "file:///c/content/loader.swf" << QString();
}

void TestNavigation::labelRules()
{
    QFETCH(QString, url);
    QFETCH(QString, label);
    QCOMPARE(MyWebView::labelForUrl(url), label);
}

void TestNavigation::tabLabels_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("label");
    const QString fifty(50, QChar('x'));
    QTest::newRow("50 characters whole") << "t50.html" << fifty << fifty;
    QTest::newRow("51 characters cut") << "t51.html" << fifty + "y" << fifty + "...";
    // The tab bar takes "&" for a shortcut mark: doubled, it shows as written.
    QTest::newRow("ampersand") << "qa.html" << "Q&A Forum" << "Q&&A Forum";
    QTest::newRow("battle after load") << "battle.html?777" << "Replay" << "Battle : 777";
    QTest::newRow("hero after load") << "hero.html" << "Hero" << "Hero Info";
    // Without a title the label is the page's whole URL (cut like a title).
    QTest::newRow("no title") << "untitled.html" << "" << "@URL@";
    // A real title reads as written, even where the engine's name for an untitled page would.
    QTest::newRow("titled like its file") << "help.html" << "help.html" << "help.html";
    QTest::newRow("web page without title") << "@SITE@notitle.html" << "" << "@URL@";
}

void TestNavigation::tabLabels()
{
    QFETCH(QString, file);
    QFETCH(QString, title);
    QFETCH(QString, label);
    QUrl url;
    if (file.startsWith("@SITE@")) {
        url = QUrl(site(file.mid(6)));
    } else {
        const QString path = pages + "/" + file.section('?', 0, 0);
        TestEnv::writeFile(path, QString("<html><head><title>%1</title></head></html>").arg(title).toUtf8());
        url = QUrl::fromLocalFile(path);
        url.setQuery(file.section('?', 1));
    }
    window->openInNewTab(url.toString());
    if (label == "@URL@")
        label = url.toString(); // the whole URL, however long
    QTRY_VERIFY(!view(1)->url().isEmpty());
    QTRY_COMPARE(window->tabWidget()->tabText(1), label);
    // And it stays so once the page is there and has been asked for its own title.
    QTRY_VERIFY(!view(1)->isBusy());
    WebTest::runJs(view(1), "document.title");
    QCOMPARE(window->tabWidget()->tabText(1), label);
    // A web page's requests name the client after the browser the page expects.
    if (file.startsWith("@SITE@")) {
        const QString agent = WebTest::runJs(view(1), "navigator.userAgent").toString();
        QVERIFY2(agent.startsWith("Mozilla/5.0 ") && agent.contains(" Chrome/") && agent.endsWith(" TarvenHOLM/1.0"),
                 qPrintable(agent));
        QVERIFY2(server->accessLog().contains(" \"" + agent.toUtf8() + "\"\n"), server->accessLog().constData());
    }
    // The game tab keeps its name whatever it shows.
    QVERIFY(loadInto(game, url));
    QCOMPARE(window->tabWidget()->tabText(0), QString("TarvenHOLM"));
}

void TestNavigation::closingTabsFreesEverything()
{
    struct Tab { QPointer<QObject> view, page, profile, jar; };
    QList<Tab> opened;
    for (int i = 0; i < 5; ++i) {
        window->openInNewTab(QUrl::fromLocalFile(pages + "/second.html").toString());
        MyWebView *v = view(window->tabWidget()->count() - 1);
        QVERIFY(v->tabProfile()->cookieJar());
        opened << Tab{v, v->page(), v->tabProfile(), v->tabProfile()->cookieJar()};
    }
    QTRY_COMPARE(view(5)->title(), QString("Second"));
    window->doCloseTabs();
    for (const Tab &tab : opened) {
        QTRY_VERIFY(tab.view.isNull());
        QTRY_VERIFY(tab.page.isNull());
        QTRY_VERIFY(tab.profile.isNull());
        QTRY_VERIFY(tab.jar.isNull());
    }
    QCOMPARE(window->tabWidget()->count(), 1);
}

void TestNavigation::remotePageOnItsOwn_data()
{
    QTest::addColumn<QString>("script"); // run in a remote page shown in the game tab, without any click
    QTest::addColumn<bool>("asked");     // whether the engine asks the client at all
    // "tarvenholm-file:///<content>/...": the local alias of a content file.
    const QString content = QUrl::fromLocalFile(TestEnv::root() + "/work/content/").toString().mid(5);
    QTest::newRow("local alias to the desktop") << "window.open('tarvenholm-file:" + content + "pages/second.html#http:')" << true;
    QTest::newRow("local alias with a query") << "window.open('tarvenholm-file:" + content + "pages/second.html?from=remote')" << true;
    QTest::newRow("another scheme") << "window.open('sshx://attacker.example/?http:')" << true;
    QTest::newRow("outside site from a timer") << "window.open('http://www.example.org/')" << true;
    QTest::newRow("outside site in place") << "location.href = 'http://www.example.org/'" << true;
    // The engine drops a mail link set by a script without a click by itself.
    QTest::newRow("mail") << "location.href = 'mailto:support@example.org'" << false;
}

// A page cannot hand anything to the desktop or start local content on its own.
void TestNavigation::remotePageOnItsOwn()
{
    QFETCH(QString, script);
    QFETCH(bool, asked);
    // The program's own load of a web page stays in its tab, "http:" or not.
    QVERIFY(loadInto(game, QUrl(site("remote.html"))));
    QVERIFY(desktop->urls.isEmpty());
    MessageLog log;
    WebTest::runJs(game, QString("setTimeout(function() { %1; }, 10)").arg(script));
    if (asked)
        QTRY_VERIFY(log.countStarting("acceptNavigationRequest: ") + log.countStarting("Refused local alias from: ") > 0);
    QTest::qWait(500);
    QTRY_COMPARE(window->tabWidget()->count(), 1);
    QVERIFY2(desktop->urls.isEmpty(), qPrintable(desktop->urls.value(0).toString()));
    QCOMPARE(game->title(), QString("Remote"));
}

void TestNavigation::forumPageBehaviours_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("forumTitle"); // the forum tab afterwards
    QTest::addColumn<int>("tabs");
    QTest::newRow("click on empty space, then the page moves on") << "#empty" << "Topic" << 2;
    QTest::newRow("jump menu changed with the keyboard") << "keys" << "Topic" << 2;
    QTest::newRow("picker window toward its own site") << "#picker" << "Tools" << 3;
    QTest::newRow("two windows from one click") << "#twice" << "Tools" << 3;
    // The click script's report line written by the page itself is not the player.
    QTest::newRow("forged click report, then the page moves on")
        << "console.log('0 click ' + new URL('topic.html', location.href)); location.href = 'topic.html'" << "Topic" << 2;
    // ... whatever it starts with: a token is the report's start, not its length.
    QTest::newRow("forged click report of a token's length, then the page moves on")
        << "console.log('0123456789abcdef0123456789abcdef click ' + new URL('topic.html', location.href));"
           " location.href = 'topic.html'" << "Topic" << 2;
}

void TestNavigation::forumPageBehaviours()
{
    QFETCH(QString, action);
    QFETCH(QString, forumTitle);
    QFETCH(int, tabs);
    window->openInNewTab(site("forum.tarvenholm/tools.html"));
    QTRY_COMPARE(view(1)->title(), QString("Tools"));
    MessageLog log;
    if (action == "keys") {
        WebTest::runJs(view(1), "document.getElementById('jump').focus()");
        QTRY_COMPARE(WebTest::runJs(view(1), "document.activeElement.id").toString(), QString("jump"));
        // A busy engine may drop a key sent while it settles: press again
        // until the menu has moved (its last entry is the topic, so a
        // further press changes nothing).
        QTRY_VERIFY(WebTest::runJs(view(1), "document.getElementById('jump') ? document.getElementById('jump').selectedIndex : 1").toInt() == 1
                    || (QTest::keyClick(view(1)->focusProxy(), Qt::Key_Down), false));
    } else if (action.startsWith('#')) {
        QVERIFY(WebTest::click(view(1), action));
    } else {
        WebTest::runJs(view(1), action);
    }
    if (action == "#twice") // one action, one tab: the second window is the page's own
        QTRY_COMPARE(log.count(debugLine("Refused window without the player's action from: ",
                                         QUrl(site("forum.tarvenholm/tools.html")))), 1);
    QTRY_COMPARE(window->tabWidget()->count(), tabs);
    QTRY_COMPARE(view(1)->title(), forumTitle);
    if (tabs == 3) {
        // The window stays the page's: it shares the forum's cookies and its opener.
        QTRY_COMPARE(view(2)->title(), QString("Topic"));
        QCOMPARE(view(2)->tabProfile(), view(1)->tabProfile());
        QTest::qWait(2000);
        QCOMPARE(WebTest::runJs(view(1), "window.picker.closed").toBool(), false);
        // So is a window that window opens toward the site, on a click.
        WebTest::runJs(view(2), "const a = document.createElement('a'); a.id = 'again'; a.href = '#';"
                                "a.textContent = 'again'; a.style = 'display:block;width:200px;height:30px';"
                                "a.onclick = function () { window.open('tools.html'); return false; };"
                                "document.body.prepend(a);");
        QVERIFY(WebTest::click(view(2), "#again"));
        QTRY_COMPARE(window->tabWidget()->count(), tabs + 1);
        QTRY_COMPARE(view(3)->title(), QString("Tools"));
        QCOMPARE(view(3)->tabProfile(), view(1)->tabProfile());
    } else {
        QVERIFY(log.contains(debugLine("acceptNavigationRequest: ", QUrl(site("forum.tarvenholm/topic.html")), " --- ", 5)));
    }
    QVERIFY(desktop->urls.isEmpty());
}

void TestNavigation::pageOpensNoTabOnItsOwn_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("line"); // written for each refused tab
    QTest::addColumn<int>("refused");
    QTest::newRow("back and forth by itself") << "storm.html" << QString() << 0;
    QTest::newRow("windows from a timer") << "windows.html" << "Refused window without the player's action from: " << 10;
}

// A forum page that moves back by itself, or opens windows from a timer,
// stays in its one tab.
void TestNavigation::pageOpensNoTabOnItsOwn()
{
    QFETCH(QString, page);
    QFETCH(QString, line);
    QFETCH(int, refused);
    MessageLog log;
    const QUrl url(site("forum.tarvenholm/" + page));
    window->openInNewTab(url.toString());
    QTRY_COMPARE(view(1)->title(), QString("Done"));
    if (refused > 0)
        QTRY_COMPARE(log.count(debugLine(line.toUtf8().constData(), url)), refused);
    else // five times back to the page, each in place
        QTRY_COMPARE(log.count(debugLine("acceptNavigationRequest: ", url, " --- ", 2)), 5);
    QTRY_COMPARE(window->tabWidget()->count(), 2);
    QTRY_COMPARE(view(1)->url(), url);
}

// The alias of a content file is the local pages' alone, a click or not.
void TestNavigation::localAliasClickedOnRemotePage()
{
    QVERIFY(loadInto(game, QUrl(site("remote.html"))));
    const QString alias = "tarvenholm-file:" + QUrl::fromLocalFile(pages + "/second.html").toString().mid(5);
    WebTest::runJs(game, QString("const a = document.createElement('a'); a.id = 'alias'; a.href = '%1';"
                                 "a.textContent = 'second'; a.style = 'display:block;width:200px;height:30px';"
                                 "document.body.appendChild(a);").arg(alias));
    MessageLog log;
    QVERIFY(WebTest::click(game, "#alias"));
    QTRY_VERIFY(log.contains(debugLine("Refused local alias from: ", QUrl(site("remote.html")))));
    QTest::qWait(300);
    QTRY_COMPARE(game->title(), QString("Remote"));
    QTRY_COMPARE(window->tabWidget()->count(), 1);
}

void TestNavigation::webFrameInLocalPage_data()
{
    QTest::addColumn<QString>("where");  // "frame": a web frame in a local page; "sandboxed": that frame's
                                         // sandboxed child; "page": the local page itself
    QTest::addColumn<QString>("script"); // run there on a timer, without the player
    QTest::addColumn<QString>("line");   // written for each refused window
    QTest::addColumn<int>("refused");
    QTest::addColumn<int>("tabs");       // the tabs afterwards
    const QString forum = site("forum.tarvenholm/index.html");
    const QString alias = "tarvenholm-file:" + QUrl::fromLocalFile(pages + "/second.html").toString().mid(5) + "?from=adwindow";
    const QString three = QString("for (let i = 0; i < 3; ++i) window.open('%1?' + i);").arg(forum);
    const QString windowLine = "Refused window without the player's action from: ";
    QTest::newRow("frame's forum windows") << "frame" << three << windowLine << 3 << 1;
    QTest::newRow("frame's alias window") << "frame" << QString("window.open('%1')").arg(alias)
                                          << "Refused local alias from: " << 1 << 1;
    QTest::newRow("sandboxed child's forum windows") << "sandboxed" << three << windowLine << 3 << 1;
    QTest::newRow("sandboxed child's alias window") << "sandboxed" << QString("window.open('%1')").arg(alias)
                                                    << "Refused local alias from: " << 1 << 1;
    // The local page's own windows are the game's.
    QTest::newRow("local page's forum window") << "page" << QString("window.open('%1')").arg(forum) << QString() << 0 << 2;
    QTest::newRow("local page's alias window") << "page" << QString("window.open('%1')").arg(alias) << QString() << 0 << 2;
}

// A web frame inside a page of the content folder (an advert, a news box)
// gets none of the content folder's trust: it opens no window on its own and
// has no way to the local alias, and neither has a sandboxed frame of its.
void TestNavigation::webFrameInLocalPage()
{
    QFETCH(QString, where);
    QFETCH(QString, script);
    QFETCH(QString, line);
    QFETCH(int, refused);
    QFETCH(int, tabs);
    static int serial = 0;
    const QString name = QString("advert%1.html").arg(++serial);
    const QString timed = "setTimeout(function () { " + script + " }, 10);";
    QString frame = "<html><body>advert</body></html>";
    if (where == "frame")
        frame = "<html><body><script>" + timed + "</script></body></html>";
    else if (where == "sandboxed")
        frame = "<html><body><iframe sandbox=\"allow-scripts allow-popups\" srcdoc=\"<script>"
                + timed.toHtmlEscaped() + "</script>\"></iframe></body></html>";
    TestEnv::writeFile(TestEnv::root() + "/site/" + name, frame.toUtf8());
    const QString host = pages + "/host" + QString::number(serial) + ".html";
    TestEnv::writeFile(host, QString("<html><head><title>Host</title>%1</head><body><iframe src=\"%2\"></iframe></body></html>")
                                 .arg(where == "page" ? "<script>" + timed + "</script>" : QString(), site(name)).toUtf8());
    MessageLog log;
    QVERIFY(loadInto(game, QUrl::fromLocalFile(host)));
    if (refused > 0)
        QTRY_COMPARE(log.count(debugLine(line.toUtf8().constData(), QUrl::fromLocalFile(host))), refused);
    else
        QTRY_COMPARE(window->tabWidget()->count(), tabs);
    QTest::qWait(500);
    QTRY_COMPARE(window->tabWidget()->count(), tabs);
    QCOMPARE(game->title(), QString("Host"));
    QVERIFY(desktop->urls.isEmpty());
}

// With no browser set up to take it (the offscreen platform has none), the
// player's click on an outside link says where it would have gone.
void TestNavigation::outsideLinkWithoutProgram()
{
    delete desktop;
    desktop = nullptr;
    MessageLog log;
    QVERIFY(WebTest::click(game, "#outside"));
    const QUrl outside(site("outside.html"));
    QTRY_VERIFY2(log.contains(debugLine("Desktop hand-off failed: ", outside)), qPrintable(log.lines().join('\n')));
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = window->findChild<QMessageBox *>("handOffFailed")) && box->isVisible());
    QCOMPARE(box->text(), QString("No program on this computer opens %1. Set up a web browser and a mail program, "
                                  "or open the address yourself.").arg(outside.toDisplayString()));
    QTRY_COMPARE(game->title(), QString("Game"));
    QTRY_COMPARE(window->tabWidget()->count(), 1);
}

void TestNavigation::programLoadsFollowRedirects_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("inGameTab");
    QTest::addColumn<QString>("title");
    QTest::newRow("forum moved to an outside page") << "moved-forum" << false << "Outside";
    QTest::newRow("web game moved to a partner site") << "moved-game" << true << "Guild";
}

// What the program loads stays in its tab wherever the server sends it.
void TestNavigation::programLoadsFollowRedirects()
{
    QFETCH(QString, path);
    QFETCH(bool, inGameTab);
    QFETCH(QString, title);
    MyWebView *target = game;
    if (inGameTab) {
        game->load(QUrl(site(path)));
    } else {
        window->openInNewTab(site(path));
        QTRY_COMPARE(window->tabWidget()->count(), 2);
        target = view(1);
    }
    QTRY_COMPARE(target->title(), title);
    QTRY_COMPARE(window->tabWidget()->count(), inGameTab ? 1 : 2);
    QVERIFY(desktop->urls.isEmpty());
}

void TestNavigation::webPageInGameTab_data()
{
    QTest::addColumn<QString>("action");  // "storm": the page's timer; "#id": the player clicks that button
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("tabs");        // forum tabs afterwards
    QTest::addColumn<int>("refused");     // moves dropped, each with its line
    QTest::newRow("timer, eight times") << "storm" << 0 << 0 << 8;
    QTest::newRow("a button clicked twice") << "#once" << 2 << 2 << 0;
    QTest::newRow("one click, two moves") << "#twice" << 1 << 1 << 1;
    // A click counts for seconds, not for ever.
    QTest::newRow("one click, its move six seconds later") << "#late" << 1 << 0 << 1;
}

// A web page in the game tab (a web game) opens a forum tab only on the
// player's action, one per action; the game stays.
void TestNavigation::webPageInGameTab()
{
    QFETCH(QString, action);
    QFETCH(int, clicks);
    QFETCH(int, tabs);
    QFETCH(int, refused);
    const QUrl page(site("webgame.html"));
    QVERIFY(loadInto(game, page));
    MessageLog log;
    if (action == "storm") {
        WebTest::runJs(game, "storm()");
        QTRY_COMPARE(game->title(), QString("Done"));
    }
    for (int i = 0; i < clicks; ++i) {
        window->tabWidget()->setCurrentIndex(0); // the player goes back to the game
        QVERIFY(WebTest::click(game, action));
        if (i < tabs)
            QTRY_COMPARE(window->tabWidget()->count(), 2 + i);
    }
    if (action == "#twice" || action == "#late")
        QTRY_COMPARE(game->title(), QString("Done"));
    const QByteArray line = "Refused tab without the player's action from: ";
    QTRY_COMPARE(log.count(debugLine(line.constData(), page)), refused);
    QTest::qWait(300);
    QTRY_COMPARE(window->tabWidget()->count(), 1 + tabs);
    QCOMPARE(log.count(debugLine(line.constData(), page)), refused);
    QCOMPARE(game->url(), page);
    for (int i = 1; i <= tabs; ++i)
        QTRY_COMPARE(view(i)->title(), QString("Forum"));
}

void TestNavigation::clickInsideFrame_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("newTab");   // the new tab's title, or empty: none
    QTest::addColumn<QString>("external"); // what reaches the desktop
    QTest::newRow("forum link in a web frame") << "frame-forum.html" << "Forum" << "";
    QTest::newRow("outside link in a web frame") << "frame-outside.html" << "" << "outside.html";
}

// A frame's navigation is decided like its page's: the player's click on a
// forum link in a frame opens the forum's tab, on an outside link the browser.
void TestNavigation::clickInsideFrame()
{
    QFETCH(QString, frame);
    QFETCH(QString, newTab);
    QFETCH(QString, external);
    const QString host = pages + "/framehost-" + frame;
    TestEnv::writeFile(host, QString("<html><head><title>Host</title><script>window.addEventListener('message',"
                                     " function (e) { if (e.data === 'pressed') window.__testPressed = true; });"
                                     "</script></head><body style=\"margin:0\"><iframe id=\"frame\" src=\"%1\""
                                     " style=\"border:0;width:300px;height:80px\"></iframe></body></html>")
                                 .arg(site(frame)).toUtf8());
    QVERIFY(loadInto(game, QUrl::fromLocalFile(host)));
    QTRY_VERIFY(server->requestedPaths().contains("/" + frame));
    QTest::qWait(300); // the frame's document in place
    MessageLog log;
    QVERIFY(WebTest::click(game, "#frame"));
    if (!newTab.isEmpty()) {
        QTRY_COMPARE(window->tabWidget()->count(), 2);
        QTRY_COMPARE(view(1)->title(), newTab);
    } else {
        QTRY_COMPARE(desktop->urls.size(), 1);
        QCOMPARE(desktop->urls.first(), QUrl(site(external)));
    }
    QTest::qWait(300);
    QTRY_COMPARE(window->tabWidget()->count(), newTab.isEmpty() ? 1 : 2);
    QCOMPARE(desktop->urls.size(), external.isEmpty() ? 0 : 1);
    QCOMPARE(game->title(), QString("Host"));
}

TARVEN_TEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
