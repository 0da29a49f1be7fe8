// fileCrc32 over a 1 GiB file in the page cache, against a plain read loop with
// the same 8192-byte buffer (the floor) and zlib's crc32() (same result expected).
#include "testenv.h"
#include "updater/checksum.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <zlib.h>

#include <cstdio>

template<typename Fold>
static double timedPass(const QString &path, Fold fold)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    char buffer[8192];
    qint64 n;
    while ((n = file.read(buffer, sizeof buffer)) > 0)
        fold(buffer, n);
    return timer.nsecsElapsed() / 1e9;
}

int main(int argc, char *argv[])
{
    TestEnv::init("bench_crc");
    QCoreApplication app(argc, argv);
    const qint64 size = qint64(argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024) << 20;
    const QString path = TestEnv::root() + "/big.bin";
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, Qt::Uninitialized);
        QRandomGenerator random(1);
        for (qint64 done = 0; done < size; done += block.size()) {
            random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            file.write(block);
        }
    }
    volatile quint64 sink = 0;
    timedPass(path, [&](const char *b, qint64 n) { sink += quint8(b[n - 1]); }); // warm the page cache

    double floor = 1e9, ours = 1e9, zlibTime = 1e9;
    quint32 oursCrc = 0;
    uLong zlibCrc = 0;
    for (int round = 0; round < 3; ++round) {
        floor = qMin(floor, timedPass(path, [&](const char *b, qint64 n) { sink += quint8(b[n - 1]); }));
        QElapsedTimer timer;
        timer.start();
        oursCrc = fileCrc32(path);
        ours = qMin(ours, timer.nsecsElapsed() / 1e9);
        zlibTime = qMin(zlibTime, timedPass(path, [&](const char *b, qint64 n) {
            zlibCrc = crc32(zlibCrc, reinterpret_cast<const Bytef *>(b), uInt(n));
        }));
        if (round < 2)
            zlibCrc = 0;
    }
    const double gb = size / 1e9;
    std::printf("file: %lld MiB, 8192-byte reads, best of 3\n", static_cast<long long>(size >> 20));
    std::printf("read floor:  %.3f s  %.2f GB/s\n", floor, gb / floor);
    std::printf("fileCrc32:   %.3f s  %.2f GB/s  ratio to floor %.2f  crc %08x\n", ours, gb / ours, floor / ours, oursCrc);
    std::printf("zlib crc32:  %.3f s  %.2f GB/s  ratio to floor %.2f  crc %08lx\n", zlibTime, gb / zlibTime,
                floor / zlibTime, zlibCrc);
    std::printf("same result: %s\n", oursCrc == zlibCrc ? "yes" : "NO");
    QFile::remove(path);
    return oursCrc == zlibCrc ? 0 : 1;
}
