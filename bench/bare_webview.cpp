// The reference for the start-up benchmarks: a bare QApplication with a
// QWebEngineView showing the page named on the command line (about:blank
// without one). The page says when it has loaded through the console.
#include <QApplication>
#include <QDir>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWebEngineView view;
    view.resize(1000, 900);
    view.show();
    view.load(QUrl::fromUserInput(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("about:blank"),
                                  QDir::currentPath()));
    return app.exec();
}
