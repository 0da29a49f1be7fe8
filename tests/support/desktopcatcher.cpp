#include "desktopcatcher.h"

#include <QDesktopServices>

static const char *const schemes[] = {"http", "https", "mailto", "file", "ftp", "about", "data", "javascript", "sshx",
                                      "tarvenholm", "tarvenholm-file"};

DesktopCatcher::DesktopCatcher()
{
    for (const char *scheme : schemes)
        QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "openUrl");
}

DesktopCatcher::~DesktopCatcher()
{
    for (const char *scheme : schemes)
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}
