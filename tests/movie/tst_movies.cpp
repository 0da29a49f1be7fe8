// Flash movies played through Ruffle in real pages: the game tab's movie, the
// battle viewer, movies' links, movies inside web pages served by nginx, what
// local files pages get, sound, and a movie that cannot be loaded.
#include "app/appconfig.h"
#include "desktopcatcher.h"
#include "nginxserver.h"
#include "testenv.h"
#include "moviefiles.h"
#include "swfwriter.h"
#include "web/mytabwidget.h"
#include "web/mywebpage.h"
#include "web/mywebview.h"
#include "web/tabprofile.h"
#include "webtest.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QInputDialog>
#include <QMenuBar>
#include <QTabBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>

#include <csignal>
#include <sys/types.h>

class TestMovies : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void gameTabPlaysMovie();
    void battleNumberReachesMovie();
    void movieLinks_data();
    void movieLinks();
    void movieInWebPage();
    void pageWithoutMovieLoadsNoRuffle();
    void localFilesOutsideContent_data();
    void localFilesOutsideContent();
    void webPageCannotClaimLocalMovie_data();
    void webPageCannotClaimLocalMovie();
    void webPagesGetNoProxy();
    void loadingShown_data();
    void loadingShown();
    void crashedTabRecovers_data();
    void crashedTabRecovers();
    void brokenMovie_data();
    void brokenMovie();
    void soundPlays();
    void pageBehaviours_data();
    void pageBehaviours();
    void savedDataSurvives();
    void fullScreenOnRequest_data();
    void fullScreenOnRequest();
    void movieFullScreen_data();
    void movieFullScreen();
    void fsCommandReachesPage_data();
    void fsCommandReachesPage();
    void childMovieKeepsItsUrl_data();
    void childMovieKeepsItsUrl();
    void crossDomainData_data();
    void crossDomainData();

private:
    MyWebView *view(int index) const { return qobject_cast<MyWebView *>(window->tabWidget()->widget(index)); }
    QUrl content(const QString &name) const { return QUrl::fromLocalFile(TestEnv::root() + "/work/content/" + name); }

    NginxServer *server = nullptr;
    NginxServer *other = nullptr; // another site, with a policy file or not
    MainWindow *window = nullptr;
    MyWebView *game = nullptr;
    DesktopCatcher *desktop = nullptr;
};

static const QColor background(200, 30, 30);
static const QColor square(20, 200, 40);

void TestMovies::initTestCase()
{
    const QString site = TestEnv::root() + "/site";
    TestEnv::writeFile(site + "/battle/12345.txt", "result=won");
    TestEnv::writeFile(site + "/forum.tarvenholm/index.html", "<html><head><title>Forum</title></head></html>");
    TestEnv::writeFile(site + "/movies/colours.swf", MovieFiles::colours(QColor(30, 30, 200), QColor(240, 240, 20)));
    TestEnv::writeFile(site + "/movies/embed.html",
                       "<html><head><title>Embedded</title></head><body style=\"margin:0\">"
                       "<embed src=\"colours.swf\" width=\"800\" height=\"600\"></body></html>");
    TestEnv::writeFile(site + "/movies/plain.html", "<html><head><title>Plain</title></head><body>text</body></html>");
    // A movie whose URL says nothing of it; only its type does.
    TestEnv::writeFile(site + "/movies/intro", MovieFiles::colours(QColor(30, 30, 200), QColor(240, 240, 20)));
    // A page that looks for a Flash Player first, as swfobject does, and only
    // then puts its movie in; and one with a full-screen button.
    TestEnv::writeFile(site + "/movies/detect.html",
                       "<html><head><title>Detect</title><script>"
                       "var plugin = navigator.plugins['Shockwave Flash'];"
                       "var type = navigator.mimeTypes['application/x-shockwave-flash'];"
                       "var found = typeof plugin == 'object' && /Shockwave Flash \\d+/.test(plugin.description)"
                       " && type && type.enabledPlugin;"
                       "window.addEventListener('load', function () {"
                       " if (!found) { document.title = 'No Flash'; return; }"
                       " var o = document.createElement('object'); o.type = 'application/x-shockwave-flash';"
                       " o.data = 'colours.swf'; o.width = 800; o.height = 600; document.body.appendChild(o); });"
                       "</script></head><body style=\"margin:0\"></body></html>");
    TestEnv::writeFile(site + "/movies/full.html",
                       "<html><head><title>Full</title></head><body>"
                       "<button id=\"full\" onclick=\"document.documentElement.requestFullscreen()\">full</button>"
                       "</body></html>");
    // A redirect toward the blocked counter, and one that stays on the server.
    server = new NginxServer(site, "location = /to-counter { return 302 /count?site=counter.yadro.ru; }\n"
                                   "location = /to-battle { return 302 /battle/12345.txt; }\n"
                                   "location = /report { return 200 \"ok=1\"; }\n"
                                   "location = /to-child { return 302 /movies/child.swf?x=2; }\n"
                                   "location = /movies/intro { types { } default_type application/x-shockwave-flash; }\n");
    QVERIFY(server->start());
    TestEnv::writeFile(site + "/movies/child.swf", MovieFiles::ownUrl(server->rootUrl()));
    TestEnv::writeFile(site + "/movies/fullscreen.swf", MovieFiles::fullScreen(QColor(30, 30, 200)));
    const QString otherSite = TestEnv::root() + "/other";
    TestEnv::writeFile(otherSite + "/data.txt", "answer=42");
    // Its policy file's answer carries the header a file "permitted-<value>" beside it names.
    other = new NginxServer(otherSite, "location = /echo { return 200 \"posted=1\"; }\n"
                                       "location = /crossdomain.xml {\n"
                                       "  set $permitted \"\";\n"
                                       "  if (-f $document_root/permitted-none) { set $permitted none; }\n"
                                       "  if (-f $document_root/permitted-none-this-response) { set $permitted none-this-response; }\n"
                                       "  add_header X-Permitted-Cross-Domain-Policies $permitted;\n"
                                       "}\n");
    QVERIFY(other->start());

    TestEnv::writeFile("content/colours.swf", MovieFiles::colours(background, square));
    TestEnv::writeFile("content/battle.swf", MovieFiles::battle(server->rootUrl()));
    TestEnv::writeFile("content/tone.swf", MovieFiles::tone());
    TestEnv::writeFile(TestEnv::root() + "/secret.txt", "secret");
    AppConfig::instance()->forum = server->rootUrl() + "forum.tarvenholm/index.html";
    AppConfig::instance()->extbrowser = QStringList({"http:", "mailto:"});
    AppConfig::instance()->intbrowserKeys = QStringList({"/movies/"}); // a partner site's pages
}

void TestMovies::cleanupTestCase()
{
    delete server;
    delete other;
}

void TestMovies::init()
{
    desktop = new DesktopCatcher;
    window = new MainWindow;
    window->resize(820, 700);
    window->show();
    game = window->openGameTab();
}

void TestMovies::cleanup()
{
    delete window;
    window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete desktop;
}

// The share of the view's pixels in (nearly) the colour.
static double share(QWidget *view, const QColor &colour)
{
    const QImage image = view->grab().toImage();
    int hits = 0, all = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4, ++all) {
            const QColor c = image.pixelColor(x, y);
            hits += qAbs(c.red() - colour.red()) + qAbs(c.green() - colour.green()) + qAbs(c.blue() - colour.blue()) < 12;
        }
    }
    return all ? double(hits) / all : 0;
}

void TestMovies::gameTabPlaysMovie()
{
    MessageLog log;
    const QUrl movie = content("colours.swf");
    game->load(movie);
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("Movie playing:  QUrl(\"" + movie.toString() + "\")"), 20000);
    // The movie fills the view keeping its proportions: background and square.
    QTRY_VERIFY_WITH_TIMEOUT(share(game, background) > 0.5, 10000);
    QTRY_VERIFY(share(game, square) > 0.05);
    QCOMPARE(game->url(), movie);
    QCOMPARE(window->tabWidget()->tabText(0), QString("TarvenHOLM"));
    QCOMPARE(log.countStarting("Movie error:"), 0);
    // It takes the keyboard when its tab is shown.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->appendTab(new QWidget, "other");
    window->tabWidget()->setCurrentIndex(0);
    QTRY_VERIFY(game->hasFocus() || game->focusProxy()->hasFocus());
    QTRY_COMPARE(WebTest::runJs(game, "document.activeElement.tagName").toString(), QString("RUFFLE-EMBED"));
    // Refresh plays it again in its tab, decided on the movie's URL.
    log.clear();
    game->triggerPageAction(QWebEnginePage::Reload);
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", movie)), 20000);
    QVERIFY(log.contains(debugLine("acceptNavigationRequest: ", movie, " --- ", 3)));
    QTRY_COMPARE(window->tabWidget()->count(), 2);
    QCOMPARE(game->url(), movie);
}

void TestMovies::battleNumberReachesMovie()
{
    AppConfig::instance()->urlbattle = "./content/battle.swf";
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
            dialog->findChild<QSpinBox *>()->setValue(12345);
            dialog->accept();
        }
    });
    MessageLog log;
    window->doViewBattle();
    QCOMPARE(window->tabWidget()->count(), 2);
    // The battle viewer is the game's own movie, in the game's profile.
    auto *battle = qobject_cast<MyWebView *>(window->tabWidget()->widget(1));
    QVERIFY(battle);
    QCOMPARE(battle->kind(), TabKind::Battle);
    QCOMPARE(battle->tabProfile(), game->tabProfile());
    // The movie read its number, fetched the battle from the server and told
    // what it got, by a link of its own: without the player's click it does
    // not reach the desktop.
    QTRY_VERIFY_WITH_TIMEOUT(server->requestedPaths().contains("/battle/12345.txt"), 20000);
    QTRY_VERIFY(log.countStarting(debugLine("acceptNavigationRequest: ", QUrl(server->rootUrl() + "seen?12345-won"))) == 1);
    QVERIFY(desktop->urls.isEmpty());
    QTRY_COMPARE(window->tabWidget()->tabText(1), QString("Battle : 12345"));
}

void TestMovies::movieLinks_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("tab");        // what a new tab shows, or empty: no new tab
    QTest::addColumn<QString>("desktopUrl"); // what reaches the desktop, or empty
    QTest::addColumn<bool>("gameStays");
    const QString forum = "http://127.0.0.1:@PORT@/forum.tarvenholm/index.html";
    for (const char *target : {"", "_self", "_blank"}) {
        const QString t = QString::fromLatin1(target);
        QTest::addRow("forum %s", target) << forum << t << forum << "" << true;
        QTest::addRow("outside %s", target) << "http://www.example.org/news" << t << "" << "http://www.example.org/news" << true;
        QTest::addRow("mail %s", target) << "mailto:support@example.org" << t << "" << "mailto:support@example.org" << true;
    }
    // A local movie: in place, or in a tab of its own.
    QTest::newRow("local movie _blank") << "colours.swf?7" << "_blank" << "@CONTENT@colours.swf?7" << "" << true;
    QTest::newRow("local movie _self") << "colours.swf?7" << "_self" << "" << "" << false;
}

void TestMovies::movieLinks()
{
    QFETCH(QString, url);
    QFETCH(QString, target);
    QFETCH(QString, tab);
    QFETCH(QString, desktopUrl);
    QFETCH(bool, gameStays);
    url.replace("@PORT@", QString::number(server->port()));
    tab.replace("@PORT@", QString::number(server->port())).replace("@CONTENT@", content("").toString());
    static int serial = 0;
    const QString name = QString("link%1.swf").arg(++serial);
    const QColor colour(20, 20 + 20 * (serial % 8), 120);
    TestEnv::writeFile("content/" + name, MovieFiles::link(url, target, colour));
    MessageLog log;
    game->load(content(name));
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", content(name))), 20000);
    QTRY_VERIFY(share(game, colour) > 0.5);

    // The player's click on the movie.
    const QPoint middle = game->rect().center();
    QTest::mouseMove(game->focusProxy(), middle);
    QTest::mouseClick(game->focusProxy(), Qt::LeftButton, Qt::NoModifier, middle);
    if (!tab.isEmpty()) {
        QTRY_COMPARE(window->tabWidget()->count(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(view(1)->url().toString(), tab, 10000);
    }
    if (!desktopUrl.isEmpty()) {
        QTRY_COMPARE(desktop->urls.size(), 1);
        QCOMPARE(desktop->urls.first().toString(), desktopUrl);
    }
    QTest::qWait(300);
    QCOMPARE(window->tabWidget()->count(), tab.isEmpty() ? 1 : 2);
    if (desktopUrl.isEmpty())
        QVERIFY(desktop->urls.isEmpty());
    if (gameStays) {
        // The game goes on playing in its tab.
        QCOMPARE(game->url(), content(name));
        window->tabWidget()->setCurrentIndex(0);
        QTRY_VERIFY(share(game, colour) > 0.5);
    } else {
        QTRY_COMPARE(game->url().toString(), content("").toString() + "colours.swf?7");
        QTRY_VERIFY_WITH_TIMEOUT(share(game, background) > 0.5, 10000);
    }
}

void TestMovies::movieInWebPage()
{
    MessageLog log;
    window->openInNewTab(server->rootUrl() + "movies/embed.html");
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", QUrl(server->rootUrl() + "movies/colours.swf"))), 20000);
    QTRY_VERIFY(share(view(1), QColor(30, 30, 200)) > 0.3);
    QTRY_VERIFY(share(view(1), QColor(240, 240, 20)) > 0.02);
}

void TestMovies::pageWithoutMovieLoadsNoRuffle()
{
    MessageLog log;
    window->openInNewTab(server->rootUrl() + "movies/plain.html");
    QTRY_COMPARE(view(1)->title(), QString("Plain"));
    QTest::qWait(1000);
    QCOMPARE(log.countStarting("Ruffle file: "), 0);
    QCOMPARE(WebTest::runJs(view(1), "typeof window.RufflePlayer").toString(), QString("undefined"));
    // The same check sees Ruffle come where there is a movie.
    window->openInNewTab(server->rootUrl() + "movies/embed.html");
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", QUrl(server->rootUrl() + "movies/colours.swf"))), 20000);
    QCOMPARE(log.count("Ruffle file:  \"ruffle.js\""), 1);
    QVERIFY(log.lines().filter(QRegularExpression("^Ruffle file:  \"[0-9a-f]+\\.wasm\"$")).size() == 1);
}

void TestMovies::localFilesOutsideContent_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("blocked"); // the local file the filter names, if it is one
    const QString secret = QUrl::fromLocalFile(TestEnv::root() + "/secret.txt").toString();
    QTest::newRow("absolute") << secret << secret;
    QTest::newRow("dot dot") << content("../../secret.txt").toString() << secret;
    const QString folder = content("").toString();
    QTest::newRow("escaped dot dot") << folder + "%2e%2e/%2E%2e/secret.txt" << secret;
    QTest::newRow("escaped slashes") << folder + "..%2F..%2Fsecret.txt" << "";
    QTest::newRow("link inside content") << "link/secret.txt" << content("link/secret.txt").toString();
    QTest::newRow("client scheme") << "tarvenholm:/ruffle/../../secret.txt" << "";
    QTest::newRow("client scheme escaped") << "tarvenholm:/ruffle/..%2F..%2Fsecret.txt" << "";
}

// Pages get local files from the content folder only, however the URL is
// written; the client's scheme gives Ruffle's files and nothing else.
void TestMovies::localFilesOutsideContent()
{
    QFETCH(QString, url);
    QFETCH(QString, blocked);
    QDir().mkpath("content");
    QFile::link(TestEnv::root(), "content/link");
    TestEnv::writeFile("content/inside.txt", "inside");
    TestEnv::writeFile("content/page.html", "<html><head><title>Page</title><script>"
                                            "function get(url) { return new Promise(resolve => {"
                                            " const x = new XMLHttpRequest(); x.open('GET', url);"
                                            " x.onload = () => resolve(x.responseText); x.onerror = () => resolve('failed');"
                                            " x.send(); }); }</script></head></html>");
    QVERIFY(WebTest::load(game, content("page.html")));
    QCOMPARE(WebTest::awaitJs(game, "get('inside.txt')"), QString("inside")); // the way works
    MessageLog log;
    const QString got = WebTest::awaitJs(game, QString("get('%1')").arg(url));
    QVERIFY2(!got.contains("secret"), qPrintable(got));
    const QString fetched = WebTest::awaitJs(game, QString("fetch('%1').then(r => r.text())").arg(url));
    QVERIFY2(!fetched.contains("secret"), qPrintable(fetched));
    if (!blocked.isEmpty())
        QVERIFY2(log.contains(debugLine("Blocked local file: ", QUrl(blocked))), qPrintable(log.lines().join('\n')));
}

void TestMovies::webPageCannotClaimLocalMovie_data()
{
    QTest::addColumn<QString>("where");    // "tab": a web page in a tab of its own; "frame": in a local page's frame
    QTest::addColumn<QString>("spelling"); // how the content movie is named: "file" or "alias"
    QTest::newRow("web page, file: URL") << "tab" << "file";
    QTest::newRow("web page, local alias") << "tab" << "alias";
    QTest::newRow("web frame in a local page, file: URL") << "frame" << "file";
    QTest::newRow("web frame in a local page, local alias") << "frame" << "alias";
}

// A web page that makes a player element of its own for a content movie and
// fires its "loaded" event itself, or writes a report line of its own, gets
// no "Movie playing" line, however it spells the movie and whatever page
// holds it.
void TestMovies::webPageCannotClaimLocalMovie()
{
    QFETCH(QString, where);
    QFETCH(QString, spelling);
    QString movie = content("loader.swf?forged=1").toString();
    if (spelling == "alias")
        movie.replace(0, 4, "tarvenholm-file");
    static int serial = 0;
    const QString name = QString("forged%1.html").arg(++serial);
    TestEnv::writeFile(TestEnv::root() + "/site/movies/" + name,
                       QString("<html><head><title>Forged</title></head><body><script>"
                               "console.log('0 playing %1');"
                               "const p = document.createElement('ruffle-embed');"
                               "p.setAttribute('src', '%2'); document.body.appendChild(p);"
                               "setTimeout(() => p.dispatchEvent(new Event('loadeddata')), 100);"
                               "</script></body></html>")
                           .arg(server->rootUrl() + "movies/colours.swf", movie).toUtf8());
    const QUrl frame(server->rootUrl() + "movies/" + name);
    MessageLog log;
    if (where == "tab") {
        window->openInNewTab(frame.toString());
        QTRY_COMPARE(view(1)->title(), QString("Forged"));
    } else {
        TestEnv::writeFile("content/" + name, QString("<html><head><title>Host</title></head><body>"
                                                      "<iframe src=\"%1\"></iframe></body></html>").arg(frame.toString()).toUtf8());
        QVERIFY(WebTest::load(game, content(name)));
    }
    QTRY_VERIFY2(log.contains(debugLine("Refused movie report from: ", frame)), qPrintable(log.lines().join('\n')));
    QCOMPARE(log.countStarting("Movie playing:"), 0);
}

// The same two tabs as a crash's.
void TestMovies::loadingShown_data()
{
    crashedTabRecovers_data();
}

// While a tab's page, or its movie, is on its way the tab shows so; a movie's
// page says "Loading..." until the movie covers it.
void TestMovies::loadingShown()
{
    QFETCH(QString, what);
    MessageLog log;
    MyWebView *view = game;
    QUrl url = content("colours.swf");
    QList<bool> busy;         // each change
    QList<bool> iconWhenBusy; // the tab's icon at each change
    bool playingWhenDone = false;
    const auto watch = [&](MyWebView *v) {
        connect(v, &MyWebView::busyChanged, this, [&, v](bool on) {
            busy << on;
            iconWhenBusy << !window->tabWidget()->tabIcon(window->tabWidget()->indexOf(v)).isNull();
            if (!on)
                playingWhenDone = log.contains(debugLine("Movie playing: ", url));
        });
    };
    if (what == "movie") {
        watch(game);
        game->load(url);
        QTRY_VERIFY(!busy.isEmpty());
        QTRY_COMPARE(WebTest::runJs(game, "document.getElementById('loading')?.innerText ?? 'gone'").toString(),
                     QString("Loading..."));
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", url)), 20000);
        QTRY_COMPARE(WebTest::runJs(game, "document.getElementById('loading')?.innerText ?? 'gone'").toString(),
                     QString("gone"));
    } else {
        url = QUrl(server->rootUrl() + "movies/plain.html");
        view = window->openInNewTab(QString());
        watch(view);
        view->load(url);
        QTRY_COMPARE(view->title(), QString("Plain"));
    }
    QTRY_VERIFY(!view->isBusy());
    QCOMPARE(busy, QList<bool>({true, false}));
    QCOMPARE(iconWhenBusy, QList<bool>({true, false}));
    QCOMPARE(playingWhenDone, what == "movie");
}

void TestMovies::crashedTabRecovers_data()
{
    QTest::addColumn<QString>("what"); // "movie": the game tab's movie; "page": a web page in a tab
    QTest::newRow("game movie") << "movie";
    QTest::newRow("web page") << "page";
}

// A tab whose renderer is killed says so in words, not with a white page,
// and the player's Refresh brings its page or movie back.
void TestMovies::crashedTabRecovers()
{
    QFETCH(QString, what);
    MessageLog log;
    MyWebView *view = game;
    QUrl url = content("colours.swf");
    if (what == "movie") {
        game->load(url);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", url)), 20000);
    } else {
        url = QUrl(server->rootUrl() + "movies/plain.html");
        view = window->openInNewTab(url.toString());
        QTRY_COMPARE(view->title(), QString("Plain"));
    }
    const qint64 renderer = view->page()->renderProcessPid();
    QVERIFY(renderer > 0);
    QCOMPARE(::kill(pid_t(renderer), SIGKILL), 0);
    QTRY_VERIFY2(log.contains(debugLine("Page crashed: ", url, QString("killed"), SIGKILL)), qPrintable(log.lines().join('\n')));
    const QString text = QString("The page %1 stopped working. Refresh Tab loads it again.").arg(url.toDisplayString());
    QTRY_COMPARE(WebTest::runJs(view, "document.body ? document.body.innerText : ''").toString(), text);
    QCOMPARE(view->url(), url);
    log.clear();
    window->tabWidget()->setCurrentWidget(view);
    window->refresh();
    if (what == "movie")
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", url)), 20000);
    else
        QTRY_COMPARE(WebTest::runJs(view, "document.title").toString(), QString("Plain"));
    QCOMPARE(view->url(), url);
}

// Only pages of the content folder may have the client make HTTP requests for them.
void TestMovies::webPagesGetNoProxy()
{
    window->openInNewTab(server->rootUrl() + "movies/plain.html");
    QTRY_COMPARE(view(1)->title(), QString("Plain"));
    const QString request = "new Promise(resolve => { const x = new XMLHttpRequest();"
                            " x.open('GET', 'tarvenholm:/net?method=GET&url=' + encodeURIComponent('%1'));"
                            " x.onload = () => resolve(x.responseText); x.onerror = () => resolve('failed'); x.send(); })";
    const QString target = server->rootUrl() + "battle/12345.txt";
    QCOMPARE(WebTest::awaitJs(view(1), request.arg(target)), QString("failed"));
    // From the content folder the same request is answered.
    TestEnv::writeFile("content/page.html", "<html><head><title>Page</title></head></html>");
    QVERIFY(WebTest::load(game, content("page.html")));
    QCOMPARE(WebTest::awaitJs(game, request.arg(target)), QString("result=won"));
    // Every hop of a redirect is judged like the first URL.
    QCOMPARE(WebTest::awaitJs(game, request.arg(server->rootUrl() + "to-battle")), QString("result=won"));
    QCOMPARE(WebTest::awaitJs(game, request.arg(server->rootUrl() + "to-counter")), QString("failed"));
    QVERIFY2(!server->accessLog().contains("counter.yadro.ru"), server->accessLog().constData());
}

void TestMovies::brokenMovie_data()
{
    QTest::addColumn<QByteArray>("file"); // what is at the movie's place ("-": nothing)
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray("-") << "the file does not exist";
    QTest::newRow("not a movie") << QByteArray("<html>a page</html>") << "the file is not a Flash movie";
    const QByteArray movie = MovieFiles::colours(background, square);
    QTest::newRow("cut short") << movie.left(movie.size() / 2)
                               << QString("the file is cut short (%1 of %2 bytes)").arg(movie.size() / 2).arg(movie.size());
    // A compressed movie's length counts its header and what its data inflates to.
    QTest::newRow("compressed, cut short") << SwfWriter::compressed(movie.left(movie.size() / 2))
                                           << QString("the file is cut short (%1 of %2 bytes)").arg(movie.size() / 2).arg(movie.size());
    QTest::newRow("compressed, whole: it plays") << SwfWriter::compressed(movie) << QString();
}

// A movie that cannot play says so in its tab, naming the file and the reason,
// with nothing to click that leads out of the client.
void TestMovies::brokenMovie()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    QFile::remove("content/broken.swf");
    if (file != "-")
        TestEnv::writeFile("content/broken.swf", file);
    MessageLog log;
    game->load(content("broken.swf"));
    if (reason.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", content("broken.swf"))), 20000);
        QCOMPARE(log.countStarting("Movie error: "), 0);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie error: ", content("broken.swf"), reason)), 20000);
    QTRY_COMPARE(WebTest::runJs(game, "document.body ? document.body.innerText : ''").toString(),
                 QString("The movie %1 cannot be played: %2").arg(content("broken.swf").toDisplayString(), reason));
    QCOMPARE(WebTest::runJs(game, "document.querySelectorAll('a, button').length").toInt(), 0);
    QCOMPARE(log.countStarting("Movie playing:"), 0);
}

void TestMovies::soundPlays()
{
    QSignalSpy audible(game->page(), &QWebEnginePage::recentlyAudibleChanged);
    game->load(content("tone.swf"));
    QTRY_VERIFY_WITH_TIMEOUT(game->page()->recentlyAudible(), 20000);
}

void TestMovies::pageBehaviours_data()
{
    QTest::addColumn<QString>("page");  // on the server, opened in a tab of its own
    QTest::addColumn<QString>("movie"); // the movie that must play
    QTest::newRow("movie known by its type only") << "movies/intro?name=x" << "movies/intro?name=x";
    QTest::newRow("page looking for a Flash Player first") << "movies/detect.html" << "movies/colours.swf";
}

void TestMovies::pageBehaviours()
{
    QFETCH(QString, page);
    QFETCH(QString, movie);
    MessageLog log;
    window->openInNewTab(server->rootUrl() + page);
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", QUrl(server->rootUrl() + movie))), 20000);
    QTRY_VERIFY(share(view(1), QColor(30, 30, 200)) > 0.3);
}

// The game's saved data (a movie's shared objects live in its page's storage)
// is kept in the game folder between runs, for the player alone.
void TestMovies::savedDataSurvives()
{
    TestEnv::writeFile("content/save.html", "<html><head><title>Save</title></head></html>");
    for (const char *expected : {"none", "42"}) {
        QPointer<TabProfile> profile = game->tabProfile();
        QVERIFY(WebTest::load(game, content("save.html")));
        QCOMPARE(WebTest::runJs(game, "var n = localStorage.getItem('n'); localStorage.setItem('n', '42'); n || 'none'")
                     .toString(),
                 QString(expected));
        delete window; // the client closes: its profile writes what it holds
        QTRY_VERIFY(profile.isNull());
        window = new MainWindow; // and starts again
        game = window->openGameTab();
    }
    QCOMPARE(QFile::permissions(TabProfile::gameDataPath()) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestMovies::fullScreenOnRequest_data()
{
    QTest::addColumn<QString>("leave"); // how the player leaves it
    QTest::newRow("Esc") << "esc";
    // Another tab cannot be shown over the page's full screen.
    QTest::newRow("another tab") << "tab";
}

// A page's full-screen request after the player's click fills the screen with
// the view alone; Esc, or going to another tab, gives the window back as it was.
void TestMovies::fullScreenOnRequest()
{
    QFETCH(QString, leave);
    window->openInNewTab(server->rootUrl() + "movies/full.html");
    window->tabWidget()->setCurrentIndex(1);
    QTRY_COMPARE(view(1)->title(), QString("Full"));
    QVERIFY(WebTest::click(view(1), "#full"));
    QTRY_VERIFY(window->isFullScreen());
    QVERIFY(window->isPageFullScreen());
    QVERIFY(window->menuBar()->isHidden() && window->tabWidget()->tabBar()->isHidden());
    QTRY_VERIFY(WebTest::runJs(view(1), "document.fullscreenElement !== null").toBool());
    if (leave == "esc") {
        QTest::keyClick(view(1)->focusProxy(), Qt::Key_Escape);
        QTRY_VERIFY(WebTest::runJs(view(1), "document.fullscreenElement === null").toBool());
    } else {
        window->tabWidget()->setCurrentIndex(0);
    }
    QTRY_VERIFY(!window->isFullScreen());
    QVERIFY(!window->isPageFullScreen());
    QVERIFY(!window->menuBar()->isHidden() && !window->tabWidget()->tabBar()->isHidden());
}

void TestMovies::movieFullScreen_data()
{
    QTest::addColumn<bool>("local");
    QTest::addColumn<bool>("fills");
    QTest::newRow("the game's movie") << true << true;
    QTest::newRow("a web movie alone") << false << false;
}

// The game's own movie may fill the screen after the player's click, as a web
// page's with allowFullScreen may; a web movie shown alone may not.
void TestMovies::movieFullScreen()
{
    QFETCH(bool, local);
    QFETCH(bool, fills);
    TestEnv::writeFile("content/fullscreen.swf", MovieFiles::fullScreen(QColor(30, 30, 200)));
    const QUrl movie = local ? content("fullscreen.swf") : QUrl(server->rootUrl() + "movies/fullscreen.swf");
    MessageLog log;
    game->load(movie);
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(debugLine("Movie playing: ", movie)), 20000);
    QTRY_VERIFY(share(game, QColor(30, 30, 200)) > 0.5);
    const QPoint middle = game->rect().center();
    QTest::mouseMove(game->focusProxy(), middle);
    QTest::mouseClick(game->focusProxy(), Qt::LeftButton, Qt::NoModifier, middle);
    if (!fills) {
        QTest::qWait(1500);
        QVERIFY(!window->isPageFullScreen() && !window->isFullScreen());
        return;
    }
    QTRY_VERIFY(window->isPageFullScreen());
    QTRY_VERIFY(window->isFullScreen());
    QTest::keyClick(game->focusProxy(), Qt::Key_Escape);
    QTRY_VERIFY(!window->isFullScreen());
    QVERIFY(!window->isPageFullScreen());
}

void TestMovies::fsCommandReachesPage_data()
{
    QTest::addColumn<QString>("element");
    QTest::newRow("object by its id") << "<object id=\"game\" type=\"application/x-shockwave-flash\" data=\"fs.swf\" width=\"400\" height=\"300\"></object>";
    QTest::newRow("embed by its name") << "<embed name=\"game\" src=\"fs.swf\" width=\"400\" height=\"300\">";
}

// fscommand() calls the page's <name>_DoFSCommand, as the plug-in did.
void TestMovies::fsCommandReachesPage()
{
    QFETCH(QString, element);
    const QString site = TestEnv::root() + "/site/movies/";
    TestEnv::writeFile(site + "fs.swf", MovieFiles::fsCommand("score", "12 points"));
    TestEnv::writeFile(site + "fs.html", ("<html><head><title>FS</title><script>"
                                          "function game_DoFSCommand(command, args) { document.title = command + ':' + args; }"
                                          "</script></head><body>" + element + "</body></html>").toUtf8());
    window->openInNewTab(server->rootUrl() + "movies/fs.html");
    QTRY_COMPARE_WITH_TIMEOUT(view(1)->title(), QString("score:12 points"), 20000);
}

void TestMovies::childMovieKeepsItsUrl_data()
{
    QTest::addColumn<QString>("path");     // what the game's movie loads
    QTest::addColumn<QString>("childUrl"); // what the child is told it is
    QTest::newRow("as asked") << "movies/child.swf?x=1" << "movies/child.swf?x=1";
    QTest::newRow("redirected") << "to-child" << "movies/child.swf?x=2";
}

// A child movie the game's movie loads from the server keeps its own URL and
// query (_url, its parameters), wherever a redirect took it.
void TestMovies::childMovieKeepsItsUrl()
{
    QFETCH(QString, path);
    QFETCH(QString, childUrl);
    server->clearAccessLog();
    TestEnv::writeFile("content/parent.swf", MovieFiles::loadsMovie(server->rootUrl() + path));
    game->load(content("parent.swf"));
    QTRY_VERIFY_WITH_TIMEOUT(!server->queriesOf("/report").isEmpty(), 20000);
    QCOMPARE(server->queriesOf("/report"), QStringList({"url-" + server->rootUrl() + childUrl}));
}

void TestMovies::crossDomainData_data()
{
    QTest::addColumn<bool>("local");       // the game's movie, or a web page's
    QTest::addColumn<QByteArray>("policy"); // the other site's /crossdomain.xml ("": none)
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("header"); // X-Permitted-Cross-Domain-Policies of the policy's answer
    auto policy = [](const char *domain, const char *meta = "all") {
        return QByteArray("<?xml version=\"1.0\"?><cross-domain-policy><site-control permitted-cross-domain-policies=\"")
            + meta + "\"/><allow-access-from domain=\"" + domain + "\"/></cross-domain-policy>";
    };
    QTest::newRow("game movie, no policy") << true << QByteArray() << true << "";
    QTest::newRow("web movie, no policy") << false << QByteArray() << false << "";
    QTest::newRow("web movie, policy grants its site") << false << policy("127.0.0.1") << true << "";
    QTest::newRow("web movie, policy grants every site") << false << policy("*") << true << "";
    QTest::newRow("web movie, policy grants others") << false << policy("*.example.org") << false << "";
    QTest::newRow("web movie, policy files forbidden") << false << policy("*", "none") << false << "";
    // The header forbids what the file's own words grant.
    QTest::newRow("web movie, header forbids policy files") << false << policy("127.0.0.1") << false << "none";
    QTest::newRow("web movie, header forbids this one") << false << policy("127.0.0.1") << false << "none-this-response";
}

// A web page's movie reads and posts to another server only where that
// server's policy file grants the page's site; the game's movies always.
void TestMovies::crossDomainData()
{
    QFETCH(bool, local);
    QFETCH(QByteArray, policy);
    QFETCH(bool, answered);
    QFETCH(QString, header);
    const QString policyFile = TestEnv::root() + "/other/crossdomain.xml";
    QFile::remove(policyFile);
    for (const char *value : {"none", "none-this-response"})
        QFile::remove(TestEnv::root() + "/other/permitted-" + value);
    if (!header.isEmpty())
        TestEnv::writeFile(TestEnv::root() + "/other/permitted-" + header, "");
    if (!policy.isEmpty())
        TestEnv::writeFile(policyFile, policy);
    server->clearAccessLog();
    const QByteArray movie = MovieFiles::variables(other->rootUrl(), server->rootUrl());
    if (local) {
        TestEnv::writeFile("content/variables.swf", movie);
        game->load(content("variables.swf"));
    } else {
        TestEnv::writeFile(TestEnv::root() + "/site/movies/variables.swf", movie);
        window->openInNewTab(server->rootUrl() + "movies/variables.swf");
    }
    const QString ok = answered ? "true" : "false";
    QTRY_VERIFY_WITH_TIMEOUT(server->queriesOf("/report").size() == 2, 20000);
    QStringList told = server->queriesOf("/report");
    told.sort();
    QCOMPARE(told, QStringList({"load-" + ok, "post-" + ok}));
}

TARVEN_TEST_MAIN(TestMovies)
#include "tst_movies.moc"
