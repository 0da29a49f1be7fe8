#include "readonly.h"

#include <QFile>
#include <QProcess>

#include <unistd.h>

static bool chattr(const char *flag, const QString &path)
{
    return QProcess::execute(QStringLiteral("chattr"), {QLatin1String(flag), path}) == 0;
}

bool makeReadOnly(const QString &path)
{
    if (::geteuid() != 0)
        return QFile::setPermissions(path, QFile::permissions(path) & ~(QFile::WriteOwner | QFile::WriteUser
                                                                           | QFile::WriteGroup | QFile::WriteOther));
    return chattr("+i", path);
}

void makeWritable(const QString &path)
{
    if (::geteuid() == 0)
        chattr("-i", path);
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::WriteUser);
}
