// Views hosted without a window: what a tab's kind makes of its page's
// navigation, and the labels that flow up to the host.
#include "app/appconfig.h"
#include "testenv.h"
#include "web/mywebview.h"
#include "web/tabhost.h"
#include "webtest.h"

#include <QApplication>

namespace {
// Records what the views ask; opens nothing.
class RecordingHost : public TabHost
{
public:
    MyWebView *openInNewTab(const QString &url) override
    {
        opened << url;
        return nullptr;
    }
    MyWebView *openWindowTab(MyWebView *) override { return nullptr; }
    void setTabLabel(MyWebView *, const QString &label) override { labels << label; }
    bool isShown(const MyWebView *) const override { return true; }
    void showPageFullScreen(bool, MyWebView *) override {}
    bool isPageFullScreen() const override { return false; }
    bool openOnDesktop(const QUrl &) override { return false; }

    QStringList opened;
    QStringList labels;
};
} // namespace

class TestTabHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void kindDecidesPageNavigation_data();
    void kindDecidesPageNavigation();
};

void TestTabHost::initTestCase()
{
    // An internal site on a closed loopback port: nothing answers, nothing leaves the machine.
    AppConfig::instance()->intbrowserKeys = QStringList({"/guild/"});
    TestEnv::writeFile("content/page.html", "<html><head><title>Page</title></head><body></body></html>");
}

void TestTabHost::kindDecidesPageNavigation_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("newTab"); // the host is asked for a site tab, the page stays
    // The game is never replaced: what its page starts toward an internal
    // site opens a tab. Any other tab's page moves on in place.
    QTest::newRow("game") << int(TabKind::Game) << true;
    QTest::newRow("site") << int(TabKind::Site) << false;
    QTest::newRow("window") << int(TabKind::Window) << false;
    QTest::newRow("battle") << int(TabKind::Battle) << false;
}

void TestTabHost::kindDecidesPageNavigation()
{
    QFETCH(int, kind);
    QFETCH(bool, newTab);
    RecordingHost host;
    MyWebView view(nullptr, nullptr, TabKind(kind));
    const QUrl page = QUrl::fromLocalFile(QDir::currentPath() + "/content/page.html");
    QVERIFY(WebTest::load(&view, page));
    QTRY_VERIFY(host.labels.contains("Page")); // the label flows up to the host
    const QString target = "http://127.0.0.1:9/guild/news.html";
    WebTest::runJs(&view, "location.href = '" + target + "'");
    if (newTab) {
        QTRY_COMPARE(host.opened, QStringList({target}));
        QCOMPARE(view.url(), page);
    } else {
        QTRY_COMPARE(view.url(), QUrl(target));
        QVERIFY(host.opened.isEmpty());
    }
}

TARVEN_TEST_MAIN(TestTabHost)
#include "tst_tabhost.moc"
