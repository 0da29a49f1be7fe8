#include "window/flashenvironment.h"

#include "app/gamefolder.h"

#include "window/flashplatform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTextStream>

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

static void startFailure(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QString(), text, QMessageBox::Ok);
    // A path is shown as it is, never taken for markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool writeTrustFile()
{
    const QString securityFolder = flashSecurityPath();
    qDebug() << "Macromedia security path: " << securityFolder;
    if (securityFolder.isEmpty()) {
        startFailure(QCoreApplication::translate("MainWindow", "Unsupported Operating System"));
        return false;
    }
    const QString trustFolder = securityFolder + QStringLiteral("FlashPlayerTrust/");
    const QString trustFile = trustFilePath(securityFolder);
    const QString contentPath = trustedContentPath();
    qDebug() << "Trust file: " << trustFile;
    qDebug() << "Content pach: " << contentPath;

    QDir(securityFolder).mkpath(trustFolder);
    QFile file(trustFile);
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Text
        | (file.exists() ? QIODevice::Truncate : QIODevice::NotOpen);
    if (!file.open(mode)) {
        startFailure(QCoreApplication::translate("MainWindow", "Could not get access to file: %1").arg(trustFile));
        return false;
    }
    QTextStream stream(&file); // UTF-8
    stream << contentPath;
    stream.flush();
    const bool failed = file.error() != QFileDevice::NoError;
    if (failed)
        qDebug() << "fileError";
    file.close();
    if (failed) {
        startFailure(QCoreApplication::translate("MainWindow", "Could not write to file: %1").arg(trustFile));
        return false;
    }
    return true;
}
