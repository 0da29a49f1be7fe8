#ifndef FILETRANSFERS_H
#define FILETRANSFERS_H

#include "updater/downloader.h"
#include "updater/listedfile.h"

#include <QObject>
#include <QUrl>

#include <memory>
#include <vector>

// Fetches the outdated files and installs each in one step as soon as it has
// arrived whole and as listed: up to six side by side (the usual limit per
// server) over one network manager, each into a temporary file of its own
// lane (the base name for the first, "<base>.1" to "<base>.5" for the others)
// and summed while it is written, so that nothing is read again before it is
// installed. The first failure stops every transfer; it ends in exactly one of
// finished() or failed().
class FileTransfers : public QObject
{
    Q_OBJECT
public:
    FileTransfers(QNetworkAccessManager *network, const QString &tempBase, QObject *parent = nullptr);
    ~FileTransfers() override;

    static constexpr int width = 6;
    void setStallTimeout(int ms) { stallTimeoutMs = ms; }
    void start(const ListedFiles &files);
    // Ends every transfer at once, without a word, and removes their files.
    void stop();
    int installedFiles() const { return installed; }

signals:
    void logLine(const QString &text);
    void labelChanged(const QString &text);
    // Files installed so far.
    void fileInstalled(int count);
    // The bytes received so far, all transfers together, and how many they
    // are (-1 where the list does not say); 0 first, when the transfers start.
    void bytesChanged(qint64 received, qint64 total);
    void failed(const QString &message);
    void finished();

private:
    // One per listed file, from the list to its install.
    struct Record {
        ListedFile file;
        QUrl url;
        enum class State { Waiting, Arriving, Installed } state = State::Waiting;
        qint64 received = 0;
    };
    // A place for one transfer at a time; its downloader is kept for the next.
    struct Lane {
        QString tempFile;
        std::unique_ptr<Downloader> downloader;
        std::unique_ptr<ChecksumValidator> sum;
        int record = -1; // -1: free
    };
    void startNext();
    void open(Lane &lane, int record);
    void onArrived(Lane &lane);
    void onProgress(Lane &lane, qint64 received, qint64 total);
    void fail(const QString &message);

    QNetworkAccessManager *network;
    std::vector<Record> records;
    std::vector<Lane> lanes;
    int stallTimeoutMs = Downloader::defaultStallTimeoutMs;
    int next = 0; // the first record not yet asked for
    int arriving = 0;
    int installed = 0;
    qint64 receivedBytes = 0;
    qint64 expectedBytes = -1;
    bool stopped = false;
};

#endif // FILETRANSFERS_H
