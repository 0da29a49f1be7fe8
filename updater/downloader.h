#ifndef DOWNLOADER_H
#define DOWNLOADER_H

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QElapsedTimer>
#include <QTimer>
#include <QObject>
#include <QUrl>

#include <memory>

class ChecksumValidator;

// Fetches one URL at a time with a GET and streams the body into a file as it
// arrives. Each download ends in exactly one of downloadDone(), downloadFailed()
// or, when the file cannot be written, saveFailed().
//
// A transfer that breaks (the connection closed or reset, the body shorter
// than announced, nothing received for a while) is tried again a few times
// after a short pause: from the byte it reached, with a range request, when
// the server takes ranges and named the file's version (ETag or date, sent
// back in If-Range); from the start otherwise. A range answer that does not
// continue exactly what came before up to the file's last byte starts the file
// over. A download is done only with the whole announced length written.
//
// The downloads of one update share one network manager (its connections are
// kept open from file to file); a downloader made without one has its own.
class Downloader : public QObject
{
    Q_OBJECT
public:
    explicit Downloader(QNetworkAccessManager *network = nullptr);
    ~Downloader() override;

    // How large an answer may be. Past `bytes` (announced or received) the
    // transfer stops at once and nothing more is written: as a broken
    // transfer, tried again, when `broken` (a signed file of known size
    // answered with more), else for good (a list larger than any real one).
    // Either way the last outcome is tooLarge(), but for an answer that is no
    // file (an error page): it fails by its status, however large it was.
    struct Limit {
        qint64 bytes = -1; // -1: none
        bool broken = false;
    };
    void download(const QUrl &url, const QString &fileName, Limit limit);
    void download(const QUrl &url, const QString &fileName) { download(url, fileName, Limit{-1, false}); }
    // Ends the transfer at once, without a word: its connection is closed now.
    void abort();
    // Sums every byte written to the file, from its first (started over with
    // the file): when the download is done, the sum is the file's. Null: none.
    void setChecksum(ChecksumValidator *sum) { checksum = sum; }

    // Bytes the reply may buffer before the file catches up; keeps memory flat
    // however large the file.
    static constexpr qint64 readBufferSize = 1 << 20;
    // How often a broken transfer is tried again, and after what pause.
    static constexpr int retries = 3;
    static constexpr int retryPauseMs = 500;
    // A transfer that receives nothing for this long counts as broken.
    static constexpr int defaultStallTimeoutMs = 30000;
    // Progress is told at most this often (as Qt's own reply does): a window
    // has nothing to show in between.
    static constexpr int progressIntervalMs = 100;
    void setStallTimeout(int ms) { stallTimeoutMs = ms; }
    // The HTTP status of the last download's answer; 0 where none came.
    int status() const { return answerStatus; }

signals:
    void downloadDone();
    void downloadFailed(QString errorString);
    void saveFailed(QString errorString);
    void tooLarge(qint64 limit);
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);

private slots:
    void downloadError(QNetworkReply::NetworkError);
    void saveFile();
    void replyFinished(QNetworkReply *finished);

private:
    bool openTarget(const QString &fileName);
    void sendRequest();
    void onHeaders();
    void learnResumption(QNetworkReply *answer);
    bool startOver();
    bool takeRange(QNetworkReply *answer);
    qint64 expectedSize(QNetworkReply *answer) const;
    void onStalled();
    void reportProgress();
    bool exceedsLimit(qint64 bytes);
    static QString refusal(QNetworkReply *reply);
    static bool isBreak(QNetworkReply::NetworkError error);

    std::unique_ptr<QNetworkAccessManager> ownNetwork;
    QNetworkAccessManager *network;
    QNetworkReply *reply = nullptr;
    QFile file;
    ChecksumValidator *checksum = nullptr;
    QString writeError; // set when a received block could not be written

    // What a broken transfer resumes from.
    QUrl url;
    qint64 offset = 0;        // bytes in the file before the current request
    qint64 total = -1;        // the whole file's length, when the server said
    QByteArray validator;     // its ETag or Last-Modified: the same file, or not
    bool takesRanges = false;
    int retriesLeft = 0;
    int stallTimeoutMs = defaultStallTimeoutMs;
    QTimer stallTimer;
    QElapsedTimer sinceData; // since the last bytes came
    QElapsedTimer sinceProgress; // since progress was last told
    bool stalled = false;
    bool cutShort = false; // the last answer ended before its announced length
    bool aborted = false;
    Limit limit;
    bool oversized = false; // the last answer was larger than the limit
    int answerStatus = 0;
};

#endif // DOWNLOADER_H
