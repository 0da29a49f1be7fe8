// Updates over a network with a round trip: 1,000 small outdated files from a
// server that holds each answer back by 30 ms. The downloads' time (from the
// first file asked for to the last one installed) against the sequential floor
// (files x delay) and the parallel floor (files x delay / transfers at once),
// and against a bare QNetworkAccessManager fetching the same files, as many at
// once, into files: what Qt's own HTTP reaches on this machine.
#include "faultserver.h"
#include "testenv.h"
#include "app/appconfig.h"
#include "updater/checksum.h"
#include "updater/filetransfers.h"
#include "updater/updatedialog.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QSettings>
#include <QThread>

#include <functional>
#include <memory>

#include <cstdio>

static QElapsedTimer clock_;
static double firstAsked = -1, allInstalled = -1;
static bool failed = false;

int main(int argc, char *argv[])
{
    TestEnv::init("bench_parallel");
    QApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int delayMs = argc > 2 ? QByteArray(argv[2]).toInt() : 30;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &line) {
        if (firstAsked < 0 && line.startsWith(QLatin1String("Downloading  QUrl(")) && line.contains(QLatin1String(".swf")))
            firstAsked = clock_.nsecsElapsed() / 1e9;
        if (line == QLatin1String("\"All files downloaded/updated.\""))
            allInstalled = clock_.nsecsElapsed() / 1e9;
        failed = failed || line.startsWith(QLatin1String("\"Could not"));
    });

    // The server has a thread of its own, as a real one would: its work does
    // not wait for the client's.
    QThread serverThread;
    serverThread.start();
    std::unique_ptr<FaultServer> owned;
    QObject starter;
    starter.moveToThread(&serverThread);
    QMetaObject::invokeMethod(&starter, [&] {
        owned = std::make_unique<FaultServer>();
        QByteArray list;
        for (int i = 0; i < files; ++i) {
            const QByteArray name = "f" + QByteArray::number(i) + ".swf";
            const QByteArray body(2000 + (i * 37) % 6000, char('a' + i % 26));
            owned->serve("/" + name, body);
            list += name + ',' + QByteArray::number(crc32Update(0, body.constData(), body.size()), 16) + '\n';
        }
        owned->serve("/update/stamp.txt", "2\n");
        owned->serve("/update/files.txt", list);
        owned->setDelay(delayMs);
    }, Qt::BlockingQueuedConnection);
    FaultServer &server = *owned;

    QDir().mkpath("content");
    AppConfig *config = AppConfig::instance();
    config->updateroot = server.rootUrl();
    config->stamp = 1;
    config->ignorecrc = false; // every file's checksum checked, as a careful operator sets it
    clock_.start();
    UpdateDialog dialog;
    dialog.show();
    auto *log = dialog.findChild<QPlainTextEdit *>("textEdit");
    if (!QTest::qWaitFor([] { return allInstalled >= 0 || failed; }, 600000) || allInstalled < 0) {
        std::printf("the update did not finish:\n%s\n", qPrintable(log->toPlainText().right(500)));
        return 1;
    }
    const double took = allInstalled - firstAsked;

    // The same files by a bare manager, six requests in flight, each into a file.
    double bare = 0;
    {
        QNetworkAccessManager manager;
        int asked = 0, done = 0;
        std::function<void()> ask = [&] {
            const int i = asked++;
            QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(server.rootUrl() + QString("f%1.swf").arg(i))));
            auto *out = new QFile(QString("bare%1.out").arg(i % FileTransfers::width), reply);
            out->open(QIODevice::WriteOnly);
            QObject::connect(reply, &QNetworkReply::readyRead, [reply, out] { out->write(reply->readAll()); });
            QObject::connect(reply, &QNetworkReply::finished, [&, reply, out] {
                out->write(reply->readAll());
                reply->deleteLater();
                ++done;
                if (asked < files)
                    ask();
            });
        };
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < FileTransfers::width && i < files; ++i)
            ask();
        QTest::qWaitFor([&] { return done == files; }, 600000);
        bare = timer.nsecsElapsed() / 1e9;
    }
    const double sequential = files * delayMs / 1000.0;
    const double parallel = sequential / FileTransfers::width;
    std::printf("%d files, each answer held back %d ms, %d transfers at once\n", files, delayMs,
                FileTransfers::width);
    std::printf("  downloads and installs: %.2f s\n", took);
    std::printf("  sequential floor %.2f s: ratio %.2f; parallel floor %.2f s: ratio %.2f (target 1.5)\n", sequential,
                took / sequential, parallel, took / parallel);
    std::printf("  bare QNAM, as many at once: %.2f s: ratio to the parallel floor %.2f; the update to it %.2f\n", bare,
                bare / parallel, took / bare);
    std::printf("  most requests at once at the server: %d\n", server.mostAtOnce());
    QMetaObject::invokeMethod(&starter, [&] { owned.reset(); }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return 0;
}
