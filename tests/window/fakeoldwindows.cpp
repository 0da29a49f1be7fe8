// The platform answer of a Windows the Flash Player security folder is not
// supported on (Windows NT 4): linked in place of the real one.
#include "window/flashenvironment.h"
#include "window/flashplatform.h"

QT_WARNING_DISABLE_DEPRECATED

QString FlashPlatform::securityFolder()
{
    if (!isSupportedWindowsVersion(QSysInfo::WV_NT))
        return QString();
    return QStringLiteral("%1Macromedia/Flash Player/#Security/").arg(userDataPath());
}
