#include "window/flashenvironment.h"

#include "app/gamefolder.h"

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
    return GameFolder::absolute(GameFolder::content) + QLatin1Char('/');
}

QString trustFilePath(const QString &securityFolder)
{
    return securityFolder + QStringLiteral("FlashPlayerTrust/tarvenholm.cfg");
}

bool isSupportedWindowsVersion(const QOperatingSystemVersion &version)
{
    return version.type() == QOperatingSystemVersion::Windows && version >= QOperatingSystemVersion::Windows7;
}
