#ifndef CONTENTFOLDER_H
#define CONTENTFOLDER_H

#include <QString>

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

// Removes the links among the folders on the way to a listed file (the links
// themselves, not what they point to), so that the folders made and the file
// written lie inside the content folder. False, with the folder that could not
// be cleared, when one cannot be removed.
bool clearWayTo(const QString &name, QString *blocked);
}

#endif // CONTENTFOLDER_H
