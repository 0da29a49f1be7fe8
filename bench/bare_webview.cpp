// The reference for the start-up benchmark: a bare QApplication with a QWebView
// showing an empty page. Says "loadFinished" on standard error when it has.
#include <QApplication>
#include <QWebView>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWebView view;
    QObject::connect(&view, &QWebView::loadFinished, [] { std::fprintf(stderr, "loadFinished\n"); });
    view.resize(1000, 900);
    view.show();
    view.load(QUrl("about:blank"));
    return app.exec();
}
