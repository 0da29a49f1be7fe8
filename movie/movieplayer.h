#ifndef MOVIEPLAYER_H
#define MOVIEPLAYER_H

#include <QList>
#include <QString>
#include <QUrl>


// The game's Flash movies play through Ruffle. A page showing a movie alone
// is a small player page of the client's; movies inside web pages are found by
// a script every page gets, which loads Ruffle only when there is one.
namespace MoviePlayer {
// A URL whose path names a Flash movie (".swf", in any letter case).
bool isMovie(const QUrl &url);
// The Flash Player's types, as its plug-in listed them.
struct FlashType {
    const char *type;
    const char *suffixes;
    const char *description;
};
extern const QList<FlashType> flashTypes;
// A Flash movie's MIME type.
bool isMovieType(const QString &mimeType);
// The elements Ruffle plays a page's movies in, as a CSS selector.
extern const char *const playerElements;
// Why a local movie cannot play (missing, unreadable, not a movie, cut
// short), in the user's language; empty when it can, or is not local.
QString problem(const QUrl &movie);
// A plain page with the text, in place of a movie.
QString errorPage(const QString &text);
}

#endif // MOVIEPLAYER_H
