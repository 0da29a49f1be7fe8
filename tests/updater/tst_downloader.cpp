#include "faultserver.h"
#include "nginxserver.h"
#include "readonly.h"
#include "testenv.h"
#include "updater/downloader.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>

class TestDownloader : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void outcomes_data();
    void outcomes();
    void oneOutcomePerDownload();
    void targetCannotBeOpened_data();
    void targetCannotBeOpened();
    void plantedLinkIsNotFollowed();
    void writeFailureStopsTheTransfer();
    void faults_data();
    void faults();
    void stallEndsWithTheDownloader();

private:
    struct Outcome { int done, failed, saveFailed, tooLarge; QString error; };
    Outcome fetch(Downloader &downloader, const QUrl &url, const QString &target, Downloader::Limit limit = {-1, false});

    NginxServer *server = nullptr;
    QString docroot;
};

static const char serverConfig[] = R"(
    location = /moved { return 302 /empty.bin; }
    location /gz/ { gzip on; gzip_types *; gzip_min_length 1; }
)";

void TestDownloader::initTestCase()
{
    docroot = TestEnv::root() + "/site";
    TestEnv::writeFile(docroot + "/empty.bin", QByteArray());
    TestEnv::writeFile(docroot + "/small.txt", "hello, world\n");
    QByteArray big;
    for (int i = 0; i < 300000; ++i)
        big += QByteArray::number(i) + ',';
    TestEnv::writeFile(docroot + "/big.bin", big);
    TestEnv::writeFile(docroot + "/gz/text.txt", big);
    server = new NginxServer(docroot, QString::fromLatin1(serverConfig));
    QVERIFY(server->start());
}

void TestDownloader::cleanupTestCase()
{
    delete server;
}

TestDownloader::Outcome TestDownloader::fetch(Downloader &downloader, const QUrl &url, const QString &target,
                                              Downloader::Limit limit)
{
    QSignalSpy done(&downloader, &Downloader::downloadDone);
    QSignalSpy failed(&downloader, &Downloader::downloadFailed);
    QSignalSpy saveFailed(&downloader, &Downloader::saveFailed);
    QSignalSpy tooLarge(&downloader, &Downloader::tooLarge);
    downloader.download(url, target, limit);
    if (saveFailed.isEmpty())
        (void)QTest::qWaitFor([&] { return done.size() + failed.size() + saveFailed.size() + tooLarge.size() > 0; }, 15000);
    QTest::qWait(50); // nothing else may follow
    QString error;
    if (!failed.isEmpty())
        error = failed.first().first().toString();
    if (!saveFailed.isEmpty())
        error = saveFailed.first().first().toString();
    return {int(done.size()), int(failed.size()), int(saveFailed.size()), int(tooLarge.size()), error};
}

void TestDownloader::outcomes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("served"); // file whose bytes the target must hold
    QTest::newRow("small") << "small.txt" << true << "small.txt";
    QTest::newRow("empty body") << "empty.bin" << true << "empty.bin";
    QTest::newRow("big") << "big.bin" << true << "big.bin";
    QTest::newRow("gzip decoded") << "gz/text.txt" << true << "gz/text.txt";
    QTest::newRow("404") << "missing.bin" << false << "";
    // A redirect is not followed, and what came with it is no file.
    QTest::newRow("redirect not followed") << "moved" << false << "";
}

void TestDownloader::outcomes()
{
    QFETCH(QString, path);
    QFETCH(bool, ok);
    QFETCH(QString, served);
    const QString target = TestEnv::root() + "/target.bin";
    TestEnv::writeFile(target, "earlier content");
    Downloader downloader;
    MessageLog log;
    server->clearAccessLog();
    const Outcome outcome = fetch(downloader, QUrl(server->rootUrl() + path), target);
    QCOMPARE(outcome.done, ok ? 1 : 0);
    QCOMPARE(outcome.failed, ok ? 0 : 1);
    QCOMPARE(outcome.saveFailed, 0);
    const QByteArray written = TestEnv::readFile(target);
    if (!served.isEmpty())
        QCOMPARE(written, TestEnv::readFile(docroot + "/" + served));
    const QUrl url(server->rootUrl() + path);
    if (path == "missing.bin") {
        QCOMPARE(outcome.error, "Error transferring " + url.toString() + " - server replied: Not Found");
        QVERIFY(!written.contains("earlier content"));
        QVERIFY(log.contains(debugLine("download failed: ", outcome.error)));
        QCOMPARE(log.count(debugLine("downloadError: ", int(QNetworkReply::ContentNotFoundError))), 1);
    }
    if (path == "moved") {
        QCOMPARE(outcome.error, "The server answered 302 Moved Temporarily, sending to " + server->rootUrl() + "empty.bin");
        QVERIFY(log.contains(debugLine("download failed: ", outcome.error)));
        QVERIFY(log.contains("redir:  QVariant(QUrl, QUrl(\"" + server->rootUrl() + "empty.bin\"))"));
        QCOMPARE(server->requestedPaths(), QStringList({"/moved"}));
    }
    if (path == "gz/text.txt")
        QVERIFY(server->accessLog().contains("gzip"));
    QVERIFY(log.contains(debugLine("replyFinished", url, " total bytes=", written.size())));
    if (ok)
        QCOMPARE(log.countStarting("downloadError: "), 0);
}

void TestDownloader::oneOutcomePerDownload()
{
    MessageLog log;
    Downloader downloader;
    QVERIFY(log.contains("Downloader ctor"));
    const QString target = TestEnv::root() + "/repeat.bin";
    for (int i = 0; i < 3; ++i) {
        const Outcome outcome = fetch(downloader, QUrl(server->rootUrl() + "small.txt"), target);
        QCOMPARE(outcome.done, 1);
    }
    QCOMPARE(log.count(debugLine("replyFinished", QUrl(server->rootUrl() + "small.txt"), " total bytes=", 13)), 3);
    QVERIFY(log.contains(" Download progress:  13 / 13"));
}

void TestDownloader::targetCannotBeOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing folder") << "missing folder";
    QTest::newRow("read-only file") << "read-only file";
}

void TestDownloader::targetCannotBeOpened()
{
    QFETCH(QString, kind);
    QString target = TestEnv::root() + "/no/such/folder/file.bin";
    if (kind == "read-only file") {
        target = TestEnv::writeFile(TestEnv::root() + "/readonly.bin", "keep");
        if (!makeReadOnly(target))
            QSKIP("this machine cannot make a file read-only for the user running the tests");
    }
    server->clearAccessLog();
    Downloader downloader;
    QSignalSpy saveFailed(&downloader, &Downloader::saveFailed);
    downloader.download(QUrl(server->rootUrl() + "small.txt"), target);
    QCOMPARE(saveFailed.size(), 1); // before download() returned
    QVERIFY(!saveFailed.first().first().toString().isEmpty());
    QTest::qWait(200);
    QVERIFY(server->requestedPaths().isEmpty());
    if (kind == "read-only file") {
        QCOMPARE(TestEnv::readFile(target), QByteArray("keep"));
        makeWritable(target);
    }
}

void TestDownloader::plantedLinkIsNotFollowed()
{
    const QString victim = TestEnv::writeFile(TestEnv::root() + "/victim.txt", "precious");
    const QString target = TestEnv::root() + "/tmp/tvdown.tmp";
    QFile::remove(target);
    QVERIFY(QFile::link(victim, target));
    Downloader downloader;
    QCOMPARE(fetch(downloader, QUrl(server->rootUrl() + "small.txt"), target).done, 1);
    QCOMPARE(TestEnv::readFile(victim), QByteArray("precious"));
    QVERIFY(!QFileInfo(target).isSymLink());
    QCOMPARE(TestEnv::readFile(target), QByteArray("hello, world\n"));
}

void TestDownloader::writeFailureStopsTheTransfer()
{
    // /dev/full takes the open and refuses every write, like a full disk.
    if (!QFileInfo("/dev/full").isWritable())
        QSKIP("no writable /dev/full here");
    Downloader downloader;
    const Outcome outcome = fetch(downloader, QUrl(server->rootUrl() + "big.bin"), "/dev/full");
    QCOMPARE(outcome.done, 0);
    QCOMPARE(outcome.failed, 0);
    QCOMPARE(outcome.saveFailed, 1);
    QVERIFY(!outcome.error.isEmpty());
}

void TestDownloader::faults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<qint64>("limit");    // the most the answer may hold; -1: no limit
    QTest::addColumn<bool>("broken");     // more than that is a broken answer, tried again
    QTest::addColumn<QString>("outcome"); // "done", "failed", "too large"
    QTest::addColumn<int>("requests");
    const int tries = 1 + Downloader::retries;
    QTest::newRow("cut short") << int(FaultServer::CutShort) << qint64(-1) << false << "failed" << tries;
    QTest::newRow("reset") << int(FaultServer::Reset) << qint64(-1) << false << "failed" << tries;
    // Data that keeps coming, longer than the stall timeout in all: no stall.
    QTest::newRow("flowing slowly") << int(FaultServer::Trickle) << qint64(-1) << false << "done" << 1;
    QTest::newRow("announced larger than allowed") << int(FaultServer::Huge) << qint64(4096) << false << "too large" << 1;
    QTest::newRow("sent larger than allowed") << int(FaultServer::HugeUnannounced) << qint64(4096) << false << "too large" << 1;
    QTest::newRow("announced larger than its size") << int(FaultServer::Huge) << qint64(16) << true << "too large" << tries;
    QTest::newRow("sent larger than its size") << int(FaultServer::HugeUnannounced) << qint64(16) << true << "too large" << tries;
}

void TestDownloader::faults()
{
    QFETCH(int, fault);
    QFETCH(qint64, limit);
    QFETCH(bool, broken);
    QFETCH(QString, outcome);
    QFETCH(int, requests);
    const QByteArray body(200000, 'z');
    FaultServer faulty(FaultServer::Fault(fault), body, 70000);
    Downloader downloader;
    downloader.setStallTimeout(1000);
    const QString target = TestEnv::root() + "/fault.bin";
    const Outcome got = fetch(downloader, QUrl(faulty.rootUrl() + "big.bin"), target, {limit, broken});
    QCOMPARE(got.done, outcome == "done" ? 1 : 0);
    QCOMPARE(got.failed, outcome == "failed" ? 1 : 0);
    QCOMPARE(got.tooLarge, outcome == "too large" ? 1 : 0);
    QCOMPARE(faulty.requests(), requests);
    if (outcome == "done")
        QCOMPARE(TestEnv::readFile(target), body);
    if (limit >= 0) // nothing past the limit was ever written
        QVERIFY2(QFileInfo(target).size() <= limit, qPrintable(QString::number(QFileInfo(target).size())));
}

void TestDownloader::stallEndsWithTheDownloader()
{
    FaultServer stalling(FaultServer::Stall, QByteArray(200000, 's'), 1000);
    auto *downloader = new Downloader;
    QSignalSpy done(downloader, &Downloader::downloadDone);
    QSignalSpy failed(downloader, &Downloader::downloadFailed);
    const QString target = TestEnv::root() + "/stall.bin";
    downloader->download(QUrl(stalling.rootUrl() + "stall.bin"), target);
    QTRY_COMPARE(QFileInfo(target).size(), 1000); // what came is on disk already
    QTest::qWait(300);
    QVERIFY(done.isEmpty() && failed.isEmpty());
    delete downloader; // what closing the update dialog does: the transfer is dropped, nothing is reported
    QTest::qWait(100);
    QVERIFY(done.isEmpty() && failed.isEmpty());
}

TARVEN_TEST_MAIN(TestDownloader)
#include "tst_downloader.moc"
