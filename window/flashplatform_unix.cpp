#include "window/flashplatform.h"

#include <QDir>

QString FlashPlatform::securityFolder()
{
    // The Flash Player for Linux (and the Mac) reads its trust files below the home folder.
#if defined(Q_OS_MACOS)
    return QDir::homePath() + QStringLiteral("/Library/Preferences/Macromedia/Flash Player/#Security/");
#elif defined(Q_OS_UNIX)
    return QDir::homePath() + QStringLiteral("/.macromedia/Flash_Player/#Security/");
#else
    return QString();
#endif
}
