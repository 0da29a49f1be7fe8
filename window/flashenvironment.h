#ifndef FLASHENVIRONMENT_H
#define FLASHENVIRONMENT_H

#include <QString>
#include <QSysInfo>

// The user's application-data folder (that of Qt's user-scope INI settings), ending in "/".
QString userDataPath();
// The Flash Player's per-user security folder, or empty on an unsupported system.
QString flashSecurityPath();
// The folder the Flash Player is told to trust: "<working directory>/content/".
QString trustedContentPath();
QString trustFilePath(const QString &securityFolder);

#if QT_DEPRECATED_SINCE(5, 9)
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
// Windows versions on which the Flash Player keeps its security folder where we expect it.
bool isSupportedWindowsVersion(QSysInfo::WinVersion version);
QT_WARNING_POP
#endif

#endif // FLASHENVIRONMENT_H
