#ifndef MOVIEFILES_H
#define MOVIEFILES_H

#include <QByteArray>
#include <QColor>
#include <QString>

// The tests' movies, 400 x 300 pixels.
namespace MovieFiles {
// A background and a square in the middle, in two colours a grab can find.
QByteArray colours(const QColor &background, const QColor &square);
// One button over the whole stage: getURL(url, target) when clicked.
QByteArray link(const QString &url, const QString &target, const QColor &background);
// Reads the number after "?" in its own URL, loads "<root>battle/<number>.txt"
// (variables, e.g. "result=won") and then opens "<root>seen?<number>-<result>"
// in a new window.
QByteArray battle(const QString &root);
// Keeps a count in its saved data (the local shared object "tvsave"): reads
// it, stores it plus one, and tells what it read by a link to "<root>saved?<n>".
QByteArray saver(const QString &root);
// Opens an XMLSocket to host:port and sends the message once connected;
// tells each event by a request of its own to "<root>report?<event>"
// ("connect-true", "connect-false", "data-<text>", "close", escaped).
QByteArray socket(const QString &host, int port, const QString &message, const QString &root);
// Calls fscommand(command, args) on its first frame.
QByteArray fsCommand(const QString &command, const QString &args);
// Loads the movie at the URL into level 1 (loadMovieNum).
QByteArray loadsMovie(const QString &url);
// Tells its own URL by a request to "<root>report?url-<_url>".
QByteArray ownUrl(const QString &root);
// Loads "<dataRoot>data.txt" with LoadVars and posts x=1 with sendAndLoad
// to "<dataRoot>echo"; reports "load-<ok>" and "post-<ok>" to "<root>report".
QByteArray variables(const QString &dataRoot, const QString &root);
// A button over the whole stage: Stage.displayState = "fullScreen".
QByteArray fullScreen(const QColor &background);
// Plays a tone, over and over.
QByteArray tone();
}

#endif // MOVIEFILES_H
