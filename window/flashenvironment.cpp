#include "window/flashenvironment.h"

#include "window/flashplatform.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

QString userDataPath()
{
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QString(), QString());
    const QString path = QFileInfo(settings.fileName()).absolutePath() + QLatin1Char('/');
    qDebug() << "APPDATA=" << path;
    return path;
}

QString flashSecurityPath()
{
    return FlashPlatform::securityFolder();
}

QString trustedContentPath()
{
    return QStringLiteral("%1content/").arg(QDir(QStringLiteral(".")).absolutePath() + QLatin1Char('/'));
}

QString trustFilePath(const QString &securityFolder)
{
    return securityFolder + QStringLiteral("FlashPlayerTrust/tarvenholm.cfg");
}

#if QT_DEPRECATED_SINCE(5, 9)
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
bool isSupportedWindowsVersion(QSysInfo::WinVersion version)
{
    switch (version) {
    case QSysInfo::WV_2000:
    case QSysInfo::WV_XP:
    case QSysInfo::WV_2003:
    case QSysInfo::WV_VISTA:
    case QSysInfo::WV_WINDOWS7:
        return true;
    default:
        return false;
    }
}
QT_WARNING_POP
#endif
