#include "updater/downloader.h"

#include <QDebug>
#include <QFileInfo>
#include <QNetworkRequest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

Downloader::Downloader()
    : downloadCount(0)
{
    qDebug() << "Downloader ctor";
}

// The target may lie in a folder that others can write to (the system's
// temporary folder). Never follow a link or write into a file someone else put
// there: such an entry is removed and the file created anew, exclusively.
bool Downloader::openTarget(const QString &fileName)
{
    file.setFileName(fileName);
    const QFileInfo info(fileName);
    bool foreign = info.isSymLink();
#ifdef Q_OS_UNIX
    foreign = foreign || (info.exists() && info.ownerId() != ::geteuid());
#endif
    if (foreign && !file.remove())
        return false;
    if (!foreign && info.exists())
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
}

void Downloader::download(const QUrl &url, const QString &fileName)
{
    qDebug() << "download" << url;
    if (file.isOpen())
        file.close();
    writeError.clear();
    if (!openTarget(fileName)) {
        emit saveFailed(file.errorString());
        return;
    }

    QNetworkRequest request(url);
    // Redirects are not followed: whatever the server answers is the answer.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (downloadCount == 0)
        connect(&manager, &QNetworkAccessManager::finished, this, &Downloader::replyFinished);
    ++downloadCount;

    reply = manager.get(request);
    // Without a bound Qt's HTTP thread reads ahead of us and can hold a whole
    // large body in memory.
    reply->setReadBufferSize(readBufferSize);
    connect(reply, &QNetworkReply::errorOccurred, this, &Downloader::downloadError);
    connect(reply, &QNetworkReply::readyRead, this, &Downloader::saveFile);
    connect(reply, &QNetworkReply::downloadProgress, this, &Downloader::progress);
}

void Downloader::saveFile()
{
    const QByteArray data = reply->readAll();
    if (!writeError.isEmpty())
        return;
    // A write may take only part of the block; the next one then tells why.
    for (qint64 written = 0; written < data.size();) {
        const qint64 count = file.write(data.constData() + written, data.size() - written);
        if (count <= 0) {
            // A failed write (a full disk, say) must not end as a finished
            // download: the caller would install a truncated file.
            writeError = file.errorString();
            reply->abort();
            return;
        }
        written += count;
    }
}

void Downloader::progress(qint64 bytesReceived, qint64 bytesTotal)
{
    qDebug() << " Download progress: " << bytesReceived << "/" << bytesTotal;
    emit downloadProgress(bytesReceived, bytesTotal);
}

void Downloader::downloadError(QNetworkReply::NetworkError code)
{
    qDebug() << "downloadError: " << int(code);
}

// An HTTP answer that is not a success (a redirect, which is not followed)
// carries no file, whatever its body.
QString Downloader::refusal(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || (status.toInt() >= 200 && status.toInt() < 300))
        return QString();
    const QString code = status.toString();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isValid())
        return tr("The server answered %1 %2, sending to %3").arg(code, reason, reply->url().resolved(target).toString());
    return tr("The server answered %1 %2").arg(code, reason);
}

void Downloader::replyFinished(QNetworkReply *finished)
{
    // What the last readyRead left behind (a reply may finish with data still buffered).
    if (finished == reply && finished->bytesAvailable() > 0)
        saveFile();
    const qint64 written = file.pos();
    qDebug() << "replyFinished" << finished->url() << " total bytes=" << written;
    file.close();
    qDebug() << "redir: " << finished->attribute(QNetworkRequest::RedirectionTargetAttribute);

    if (!writeError.isEmpty()) {
        qDebug() << "save failed: " << writeError;
        emit saveFailed(writeError);
    } else if (finished->error() != QNetworkReply::NoError) {
        qDebug() << "download failed: " << finished->errorString();
        emit downloadFailed(finished->errorString());
    } else if (const QString refused = refusal(finished); !refused.isEmpty()) {
        qDebug() << "download failed: " << refused;
        emit downloadFailed(refused);
    } else {
        emit downloadDone();
    }
    finished->deleteLater();
}
