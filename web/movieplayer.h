#ifndef MOVIEPLAYER_H
#define MOVIEPLAYER_H

#include <QString>
#include <QUrl>

class QWebEngineScript;

// The game's Flash movies play through Ruffle. A page showing a movie alone
// is a small player page of the client's; movies inside web pages are found by
// a script every page gets, which loads Ruffle only when there is one.
namespace MoviePlayer {
// A URL whose path names a Flash movie (".swf", in any letter case).
bool isMovie(const QUrl &url);
// The page that plays the movie over the whole view.
QString page(const QUrl &movie);
// Finds the movies of a page and plays them.
QWebEngineScript script();

// What the page script says on the console when a movie has started.
extern const char *const playingMessage;

// Ruffle does not load file: URLs; the page script hands it a movie's local
// URLs under this scheme instead, and Ruffle navigates to them so too.
extern const char *const localScheme;
bool isDisguisedLocal(const QUrl &url);
QUrl localUrl(const QUrl &disguised);
}

#endif // MOVIEPLAYER_H
