#include "updater/contentupdate.h"

#include "app/appconfig.h"
#include "updater/contentcheck.h"
#include "updater/contentfolder.h"
#include "updater/filetransfers.h"
#include "updater/manifest.h"
#include "updater/updatelists.h"
#include "updater/updatetext.h"
#include "updater/workfolder.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

using UpdateText::shown;
using UpdateText::text;

ContentUpdate::ContentUpdate(QObject *parent)
    : QObject(parent)
    , updateLock(WorkFolder::lockFile())
    , lists(std::make_unique<UpdateLists>(&network))
    , check(std::make_unique<ContentCheck>())
    , transfers(std::make_unique<FileTransfers>(&network, WorkFolder::downloadFile()))
{
    // A lock left by a client that died is taken over; a living one's never.
    updateLock.setStaleLockTime(0);
    connect(lists.get(), &UpdateLists::logLine, this, &ContentUpdate::log);
    connect(lists.get(), &UpdateLists::labelChanged, this, &ContentUpdate::labelChanged);
    connect(lists.get(), &UpdateLists::failed, this, &ContentUpdate::fail);
    connect(lists.get(), &UpdateLists::upToDate, this, &ContentUpdate::finishUpdate);
    connect(lists.get(), &UpdateLists::listed, this, &ContentUpdate::onListed);
    connect(check.get(), &ContentCheck::checking, this, [this](int done, const QString &name) {
        setProgress(done, progressMaximum);
        emit labelChanged(text("Checking %1").arg(shown(name)));
    });
    connect(check.get(), &ContentCheck::finished, this, &ContentUpdate::onChecked);
    connect(transfers.get(), &FileTransfers::logLine, this, &ContentUpdate::log);
    connect(transfers.get(), &FileTransfers::labelChanged, this, &ContentUpdate::labelChanged);
    connect(transfers.get(), &FileTransfers::bytesChanged, this, &ContentUpdate::bytesChanged);
    connect(transfers.get(), &FileTransfers::fileInstalled, this,
            [this](int count) { setProgress(count, progressMaximum); });
    connect(transfers.get(), &FileTransfers::failed, this, &ContentUpdate::fail);
    connect(transfers.get(), &FileTransfers::finished, this, &ContentUpdate::finishUpdate);
}

ContentUpdate::~ContentUpdate()
{
    cancel();
}

int ContentUpdate::installedFiles() const
{
    return transfers->installedFiles();
}

void ContentUpdate::introduce()
{
    choosePlace();
    log(text("Using temporary filename [%1]").arg(workFile));
    log(text("Checking for updates..."));
}

// The working folder where it can be made; where the game folder cannot hold
// it (read-only, say), a private folder only to learn whether anything needs
// installing. One that is a link or someone else's is refused at the start.
void ContentUpdate::choosePlace()
{
    if (place != Place::Undecided)
        return;
    workFile = WorkFolder::downloadFile();
    switch (WorkFolder::prepare()) {
    case WorkFolder::State::Ready:
        place = Place::WorkFolder;
        return;
    case WorkFolder::State::Foreign:
        place = Place::Refused;
        return;
    case WorkFolder::State::NotMade:
        break;
    }
    // An unpredictable name, made owner-only by QTemporaryDir.
    privateFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tarvenholm-XXXXXX"));
    if (privateFolder->isValid()) {
        place = Place::Private;
        workFile = privateFolder->filePath(QStringLiteral("tvdown.tmp"));
    } else {
        privateFolder.reset();
        place = Place::Refused;
    }
}

void ContentUpdate::log(const QString &line)
{
    qDebug() << line;
    emit logLine(line);
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
    privateFolder.reset();
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
    cancel();
    emit labelChanged(message);
    log(message);
    emit finished(false);
}

void ContentUpdate::cancel()
{
    if (stopped)
        return;
    stopped = true;
    check->cancel();
    transfers->stop();
    lists->abort();
    removeWorkingFiles();
}

void ContentUpdate::start()
{
    if (stopped)
        return;
    choosePlace();
    if (place == Place::Refused) {
        const bool foreign = WorkFolder::prepare() == WorkFolder::State::Foreign;
        fail(foreign ? text("The folder for downloads [%1] is not a folder of this user; remove it to update")
                           .arg(WorkFolder::path())
                     : text("Could not make path [%1]").arg(WorkFolder::path()));
        return;
    }
    // A private folder is nobody else's: no lock to share.
    if (place == Place::WorkFolder && !takeLock())
        return;
    if (waitingForLock)
        emit labelChanged(QString());
    if (stallTimeoutMs > 0) {
        lists->setStallTimeout(stallTimeoutMs);
        transfers->setStallTimeout(stallTimeoutMs);
    }
    lists->start(workFile);
}

// False while another client holds the lock (this one tries again shortly)
// or when it cannot be taken (the update has then failed).
bool ContentUpdate::takeLock()
{
    if (updateLock.tryLock(0)) {
        locked = true;
        return true;
    }
    const QString lockName = WorkFolder::lockFile();
    if (updateLock.error() != QLockFile::LockFailedError) {
        fail(text("Could not save file: %1").arg(lockName));
        return false;
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
        emit labelChanged(waiting);
        log(waiting);
    }
    QTimer::singleShot(500, this, &ContentUpdate::start);
    return false;
}

void ContentUpdate::onListed(const ListedFiles &files, int lines)
{
    lastListed = files.isEmpty() ? QString() : files.last().name;
    // The bar counts the lines of the list while checking.
    setProgress(0, lines + 1);
    check->start(files);
}

void ContentUpdate::onChecked(const ListedFiles &outdated)
{
    if (stopped)
        return;
    for (const ListedFile &file : outdated)
        log(text("Found file to download: %1").arg(shown(file.name)));
    if (!lastListed.isEmpty())
        emit labelChanged(text("Checking %1").arg(shown(lastListed)));
    // The progress counts the files installed.
    setProgress(0, int(outdated.size()) + 1);
    // Only an update that installs files needs the working folder.
    if (!outdated.isEmpty() && place != Place::WorkFolder) {
        fail(text("Could not make path [%1]").arg(WorkFolder::path()));
        return;
    }
    transfers->start(outdated);
}

void ContentUpdate::finishUpdate()
{
    // The stamp stands for the files: they reach the disk first.
    if (installedFiles() > 0 && !ContentFolder::sync()) {
        fail(text("Could not save file: %1").arg(contentPath(QString())));
        return;
    }
    const qint64 stamp = lists->stamp();
    AppConfig::instance()->stamp = stamp;
    {
        QSettings settings(AppConfig::fileName(), QSettings::IniFormat);
        settings.setValue("stamp", stamp);
    }
    stopped = true;
    removeWorkingFiles();
    setProgress(progressMaximum, progressMaximum);
    log(text("Update finished."));
    emit finished(true);
}
