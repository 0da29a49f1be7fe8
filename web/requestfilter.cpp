#include "web/requestfilter.h"

#include "app/contenttrust.h"

#include <QDebug>

RequestFilter::RequestFilter(QObject *parent)
    : QWebEngineUrlRequestInterceptor(parent)
{
}

void RequestFilter::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const QUrl url = info.requestUrl();
    if (ContentTrust::isBlocked(url.toString())) {
        info.block(true);
    } else if (url.isLocalFile() && !ContentTrust::isContentFile(url.toLocalFile())) {
        qDebug() << "Blocked local file: " << url;
        info.block(true);
    }
}
