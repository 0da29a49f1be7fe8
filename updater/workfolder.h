#ifndef WORKFOLDER_H
#define WORKFOLDER_H

#include <QString>

// The update's working folder "./.update/": its temporary download files and
// its lock. It lies in the game folder, so the clients of one game folder meet
// there while those of other folders or other users never do, and it shares
// the content folder's file system, so a finished download is put in place by
// a rename. Only its owner uses it: it is made owner-only, and a folder there
// that is a link or belongs to someone else is refused, never followed.
namespace WorkFolder {
enum class State {
    Ready,
    NotMade,  // could not be made, or this user cannot write in it (a read-only game folder)
    Foreign,  // a link, not a folder, or another user's
};
QString path(); // absolute
QString downloadFile();
QString lockFile();
// Makes the folder, or checks (and makes owner-only) the one already there;
// ready only where this user can write in it.
State prepare();
#ifdef Q_OS_UNIX
// Whether what lstat() found there, with its mode and owner, may be used by
// the user `self`: only a folder of that user's own (not a link to one).
bool isOwnFolder(unsigned mode, unsigned owner, unsigned self);
#endif
}

#endif // WORKFOLDER_H
