#ifndef CONTENTFOLDER_H
#define CONTENTFOLDER_H

#include <QString>

class QFile;

// The local content folder "./content/" as the update sees it: only plain
// files are read, links are replaced and never followed, and nothing is
// written outside the folder, whatever links are in it.
namespace ContentFolder {
enum class Entry {
    Missing,     // nothing at the listed path
    PlainFile,   // a regular file reached through plain folders
    Other,       // a link, a pipe, a folder, or a file behind a linked folder
};
Entry entry(const QString &name);
// Opens the listed file for reading (unbuffered) where it is a plain file
// reached through plain folders, and tells its size; else says what is there.
// A link is not followed, and a pipe not waited on.
Entry openListed(const QString &name, QFile *file, qint64 *size);

// Removes the links among the folders on the way to a listed file (the links
// themselves, not what they point to), so that the folders made and the file
// written lie inside the content folder. False, with the folder that could not
// be cleared, when one cannot be removed.
bool clearWayTo(const QString &name, QString *blocked);

enum class Install {
    Done,
    NotReplaceable, // the file there cannot be replaced (read-only, a folder, locked)
    NoPath,         // a folder on the way cannot be made
    NotWritten,     // the new file cannot be put there
};
// Puts a finished download in place of the listed file in one step: at every
// moment the file there is the whole old one or the whole new one. The
// download is moved (renamed) where it can be, else copied next to the file
// and renamed over it. `where` names the path an Install failure is about.
Install install(const QString &downloaded, const QString &name, QString *where);

// Makes what was installed durable (one sync of the content folder's file
// system): the new stamp must never be on disk before the files it stands for.
bool sync();
}

#endif // CONTENTFOLDER_H
