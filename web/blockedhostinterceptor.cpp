#include "web/blockedhostinterceptor.h"

#include "web/mywebpage.h"

BlockedHostInterceptor::BlockedHostInterceptor(QObject *parent)
    : QWebEngineUrlRequestInterceptor(parent)
{
}

void BlockedHostInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (MyWebPage::isBlocked(info.requestUrl().toString()))
        info.block(true);
}
