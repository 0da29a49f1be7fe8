// Opens and closes 50 tabs on a local page: time per tab and the process's
// memory with one tab, with 50, and after closing them again.
#include "benchutil.h"
#include "testenv.h"
#include "web/mytabwidget.h"
#include "web/mywebview.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QWebView>

#include <cstdio>

static void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

int main(int argc, char *argv[])
{
    TestEnv::init("bench_tabs");
    QApplication app(argc, argv);
    const int tabs = 50;
    const QString page = TestEnv::writeFile(TestEnv::root() + "/page.html",
        "<html><head><title>Page</title></head><body><h1>Guild news</h1><p>Lorem ipsum dolor sit amet.</p></body></html>");
    const QString url = QUrl::fromLocalFile(page).toString();

    MainWindow window;
    window.resize(1000, 900);
    window.show();
    auto *game = new MyWebView(window.tabWidget());
    window.appendTab(game, "game");
    QSignalSpy gameLoaded(game, &QWebView::loadFinished);
    game->load(QUrl(url));
    gameLoaded.wait(5000);
    settle();
    const double oneTab = rssMiB();

    // Reference: the same page loaded into a bare, shown QWebView, the same number of times.
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < tabs; ++i) {
        auto *bare = new QWebView;
        bare->resize(1000, 900);
        bare->show();
        QSignalSpy loaded(bare, &QWebView::loadFinished);
        bare->load(QUrl(url));
        loaded.wait(5000);
        delete bare;
    }
    const double bareMs = timer.nsecsElapsed() / 1e6 / tabs;
    settle();

    timer.restart();
    for (int i = 0; i < tabs; ++i) {
        window.openInNewTab(url);
        auto *view = qobject_cast<QWebView *>(window.tabWidget()->widget(window.tabWidget()->count() - 1));
        QSignalSpy loaded(view, &QWebView::loadFinished);
        loaded.wait(5000);
    }
    const double openMs = timer.nsecsElapsed() / 1e6 / tabs;
    settle();
    const double fiftyTabs = rssMiB();

    timer.restart();
    window.doCloseTabs();
    settle();
    const double closeMs = timer.nsecsElapsed() / 1e6 / tabs;
    const double afterClose = rssMiB();

    std::printf("tabs: %d on a local page\n", tabs);
    std::printf("open+load per tab: %.2f ms (bare QWebView load: %.2f ms, ratio %.2f)\n", openMs, bareMs,
                openMs / bareMs);
    std::printf("close per tab (cookies saved): %.2f ms\n", closeMs);
    std::printf("RSS one tab: %.1f MiB, %d tabs: %.1f MiB (%.2f MiB per tab), after closing: %.1f MiB\n", oneTab,
                tabs + 1, fiftyTabs, (fiftyTabs - oneTab) / tabs, afterClose);
    return 0;
}
