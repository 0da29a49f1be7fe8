#include "updater/contentupdate.h"

#include "app/appconfig.h"
#include "updater/checksum.h"
#include "updater/contentfolder.h"
#include "updater/manifest.h"
#include "updater/signedmanifest.h"
#include "updater/signing.h"
#include "updater/workfolder.h"

#include <QCoreApplication>
#include <QtConcurrent>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

namespace {
// The update's texts are the update dialog's, translated in its context.
QString text(const char *source)
{
    return QCoreApplication::translate("UpdateDialog", source);
}

QString hex8(quint32 crc)
{
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}

// What a server sent, as the player is shown it: a readable length at most.
// Server text on the one line of the dialog's label, as it was sent: line
// ends, tabs and other control characters are written as escapes ("\r\n"),
// and a long text is cut.
QString shown(const QString &serverText)
{
    QString text;
    for (const QChar c : serverText) {
        if (text.size() > ContentUpdate::maxShownText)
            break;
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            text += c == QLatin1Char('\r')   ? QStringLiteral("\\r")
                : c == QLatin1Char('\n') ? QStringLiteral("\\n")
                : c == QLatin1Char('\t') ? QStringLiteral("\\t")
                                         : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            break;
        default:
            text += c;
        }
    }
    if (text.size() <= ContentUpdate::maxShownText)
        return text;
    return text.left(ContentUpdate::maxShownText) + QChar(0x2026);
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
    // A signed list or signature the server does not have is named so; one
    // that did not come (the network, the server failing) is a download
    // like any other. Only a signature that does not verify is one of
    // another's.
    connect(&downloader, &Downloader::downloadFailed, this, [this](const QString &error) {
        const bool missing = downloader.status() == 404 || downloader.status() == 410;
        if ((phase == Phase::Manifest || phase == Phase::Signature) && missing)
            fail(text("The server offers no signed update: %1").arg(error));
        else
            fail(text("Could not download file: %1").arg(error));
    });
    connect(&downloader, &Downloader::tooLarge, this, [this](qint64 limit) {
        fail(text("The answer from %1 is larger than %2 bytes").arg(shown(currentUrl.toString()), QString::number(limit)));
    });
    connect(&downloader, &Downloader::downloadDone, this, &ContentUpdate::onDownloadDone);
    connect(&downloader, &Downloader::downloadProgress, this, &ContentUpdate::onDownloadProgress);
    connect(&transfers, &DownloadPool::done, this, &ContentUpdate::onFileDone);
    connect(&checkWatcher, &QFutureWatcher<CheckResult>::finished, this, &ContentUpdate::onChecked);
    connect(&checkWatcher, &QFutureWatcher<CheckResult>::progressValueChanged, this, [this](int done) {
        if (done > 0 && done <= checking.size()) {
            setProgress(done, progressMaximum);
            setLabel(text("Checking %1").arg(shown(checking.at(done - 1).name)));
        }
    });
    // Progress comes as often as a window can show it.
    checkWatcher.setPendingResultsLimit(64);
    connect(&transfers, &DownloadPool::failed, this,
            [this](int, const QString &error) { fail(text("Could not download file: %1").arg(error)); });
    connect(&transfers, &DownloadPool::saveFailed, this,
            [this](int, const QString &error) { fail(text("Could not save file: %1").arg(error)); });
    // More than a signed file's size, however often it was asked for.
    connect(&transfers, &DownloadPool::tooLarge, this, [this](int index) {
        fail(text("Downloaded file does not match the signed update: %1").arg(shown(pending.at(index).name)));
    });
    connect(&transfers, &DownloadPool::progress, this, [this](int index, qint64 received, qint64 total) {
        // The label follows the transfer that reported last.
        currentUrl = fileUrls.value(index);
        onDownloadProgress(received, total);
        receivedBytes += received - receivedOf.value(index);
        receivedOf.insert(index, received);
        emit bytesChanged(receivedBytes, expectedBytes);
    });
}

ContentUpdate::~ContentUpdate()
{
    cancel();
    checkWatcher.waitForFinished(); // its workers are done with the list
    for (QFutureWatcher<bool> *watcher : std::as_const(verifying))
        watcher->waitForFinished();
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
    setLabel(message);
    log(message);
    emit finished(false);
}

void ContentUpdate::cancel()
{
    if (stopped)
        return;
    stopped = true;
    checkWatcher.cancel();
    transfers.stopAll();
    downloader.abort();
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
    if (place == Place::WorkFolder && !updateLock.tryLock(0)) {
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
    locked = place == Place::WorkFolder;
    if (waitingForLock)
        setLabel(QString());
    startDownload(serverUrl(AppConfig::instance()->updateroot, QStringLiteral("update/stamp.txt")), maxStampSize);
}

void ContentUpdate::startDownload(const QUrl &url, qint64 maxSize)
{
    currentUrl = url;
    log(text("Downloading %1").arg(shown(url.toString())));
    downloader.download(url, workFile, Downloader::Limit{maxSize, false});
    qDebug() << "Downloading " << url;
}

void ContentUpdate::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    qDebug() << currentUrl << "received: " << bytesReceived << "total: " << bytesTotal;
    if (bytesTotal > 0) {
        // All values in one step: a "%1" inside the URL must stay text.
        setLabel(text("Downloading %1 (%2Kb/%3Kb)")
                     .arg(shown(currentUrl.toString()), QString::number(bytesReceived / 1024), QString::number(bytesTotal / 1024)));
    } else {
        setLabel(text("Downloading %1 (%2Kb)").arg(shown(currentUrl.toString()), QString::number(bytesReceived / 1024)));
    }
}

void ContentUpdate::onDownloadDone()
{
    setLabel(QString());
    switch (phase) {
    case Phase::Stamp:
        onStampArrived();
        break;
    case Phase::List:
        onFileListArrived();
        break;
    case Phase::Manifest:
        onManifestArrived();
        break;
    case Phase::Signature:
        onSignatureArrived();
        break;
    case Phase::Files:
        break;
    }
}

bool ContentUpdate::readDownloaded(QByteArray *data)
{
    QFile file(workFile);
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
    QByteArray data;
    if (!readDownloaded(&data))
        return;
    const int end = data.indexOf('\n');
    const QString line = manifestLineText(end < 0 ? data : data.left(end + 1));
    if (!parseStampLine(line, serverStamp)) {
        serverStamp = 0;
        fail(text("Invalid server response [%1]").arg(shown(line)));
        return;
    }
    const qint64 localStamp = AppConfig::instance()->stamp;
    if (serverStamp <= localStamp) {
        log(text("Timestamp match."));
        // The unsigned stamp cannot take signed content back: with the
        // operator's key, the stamp recorded never goes down.
        if (!AppConfig::instance()->updatekey.isEmpty())
            serverStamp = localStamp;
        finishUpdate();
        return;
    }
    log(text("Updater stamp difference: server=%1 local=%2")
            .arg(QString::number(serverStamp), QString::number(localStamp)));
    // With the operator's key, the signed manifest is the list, and nothing
    // of the server's is trusted before its signature is checked.
    const bool signedUpdate = !AppConfig::instance()->updatekey.isEmpty();
    phase = signedUpdate ? Phase::Manifest : Phase::List;
    startDownload(serverUrl(AppConfig::instance()->updateroot,
                            signedUpdate ? QStringLiteral("update/manifest") : QStringLiteral("update/files.txt")),
                  maxListSize);
}

void ContentUpdate::onManifestArrived()
{
    if (!readDownloaded(&manifestText))
        return;
    phase = Phase::Signature;
    startDownload(serverUrl(AppConfig::instance()->updateroot, QStringLiteral("update/manifest.sig")), maxSignatureSize);
}

void ContentUpdate::onSignatureArrived()
{
    QByteArray signature;
    if (!readDownloaded(&signature))
        return;
    if (!Signing::verify(manifestText, signature, AppConfig::instance()->updatekey)) {
        fail(text("The update is not signed by the game's publisher"));
        return;
    }
    SignedManifest manifest;
    if (!SignedManifest::parse(manifestText, &manifest)) {
        fail(text("The signed update list cannot be read"));
        return;
    }
    // A signed manifest of other (older) content, replayed, is refused.
    if (manifest.stamp != serverStamp || manifest.stamp < AppConfig::instance()->stamp) {
        fail(text("The signed update is not the one announced (stamp %1 instead of %2)")
                 .arg(QString::number(manifest.stamp), QString::number(serverStamp)));
        return;
    }
    log(text("The update is signed by the game's publisher."));
    QList<PendingFile> listed;
    for (const SignedManifest::File &file : manifest.files) {
        PendingFile entry;
        entry.name = file.name;
        entry.line = file.name;
        entry.sha256 = file.sha256;
        entry.size = file.size;
        listed << entry;
    }
    checkFiles(listed, int(listed.size()) + 1);
}

void ContentUpdate::onFileListArrived()
{
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
    QList<PendingFile> listed;
    for (const QString &line : std::as_const(fileLines)) {
        PendingFile entry;
        entry.line = line;
        if (!parseFileInfo(line, entry.name, entry.crc)) {
            // A wrong number of fields it has named itself; a bad checksum is named here.
            if (line.count(QLatin1Char(',')) == 1)
                qDebug() << "Invalid files.txt format: " << line;
            continue;
        }
        if (!isSafeContentName(entry.name)) {
            // A name that would reach outside the content folder is refused
            // like a malformed entry.
            qDebug() << "Unsafe file name in files.txt: " << line;
            continue;
        }
        listed << entry;
    }
    // The bar counts the lines of the list while checking.
    checkFiles(listed, int(fileLines.size()) + 1);
}

// The size and the hash of one open file: what is hashed is what was measured.
static bool holdsSignedBytes(const QString &path, const PendingFile &file)
{
    QFile opened(path);
    return opened.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && opened.size() == file.size
        && Signing::sha256Of(&opened) == file.sha256;
}

// Only a plain file is read: a pipe would hold the check up, and a link is to
// be replaced, not followed. Anything else is outdated.
static CheckResult check(const PendingFile &file)
{
    CheckResult result;
    const ContentFolder::Entry entry = ContentFolder::entry(file.name);
    const QString local = contentPath(file.name);
    // As a file that cannot be opened always was.
    if (entry == ContentFolder::Entry::Missing)
        qDebug() << "Could not open file: " << local;
    if (file.size >= 0) {
        result.current = entry == ContentFolder::Entry::PlainFile && holdsSignedBytes(local, file);
    } else {
        result.crc = entry == ContentFolder::Entry::PlainFile ? fileCrc32(local) : 0xFFFFFFFFu;
        result.current = result.crc == file.crc && entry != ContentFolder::Entry::Other;
    }
    return result;
}

void ContentUpdate::checkFiles(const QList<PendingFile> &listed, int progressSteps)
{
    phase = Phase::Files;
    pending.clear();
    checking = listed;
    setProgress(0, progressSteps);
    // Files are read side by side, a few at a time on each core.
    checkWatcher.setFuture(QtConcurrent::mapped(checking, check));
}

void ContentUpdate::onChecked()
{
    if (stopped || checkWatcher.isCanceled())
        return;
    const QList<CheckResult> results = checkWatcher.future().results();
    for (int i = 0; i < checking.size() && i < results.size(); ++i) {
        const PendingFile &file = checking.at(i);
        if (results.at(i).current)
            continue;
        if (file.size < 0)
            qDebug() << file.name << hex8(file.crc) << hex8(results.at(i).crc);
        pending << file;
        log(text("Found file to download: %1").arg(shown(file.name)));
    }
    if (!checking.isEmpty())
        setLabel(text("Checking %1").arg(shown(checking.last().name)));
    checking.clear();
    // The progress counts the files installed.
    setProgress(0, int(pending.size()) + 1);
    // The signed list says how large the files are; files.txt does not.
    expectedBytes = 0;
    for (const PendingFile &file : std::as_const(pending))
        expectedBytes = file.size < 0 || expectedBytes < 0 ? -1 : expectedBytes + file.size;
    // Only an update that installs files needs the working folder.
    if (!pending.isEmpty() && place != Place::WorkFolder) {
        fail(text("Could not make path [%1]").arg(WorkFolder::path()));
        return;
    }
    if (!pending.isEmpty())
        emit bytesChanged(0, expectedBytes); // the transfers' start, which the speed is counted from
    downloadNextFile();
}

// A content file has arrived in its temporary file: checked, then installed.
// A large one is checked on a worker thread (hashing it would hold the window
// up); for a small one the trip to the thread would cost more than the check.
void ContentUpdate::onFileDone(int index)
{
    const PendingFile file = pending.at(index);
    const QString downloaded = transfers.fileOf(index);
    const bool ignoreCrc = AppConfig::instance()->ignorecrc;
    const auto intact = [downloaded, file, ignoreCrc] {
        // Whatever ignorecrc says: only the signed bytes are installed.
        if (file.size >= 0)
            return holdsSignedBytes(downloaded, file);
        return ignoreCrc || fileCrc32(downloaded) == file.crc;
    };
    if (QFileInfo(downloaded).size() <= checkInPlaceBytes) {
        onFileChecked(index, intact());
        return;
    }
    auto *watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcher<bool>::finished, this, [this, watcher, index] {
        verifying.removeOne(watcher);
        watcher->deleteLater();
        if (!stopped)
            onFileChecked(index, watcher->result());
    });
    verifying << watcher;
    watcher->setFuture(QtConcurrent::run(intact));
}

void ContentUpdate::onFileChecked(int index, bool intact)
{
    const PendingFile &file = pending.at(index);
    const QString downloaded = transfers.fileOf(index);
    if (!intact) {
        if (file.size >= 0)
            fail(text("Downloaded file does not match the signed update: %1").arg(shown(file.name)));
        else
            fail(text("Error in downloaded file (crc): %1").arg(shown(file.line)));
        return;
    }
    QString where;
    switch (ContentFolder::install(downloaded, file.name, &where)) {
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
    while (!stopped && transfers.hasRoom() && nextPending < pending.size()) {
        const int index = nextPending++;
        const QUrl url = serverUrl(AppConfig::instance()->updateroot, pending.at(index).name);
        fileUrls.insert(index, url);
        log(text("Downloading %1").arg(shown(url.toString())));
        transfers.start(index, url, pending.at(index).size);
        qDebug() << "Downloading " << url;
    }
    if (!stopped && transfers.isIdle() && nextPending == pending.size()) {
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
        QSettings settings(AppConfig::fileName(), QSettings::IniFormat);
        settings.setValue("stamp", serverStamp);
    }
    stopped = true;
    removeWorkingFiles();
    setProgress(progressMaximum, progressMaximum);
    log(text("Update finished."));
    emit finished(true);
}
