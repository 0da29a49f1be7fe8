#include "web/mywebpage.h"

#include "app/appconfig.h"
#include "window/mainwindow.h"

#include <QDebug>
#include <QDesktopServices>
#include <QNetworkRequest>

const char *const MyWebPage::forumHostFragment = "forum.tarvenholm";
const char *const MyWebPage::blockedHostFragment = "counter.yadro.ru";

MyWebPage::MyWebPage(QObject *parent)
    : QWebPage(parent)
{
    qDebug() << "MyWebPage ctor";
}

static bool containsAny(const QString &text, const QStringList &fragments)
{
    for (const QString &fragment : fragments) {
        if (text.contains(fragment))
            return true;
    }
    return false;
}

bool MyWebPage::acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request,
                                        NavigationType type)
{
    const bool byDefault = QWebPage::acceptNavigationRequest(frame, request, type);
    qDebug() << "acceptNavigationRequest: " << request.url() << " --- " << int(type);

    const QString url = request.url().toString();
    const AppConfig *config = AppConfig::instance();
    if (url.contains(QLatin1String(blockedHostFragment)))
        return false;

    if (url.contains(QLatin1String(forumHostFragment)) || containsAny(url, config->intbrowserKeys)) {
        if (type == NavigationTypeOther)
            return true;
        theMainWindow->openInNewTab(url);
        return false;
    }
    if (containsAny(url, config->extbrowser)) {
        qDebug() << "launch ext browser";
        QDesktopServices::openUrl(request.url());
        return false;
    }
    return byDefault;
}
