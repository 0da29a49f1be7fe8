#ifndef UPDATEDIALOG_H
#define UPDATEDIALOG_H

#include <QDialog>
#include <QElapsedTimer>
#include <QLockFile>
#include <QStringList>
#include <QUrl>

#include "updater/downloader.h"
#include "updater/downloadpool.h"

#include <QHash>

namespace Ui {
class UpdateDialog;
}

// Brings "./content/" up to date from the update server: compares the server's
// stamp with the installed one, checks every listed file by CRC-32, downloads
// the outdated ones one by one through a temporary file, installs them, and
// records the new stamp only when everything is in place.
class UpdateDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UpdateDialog(QWidget *parent = nullptr);
    ~UpdateDialog() override;

private slots:
    void start();
    void onDownloadDone();
    void onDownloadFailed(QString errorString);
    void onSaveFailed(QString errorString);
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);

private:
    void appendLog(const QString &text);
    void showError(const QString &text);
    void startDownload(const QUrl &url);
    void downloadNextFile();
    void finishUpdate();

    void onStampArrived();
    void onFileListArrived();
    void onFileDone(int index);
    void fail(const QString &message);
    bool openDownloaded(class QFile &file);
    bool eventsDue() const;
    void processEvents();
    void release();

    Ui::UpdateDialog *ui;
    Downloader downloader;
    QString tempFileName;
    // Held while this dialog updates: every copy of the client uses the same
    // temporary file, and two updates must never write it at once.
    QLockFile updateLock;
    bool waitingForLock = false;
    // The outdated files, fetched side by side; a file is known by its index in pendingLines.
    DownloadPool transfers;
    QHash<int, QUrl> fileUrls;
    int nextPending = 0;
    int installed = 0;
    bool stopped = false;
    QUrl currentUrl;
    QStringList fileLines;
    QStringList pendingLines;
    int phase = 0;
    qint64 serverStamp = 0;
    QElapsedTimer sinceEvents;
};

#endif // UPDATEDIALOG_H
