#include "smallfs.h"

#include <QDir>
#include <QProcess>

SmallFs::SmallFs(const QString &mountPoint, int kilobytes)
    : m_mountPoint(mountPoint)
{
    QDir().mkpath(mountPoint);
    m_mounted = QProcess::execute(QStringLiteral("mount"),
                                  {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                   QStringLiteral("size=%1k").arg(kilobytes), QStringLiteral("tmpfs"), mountPoint})
        == 0;
}

SmallFs::~SmallFs()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_mountPoint});
}
