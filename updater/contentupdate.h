#ifndef CONTENTUPDATE_H
#define CONTENTUPDATE_H

#include "updater/downloader.h"
#include "updater/downloadpool.h"

#include <QFutureWatcher>
#include <QHash>
#include <QLockFile>
#include <QTemporaryDir>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <memory>

// A file the update lists: by files.txt (name, CRC-32) or by the signed
// manifest (name, size, SHA-256).
struct PendingFile
{
    QString name;
    QString line; // as listed, for messages
    quint32 crc = 0;
    QByteArray sha256; // set when the file comes from the signed manifest
    qint64 size = -1;
};

// What the check found of one listed file.
struct CheckResult
{
    bool current = false;
    quint32 crc = 0; // the local file's, when the list gives CRC-32s
};

// Brings "./content/" up to date from the update server, without any window:
// compares the server's stamp with the installed one, checks every listed
// file by CRC-32, fetches the outdated ones side by side into the private
// working folder, installs each in one step as it completes, and records the
// new stamp only when every file is in place and on disk. What a window would
// show comes out as signals: log lines, the label's text, progress, and the
// outcome. Texts are plain text; those from the server or from files are
// shown as they are.
class ContentUpdate : public QObject
{
    Q_OBJECT
public:
    explicit ContentUpdate(QObject *parent = nullptr);
    ~ContentUpdate() override;

    // The first log lines: where the downloads go, and that a check is coming.
    void introduce();
    void setStallTimeout(int ms);
    // The files installed so far.
    int installedFiles() const { return installed; }

    // The most a server's answer may hold: far more than any real deployment
    // needs (a list line per file is some 60 bytes: a million files fit), and
    // little enough to keep in memory.
    static constexpr qint64 maxStampSize = 4 << 10;
    static constexpr qint64 maxListSize = 64 << 20;
    static constexpr qint64 maxSignatureSize = 512;
    // Server text shown to the player is cut to this many characters.
    static constexpr int maxShownText = 120;

public slots:
    void start();
    // Stops every transfer at once; nothing more is installed.
    void cancel();

signals:
    void logLine(const QString &text);
    void labelChanged(const QString &text);
    void progressChanged(int value, int maximum);
    // The bytes of the files to install received so far, all transfers
    // together, and how many they are (-1 where the list does not say).
    void bytesChanged(qint64 received, qint64 total);
    void finished(bool succeeded);

private:
    void log(const QString &text);
    void setLabel(const QString &text);
    void setProgress(int value, int maximum);
    void fail(const QString &message);
    void choosePlace();
    void startDownload(const QUrl &url, qint64 maxSize);
    void onDownloadDone();
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    bool readDownloaded(QByteArray *data);
    void onStampArrived();
    void onFileListArrived();
    void onManifestArrived();
    void onSignatureArrived();
    void checkFiles(const QList<struct PendingFile> &listed, int progressSteps);
    void onChecked();
    void onFileDone(int index);
    void onFileChecked(int index, bool intact);
    void downloadNextFile();
    void finishUpdate();
    void removeWorkingFiles();

    Downloader downloader;
    // Where the lists are fetched: the working folder, or, where the game
    // folder cannot hold one, a private temporary folder of this user's
    // (enough to learn that nothing needs installing).
    enum class Place { Undecided, WorkFolder, Private, Refused } place = Place::Undecided;
    std::unique_ptr<QTemporaryDir> privateFolder;
    QString workFile;
    // Held while this update runs: two clients of one game folder share its
    // working files. Only the holder ever makes, reads or removes them.
    QLockFile updateLock;
    bool locked = false;
    bool waitingForLock = false;
    DownloadPool transfers;
    QHash<int, QUrl> fileUrls;
    int nextPending = 0;
    int installed = 0;
    bool stopped = false;
    QUrl currentUrl;
    // What the server lists, and what of it is outdated.
    QList<struct PendingFile> pending;
    QHash<int, qint64> receivedOf; // each pending file's bytes received
    qint64 receivedBytes = 0;
    qint64 expectedBytes = -1;
    enum class Phase { Stamp, List, Manifest, Signature, Files } phase = Phase::Stamp;
    QByteArray manifestText;
    qint64 serverStamp = 0;
    int progressMaximum = 100; // the bar's own until the list is known
    // The check runs on the machine's cores, the window stays responsive.
    QList<struct PendingFile> checking;
    QFutureWatcher<struct CheckResult> checkWatcher;
    // Finished downloads being checked; files up to this size are checked at once.
    static constexpr qint64 checkInPlaceBytes = 1 << 20;
    QList<QFutureWatcher<bool> *> verifying;
};

#endif // CONTENTUPDATE_H
