#include "updater/checksum.h"

#include <QDebug>
#include <QFile>

#include <isa-l/crc.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

quint32 crc32Update(quint32 crc, const char *data, qint64 size)
{
    // crc32_gzip_refl applies the usual pre- and post-inversion itself, so it
    // chains like zlib's crc32().
    return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char *>(data), quint64(size));
}

quint32 fileCrc32(const QString &path)
{
    QFile file(path);
    // Unbuffered: QFile's own buffer would only add a copy per block.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qDebug() << "Could not open file: " << path;
        return 0xFFFFFFFFu;
    }
    ChecksumValidator sum(ChecksumValidator::Kind::Crc32);
    // A sum of part of the file would be some other file's.
    if (!sum.addAll(&file)) {
        qDebug() << "Could not read file: " << path;
        return 0xFFFFFFFFu;
    }
    return sum.result().toUInt(nullptr, 16);
}

// Filled buffers waiting to be summed, and the thread that sums them. The
// sum's state is the thread's while any buffer waits or is being summed;
// drain() gives it back. Buffers go round (filled, summed, filled again):
// a fresh allocation for each block would cost more in page faults than the
// sum.
struct ChecksumValidator::Worker
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<char>> full;
    std::vector<std::vector<char>> spare;
    int made = 0;
    bool summing = false;
    bool ending = false;
    std::vector<char> filling; // the caller's alone
    std::thread thread;
};

ChecksumValidator::ChecksumValidator(Kind kind)
    : sumKind(kind)
{
    // A CRC-32 list's check makes one for every file: no hash context for it.
    if (kind == Kind::Sha256)
        sha.emplace();
}

ChecksumValidator::~ChecksumValidator()
{
    if (!worker)
        return;
    {
        std::lock_guard<std::mutex> lock(worker->mutex);
        worker->ending = true;
    }
    worker->changed.notify_all();
    worker->thread.join();
}

void ChecksumValidator::handOver()
{
    std::unique_lock<std::mutex> lock(worker->mutex);
    // The caller waits rather than memory grows.
    worker->changed.wait(lock, [this] { return !worker->spare.empty() || worker->made < queuedBytes / batchSize; });
    worker->full.push_back(std::move(worker->filling));
    if (worker->spare.empty()) {
        ++worker->made;
        worker->filling = std::vector<char>();
        worker->filling.reserve(size_t(batchSize));
    } else {
        worker->filling = std::move(worker->spare.back());
        worker->spare.pop_back();
    }
    worker->changed.notify_all();
}

void ChecksumValidator::drain()
{
    if (!worker)
        return;
    if (!worker->filling.empty())
        handOver();
    std::unique_lock<std::mutex> lock(worker->mutex);
    worker->changed.wait(lock, [this] { return worker->full.empty() && !worker->summing; });
}

void ChecksumValidator::reset()
{
    drain();
    summed = 0;
    crc = 0;
    if (sha)
        sha->reset();
}

void ChecksumValidator::sum(const char *data, qint64 size)
{
    if (sumKind == Kind::Crc32)
        crc = crc32Update(crc, data, size);
    else
        sha->add(data, size);
}

void ChecksumValidator::add(const char *data, qint64 size)
{
    drain();
    summed += size;
    sum(data, size);
}

void ChecksumValidator::add(const QByteArray &block)
{
    if (summed + block.size() <= inlineBytes) {
        add(block.constData(), block.size());
        return;
    }
    summed += block.size();
    if (!worker) {
        worker = std::make_unique<Worker>();
        worker->made = 1;
        worker->filling.reserve(size_t(batchSize));
        worker->thread = std::thread([this] {
            Worker &w = *worker;
            std::unique_lock<std::mutex> lock(w.mutex);
            for (;;) {
                w.changed.wait(lock, [&w] { return w.ending || !w.full.empty(); });
                if (w.full.empty())
                    return;
                std::vector<char> next = std::move(w.full.front());
                w.full.pop_front();
                w.summing = true;
                lock.unlock();
                sum(next.data(), qint64(next.size()));
                lock.lock();
                w.summing = false;
                next.clear();
                w.spare.push_back(std::move(next));
                w.changed.notify_all();
            }
        });
    }
    std::vector<char> &filling = worker->filling;
    for (qsizetype taken = 0; taken < block.size();) {
        const qsizetype room = qsizetype(batchSize) - qsizetype(filling.size());
        const qsizetype part = qMin(room, block.size() - taken);
        filling.insert(filling.end(), block.constData() + taken, block.constData() + taken + part);
        taken += part;
        if (qint64(filling.size()) >= batchSize)
            handOver();
    }
}

bool ChecksumValidator::addAll(QIODevice *device)
{
    // On the stack and small enough to stay in the core's cache: a large
    // block allocated for each file costs more in page faults than the sum.
    char block[1 << 16];
    qint64 read;
    while ((read = device->read(block, sizeof block)) > 0)
        add(block, read);
    return read == 0;
}

QByteArray ChecksumValidator::result()
{
    drain();
    if (sha)
        return sha->hex();
    return QByteArray::number(crc, 16).rightJustified(8, '0');
}
