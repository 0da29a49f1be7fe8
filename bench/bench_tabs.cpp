// Tabs: the time to open and load one against a bare QWebEngineView loading the
// same page; the memory of the whole process tree (the web engine's renderer
// processes included) with 1 tab, with 11, and after closing 10 of them; what a
// forum tab without movies adds beside a game movie; and that closing 50 tabs
// leaves no view, page or profile alive.
#include "benchutil.h"
#include "moviefiles.h"
#include "nginxserver.h"
#include "testenv.h"
#include "web/cookiejar.h"
#include "web/mytabwidget.h"
#include "web/mywebview.h"
#include "web/tabprofile.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include <cstdio>

static void settle(int ms = 500)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(ms);
}

static bool openTab(MainWindow &window, const QString &url)
{
    window.openInNewTab(url);
    auto *view = qobject_cast<QWebEngineView *>(window.tabWidget()->widget(window.tabWidget()->count() - 1));
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    return loaded.wait(10000);
}

// Renderer processes go some time after their last page.
static int settleProcesses(int expected)
{
    QElapsedTimer timer;
    timer.start();
    int count = processTree(QCoreApplication::applicationPid()).size();
    while (count > expected && timer.elapsed() < 10000) {
        settle(100);
        count = processTree(QCoreApplication::applicationPid()).size();
    }
    return count;
}

int main(int argc, char *argv[])
{
    TestEnv::init("bench_tabs");
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const qint64 self = QCoreApplication::applicationPid();
    // Local pages come from the content folder only.
    const QString page = TestEnv::writeFile("content/page.html",
        "<html><head><title>Page</title></head><body><h1>Guild news</h1><p>Lorem ipsum dolor sit amet.</p></body></html>");
    const QString url = QUrl::fromLocalFile(page).toString();

    MainWindow window;
    window.resize(1000, 900);
    window.show();
    auto *game = new MyWebView(window.tabWidget());
    window.appendTab(game, "game");
    QSignalSpy gameLoaded(game, &QWebEngineView::loadFinished);
    game->load(QUrl(url));
    gameLoaded.wait(10000);
    settle(1000);
    const int baseProcesses = processTree(self).size();
    const double oneTab = treePssMiB(self);

    for (int i = 0; i < 10; ++i)
        openTab(window, url);
    settle(1000);
    const int elevenProcesses = processTree(self).size();
    const double elevenTabs = treePssMiB(self);
    window.doCloseTabs();
    const int afterProcesses = settleProcesses(baseProcesses);
    settle(1000);
    const double afterClose = treePssMiB(self);

    // A forum tab without movies beside the game's movie.
    TestEnv::writeFile("content/loader.swf", MovieFiles::colours(QColor(43, 10, 16), QColor(232, 192, 96)));
    TestEnv::writeFile(TestEnv::root() + "/site/forum.tarvenholm/index.html",
                       "<html><head><title>Forum</title></head><body><h1>Forum</h1><p>Topics</p></body></html>");
    NginxServer forum(TestEnv::root() + "/site");
    forum.start();
    QSignalSpy movieLoaded(game, &QWebEngineView::loadFinished);
    game->load(QUrl::fromLocalFile(QDir::currentPath() + "/content/loader.swf"));
    movieLoaded.wait(10000);
    settle(3000);
    const double withMovie = treePssMiB(self);
    openTab(window, forum.rootUrl() + "forum.tarvenholm/index.html");
    settle(1000);
    const double withForum = treePssMiB(self);
    window.doCloseTabs();
    settleProcesses(baseProcesses);


    // Reference: the same page loaded into a bare, shown QWebEngineView.
    const int rounds = 50;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i) {
        QWebEngineView bare;
        bare.resize(1000, 900);
        bare.show();
        QSignalSpy loaded(&bare, &QWebEngineView::loadFinished);
        bare.load(QUrl(url));
        loaded.wait(10000);
    }
    const double bareMs = timer.nsecsElapsed() / 1e6 / rounds;
    settle();

    struct Tab { QPointer<QObject> view, page, profile, jar; };
    QList<Tab> opened;
    timer.restart();
    for (int i = 0; i < rounds; ++i) {
        openTab(window, url);
        auto *view = qobject_cast<MyWebView *>(window.tabWidget()->widget(window.tabWidget()->count() - 1));
        opened << Tab{view, view->page(), view->tabProfile(), view->tabProfile()->cookieJar()};
    }
    const double openMs = timer.nsecsElapsed() / 1e6 / rounds;
    timer.restart();
    window.doCloseTabs();
    const double closeMs = timer.nsecsElapsed() / 1e6 / rounds;
    settle();
    int alive = 0;
    for (const Tab &tab : opened)
        alive += !tab.view.isNull() + !tab.page.isNull() + !tab.profile.isNull() + !tab.jar.isNull();

    std::printf("tabs on a local page, offscreen platform\n");
    std::printf("  open+load per tab: %.1f ms (bare QWebEngineView load: %.1f ms, ratio %.2f)\n", openMs, bareMs,
                openMs / bareMs);
    std::printf("  close per tab (cookies saved): %.2f ms\n", closeMs);
    std::printf("  PSS of the process tree: 1 tab %.1f MiB (%d processes), 11 tabs %.1f MiB (%d processes,"
                " %.1f MiB a tab), after closing 10: %.1f MiB (%d processes)\n",
                oneTab, baseProcesses, elevenTabs, elevenProcesses, (elevenTabs - oneTab) / 10, afterClose,
                afterProcesses);
    std::printf("  PSS with the game movie playing: %.1f MiB; with a forum tab beside it: %.1f MiB (the forum tab %.1f MiB)\n",
                withMovie, withForum, withForum - withMovie);
    std::printf("  after closing %d tabs: %d of their views, pages, profiles and jars alive\n", rounds, alive);
    return alive == 0 ? 0 : 1;
}
