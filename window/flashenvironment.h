#ifndef FLASHENVIRONMENT_H
#define FLASHENVIRONMENT_H

#include <QOperatingSystemVersion>
#include <QString>

// The user's application-data folder (that of Qt's user-scope INI settings), ending in "/".
QString userDataPath();
// The Flash Player's per-user security folder, or empty on an unsupported system.
QString flashSecurityPath();
// The folder the Flash Player is told to trust: "<working directory>/content/".
QString trustedContentPath();
QString trustFilePath(const QString &securityFolder);

// Tells the Flash Player to trust the content folder; false when it cannot,
// after a message box has told the player why.
bool writeTrustFile();

// Windows versions on which the Flash Player keeps its security folder where we
// expect it: Windows 7 and every later one.
bool isSupportedWindowsVersion(const QOperatingSystemVersion &version);

#endif // FLASHENVIRONMENT_H
