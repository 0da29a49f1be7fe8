// Logins survive: cookies set by a real server (nginx on loopback) are written
// when their tab closes and sent again by the next tab and after a restart.
#include "app/appconfig.h"
#include "desktopcatcher.h"
#include "nginxserver.h"
#include "testenv.h"
#include "web/mytabwidget.h"
#include "web/mywebview.h"
#include "web/tabprofile.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QSettings>
#include "webtest.h"
#include "cookiefiles.h"

class TestCookiePersistence : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginSurvivesTabAndRestart();
    void popupCookiesFollowTheirOpener();
    void logoutEndsTheSession();
    void lastTabClosedDecides_data();
    void lastTabClosedDecides();
    void forumLoginKeepsItsData_data();
    void forumLoginKeepsItsData();

private:
    QString cookiesSentFor(const QString &path) const;
    void openWindow();
    void closeWindow();
    MyWebView *view(int i) const { return qobject_cast<MyWebView *>(window->tabWidget()->widget(i)); }

    NginxServer *server = nullptr;
    MainWindow *window = nullptr;
    DesktopCatcher desktop;
};

static const char serverConfig[] = R"(
    default_type text/html;
    location = /guild/login {
        add_header Set-Cookie "session=s1; Path=/";
        add_header Set-Cookie "remember=r1; Max-Age=31536000; Path=/";
        add_header Set-Cookie "secret=h1; HttpOnly; Path=/";
        add_header Set-Cookie "tls=x1; Secure; Path=/";
        add_header Set-Cookie "scoped=p1; Path=/guild/board/";
        add_header Set-Cookie "twin=site; Path=/";
        add_header Set-Cookie "twin=guild; Path=/guild/";
        return 200 "<html><head><title>Logged in</title></head></html>";
    }
    location = /guild/relogin {
        add_header Set-Cookie "session=s2; Path=/";
        return 200 "<html><head><title>Logged in again</title></head></html>";
    }
    location = /popup {
        add_header Set-Cookie "popup=w1; Path=/";
        return 200 "<html><head><title>Popup</title></head></html>";
    }
    location = /guild/logout {
        add_header Set-Cookie "session=; Max-Age=0; Path=/";
        return 200 "<html><head><title>Logged out</title></head></html>";
    }
    location = /forum.tarvenholm/login {
        add_header Set-Cookie "forum_sid=f1; Path=/";
        return 200 "<html><head><title>Welcome</title></head></html>";
    }
    location = /forum.tarvenholm/index.html {
        return 200 "<html><head><title>Forum</title></head><body><form method='post' action='login'><input name='user' value='hero'><input type='submit' id='enter' value='Log in'></form></body></html>";
    }
    location /guild/ {
        return 200 "<html><head><title>Guild</title></head><body><script>function pop() { window.open('/popup'); }</script><button id='pop' onclick='pop()' style='width:200px;height:30px'>pop</button></body></html>";
    }
)";

void TestCookiePersistence::initTestCase()
{
    server = new NginxServer(TestEnv::root() + "/site", QString::fromLatin1(serverConfig));
    QDir().mkpath(TestEnv::root() + "/site");
    QVERIFY(server->start());
    AppConfig::instance()->intbrowserKeys = QStringList({"/guild/"});
    openWindow();
}

// A start of the client: a window with its game tab, shown (pages take
// clicks once shown).
void TestCookiePersistence::openWindow()
{
    window = new MainWindow;
    window->openGameTab();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestCookiePersistence::cleanupTestCase()
{
    closeWindow();
    delete server;
}

void TestCookiePersistence::closeWindow()
{
    delete window;
    window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The access log's line of the request for the path.
QString TestCookiePersistence::cookiesSentFor(const QString &path) const
{
    const QList<QByteArray> lines = server->accessLog().trimmed().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("\"GET " + path.toLatin1() + " "))
            return QString::fromLatin1(line);
    }
    return QString();
}

void TestCookiePersistence::loginSurvivesTabAndRestart()
{
    window->openInNewTab(server->rootUrl() + "guild/login");
    QTRY_COMPARE(view(1)->title(), QString("Logged in"));
    window->tabCloseRequested(1);
    // The jar writes its file when the tab's profile goes, after the view.
    // Two cookies of one name (for "/" and "/guild/") are two entries.
    QTRY_COMPARE(storedNames("cookies/127.0.0.1"), QStringList({"remember", "scoped", "secret", "session", "tls", "twin", "twin"}));
    QVERIFY(storedValue("cookies/127.0.0.1", "secret").contains("HttpOnly"));
    QVERIFY(storedValue("cookies/127.0.0.1", "remember").contains("expires="));
    QVERIFY(storedValue("cookies/127.0.0.1", "tls").contains("secure"));

    // The next tab's very first request carries what was stored, but not the
    // one for another path. (The engine counts loopback as a secure origin, so
    // the Secure cookie goes along here.)
    server->clearAccessLog();
    window->openInNewTab(server->rootUrl() + "guild/news");
    QTRY_COMPARE(view(1)->title(), QString("Guild"));
    QString sent = cookiesSentFor("/guild/news");
    QVERIFY2(server->requestedPaths().first() == "/guild/news", server->accessLog().constData());
    QVERIFY(sent.contains("session=s1") && sent.contains("remember=r1") && sent.contains("secret=h1"));
    QVERIFY(!sent.contains("scoped=p1"));

    // The next start: a new window with new jars.
    closeWindow();
    openWindow();
    server->clearAccessLog();
    window->openInNewTab(server->rootUrl() + "guild/board/topic");
    QTRY_COMPARE(view(1)->title(), QString("Guild"));
    sent = cookiesSentFor("/guild/board/topic");
    QVERIFY2(server->requestedPaths().first() == "/guild/board/topic", server->accessLog().constData());
    QVERIFY(sent.contains("session=s1") && sent.contains("scoped=p1"));
    QVERIFY2(sent.contains("twin=guild") && sent.contains("twin=site"), qPrintable(sent));
}

// A window a page opens shares its opener's profile (the engine allows no
// other): its cookies are the opener's, kept on disk with a forum or partner
// tab, in memory only with the game tab.
void TestCookiePersistence::popupCookiesFollowTheirOpener()
{
    AppConfig::instance()->extbrowser = QStringList({"mailto:"}); // the pop-up's http: page stays inside
    window->doCloseTabs();
    window->openInNewTab(server->rootUrl() + "guild/home");
    QTRY_COMPARE(view(1)->title(), QString("Guild"));
    QVERIFY(WebTest::click(view(1), "#pop")); // a web page opens windows on the player's click
    QTRY_COMPARE(window->tabWidget()->count(), 3);
    QTRY_COMPARE(view(2)->title(), QString("Popup"));
    QCOMPARE(view(2)->tabProfile(), view(1)->tabProfile());

    // The opener closes first: the cookies are written when its last window goes.
    window->tabCloseRequested(1);
    QVERIFY(!storedNames("cookies/127.0.0.1").contains("popup"));
    window->doCloseTabs();
    QTRY_VERIFY(storedNames("cookies/127.0.0.1").contains("popup"));

    // From the game tab nothing reaches the disk.
    QFile::remove("cookies/127.0.0.1");
    QVERIFY(WebTest::load(view(0), QUrl(server->rootUrl() + "guild/game")));
    QVERIFY(WebTest::click(view(0), "#pop"));
    QTRY_COMPARE(window->tabWidget()->count(), 2);
    QTRY_COMPARE(view(1)->title(), QString("Popup"));
    QPointer<MyWebView> popup = view(1); // it shares the game tab's store, which keeps nothing
    window->doCloseTabs();
    QTRY_VERIFY(popup.isNull());
    QVERIFY(!QFile::exists("cookies/127.0.0.1"));
}

// A cookie the server deletes (a logout) leaves the store: the session stays ended.
void TestCookiePersistence::logoutEndsTheSession()
{
    AppConfig::instance()->extbrowser = QStringList({"mailto:"});
    window->doCloseTabs();
    QFile::remove("cookies/127.0.0.1");
    // The session also lies in a file of the earlier naming (the last two labels).
    TestEnv::writeFile("cookies/0.1", "[General]\nsession=\"@ByteArray(session=old; domain=127.0.0.1; path=/)\"\n");
    window->openInNewTab(server->rootUrl() + "guild/login");
    QTRY_COMPARE(view(1)->title(), QString("Logged in"));
    QVERIFY(WebTest::load(view(1), QUrl(server->rootUrl() + "guild/logout")));
    QTRY_COMPARE(view(1)->title(), QString("Logged out"));
    QPointer<TabProfile> profile = view(1)->tabProfile();
    window->doCloseTabs();
    QTRY_VERIFY(profile.isNull());
    QVERIFY(storedNames("cookies/127.0.0.1").contains("remember"));
    QVERIFY(!storedNames("cookies/127.0.0.1").contains("session"));
    QVERIFY(!storedNames("cookies/0.1").contains("session"));

    server->clearAccessLog();
    window->openInNewTab(server->rootUrl() + "guild/news");
    QTRY_COMPARE(view(1)->title(), QString("Guild"));
    const QString sent = cookiesSentFor("/guild/news");
    QVERIFY2(sent.contains("remember=r1") && !sent.contains("session="), qPrintable(sent));
}

void TestCookiePersistence::lastTabClosedDecides_data()
{
    QTest::addColumn<int>("closedLast"); // 1: the tab logged in first; 2: the one logged in again
    QTest::newRow("the first tab closed last") << 1;
    QTest::newRow("the second tab closed last") << 2;
}

// Two tabs of one site each keep their own store: the one that goes last
// writes the site's file, and its value of a shared cookie is what the next
// start sends.
void TestCookiePersistence::lastTabClosedDecides()
{
    QFETCH(int, closedLast);
    window->doCloseTabs();
    QFile::remove("cookies/127.0.0.1");
    window->openInNewTab(server->rootUrl() + "guild/login");
    QTRY_COMPARE(view(1)->title(), QString("Logged in"));
    window->openInNewTab(server->rootUrl() + "guild/relogin");
    QTRY_COMPARE(view(2)->title(), QString("Logged in again"));
    QVERIFY(view(1)->tabProfile() != view(2)->tabProfile()); // two stores
    QPointer<TabProfile> last = view(closedLast)->tabProfile();
    window->tabCloseRequested(closedLast == 1 ? 2 : 1);
    window->tabCloseRequested(1);
    QTRY_VERIFY(last.isNull());
    const QByteArray expected = closedLast == 1 ? "session=s1" : "session=s2";
    QVERIFY2(storedValue("cookies/127.0.0.1", "session").startsWith(expected),
             storedValue("cookies/127.0.0.1", "session").constData());
}

void TestCookiePersistence::forumLoginKeepsItsData_data()
{
    QTest::addColumn<bool>("fromGameTab");
    QTest::newRow("forum tab") << false;
    QTest::newRow("game tab") << true;
}

// A login form sent from the forum's tab reaches the forum with its data and
// logs in there; sent from the game tab it opens the forum in a tab of its own.
void TestCookiePersistence::forumLoginKeepsItsData()
{
    QFETCH(bool, fromGameTab);
    window->doCloseTabs();
    const QUrl forum(server->rootUrl() + "forum.tarvenholm/index.html");
    MyWebView *page = view(0);
    if (fromGameTab) {
        QVERIFY(WebTest::load(page, forum));
    } else {
        window->openInNewTab(forum.toString());
        page = view(1);
        QTRY_COMPARE(page->title(), QString("Forum"));
    }
    server->clearAccessLog();
    QVERIFY(WebTest::click(page, "#enter"));
    if (fromGameTab) {
        QTRY_COMPARE(window->tabWidget()->count(), 2);
        QTRY_COMPARE(view(1)->title(), QString("Welcome"));
        QTRY_VERIFY(server->accessLog().contains("\"GET /forum.tarvenholm/login HTTP/1.1\""));
        QCOMPARE(view(0)->title(), QString("Forum"));
    } else {
        QTRY_COMPARE(page->title(), QString("Welcome"));
        QCOMPARE(window->tabWidget()->count(), 2);
        // The form's data went along: "user=hero", 9 bytes.
        QVERIFY2(server->accessLog().contains("\"POST /forum.tarvenholm/login HTTP/1.1\" 200"), server->accessLog().constData());
        QVERIFY(server->accessLog().contains("\"9\""));
        window->doCloseTabs();
        QTRY_VERIFY(storedNames("cookies/127.0.0.1").contains("forum_sid"));
    }
}

TARVEN_TEST_MAIN(TestCookiePersistence)
#include "tst_cookiepersistence.moc"
