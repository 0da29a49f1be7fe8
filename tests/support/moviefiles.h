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
// Plays a tone, over and over.
QByteArray tone();
}

#endif // MOVIEFILES_H
