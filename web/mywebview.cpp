#include "web/mywebview.h"

#include "web/mywebpage.h"
#include "window/mainwindow.h"

#include <QWebSettings>

MyWebView::MyWebView(QWidget *parent)
    : QWebView(parent)
{
    setPage(new MyWebPage(this));
    setAttribute(Qt::WA_DeleteOnClose);

    QWebSettings *settings = page()->settings();
    settings->setAttribute(QWebSettings::PluginsEnabled, true);
    settings->setAttribute(QWebSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebSettings::JavascriptCanOpenWindows, true);

    connect(this, &QWebView::loadFinished, this, &MyWebView::onLoadFinished);
    connect(this, &QWebView::titleChanged, this, &MyWebView::onTitleChanged);
    connect(this, &QWebView::statusBarMessage, this, &MyWebView::onStatusBarMessage);
}

MyWebView::~MyWebView()
{
    // The base view still reports title and load changes while it tears its
    // page down; by then this part of the object is gone.
    disconnect(this, nullptr, this, nullptr);
}

QWebView *MyWebView::createWindow(QWebPage::WebWindowType)
{
    auto *view = new MyWebView;
    theMainWindow->appendTab(view, QString());
    view->show();
    return view;
}

QString MyWebView::labelForUrl(const QString &url)
{
    if (url.startsWith(QLatin1String("loader.")) || url.startsWith(QLatin1String("main.")))
        return QStringLiteral("TarvenHOLM");
    if (url.contains(QLatin1String("/battle."))) {
        const int query = url.indexOf(QLatin1Char('?'));
        return QStringLiteral("Battle : %1").arg(query < 0 ? url : url.mid(query + 1));
    }
    if (url.contains(QLatin1String("/hero.")))
        return QStringLiteral("Hero Info");
    return QString();
}

QString MyWebView::labelForTitle(const QString &title, const QString &url)
{
    if (title.isEmpty())
        return url;
    if (title.size() > 50)
        return title.left(50) + QStringLiteral("...");
    return title;
}

void MyWebView::onLoadFinished(bool)
{
    const QString label = labelForUrl(url().toString());
    if (!label.isNull())
        theMainWindow->setTabLabel(this, label);
}

void MyWebView::onTitleChanged(QString title)
{
    theMainWindow->setTabLabel(this, labelForTitle(title, url().toString()));
}

void MyWebView::onStatusBarMessage(QString)
{
}
