#include "updater/contentfolder.h"

#include "updater/manifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// The folders between the content folder and a listed file: "a", "a/b" for "a/b/c.swf".
static QStringList folders(const QString &name)
{
    QStringList result;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (int i = 1; i < parts.size(); ++i)
        result << contentPath(parts.mid(0, i).join(QLatin1Char('/')));
    return result;
}

// The folders on the way: PlainFile where all are plain folders.
static ContentFolder::Entry wayTo(const QString &name)
{
    for (const QString &folder : folders(name)) {
        const QFileInfo info(folder);
        if (info.isSymLink())
            return ContentFolder::Entry::Other;
        if (!info.exists())
            return ContentFolder::Entry::Missing;
    }
    return ContentFolder::Entry::PlainFile;
}

ContentFolder::Entry ContentFolder::entry(const QString &name)
{
    if (const Entry way = wayTo(name); way != Entry::PlainFile)
        return way;
    const QFileInfo file(contentPath(name));
    if (file.isSymLink() || (file.exists() && !file.isFile()))
        return Entry::Other;
    return file.exists() ? Entry::PlainFile : Entry::Missing;
}

ContentFolder::Entry ContentFolder::openListed(const QString &name, QFile *file, qint64 *size)
{
#ifdef Q_OS_UNIX
    if (const Entry way = wayTo(name); way != Entry::PlainFile)
        return way;
    // One open and one fstat where a look at the path and then an open would
    // take four calls: the check reads ten thousand files.
    const QByteArray path = QFile::encodeName(contentPath(name));
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Entry::Missing;
        // A link (ELOOP), or what cannot be opened: as the path says.
        return entry(name);
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return Entry::Other;
    }
    // Reads of a plain file never wait: no need to take O_NONBLOCK back.
    *size = status.st_size;
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        ::close(fd);
    return Entry::PlainFile;
#else
    const Entry there = entry(name);
    if (there == Entry::PlainFile) {
        file->setFileName(contentPath(name));
        if (file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            *size = file->size();
    }
    return there;
#endif
}

bool ContentFolder::clearWayTo(const QString &name, QString *blocked)
{
    for (const QString &folder : folders(name)) {
        if (QFileInfo(folder).isSymLink() && !QFile::remove(folder)) {
            *blocked = folder;
            return false;
        }
    }
    return true;
}

static std::filesystem::path nativePath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// The fallback where a rename cannot reach (the content folder on another
// file system): a copy beside the target, renamed over it once complete.
static bool copyInPlace(const QString &from, const QString &to)
{
    QFile in(from);
    QSaveFile out(to);
    out.setDirectWriteFallback(false);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    QByteArray block;
    while (!(block = in.read(1 << 20)).isEmpty()) {
        if (out.write(block) != block.size())
            return false;
    }
    return in.error() == QFileDevice::NoError && out.commit();
}

ContentFolder::Install ContentFolder::install(const QString &downloaded, const QString &name, QString *where)
{
    const QString localPath = contentPath(name);
    *where = localPath;
    // Linked folders on the way go first (the links, not what they point to):
    // the file replaced is then the one inside the content folder, if any.
    QString dir = QFileInfo(localPath).path();
    const bool wayClear = clearWayTo(name, &dir);
    const QFileInfo local(localPath);
    // A link at the path is replaced, not what it points to. A file its owner
    // made read-only counts as one that cannot be replaced, as on Windows.
    const bool exists = local.exists() || local.isSymLink();
    if (exists && !local.isSymLink() && (local.isDir() || !(local.permissions() & QFileDevice::WriteOwner)))
        return Install::NotReplaceable;
    if (!wayClear || !QDir().mkpath(dir)) {
        *where = dir;
        return Install::NoPath;
    }
    std::error_code error;
    std::filesystem::rename(nativePath(downloaded), nativePath(localPath), error);
    if (!error)
        return Install::Done;
    if (error == std::errc::cross_device_link && copyInPlace(downloaded, localPath))
        return Install::Done;
    // What stops a rename over an existing file (an immutable or locked one)
    // is that file.
    return exists && error != std::errc::cross_device_link ? Install::NotReplaceable : Install::NotWritten;
}

bool ContentFolder::sync()
{
#ifdef Q_OS_LINUX
    const int fd = ::open(QFile::encodeName(contentPath(QString())).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::syncfs(fd) == 0;
    ::close(fd);
    return synced;
#elif defined(Q_OS_UNIX)
    ::sync();
    return true;
#else
    // Not done on Windows (not built or tested here); FlushFileBuffers on
    // each installed file would be the way there.
    return true;
#endif
}
