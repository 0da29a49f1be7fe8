// Logins survive: cookies set by a real server (nginx on loopback) are written
// when their tab closes and sent again by the next tab and after a restart.
#include "app/appconfig.h"
#include "desktopcatcher.h"
#include "nginxserver.h"
#include "testenv.h"
#include "web/mytabwidget.h"
#include "web/mywebview.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QSettings>
#include <QWebFrame>

class TestCookiePersistence : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginSurvivesTabAndRestart();
    void popupWindowCookiesAreNotKept();

private:
    QString cookiesOfLastRequest() const;
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
        add_header Set-Cookie "remember=r1; Expires=Wed, 01 Jan 2031 00:00:00 GMT; Path=/";
        add_header Set-Cookie "secret=h1; HttpOnly; Path=/";
        add_header Set-Cookie "tls=x1; Secure; Path=/";
        add_header Set-Cookie "scoped=p1; Path=/guild/board/";
        return 200 "<html><head><title>Logged in</title></head></html>";
    }
    location = /guild/popup {
        add_header Set-Cookie "popup=w1; Path=/";
        return 200 "<html><head><title>Popup</title></head></html>";
    }
    location /guild/ {
        return 200 "<html><head><title>Guild</title></head><body><script>function pop() { window.open('/guild/popup'); }</script></body></html>";
    }
)";

void TestCookiePersistence::initTestCase()
{
    server = new NginxServer(TestEnv::root() + "/site", QString::fromLatin1(serverConfig));
    QDir().mkpath(TestEnv::root() + "/site");
    QVERIFY(server->start());
    AppConfig::instance()->intbrowserKeys = QStringList({"/guild/"});
    window = new MainWindow;
    window->appendTab(new MyWebView, "game");
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

QString TestCookiePersistence::cookiesOfLastRequest() const
{
    const QList<QByteArray> lines = server->accessLog().trimmed().split('\n');
    return QString::fromLatin1(lines.last());
}

void TestCookiePersistence::loginSurvivesTabAndRestart()
{
    window->openInNewTab(server->rootUrl() + "guild/login");
    QTRY_COMPARE(view(1)->title(), QString("Logged in"));
    window->tabCloseRequested(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QSettings stored("cookies/0.1", QSettings::IniFormat);
    QStringList keys = stored.allKeys();
    keys.sort();
    QCOMPARE(keys, QStringList({"remember", "scoped", "secret", "session", "tls"}));
    QVERIFY(stored.value("secret").toByteArray().contains("HttpOnly"));
    QVERIFY(stored.value("remember").toByteArray().contains("expires="));

    // The next tab's very first request carries what was stored: not the Secure
    // cookie over plain HTTP, not the one for another path.
    server->clearAccessLog();
    window->openInNewTab(server->rootUrl() + "guild/news");
    QTRY_COMPARE(view(1)->title(), QString("Guild"));
    QString sent = cookiesOfLastRequest();
    QVERIFY2(sent.contains("GET /guild/news "), qPrintable(sent));
    QVERIFY(sent.contains("session=s1") && sent.contains("remember=r1") && sent.contains("secret=h1"));
    QVERIFY(!sent.contains("tls=x1") && !sent.contains("scoped=p1"));

    // The next start: a new window with new jars.
    closeWindow();
    window = new MainWindow;
    window->appendTab(new MyWebView, "game");
    server->clearAccessLog();
    window->openInNewTab(server->rootUrl() + "guild/board/topic");
    QTRY_COMPARE(view(1)->title(), QString("Guild"));
    sent = cookiesOfLastRequest();
    QVERIFY2(sent.contains("GET /guild/board/topic "), qPrintable(sent));
    QVERIFY(sent.contains("session=s1") && sent.contains("scoped=p1"));
}

void TestCookiePersistence::popupWindowCookiesAreNotKept()
{
    window->doCloseTabs();
    window->openInNewTab(server->rootUrl() + "guild/home");
    QTRY_COMPARE(view(1)->title(), QString("Guild"));
    view(1)->page()->mainFrame()->evaluateJavaScript("pop()");
    QTRY_COMPARE(window->tabWidget()->count(), 3);
    QTRY_COMPARE(view(2)->title(), QString("Popup"));
    window->doCloseTabs();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QSettings stored("cookies/0.1", QSettings::IniFormat);
    QVERIFY(stored.contains("session"));
    QVERIFY(!stored.contains("popup"));
}

TARVEN_TEST_MAIN(TestCookiePersistence)
#include "tst_cookiepersistence.moc"
