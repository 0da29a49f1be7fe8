#ifndef CONTENTUPDATE_H
#define CONTENTUPDATE_H

#include "updater/listedfile.h"

#include <QLockFile>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTemporaryDir>

#include <memory>

class ContentCheck;
class FileTransfers;
class UpdateLists;

// Brings "./content/" up to date from the update server, without any window:
// the server's lists (UpdateLists) say what there is, the check
// (ContentCheck) what of it is outdated, and the transfers (FileTransfers)
// fetch and install that; the new stamp is recorded only when every file is
// in place and on disk. This class owns what they share: the working folder
// and its lock, one network manager, and what a window would show, which
// comes out as signals: log lines, the label's text, progress, and the
// outcome. Texts are plain text; server text is shown on one line.
class ContentUpdate : public QObject
{
    Q_OBJECT
public:
    explicit ContentUpdate(QObject *parent = nullptr);
    ~ContentUpdate() override;

    // The first log lines: where the downloads go, and that a check is coming.
    void introduce();
    void setStallTimeout(int ms) { stallTimeoutMs = ms; }
    // The files installed so far.
    int installedFiles() const;

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
    void setProgress(int value, int maximum);
    void fail(const QString &message);
    void choosePlace();
    bool takeLock();
    void onListed(const ListedFiles &files, int lines);
    void onChecked(const ListedFiles &outdated);
    void finishUpdate();
    void removeWorkingFiles();

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
    bool stopped = false;
    int stallTimeoutMs = 0; // 0: the downloads' own
    int progressMaximum = 100; // the bar's own until the list is known
    QString lastListed;

    QNetworkAccessManager network; // before the parts: they use it to the end
    std::unique_ptr<UpdateLists> lists;
    std::unique_ptr<ContentCheck> check;
    std::unique_ptr<FileTransfers> transfers;
};

#endif // CONTENTUPDATE_H
