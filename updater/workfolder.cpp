#include "updater/workfolder.h"

#include "app/gamefolder.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

QString WorkFolder::path()
{
    return GameFolder::absolute(GameFolder::update);
}

QString WorkFolder::downloadFile()
{
    return path() + QStringLiteral("/tvdown.tmp");
}

QString WorkFolder::lockFile()
{
    return downloadFile() + QStringLiteral(".lock");
}

WorkFolder::State WorkFolder::prepare()
{
    const QByteArray folder = QFile::encodeName(path());
#ifdef Q_OS_UNIX
    // Made owner-only from the start: no moment in which others could write it.
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return State::NotMade;
    struct stat info;
    if (::lstat(folder.constData(), &info) != 0)
        return State::NotMade;
    if (!isOwnFolder(info.st_mode, info.st_uid, ::geteuid()))
        return State::Foreign;
    if ((info.st_mode & 077) != 0 && ::chmod(folder.constData(), 0700) != 0)
        return State::Foreign;
    // One left by an earlier update in a game folder that has become
    // read-only (a read-only mount, an immutable folder) holds no lock.
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return State::NotMade;
    return State::Ready;
#else
    const QFileInfo info(path());
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        return State::Foreign;
    if (!info.exists() && !QDir().mkpath(path()))
        return State::NotMade;
    return QFileInfo(path()).isWritable() ? State::Ready : State::NotMade;
#endif
}

#ifdef Q_OS_UNIX
bool WorkFolder::isOwnFolder(unsigned mode, unsigned owner, unsigned self)
{
    return S_ISDIR(mode) && owner == self;
}
#endif
