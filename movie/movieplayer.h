#ifndef MOVIEPLAYER_H
#define MOVIEPLAYER_H

#include <QList>
#include <QString>
#include <QUrl>

class QWebEnginePage;
class QWebEngineScript;

// The game's Flash movies play through Ruffle. A page showing a movie alone
// is a small player page of the client's; movies inside web pages are found by
// a script every page gets, which loads Ruffle only when there is one.
namespace MoviePlayer {
// A URL whose path names a Flash movie (".swf", in any letter case).
bool isMovie(const QUrl &url);
// A Flash movie's MIME type.
bool isMovieType(const QString &mimeType);
// The page that plays the movie over the whole view. The content folder's
// movies (the game, the battle viewer) may fill the screen after a click.
QString page(const QUrl &movie);
// Why a local movie cannot play (missing, unreadable, not a movie, cut
// short), in the user's language; empty when it can, or is not local.
QString problem(const QUrl &movie);
// A plain page with the text, in place of a movie.
QString errorPage(const QString &text);
// Finds the movies of a page and plays them.
QWebEngineScript script();
// Shows pages a Flash Player among the browser's plug-ins, before their own
// scripts look for one.
QWebEngineScript detectionScript();

// The page's way to the game's socket servers (SocketBridge): Ruffle's proxy
// for each, and the browser's WebSocket kept for them. None when the game
// has no socket servers.
QList<QWebEngineScript> socketScripts(QWebEnginePage *page);

// Reports, from a world the page cannot reach, when each movie has started:
// "<token> playing <movie URL>" on the console.
QWebEngineScript reportScript(const QString &token);

// Ruffle does not load file: URLs; the page script hands it a movie's local
// URLs under this scheme instead, and Ruffle navigates to them so too.
extern const char *const localScheme;
bool isDisguisedLocal(const QUrl &url);
QUrl localUrl(const QUrl &disguised);
}

#endif // MOVIEPLAYER_H
