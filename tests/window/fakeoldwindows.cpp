// The platform answer of a Windows the Flash Player security folder is not
// supported on (Windows NT 4): linked in place of the real one.
#include "window/flashenvironment.h"
#include "window/flashplatform.h"

QString FlashPlatform::securityFolder()
{
    if (!isSupportedWindowsVersion(QOperatingSystemVersion(QOperatingSystemVersion::Windows, 4, 0)))
        return QString();
    return QStringLiteral("%1Macromedia/Flash Player/#Security/").arg(userDataPath());
}
