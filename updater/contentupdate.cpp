#include "updater/contentupdate.h"

#include "app/appconfig.h"
#include "updater/checksum.h"
#include "updater/contentfolder.h"
#include "updater/manifest.h"
#include "updater/workfolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

namespace {
// How long the check loop may keep events waiting. Handling them after every
// file would cost more than checking a small file; a frame's time keeps the
// window just as responsive.
constexpr qint64 eventInterval = 15;

// The update's texts are the update dialog's, translated in its context.
QString text(const char *source)
{
    return QCoreApplication::translate("UpdateDialog", source);
}

QString hex8(quint32 crc)
{
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}
} // namespace

ContentUpdate::ContentUpdate(QObject *parent)
    : QObject(parent)
    , updateLock(WorkFolder::lockFile())
    , transfers(WorkFolder::downloadFile())
{
    // A lock left by a client that died is taken over; a living one's never.
    updateLock.setStaleLockTime(0);
    connect(&downloader, &Downloader::saveFailed, this,
            [this](const QString &error) { fail(text("Could not save file: %1").arg(error)); });
    connect(&downloader, &Downloader::downloadFailed, this,
            [this](const QString &error) { fail(text("Could not download file: %1").arg(error)); });
    connect(&downloader, &Downloader::downloadDone, this, &ContentUpdate::onDownloadDone);
    connect(&downloader, &Downloader::downloadProgress, this, &ContentUpdate::onDownloadProgress);
    connect(&transfers, &DownloadPool::done, this, &ContentUpdate::onFileDone);
    connect(&transfers, &DownloadPool::failed, this,
            [this](int, const QString &error) { fail(text("Could not download file: %1").arg(error)); });
    connect(&transfers, &DownloadPool::saveFailed, this,
            [this](int, const QString &error) { fail(text("Could not save file: %1").arg(error)); });
    connect(&transfers, &DownloadPool::progress, this, [this](int index, qint64 received, qint64 total) {
        // The label follows the transfer that reported last.
        currentUrl = fileUrls.value(index);
        onDownloadProgress(received, total);
    });
}

ContentUpdate::~ContentUpdate()
{
    transfers.stopAll();
    downloader.abort();
    removeWorkingFiles();
}

void ContentUpdate::introduce()
{
    log(text("Using temporary filename [%1]").arg(WorkFolder::downloadFile()));
    log(text("Checking for updates..."));
}

void ContentUpdate::setStallTimeout(int ms)
{
    downloader.setStallTimeout(ms);
    transfers.setStallTimeout(ms);
}

void ContentUpdate::log(const QString &line)
{
    qDebug() << line;
    emit logLine(line);
}

void ContentUpdate::setLabel(const QString &label)
{
    emit labelChanged(label);
}

void ContentUpdate::setProgress(int value, int maximum)
{
    progressMaximum = maximum;
    emit progressChanged(value, maximum);
}

// The working files are this update's only while it holds the lock; another
// client's are never touched.
void ContentUpdate::removeWorkingFiles()
{
    if (!locked)
        return;
    QFile::remove(WorkFolder::downloadFile());
    updateLock.unlock();
    locked = false;
}

void ContentUpdate::fail(const QString &message)
{
    if (stopped)
        return;
    stopped = true;
    transfers.stopAll();
    downloader.abort();
    removeWorkingFiles();
    setLabel(message);
    log(message);
    emit finished(false);
}

void ContentUpdate::cancel()
{
    if (stopped)
        return;
    stopped = true;
    transfers.stopAll();
    downloader.abort();
    removeWorkingFiles();
}

void ContentUpdate::start()
{
    if (stopped)
        return;
    switch (WorkFolder::prepare()) {
    case WorkFolder::State::Ready:
        break;
    case WorkFolder::State::NotMade:
        fail(text("Could not make path [%1]").arg(WorkFolder::path()));
        return;
    case WorkFolder::State::Foreign:
        fail(text("The folder for downloads [%1] is not a folder of this user; remove it to update")
                 .arg(WorkFolder::path()));
        return;
    }
    if (!updateLock.tryLock(0)) {
        const QString lockName = WorkFolder::lockFile();
        if (updateLock.error() != QLockFile::LockFailedError) {
            fail(text("Could not save file: %1").arg(lockName));
            return;
        }
        // A lock file nobody can read (its writer died making it) would hold
        // every later update up: after a while it counts as left behind.
        qint64 pid = 0;
        QString host, application;
        if (!updateLock.getLockInfo(&pid, &host, &application)
            && QFileInfo(lockName).lastModified().secsTo(QDateTime::currentDateTime()) > 10)
            updateLock.removeStaleLockFile();
        if (!waitingForLock) {
            waitingForLock = true;
            const QString waiting = text("Another copy of TarvenHOLM is updating; waiting until it has finished...");
            setLabel(waiting);
            log(waiting);
        }
        QTimer::singleShot(500, this, &ContentUpdate::start);
        return;
    }
    locked = true;
    if (waitingForLock)
        setLabel(QString());
    startDownload(serverUrl(AppConfig::instance()->updateroot, QStringLiteral("update/stamp.txt")));
}

void ContentUpdate::startDownload(const QUrl &url)
{
    currentUrl = url;
    log(text("Downloading %1").arg(url.toString()));
    downloader.download(url, WorkFolder::downloadFile());
    qDebug() << "Downloading " << url;
}

void ContentUpdate::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    qDebug() << currentUrl << "received: " << bytesReceived << "total: " << bytesTotal;
    if (bytesTotal > 0) {
        // All values in one step: a "%1" inside the URL must stay text.
        setLabel(text("Downloading %1 (%2Kb/%3Kb)")
                     .arg(currentUrl.toString(), QString::number(bytesReceived / 1024), QString::number(bytesTotal / 1024)));
    } else {
        setLabel(text("Downloading %1 (%2Kb)").arg(currentUrl.toString(), QString::number(bytesReceived / 1024)));
    }
}

void ContentUpdate::onDownloadDone()
{
    setLabel(QString());
    if (phase == 0)
        onStampArrived();
    else if (phase == 1)
        onFileListArrived();
}

bool ContentUpdate::readDownloaded(QByteArray *data)
{
    QFile file(WorkFolder::downloadFile());
    if (!file.exists()) {
        fail(text("Could not find just downloaded data."));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        fail(text("Could not open just downloaded data."));
        return false;
    }
    *data = file.readAll();
    return true;
}

void ContentUpdate::onStampArrived()
{
    phase = 1;
    QByteArray data;
    if (!readDownloaded(&data))
        return;
    const int end = data.indexOf('\n');
    const QString line = manifestLineText(end < 0 ? data : data.left(end + 1));
    if (!parseStampLine(line, serverStamp)) {
        serverStamp = 0;
        fail(text("Invalid server response [%1]").arg(line));
        return;
    }
    const qint64 localStamp = AppConfig::instance()->stamp;
    if (serverStamp <= localStamp) {
        log(text("Timestamp match."));
        finishUpdate();
        return;
    }
    log(text("Updater stamp difference: server=%1 local=%2")
            .arg(QString::number(serverStamp), QString::number(localStamp)));
    startDownload(serverUrl(AppConfig::instance()->updateroot, QStringLiteral("update/files.txt")));
}

bool ContentUpdate::eventsDue() const
{
    return !sinceEvents.isValid() || sinceEvents.elapsed() >= eventInterval;
}

void ContentUpdate::processEvents()
{
    QCoreApplication::processEvents();
    sinceEvents.start();
}

void ContentUpdate::onFileListArrived()
{
    phase = 2;
    pendingLines.clear();
    QByteArray data;
    if (!readDownloaded(&data))
        return;
    QStringList fileLines;
    for (qsizetype from = 0; from < data.size();) {
        const qsizetype end = data.indexOf('\n', from);
        const qsizetype next = end < 0 ? data.size() : end + 1;
        fileLines << manifestLineText(data.mid(from, next - from));
        from = next;
    }

    qDebug() << "filelist line count: " << fileLines.size();
    setProgress(0, int(fileLines.size()) + 1);
    sinceEvents.invalidate();
    QString lastChecked;
    for (int i = 0; i < fileLines.size() && !stopped; ++i) {
        const QString &line = fileLines.at(i);
        QString name;
        quint32 listed = 0;
        if (!parseFileInfo(line, name, listed)) {
            qDebug() << "Invalid files.txt format: " << line;
            continue;
        }
        if (!isSafeContentName(name)) {
            // A name that would reach outside the content folder is refused
            // like a malformed entry.
            qDebug() << "Unsafe file name in files.txt: " << line;
            continue;
        }
        // Only a plain file is read: a pipe would hold the check up, and a link
        // is to be replaced, not followed. Anything else is outdated.
        const ContentFolder::Entry entry = ContentFolder::entry(name);
        const quint32 local = entry == ContentFolder::Entry::PlainFile ? fileCrc32(contentPath(name)) : 0xFFFFFFFFu;
        if (local != listed || entry == ContentFolder::Entry::Other) {
            qDebug() << name << hex8(listed) << hex8(local);
            pendingLines << line;
            log(text("Found file to download: %1").arg(name));
        }
        lastChecked = name;
        // Progress and label are told only when a window gets to repaint
        // anyway: a progress bar repaints synchronously on each change.
        if (eventsDue()) {
            setProgress(i, progressMaximum);
            setLabel(text("Checking %1").arg(name));
            processEvents();
        }
    }
    if (stopped)
        return;
    if (!lastChecked.isNull())
        setLabel(text("Checking %1").arg(lastChecked));
    // The progress counts the files installed.
    setProgress(0, int(pendingLines.size()) + 1);
    downloadNextFile();
}

// A content file has arrived in its temporary file: checked and installed.
void ContentUpdate::onFileDone(int index)
{
    ++phase;
    const QString line = pendingLines.at(index);
    const QString downloaded = transfers.fileOf(index);
    QString name;
    quint32 listed = 0;
    if (!parseFileInfo(line, name, listed)) {
        fail(text("Error in file info: %1").arg(line));
        return;
    }
    if (!AppConfig::instance()->ignorecrc && fileCrc32(downloaded) != listed) {
        fail(text("Error in downloaded file (crc): %1").arg(line));
        return;
    }
    QString where;
    switch (ContentFolder::install(downloaded, name, &where)) {
    case ContentFolder::Install::Done:
        break;
    case ContentFolder::Install::NotReplaceable:
        fail(text("Could not delete file [%1]").arg(where));
        return;
    case ContentFolder::Install::NoPath:
        fail(text("Could not make path [%1]").arg(where));
        return;
    case ContentFolder::Install::NotWritten:
        fail(text("Could not copy downloaded file to [%1]").arg(where));
        return;
    }
    transfers.release(index);
    ++installed;
    setLabel(QString());
    setProgress(installed, progressMaximum);
    downloadNextFile();
}

// Starts the next outdated files while there is room for them; when the last
// one is in place, the update is done.
void ContentUpdate::downloadNextFile()
{
    while (!stopped && transfers.hasRoom() && nextPending < pendingLines.size()) {
        const int index = nextPending++;
        QString name;
        quint32 listed = 0;
        if (!parseFileInfo(pendingLines.at(index), name, listed)) {
            fail(text("Error in file info: %1").arg(pendingLines.at(index)));
            return;
        }
        const QUrl url = serverUrl(AppConfig::instance()->updateroot, name);
        fileUrls.insert(index, url);
        log(text("Downloading %1").arg(url.toString()));
        transfers.start(index, url);
        qDebug() << "Downloading " << url;
    }
    if (!stopped && transfers.isIdle() && nextPending == pendingLines.size()) {
        log(text("All files downloaded/updated."));
        finishUpdate();
    }
}

void ContentUpdate::finishUpdate()
{
    // The stamp stands for the files: they reach the disk first.
    if (installed > 0 && !ContentFolder::sync()) {
        fail(text("Could not save file: %1").arg(contentPath(QString())));
        return;
    }
    AppConfig::instance()->stamp = serverStamp;
    {
        QSettings settings(QString::fromLatin1(AppConfig::fileName), QSettings::IniFormat);
        settings.setValue("stamp", serverStamp);
    }
    stopped = true;
    removeWorkingFiles();
    setProgress(progressMaximum, progressMaximum);
    log(text("Update finished."));
    emit finished(true);
}
