#include "updater/contentfolder.h"

#include "updater/manifest.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

// The folders between the content folder and a listed file: "a", "a/b" for "a/b/c.swf".
static QStringList folders(const QString &name)
{
    QStringList result;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (int i = 1; i < parts.size(); ++i)
        result << contentPath(parts.mid(0, i).join(QLatin1Char('/')));
    return result;
}

ContentFolder::Entry ContentFolder::entry(const QString &name)
{
    for (const QString &folder : folders(name)) {
        const QFileInfo info(folder);
        if (info.isSymLink())
            return Entry::Other;
        if (!info.exists())
            return Entry::Missing;
    }
    const QFileInfo file(contentPath(name));
    if (file.isSymLink() || (file.exists() && !file.isFile()))
        return Entry::Other;
    return file.exists() ? Entry::PlainFile : Entry::Missing;
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
