#include "updater/updatelists.h"

#include "app/appconfig.h"
#include "updater/manifest.h"
#include "updater/signedmanifest.h"
#include "updater/signing.h"
#include "updater/updatetext.h"

#include <QDebug>
#include <QFile>

using UpdateText::shown;
using UpdateText::text;

UpdateLists::UpdateLists(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent)
    , downloader(network)
{
    connect(&downloader, &Downloader::saveFailed, this,
            [this](const QString &error) { emit failed(text("Could not save file: %1").arg(error)); });
    // A signed list or signature the server does not have is named so; one
    // that did not come (the network, the server failing) is a download
    // like any other. Only a signature that does not verify is one of
    // another's.
    connect(&downloader, &Downloader::downloadFailed, this, [this](const QString &error) {
        const bool missing = downloader.status() == 404 || downloader.status() == 410;
        if ((phase == Phase::Manifest || phase == Phase::Signature) && missing)
            emit failed(text("The server offers no signed update: %1").arg(error));
        else
            emit failed(text("Could not download file: %1").arg(error));
    });
    connect(&downloader, &Downloader::tooLarge, this, [this](qint64 limit) {
        emit failed(text("The answer from %1 is larger than %2 bytes").arg(shown(currentUrl.toString()), QString::number(limit)));
    });
    connect(&downloader, &Downloader::downloadDone, this, &UpdateLists::onDone);
    connect(&downloader, &Downloader::downloadProgress, this, [this](qint64 received, qint64 total) {
        qDebug() << currentUrl << "received: " << received << "total: " << total;
        emit labelChanged(UpdateText::downloading(currentUrl, received, total));
    });
}

void UpdateLists::start(const QString &file)
{
    workFile = file;
    phase = Phase::Stamp;
    fetch(QStringLiteral("update/stamp.txt"), maxStampSize);
}

void UpdateLists::fetch(const QString &path, qint64 maxSize)
{
    currentUrl = serverUrl(AppConfig::instance()->updateroot, path);
    emit logLine(text("Downloading %1").arg(shown(currentUrl.toString())));
    downloader.download(currentUrl, workFile, Downloader::Limit{maxSize, false});
    qDebug() << "Downloading " << currentUrl;
}

bool UpdateLists::readDownloaded(QByteArray *data)
{
    QFile file(workFile);
    if (!file.exists()) {
        emit failed(text("Could not find just downloaded data."));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        emit failed(text("Could not open just downloaded data."));
        return false;
    }
    *data = file.readAll();
    return true;
}

void UpdateLists::onDone()
{
    emit labelChanged(QString());
    QByteArray data;
    if (!readDownloaded(&data))
        return;
    switch (phase) {
    case Phase::Stamp:
        onStamp(data);
        break;
    case Phase::List:
        onFileList(data);
        break;
    case Phase::Manifest:
        manifestText = data;
        phase = Phase::Signature;
        fetch(QStringLiteral("update/manifest.sig"), maxSignatureSize);
        break;
    case Phase::Signature:
        onSignature(data);
        break;
    }
}

void UpdateLists::onStamp(const QByteArray &data)
{
    const int end = data.indexOf('\n');
    const QString line = manifestLineText(end < 0 ? data : data.left(end + 1));
    if (!parseStampLine(line, serverStamp)) {
        serverStamp = 0;
        emit failed(text("Invalid server response [%1]").arg(shown(line)));
        return;
    }
    const qint64 localStamp = AppConfig::instance()->stamp;
    // With the operator's key, the signed manifest is the list, and nothing
    // of the server's is trusted before its signature is checked.
    const bool signedUpdate = !AppConfig::instance()->updatekey.isEmpty();
    if (serverStamp <= localStamp) {
        emit logLine(text("Timestamp match."));
        // The unsigned stamp cannot take signed content back: with the
        // operator's key, the stamp recorded never goes down.
        if (signedUpdate)
            serverStamp = localStamp;
        emit upToDate();
        return;
    }
    emit logLine(text("Updater stamp difference: server=%1 local=%2")
                     .arg(QString::number(serverStamp), QString::number(localStamp)));
    phase = signedUpdate ? Phase::Manifest : Phase::List;
    fetch(signedUpdate ? QStringLiteral("update/manifest") : QStringLiteral("update/files.txt"), maxListSize);
}

void UpdateLists::onFileList(const QByteArray &data)
{
    QStringList fileLines;
    for (qsizetype from = 0; from < data.size();) {
        const qsizetype end = data.indexOf('\n', from);
        const qsizetype next = end < 0 ? data.size() : end + 1;
        fileLines << manifestLineText(data.mid(from, next - from));
        from = next;
    }
    qDebug() << "filelist line count: " << fileLines.size();
    ListedFiles files;
    for (const QString &line : std::as_const(fileLines)) {
        ListedFile file;
        file.line = line;
        quint32 crc = 0;
        if (!parseFileInfo(line, file.name, crc)) {
            // A wrong number of fields it has named itself; a bad checksum is named here.
            if (line.count(QLatin1Char(',')) == 1)
                qDebug() << "Invalid files.txt format: " << line;
            continue;
        }
        if (!isSafeContentName(file.name)) {
            // A name that would reach outside the content folder is refused
            // like a malformed entry.
            qDebug() << "Unsafe file name in files.txt: " << line;
            continue;
        }
        file.sum = QByteArray::number(crc, 16).rightJustified(8, '0');
        files << file;
    }
    emit listed(files, int(fileLines.size()));
}

void UpdateLists::onSignature(const QByteArray &signature)
{
    if (!Signing::verify(manifestText, signature, AppConfig::instance()->updatekey)) {
        emit failed(text("The update is not signed by the game's publisher"));
        return;
    }
    SignedManifest manifest;
    if (!SignedManifest::parse(manifestText, &manifest)) {
        emit failed(text("The signed update list cannot be read"));
        return;
    }
    // A signed manifest of other (older) content, replayed, is refused.
    if (manifest.stamp != serverStamp || manifest.stamp < AppConfig::instance()->stamp) {
        emit failed(text("The signed update is not the one announced (stamp %1 instead of %2)")
                        .arg(QString::number(manifest.stamp), QString::number(serverStamp)));
        return;
    }
    emit logLine(text("The update is signed by the game's publisher."));
    ListedFiles files;
    for (const SignedManifest::File &entry : manifest.files) {
        ListedFile file;
        file.name = entry.name;
        file.line = entry.name;
        file.kind = ChecksumValidator::Kind::Sha256;
        file.sum = entry.sha256;
        file.size = entry.size;
        files << file;
    }
    emit listed(files, int(files.size()));
}
