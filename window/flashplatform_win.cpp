#include "window/flashplatform.h"

#include "window/flashenvironment.h"

QString FlashPlatform::securityFolder()
{
    if (!isSupportedWindowsVersion(QOperatingSystemVersion::current()))
        return QString();
    return QStringLiteral("%1Macromedia/Flash Player/#Security/").arg(userDataPath());
}
