// The client killed (SIGKILL) at random points of a long update, then started
// again: the second run completes, every file ends byte-equal to the server's,
// and the new stamp is on disk only once every file is.
#include "clientprocess.h"
#include "nginxserver.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <signal.h>

class TestKillUpdate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void killAndRestart();

private:
    void resetPlayer();
    qint64 stamp() const;
    QMap<QString, QByteArray> published;
    NginxServer *server = nullptr;
    QString player;
};

static const int iterations = 20;

void TestKillUpdate::initTestCase()
{
    const QString root = TestEnv::root() + "/server";
    QRandomGenerator random(42);
    for (int i = 0; i < 24; ++i) {
        QByteArray data(64 * 1024 * (1 + i % 12), Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        const QString name = QString("set%1/movie%2.swf").arg(i % 4).arg(i);
        published.insert(name, data);
        TestEnv::writeFile(root + "/" + name, data);
    }
    QProcess tool;
    tool.start(TestEnv::binaryDir() + "/tools/tarvenholm-manifest", {root, "2"});
    QVERIFY(tool.waitForFinished(10000) && tool.exitCode() == 0);
    // Slow enough that the downloads take a second or two.
    server = new NginxServer(root, "sendfile off; limit_rate 4m;");
    QVERIFY(server->start());
    player = TestEnv::freshDir("player");
    for (const char *qm : {"tarvenholm_en.qm", "tarvenholm_ru.qm"})
        QVERIFY(QFile::copy(TestEnv::binaryDir() + "/client/" + qm, qm));
}

void TestKillUpdate::cleanupTestCase()
{
    delete server;
}

void TestKillUpdate::resetPlayer()
{
    QDir("content").removeRecursively();
    for (auto it = published.begin(); it != published.end(); ++it) // the previous version of everything
        TestEnv::writeFile("content/" + it.key(), "old " + it.key().toLatin1());
    // Written as text: this process's own settings cache must not stand in for the file.
    TestEnv::writeFile("tarvenholm.ini", "[General]\nlang=en\nstamp=1\nupdateroot=" + server->rootUrl().toLatin1()
                                             + "\nurlgame=./content/set0/movie0.swf\n");
}

qint64 TestKillUpdate::stamp() const
{
    QFile file("tarvenholm.ini");
    file.open(QIODevice::ReadOnly);
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("stamp="))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

void TestKillUpdate::killAndRestart()
{
    QRandomGenerator random(20261208);
    int finishedBeforeKill = 0, leftovers = 0;
    QList<int> killPoints;
    for (int round = 0; round < iterations; ++round) {
        resetPlayer();
        const int killAt = 1050 + int(random.bounded(3000)); // ms after start: the downloads run from about 1.1 s to 4 s
        killPoints << killAt;
        {
            ClientProcess client;
            client.environment().insert("QT_QPA_PLATFORM", "offscreen");
            client.start(player, player + "/home");
            QThread::msleep(killAt);
            client.errorText();
            ::kill(pid_t(client.processId()), SIGKILL);
            client.waitForExit(5000);
        }
        // Killed anywhere: the new stamp is on disk only with every file in place;
        // every listed file is the whole old version or the whole new one.
        int current = 0;
        for (auto it = published.begin(); it != published.end(); ++it) {
            const QByteArray local = TestEnv::readFile("content/" + it.key());
            QVERIFY2(local == it.value() || local == "old " + it.key().toLatin1(), qPrintable(it.key()));
            current += local == it.value() ? 1 : 0;
        }
        qInfo("kill at %d ms: %d of %d files new, stamp %lld", killAt, current, int(published.size()), stamp());
        if (stamp() == 2) {
            QCOMPARE(current, published.size());
            ++finishedBeforeKill;
        } else {
            QCOMPARE(stamp(), 1);
        }

        // Started again, it completes.
        ClientProcess again;
        again.environment().insert("QT_QPA_PLATFORM", "offscreen");
        again.start(player, player + "/home");
        QVERIFY2(again.waitForLine("\"Update finished.\"", 30000), qPrintable(again.errorText()));
        again.kill();
        for (auto it = published.begin(); it != published.end(); ++it)
            QVERIFY2(TestEnv::readFile("content/" + it.key()) == it.value(), qPrintable(it.key()));
        QCOMPARE(stamp(), 2);
        QDirIterator files("content", QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (!published.contains(path.mid(8)))
                ++leftovers;
        }
    }
    qInfo("%d kills at %s ms; %d of them after the update had finished; %d stray files left in the content folder",
          iterations, qPrintable([&] { QStringList t; for (int k : killPoints) t << QString::number(k); return t.join(','); }()),
          finishedBeforeKill, leftovers);
    QVERIFY(finishedBeforeKill < iterations); // most kills land inside the update
    QCOMPARE(leftovers, 0);
}

TARVEN_TEST_MAIN(TestKillUpdate)
#include "tst_killupdate.moc"
