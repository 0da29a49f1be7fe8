#ifndef PAGEBRIDGE_H
#define PAGEBRIDGE_H

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <utility>

// The client's scripts in its pages (web/scripts/) and what they tell it: the
// one place for the protocol between the two sides. Every script is built
// here, with the names both sides use filled in from this side (the client's
// schemes and paths, the net bridge's query keys, the Flash types, Ruffle's
// elements). Each page's reports carry its own secret token and a verb, from
// a world the page cannot reach; they come back here as signals.
class PageBridge : public QObject
{
    Q_OBJECT
public:
    // Gives the page its own scripts: the reports of the player's clicks and
    // of movies playing, the content frames' window announcements, and the
    // way to the game's socket servers.
    explicit PageBridge(QWebEnginePage *page);

    // The page that plays the movie over the whole view. The content folder's
    // movies (the game, the battle viewer) may fill the screen after a click.
    // `loading` is shown until the movie covers it.
    static QString playerPage(const QUrl &movie, const QString &loading = QString());

    // A message of the page's console: true when it was one of the client's
    // own, which the page never sees answered.
    bool take(QWebEnginePage::JavaScriptConsoleMessageLevel level, const QString &message, const QString &sourceId);

signals:
    // The player activated a link or submit button toward the URL.
    void clicked(const QUrl &url);
    // A movie of the page has drawn its first frame, in the page's frame at `frame`.
    void moviePlaying(const QUrl &movie, const QUrl &frame);
    // A content frame of the page, at `frame`, is about to open a window.
    void windowAnnounced(const QUrl &url, const QUrl &frame);
    // Ruffle could not play a movie of the page, in its words.
    void movieError(const QString &text);

private:
    // What every page gets: a Flash Player among the browser's plug-ins, and
    // the script that finds a page's movies and plays them.
    static QList<QWebEngineScript> movieScripts();
    // "<frame's URL> <URL>"
    static std::pair<QUrl, QUrl> frameAndUrl(const QString &text);

    QString token;       // the reports from the page's isolated world
    QString windowToken; // the content frames' windows, from their own world
};

#endif // PAGEBRIDGE_H
