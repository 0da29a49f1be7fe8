// Downloads from nginx on loopback. One 1 GiB file: the Downloader against curl
// writing to disk, and the client's peak memory above its idle level; the same
// as a signed file, hashed (SHA-256) while it arrives, and as it was hashed
// before: read again once it had arrived. Then
// 1,000 small files one after another: the Downloader against a bare
// QNetworkAccessManager loop and against curl, each over one connection.
#include "benchutil.h"
#include "nginxserver.h"
#include "testenv.h"
#include "updater/checksum.h"
#include "updater/downloader.h"
#include "updater/signing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>

#include <cstdio>

static double curl(const QStringList &args)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start("curl", QStringList({"-s", "--fail"}) + args);
    process.waitForFinished(-1);
    return timer.nsecsElapsed() / 1e9;
}

static void resetPeak()
{
    QFile refs("/proc/self/clear_refs");
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

int main(int argc, char *argv[])
{
    TestEnv::init("bench_download");
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const qint64 bigSize = qint64(argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024) << 20;
    const int smallCount = 1000;
    const QString root = TestEnv::root() + "/site";
    {
        TestEnv::writeFile(root + "/big.bin", QByteArray());
        QFile file(root + "/big.bin");
        file.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, Qt::Uninitialized);
        QRandomGenerator(3).fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        for (qint64 done = 0; done < bigSize; done += block.size())
            file.write(block);
        for (int i = 0; i < smallCount; ++i)
            TestEnv::writeFile(root + QString("/small/%1.swf").arg(i), block.left(2000 + (i * 37) % 6000));
    }
    NginxServer nginx(root);
    if (!nginx.start())
        return 1;
    const QString target = TestEnv::root() + "/target.bin";
    const QUrl bigUrl(nginx.rootUrl() + "big.bin");

    // --- one large file
    curl({"-o", target, bigUrl.toString()}); // warm the page cache
    double curlBig = 1e9, oursBig = 1e9, signedBig = 1e9, readAgainBig = 1e9;
    Downloader downloader;
    QSignalSpy done(&downloader, &Downloader::downloadDone);
    ChecksumValidator sum(ChecksumValidator::Kind::Sha256);
    const QByteArray expected = Signing::fileSha256(root + "/big.bin");
    bool hashed = true;
    const double idle = rssMiB();
    double peakAbove = 0, signedPeakAbove = 0;
    for (int round = 0; round < 3; ++round) {
        curlBig = qMin(curlBig, curl({"-o", target, bigUrl.toString()}));
        for (const int way : {0, 1, 2}) { // plain, hashed while arriving, hashed after
            QFile::remove(target);
            resetPeak();
            const double before = rssMiB();
            QElapsedTimer timer;
            timer.start();
            downloader.setChecksum(way == 1 ? &sum : nullptr);
            downloader.download(bigUrl, target);
            done.wait(600000);
            if (way == 1)
                hashed = hashed && sum.result() == expected;
            if (way == 2)
                hashed = hashed && Signing::fileSha256(target) == expected;
            double &best = way == 0 ? oursBig : way == 1 ? signedBig : readAgainBig;
            best = qMin(best, timer.nsecsElapsed() / 1e9);
            double &peak = way == 1 ? signedPeakAbove : peakAbove;
            peak = qMax(peak, peakRssMiB() - before);
        }
    }
    downloader.setChecksum(nullptr);
    const bool complete = QFileInfo(target).size() == bigSize;

    // --- many small files
    QStringList curlArgs;
    for (int i = 0; i < smallCount; ++i)
        curlArgs << "-o" << TestEnv::root() + "/small.out" << nginx.rootUrl() + QString("small/%1.swf").arg(i);
    double curlSmall = 1e9, bareSmall = 1e9, bareProgressSmall = 1e9, oursSmall = 1e9;
    for (int round = 0; round < 3; ++round) {
        curlSmall = qMin(curlSmall, curl(curlArgs));

        QElapsedTimer timer;
        for (const bool withProgress : {false, true}) {
            QNetworkAccessManager manager;
            timer.start();
            for (int i = 0; i < smallCount; ++i) {
                QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(nginx.rootUrl() + QString("small/%1.swf").arg(i))));
                QFile out(TestEnv::root() + "/small.out");
                out.open(QIODevice::WriteOnly);
                QObject::connect(reply, &QNetworkReply::readyRead, [&] { out.write(reply->readAll()); });
                if (withProgress) // what any progress display needs, and costs
                    QObject::connect(reply, &QNetworkReply::downloadProgress, [](qint64, qint64) {});
                QSignalSpy finished(reply, &QNetworkReply::finished);
                finished.wait(10000);
                out.write(reply->readAll());
                reply->deleteLater();
            }
            double &best = withProgress ? bareProgressSmall : bareSmall;
            best = qMin(best, timer.nsecsElapsed() / 1e9);
        }

        timer.restart();
        for (int i = 0; i < smallCount; ++i) {
            done.clear();
            downloader.download(QUrl(nginx.rootUrl() + QString("small/%1.swf").arg(i)), TestEnv::root() + "/small.out");
            done.wait(10000);
        }
        oursSmall = qMin(oursSmall, timer.nsecsElapsed() / 1e9);
    }

    const double mb = bigSize / 1e6;
    std::printf("large file: %lld MiB, best of 3%s\n", static_cast<long long>(bigSize >> 20), complete ? "" : " (INCOMPLETE)");
    std::printf("  curl to disk: %.2f s  %.0f MB/s\n", curlBig, mb / curlBig);
    std::printf("  Downloader:   %.2f s  %.0f MB/s  ratio to curl %.2f\n", oursBig, mb / oursBig, curlBig / oursBig);
    std::printf("  memory: idle %.1f MiB, peak above idle during the download %.1f MiB\n", idle, peakAbove);
    std::printf("  signed, hashed while arriving: %.2f s  %.0f MB/s  ratio to curl %.2f%s; peak above idle %.1f MiB\n",
                signedBig, mb / signedBig, curlBig / signedBig, hashed ? "" : " (WRONG SUM)", signedPeakAbove);
    std::printf("  signed, read again once arrived (before): %.2f s  %.0f MB/s  ratio to curl %.2f\n", readAgainBig,
                mb / readAgainBig, curlBig / readAgainBig);
    std::printf("small files: %d, best of 3\n", smallCount);
    std::printf("  curl (one connection): %.0f files/s\n", smallCount / curlSmall);
    std::printf("  bare QNAM loop:        %.0f files/s\n", smallCount / bareSmall);
    std::printf("  bare QNAM + progress:  %.0f files/s\n", smallCount / bareProgressSmall);
    std::printf("  Downloader:            %.0f files/s  ratio to bare QNAM %.2f, to bare QNAM + progress %.2f\n",
                smallCount / oursSmall, bareSmall / oursSmall, bareProgressSmall / oursSmall);
    return 0;
}
