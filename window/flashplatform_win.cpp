#include "window/flashplatform.h"

#include "window/flashenvironment.h"

QT_WARNING_DISABLE_DEPRECATED

QString FlashPlatform::securityFolder()
{
    if (!isSupportedWindowsVersion(QSysInfo::windowsVersion()))
        return QString();
    return QStringLiteral("%1Macromedia/Flash Player/#Security/").arg(userDataPath());
}
