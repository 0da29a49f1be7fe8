#ifndef MYWEBPAGE_H
#define MYWEBPAGE_H

#include <QWebPage>

// A page that routes every navigation: forum and partner-site links open in a
// tab of their own, links to the outside go to the desktop's browser or mail
// program, one tracking host is dropped, the rest load in place.
class MyWebPage : public QWebPage
{
    Q_OBJECT
public:
    explicit MyWebPage(QObject *parent = nullptr);

    // Host of the game's forum without its top-level domain; part of the default forum URL.
    static const char *const forumHostFragment;
    // An outside statistics counter whose requests are never made.
    static const char *const blockedHostFragment;

protected:
    bool acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request,
                                 NavigationType type) override;
};

#endif // MYWEBPAGE_H
