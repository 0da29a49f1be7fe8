#include "updater/filetransfers.h"

#include "app/appconfig.h"
#include "updater/contentfolder.h"
#include "updater/manifest.h"
#include "updater/updatetext.h"

#include <QDebug>
#include <QFile>

using UpdateText::shown;
using UpdateText::text;

FileTransfers::FileTransfers(QNetworkAccessManager *network, const QString &tempBase, QObject *parent)
    : QObject(parent)
    , network(network)
    , lanes(size_t(width))
{
    for (int i = 0; i < width; ++i)
        lanes[size_t(i)].tempFile = i == 0 ? tempBase : tempBase + QLatin1Char('.') + QString::number(i);
}

FileTransfers::~FileTransfers()
{
    stop();
}

void FileTransfers::start(const ListedFiles &files)
{
    const QString root = AppConfig::instance()->updateroot;
    // The signed list says how large the files are; files.txt does not.
    expectedBytes = 0;
    for (const ListedFile &file : files) {
        records.push_back(Record{file, serverUrl(root, file.name)});
        expectedBytes = file.size < 0 || expectedBytes < 0 ? -1 : expectedBytes + file.size;
    }
    if (!records.empty())
        emit bytesChanged(0, expectedBytes); // the transfers' start, which the speed is counted from
    startNext();
}

// Starts the next outdated files while there is room for them; when the last
// one is in place, the transfers are done.
void FileTransfers::startNext()
{
    for (Lane &lane : lanes) {
        if (stopped || next >= int(records.size()))
            break;
        if (lane.record < 0)
            open(lane, next++);
    }
    if (!stopped && arriving == 0 && next == int(records.size())) {
        stopped = true;
        emit logLine(text("All files downloaded/updated."));
        emit finished();
    }
}

void FileTransfers::open(Lane &lane, int index)
{
    Record &record = records[size_t(index)];
    if (!lane.downloader) {
        lane.downloader = std::make_unique<Downloader>(network);
        lane.downloader->setStallTimeout(stallTimeoutMs);
        // The files of one list are all summed alike.
        lane.sum = std::make_unique<ChecksumValidator>(record.file.kind);
        lane.downloader->setChecksum(lane.sum.get());
        Lane *self = &lane;
        Downloader *downloader = lane.downloader.get();
        connect(downloader, &Downloader::downloadDone, this, [this, self] { onArrived(*self); });
        connect(downloader, &Downloader::downloadProgress, this,
                [this, self](qint64 received, qint64 total) { onProgress(*self, received, total); });
        connect(downloader, &Downloader::downloadFailed, this,
                [this](const QString &error) { fail(text("Could not download file: %1").arg(error)); });
        connect(downloader, &Downloader::saveFailed, this,
                [this](const QString &error) { fail(text("Could not save file: %1").arg(error)); });
        // More than a signed file's size, however often it was asked for.
        connect(downloader, &Downloader::tooLarge, this, [this, self] {
            fail(text("Downloaded file does not match the signed update: %1")
                     .arg(shown(records[size_t(self->record)].file.name)));
        });
    }
    lane.record = index;
    record.state = Record::State::Arriving;
    ++arriving;
    emit logLine(text("Downloading %1").arg(shown(record.url.toString())));
    // A file of known size answered with more is a broken answer.
    lane.downloader->download(record.url, lane.tempFile, Downloader::Limit{record.file.size, true});
    qDebug() << "Downloading " << record.url;
}

void FileTransfers::onProgress(Lane &lane, qint64 received, qint64 total)
{
    Record &record = records[size_t(lane.record)];
    // The label follows the transfer that reported last.
    qDebug() << record.url << "received: " << received << "total: " << total;
    emit labelChanged(UpdateText::downloading(record.url, received, total));
    receivedBytes += received - record.received;
    record.received = received;
    emit bytesChanged(receivedBytes, expectedBytes);
}

// A file has arrived whole in its lane's file, summed as it came: installed
// if it is the listed one.
void FileTransfers::onArrived(Lane &lane)
{
    Record &record = records[size_t(lane.record)];
    const ListedFile &file = record.file;
    // Whatever ignorecrc says: only the signed bytes are installed.
    const bool intact = file.isSigned() ? lane.sum->size() == file.size && lane.sum->result() == file.sum
                                        : AppConfig::instance()->ignorecrc || lane.sum->result() == file.sum;
    if (!intact) {
        if (file.isSigned())
            fail(text("Downloaded file does not match the signed update: %1").arg(shown(file.name)));
        else
            fail(text("Error in downloaded file (crc): %1").arg(shown(file.line)));
        return;
    }
    QString where;
    switch (ContentFolder::install(lane.tempFile, file.name, &where)) {
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
    // Its last blocks may have come since its progress was last told.
    receivedBytes += lane.sum->size() - record.received;
    record.received = lane.sum->size();
    record.state = Record::State::Installed;
    lane.record = -1;
    --arriving;
    ++installed;
    emit labelChanged(QString());
    emit fileInstalled(installed);
    startNext();
}

void FileTransfers::fail(const QString &message)
{
    if (stopped)
        return;
    stop();
    emit failed(message);
}

void FileTransfers::stop()
{
    stopped = true;
    // Called from a downloader's own signal, perhaps: the downloaders go once
    // control has left them, and say nothing more before. Only the files this
    // update's own downloaders wrote are removed.
    for (Lane &lane : lanes) {
        if (!lane.downloader)
            continue;
        lane.downloader->disconnect(this);
        lane.downloader->abort();
        lane.downloader.release()->deleteLater();
        lane.record = -1;
        QFile::remove(lane.tempFile);
    }
}
