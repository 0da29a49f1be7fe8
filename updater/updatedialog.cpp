#include "updater/updatedialog.h"
#include "ui_updatedialog.h"

#include "app/appconfig.h"
#include "updater/checksum.h"
#include "updater/contentfolder.h"
#include "updater/manifest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

namespace {
// How long the check loop may keep events waiting. Handling them after every
// file would cost more than checking a small file; a frame's time keeps the
// window just as responsive.
constexpr qint64 eventInterval = 15;

QString hex8(quint32 crc)
{
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}
} // namespace

UpdateDialog::UpdateDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::UpdateDialog)
    , tempFileName(QDir::tempPath() + QStringLiteral("/tvdown.tmp"))
    , updateLock(tempFileName + QStringLiteral(".lock"))
    , transfers(tempFileName)
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(true);

    // A lock left by a client that died is taken over; a living one's never.
    updateLock.setStaleLockTime(0);
    appendLog(tr("Using temporary filename [%1]").arg(tempFileName));
    appendLog(tr("Checking for updates..."));

    connect(&downloader, &Downloader::saveFailed, this, &UpdateDialog::onSaveFailed);
    connect(&downloader, &Downloader::downloadFailed, this, &UpdateDialog::onDownloadFailed);
    connect(&downloader, &Downloader::downloadDone, this, &UpdateDialog::onDownloadDone);
    connect(&downloader, &Downloader::downloadProgress, this, &UpdateDialog::onDownloadProgress);
    connect(&transfers, &DownloadPool::done, this, &UpdateDialog::onFileDone);
    connect(&transfers, &DownloadPool::failed, this,
            [this](int, const QString &error) { fail(tr("Could not download file: %1").arg(error)); });
    connect(&transfers, &DownloadPool::saveFailed, this,
            [this](int, const QString &error) { fail(tr("Could not save file: %1").arg(error)); });
    connect(&transfers, &DownloadPool::progress, this, [this](int index, qint64 received, qint64 total) {
        // The label follows the transfer that reported last.
        currentUrl = fileUrls.value(index);
        onDownloadProgress(received, total);
    });

    ui->progressBar->setValue(0);
    // Nothing is fetched before the window has been seen; closing it within this
    // second fetches nothing at all.
    QTimer::singleShot(1000, this, &UpdateDialog::start);
}

UpdateDialog::~UpdateDialog()
{
    QFile::remove(tempFileName);
    delete ui;
}

void UpdateDialog::appendLog(const QString &text)
{
    ui->textEdit->appendPlainText(text);
    qDebug() << text;
}

void UpdateDialog::release()
{
    updateLock.unlock();
}

void UpdateDialog::showError(const QString &text)
{
    release();
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(true);
    ui->label->setText(text);
    appendLog(text);
}

void UpdateDialog::startDownload(const QUrl &url)
{
    currentUrl = url;
    appendLog(tr("Downloading %1").arg(url.toString()));
    downloader.download(url, tempFileName);
    qDebug() << "Downloading " << url;
}

void UpdateDialog::start()
{
    if (!updateLock.tryLock(0)) {
        const QString lockName = tempFileName + QStringLiteral(".lock");
        if (updateLock.error() != QLockFile::LockFailedError) {
            showError(tr("Could not save file: %1").arg(lockName));
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
            const QString text = tr("Another copy of TarvenHOLM is updating; waiting until it has finished...");
            ui->label->setText(text);
            appendLog(text);
        }
        QTimer::singleShot(500, this, &UpdateDialog::start);
        return;
    }
    if (waitingForLock)
        ui->label->setText(QString());
    startDownload(serverUrl(AppConfig::instance()->updateroot, QStringLiteral("update/stamp.txt")));
}

void UpdateDialog::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    qDebug() << currentUrl << "received: " << bytesReceived << "total: " << bytesTotal;
    if (bytesTotal > 0) {
        // All values in one step: a "%1" inside the URL must stay text.
        ui->label->setText(tr("Downloading %1 (%2Kb/%3Kb)")
                               .arg(currentUrl.toString(), QString::number(bytesReceived / 1024),
                                    QString::number(bytesTotal / 1024)));
    } else {
        ui->label->setText(
            tr("Downloading %1 (%2Kb)").arg(currentUrl.toString(), QString::number(bytesReceived / 1024)));
    }
}

void UpdateDialog::onSaveFailed(QString errorString)
{
    showError(tr("Could not save file: %1").arg(errorString));
}

void UpdateDialog::onDownloadFailed(QString errorString)
{
    showError(tr("Could not download file: %1").arg(errorString));
}

void UpdateDialog::onDownloadDone()
{
    ui->label->setText(QString());
    if (phase == 0)
        onStampArrived();
    else if (phase == 1)
        onFileListArrived();
}

bool UpdateDialog::openDownloaded(QFile &file)
{
    if (!file.exists()) {
        showError(tr("Could not find just downloaded data."));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        showError(tr("Could not open just downloaded data."));
        return false;
    }
    return true;
}

void UpdateDialog::onStampArrived()
{
    phase = 1;
    QFile file(tempFileName);
    if (!openDownloaded(file))
        return;
    const QString line = manifestLineText(file.readLine());
    file.close();

    if (!parseStampLine(line, serverStamp)) {
        serverStamp = 0;
        showError(tr("Invalid server response [%1]").arg(line));
        return;
    }
    const qint64 localStamp = AppConfig::instance()->stamp;
    if (serverStamp <= localStamp) {
        appendLog(tr("Timestamp match."));
        finishUpdate();
        return;
    }
    appendLog(tr("Updater stamp difference: server=%1 local=%2")
                  .arg(QString::number(serverStamp), QString::number(localStamp)));
    startDownload(serverUrl(AppConfig::instance()->updateroot, QStringLiteral("update/files.txt")));
}

bool UpdateDialog::eventsDue() const
{
    return !sinceEvents.isValid() || sinceEvents.elapsed() >= eventInterval;
}

void UpdateDialog::processEvents()
{
    QCoreApplication::processEvents();
    sinceEvents.start();
}

void UpdateDialog::onFileListArrived()
{
    phase = 2;
    fileLines.clear();
    pendingLines.clear();
    QFile file(tempFileName);
    if (!openDownloaded(file))
        return;
    while (file.pos() < file.size())
        fileLines << manifestLineText(file.readLine());
    file.close();

    qDebug() << "filelist line count: " << fileLines.size();
    ui->progressBar->setMaximum(fileLines.size() + 1);
    sinceEvents.invalidate();
    QString lastChecked;
    for (int i = 0; i < fileLines.size(); ++i) {
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
            appendLog(tr("Found file to download: %1").arg(name));
        }
        lastChecked = name;
        // The bar and the label are brought up to date only when the window
        // gets to repaint anyway: the bar repaints synchronously on each change.
        if (eventsDue()) {
            ui->progressBar->setValue(i);
            ui->label->setText(tr("Checking %1").arg(name));
            processEvents();
        }
    }
    if (!lastChecked.isNull())
        ui->label->setText(tr("Checking %1").arg(lastChecked));
    // The bar counts the files installed.
    ui->progressBar->setMaximum(pendingLines.size() + 1);
    ui->progressBar->setValue(0);
    downloadNextFile();
}

// A content file has arrived in its temporary file: checked and installed.
void UpdateDialog::onFileDone(int index)
{
    ++phase;
    const QString line = pendingLines.at(index);
    const QString downloaded = transfers.fileOf(index);
    QString name;
    quint32 listed = 0;
    if (!parseFileInfo(line, name, listed)) {
        fail(tr("Error in file info: %1").arg(line));
        return;
    }
    if (!AppConfig::instance()->ignorecrc && fileCrc32(downloaded) != listed) {
        fail(tr("Error in downloaded file (crc): %1").arg(line));
        return;
    }

    const QString localPath = contentPath(name);
    // Linked folders on the way go first (the links, not what they point to):
    // the old file is then the one inside the content folder, if any.
    QString dir = QFileInfo(localPath).path();
    const bool wayClear = ContentFolder::clearWayTo(name, &dir);
    const QFileInfo local(localPath);
    // A link at the path goes, not what it points to. A file its owner made
    // read-only counts as one that cannot be replaced, as it would on Windows.
    const bool replaceable = local.isSymLink()
        || (!local.exists() || ((local.permissions() & QFileDevice::WriteOwner) && !local.isDir()));
    if ((local.exists() || local.isSymLink()) && (!replaceable || !QFile::remove(localPath))) {
        fail(tr("Could not delete file [%1]").arg(localPath));
        return;
    }
    if (!wayClear || !QDir().mkpath(dir)) {
        fail(tr("Could not make path [%1]").arg(dir));
        return;
    }
    if (!QFile::copy(downloaded, localPath)) {
        fail(tr("Could not copy downloaded file to [%1]").arg(localPath));
        return;
    }
    transfers.release(index);
    ++installed;
    ui->progressBar->setValue(installed);
    downloadNextFile();
}

// The first failure ends the update: every other transfer stops at once and
// nothing more is installed.
void UpdateDialog::fail(const QString &message)
{
    stopped = true;
    transfers.stopAll();
    showError(message);
}

// Starts the next outdated files while there is room for them; when the last
// one is in place, the update is done.
void UpdateDialog::downloadNextFile()
{
    while (!stopped && transfers.hasRoom() && nextPending < pendingLines.size()) {
        const int index = nextPending++;
        QString name;
        quint32 listed = 0;
        if (!parseFileInfo(pendingLines.at(index), name, listed)) {
            fail(tr("Error in file info: %1").arg(pendingLines.at(index)));
            return;
        }
        const QUrl url = serverUrl(AppConfig::instance()->updateroot, name);
        fileUrls.insert(index, url);
        appendLog(tr("Downloading %1").arg(url.toString()));
        transfers.start(index, url);
        qDebug() << "Downloading " << url;
    }
    if (!stopped && transfers.isIdle() && nextPending == pendingLines.size()) {
        appendLog(tr("All files downloaded/updated."));
        finishUpdate();
    }
}

void UpdateDialog::finishUpdate()
{
    AppConfig::instance()->stamp = serverStamp;
    {
        QSettings settings(QString::fromLatin1(AppConfig::fileName), QSettings::IniFormat);
        settings.setValue("stamp", serverStamp);
    }
    release();
    ui->progressBar->setValue(ui->progressBar->maximum());
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(true);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(false);
    appendLog(tr("Update finished."));
    QTimer::singleShot(3000, this, &QWidget::close);
}
