#ifndef DOWNLOADPOOL_H
#define DOWNLOADPOOL_H

#include "updater/downloader.h"

#include <QObject>
#include <QUrl>

#include <memory>
#include <vector>

// Up to a fixed number of downloads side by side (six, the usual limit per
// server), each through a Downloader and a temporary file of its own: the base
// name for the first, "<base>.1" to "<base>.5" for the others. A download is
// known by the key it was started with. A finished download keeps its place
// (and its file) until the caller has taken the file and releases it.
class DownloadPool : public QObject
{
    Q_OBJECT
public:
    explicit DownloadPool(const QString &tempBase, int width = 6);
    ~DownloadPool() override;

    bool hasRoom() const;
    bool isIdle() const;
    void start(int key, const QUrl &url, qint64 exactSize = -1);
    // The temporary file a download of this key writes.
    QString fileOf(int key) const;
    // Frees the download's place and removes its file.
    void release(int key);
    // Ends every download at once, without a word, and removes the files.
    void stopAll();

    static constexpr int defaultWidth = 6;
    void setStallTimeout(int ms) { stallTimeoutMs = ms; }

signals:
    void done(int key);
    void failed(int key, QString errorString);
    void saveFailed(int key, QString errorString);
    // The answer was larger than the size the file must have.
    void tooLarge(int key);
    void progress(int key, qint64 bytesReceived, qint64 bytesTotal);

private:
    struct Place {
        std::unique_ptr<Downloader> downloader;
        QString file;
        int key = -1; // -1: free
    };
    Place *slotOf(int key);

    std::vector<Place> places;
    int stallTimeoutMs;
};

#endif // DOWNLOADPOOL_H
