#ifndef REQUESTFILTER_H
#define REQUESTFILTER_H

#include <QWebEngineUrlRequestInterceptor>

// Sees every request a page makes, whatever makes it: pages, frames, images,
// scripts, styles, fetch and XHR, beacons, movies' loads. Drops those to the
// blocked host (navigations to it are refused by the page's policy as well)
// and local files outside the content folder.
class RequestFilter : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
public:
    explicit RequestFilter(QObject *parent = nullptr);

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
};

#endif // REQUESTFILTER_H
