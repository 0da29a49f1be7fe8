#ifndef BLOCKEDHOSTINTERCEPTOR_H
#define BLOCKEDHOSTINTERCEPTOR_H

#include <QWebEngineUrlRequestInterceptor>

// Drops every request to the blocked host, whatever asks for it: pages,
// frames, images, scripts, styles, fetch and XHR, beacons. Navigations to it
// are refused by the page's policy as well; this catches the rest.
class BlockedHostInterceptor : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
public:
    explicit BlockedHostInterceptor(QObject *parent = nullptr);

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
};

#endif // BLOCKEDHOSTINTERCEPTOR_H
