#include "updater/downloadpool.h"

#include "updater/downloader.h"

#include <QFile>

DownloadPool::DownloadPool(const QString &tempBase, int width)
    : places(size_t(width))
    , stallTimeoutMs(Downloader::defaultStallTimeoutMs)
{
    for (int i = 0; i < width; ++i)
        places[size_t(i)].file = i == 0 ? tempBase : tempBase + QLatin1Char('.') + QString::number(i);
}

DownloadPool::~DownloadPool()
{
    stopAll();
}

bool DownloadPool::hasRoom() const
{
    for (const Place &slot : places) {
        if (slot.key < 0)
            return true;
    }
    return false;
}

bool DownloadPool::isIdle() const
{
    for (const Place &slot : places) {
        if (slot.key >= 0)
            return false;
    }
    return true;
}

DownloadPool::Place *DownloadPool::slotOf(int key)
{
    for (Place &slot : places) {
        if (slot.key == key)
            return &slot;
    }
    return nullptr;
}

void DownloadPool::start(int key, const QUrl &url, qint64 exactSize)
{
    Place *slot = slotOf(-1);
    if (!slot)
        return;
    slot->key = key;
    if (!slot->downloader) {
        // One downloader a place, kept for the next file: its connection stays open.
        slot->downloader = std::make_unique<Downloader>();
        slot->downloader->setStallTimeout(stallTimeoutMs);
        Place *self = slot;
        connect(self->downloader.get(), &Downloader::downloadDone, this, [this, self] { emit done(self->key); });
        connect(self->downloader.get(), &Downloader::downloadFailed, this,
                [this, self](const QString &error) { emit failed(self->key, error); });
        connect(self->downloader.get(), &Downloader::saveFailed, this,
                [this, self](const QString &error) { emit saveFailed(self->key, error); });
        connect(self->downloader.get(), &Downloader::tooLarge, this, [this, self] { emit tooLarge(self->key); });
        connect(self->downloader.get(), &Downloader::downloadProgress, this,
                [this, self](qint64 received, qint64 total) { emit progress(self->key, received, total); });
    }
    // A file of known size answered with more is a broken answer.
    slot->downloader->download(url, slot->file, Downloader::Limit{exactSize, true});
}

QString DownloadPool::fileOf(int key) const
{
    for (const Place &slot : places) {
        if (slot.key == key)
            return slot.file;
    }
    return QString();
}

void DownloadPool::release(int key)
{
    if (Place *slot = slotOf(key)) {
        slot->key = -1;
        QFile::remove(slot->file);
    }
}

void DownloadPool::stopAll()
{
    // Called from a downloader's own signal, perhaps: the downloaders go once
    // control has left them, and say nothing more before. Only the files this
    // pool's own downloaders wrote are removed.
    for (Place &slot : places) {
        if (!slot.downloader)
            continue;
        slot.downloader->disconnect(this);
        slot.downloader->abort();
        slot.downloader.release()->deleteLater();
        slot.key = -1;
        QFile::remove(slot.file);
    }
}
