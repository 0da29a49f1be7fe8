#ifndef DOWNLOADER_H
#define DOWNLOADER_H

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>

// Fetches one URL at a time with a GET and streams the body into a file as it
// arrives. Each download ends in exactly one of downloadDone(), downloadFailed()
// or, when the file cannot be written, saveFailed().
class Downloader : public QObject
{
    Q_OBJECT
public:
    Downloader();

    void download(const QUrl &url, const QString &fileName);

    // Bytes the reply may buffer before the file catches up; keeps memory flat
    // however large the file.
    static constexpr qint64 readBufferSize = 1 << 20;

signals:
    void downloadDone();
    void downloadFailed(QString errorString);
    void saveFailed(QString errorString);
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);

private slots:
    void downloadError(QNetworkReply::NetworkError);
    void saveFile();
    void replyFinished(QNetworkReply *);
    void progress(qint64, qint64);

private:
    bool openTarget(const QString &fileName);
    static QString refusal(QNetworkReply *reply);

    int downloadCount;
    QNetworkReply *reply = nullptr;
    QFile file;
    QNetworkAccessManager manager;
    QString writeError; // set when a received block could not be written
};

#endif // DOWNLOADER_H
