// The update's check phase over 10,000 listed files (about 500 MB, mixed sizes,
// all current), against reading the same files with the same buffer (the floor):
// by the CRC-32 list, and by the signed manifest (SHA-256 and size).
#include "app/appconfig.h"
#include "nginxserver.h"
#include "testenv.h"
#include "updater/checksum.h"
#include "updater/signedmanifest.h"
#include "updater/signing.h"
#include "updater/updatedialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>
#include <QtConcurrent>
#include <QtMath>

#include <cstdio>

static QElapsedTimer clock_;
static qint64 checkStart = -1, checkEnd = -1;

static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.startsWith("filelist line count") || message.contains("The update is signed by the game's publisher."))
        checkStart = clock_.nsecsElapsed();
    else if (message.contains("All files downloaded/updated."))
        checkEnd = clock_.nsecsElapsed();
}

static double readFloor(const QStringList &paths)
{
    QElapsedTimer timer;
    timer.start();
    char buffer[8192];
    volatile quint64 sink = 0;
    for (const QString &path : paths) {
        QFile file(path);
        file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        qint64 n;
        while ((n = file.read(buffer, sizeof buffer)) > 0)
            sink += quint8(buffer[n - 1]);
    }
    return timer.nsecsElapsed() / 1e9;
}

// Hashing the same files on all cores, nothing else: what a signed check
// cannot go below on this machine.
static double hashFloor(const QStringList &paths)
{
    QElapsedTimer timer;
    timer.start();
    QtConcurrent::blockingMapped(paths, [](const QString &path) { return Signing::fileSha256(path); });
    return timer.nsecsElapsed() / 1e9;
}

int main(int argc, char *argv[])
{
    TestEnv::init("bench_check");
    qInstallMessageHandler(handler);
    QApplication app(argc, argv);
    const int count = 10000;
    const qint64 total = qint64(500) << 20;

    // Sizes spread over 1 KiB to 1 MiB (log-uniform), scaled to the total.
    QRandomGenerator random(7);
    QVector<double> weights(count);
    double sum = 0;
    for (double &w : weights) {
        w = qPow(2.0, 10 + random.generateDouble() * 10);
        sum += w;
    }
    const QString work = TestEnv::freshDir("client");
    const QString server = TestEnv::root() + "/server/update";
    QDir().mkpath(server);
    QByteArray list;
    QStringList paths;
    QByteArray block(1 << 20, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    qint64 written = 0;
    for (int i = 0; i < count; ++i) {
        const QString name = QString("set%1/file%2.swf").arg(i % 50).arg(i);
        const QString path = "./content/" + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        const qint64 size = qMax<qint64>(1, qint64(weights[i] / sum * total));
        for (qint64 left = size; left > 0; left -= block.size())
            file.write(block.constData() + (i % 1000), qMin<qint64>(left, block.size() - 1000));
        file.close();
        written += size;
        paths << path;
        list += name.toLatin1() + ',' + QByteArray::number(fileCrc32(path), 16) + '\n';
    }
    TestEnv::writeFile(server + "/files.txt", list);
    TestEnv::writeFile(server + "/stamp.txt", "2\n");
    // The same files in a signed manifest.
    SignedManifest manifest;
    manifest.stamp = 2;
    for (const QString &path : paths)
        manifest.files << SignedManifest::File{path.mid(10), Signing::fileSha256(path), QFileInfo(path).size()};
    QString error;
    const QString publicKey = Signing::newKey(TestEnv::root() + "/operator.key", &error);
    TestEnv::writeFile(server + "/manifest", manifest.text());
    TestEnv::writeFile(server + "/manifest.sig", Signing::sign(manifest.text(), TestEnv::root() + "/operator.key", &error));
    NginxServer nginx(TestEnv::root() + "/server");
    if (!nginx.start())
        return 1;
    AppConfig *config = AppConfig::instance();
    config->updateroot = nginx.rootUrl();
    config->stamp = 1;

    readFloor(paths); // into the page cache
    double floor = 1e9, shaFloor = 1e9, check = 1e9, signedCheck = 1e9;
    for (int round = 0; round < 3; ++round) {
        floor = qMin(floor, readFloor(paths));
        shaFloor = qMin(shaFloor, hashFloor(paths));
        for (const bool verified : {false, true}) {
            checkStart = checkEnd = -1;
            config->stamp = 1;
            config->updatekey = verified ? publicKey : QString();
            clock_.start();
            UpdateDialog dialog;
            QTimer::singleShot(0, [&] {
                while (checkEnd < 0)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
                dialog.accept();
            });
            dialog.exec();
            double &best = verified ? signedCheck : check;
            best = qMin(best, (checkEnd - checkStart) / 1e9);
        }
    }
    std::fflush(stderr);
    std::printf("files: %d, %.0f MB in the page cache, all current; best of 3\n", count, written / 1e6);
    std::printf("read floor:  %.3f s\n", floor);
    std::printf("check phase, CRC-32 list:        %.3f s  ratio to floor %.2f\n", check, check / floor);
    std::printf("check phase, signed (SHA-256):  %.3f s  ratio to floor %.2f, to the CRC-32 check %.2f\n", signedCheck,
                signedCheck / floor, signedCheck / check);
    std::printf("hash floor (SHA-256 of every file on all cores): %.3f s  signed check to it %.2f;"
                " the CRC-32 check %.2f of it\n", shaFloor, signedCheck / shaFloor, check / shaFloor);
    std::printf("throughput: read floor %.2f GB/s, SHA-256 check %.2f GB/s\n", written / floor / 1e9,
                written / signedCheck / 1e9);
    return 0;
}
