// The whole program from start to game page: the real executable in a folder of
// its own with its own HOME, on a virtual X display, against nginx on loopback.
// The client's default update server is reached through nginx acting as its
// HTTP proxy, so that a first start needs no settings file and nothing leaves
// the machine.
#include "clientprocess.h"
#include "moviefiles.h"
#include "nginxserver.h"
#include "socketserver.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QSet>
#include <QSettings>

class TestGameStart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstStart();
    void secondStartStampMatches();
    void savedGameSurvivesARestart();
    void quitWithSocketOpen();
    void serverDown();
    void trustFileCannotBeWritten();

private:
    void startClient(ClientProcess &client, bool throughProxy = true);
    QString trustFile() const { return player + "/home/.macromedia/Flash_Player/#Security/FlashPlayerTrust/tarvenholm.cfg"; }

    NginxServer *server = nullptr;
    QString published;
    QString player;
};

static const char welcomePage[] = R"(<html><head><title>Welcome</title></head>
<body style="background:#2b0a10;color:#f3e6c8;font-family:sans-serif;margin:24px">
<h1 style="color:#e8c060">TarvenHOLM</h1><p>The game page, installed by the update.</p>
<table border="1"><tr><td>forum</td><td>guild</td></tr><tr><td>battle</td><td>mail</td></tr></table>
</body></html>)";

void TestGameStart::initTestCase()
{
    published = TestEnv::root() + "/server";
    TestEnv::writeFile(published + "/loader.swf", MovieFiles::colours(QColor(0x2b, 0x0a, 0x10), QColor(0xe8, 0xc0, 0x60)));
    TestEnv::writeFile(published + "/battle.swf", QByteArray("FWS") + QByteArray(3000, 'B'));
    TestEnv::writeFile(published + "/maps/castle.swf", QByteArray("FWS") + QByteArray(100, 'C'));
    TestEnv::writeFile(published + "/welcome.html", welcomePage);
    QProcess tool;
    tool.start(TestEnv::binaryDir() + "/tools/tarvenholm-manifest", {published, "500"});
    QVERIFY(tool.waitForFinished(10000) && tool.exitCode() == 0);
    server = new NginxServer(published);
    QVERIFY(server->start());

    player = TestEnv::freshDir("player");
    QDir().mkpath("home");
    for (const char *qm : {"tarvenholm_en.qm", "tarvenholm_ru.qm"})
        QVERIFY(QFile::copy(TestEnv::binaryDir() + "/client/" + qm, qm));
}

void TestGameStart::cleanupTestCase()
{
    delete server;
}

void TestGameStart::startClient(ClientProcess &client, bool throughProxy)
{
    client.environment().insert("QT_QPA_PLATFORM", "xcb");
    client.environment().insert("LANG", "C.UTF-8");
    client.environment().remove("LC_ALL");
    if (throughProxy)
        client.environment().insert("http_proxy", server->rootUrl());
    client.start(player, player + "/home");
}

static void verifyInOrder(const QString &text, const QStringList &lines)
{
    int at = 0;
    for (const QString &line : lines) {
        const int found = text.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable("missing or out of order: " + line + "\n" + text));
        at = found + line.size();
    }
}

void TestGameStart::firstStart()
{
    ClientProcess client;
    startClient(client);
    const QString gameUrl = QUrl::fromLocalFile(player + "/content/loader.swf").toString();
    QVERIFY2(client.waitForLine("acceptNavigationRequest:  QUrl(\"" + gameUrl + "\")  ---  5", 30000),
             qPrintable(client.errorText()));
    QVERIFY(client.waitForLineStarting("QRect(")); // the window is shown
    QVERIFY(client.waitForLine("Movie playing:  QUrl(\"" + gameUrl + "\")"));
    const QString err = client.errorText();
    client.kill();

    verifyInOrder(err, {"System Language: \"C\"", "System LocaleId:", "intbrowser count= 2", "MyTabWidget",
                        "Macromedia security path:  \"" + player + "/home/.macromedia/Flash_Player/#Security/\"",
                        "Trust file:  \"" + trustFile() + "\"", "Content pach:  \"" + player + "/content/\"",
                        "MyWebPage ctor", "Downloader ctor", "\"Using temporary filename [",
                        "\"Checking for updates...\"",
                        "download QUrl(\"http://www.tarvenholm.com/update/stamp.txt\")",
                        "\"Updater stamp difference: server=500 local=0\"", "filelist line count:  4",
                        "\"All files downloaded/updated.\"", "\"Update finished.\"",
                        "acceptNavigationRequest:  QUrl(\"" + gameUrl + "\")  ---  5"});

    QSettings settings(player + "/tarvenholm.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("lang").toString(), QString("en"));
    QCOMPARE(settings.value("stamp").toLongLong(), 500);
    for (const char *name : {"loader.swf", "battle.swf", "maps/castle.swf", "welcome.html"})
        QCOMPARE(TestEnv::readFile(player + "/content/" + name), TestEnv::readFile(published + "/" + name));
    // The trust file: exactly the content folder's path, UTF-8, no BOM, no line end.
    QCOMPARE(TestEnv::readFile(trustFile()), (player + "/content/").toUtf8());
}

void TestGameStart::secondStartStampMatches()
{
    TestEnv::writeFile(trustFile(), "\xEF\xBB\xBF/somewhere/else/\r\n"); // rewritten on every start
    server->clearAccessLog();
    ClientProcess client;
    startClient(client);
    QVERIFY2(client.waitForLine("\"Timestamp match.\"", 20000), qPrintable(client.errorText()));
    QVERIFY(client.waitForLine(debugLine("acceptNavigationRequest: ", QUrl::fromLocalFile(player + "/content/loader.swf"), " --- ", 5), 10000));
    QVERIFY(client.waitForLineStarting("QRect("));
    QVERIFY(client.waitForLine(debugLine("Movie playing: ", QUrl::fromLocalFile(player + "/content/loader.swf")), 20000));
    QCOMPARE(TestEnv::readFile(trustFile()), (player + "/content/").toUtf8());
    QCOMPARE(server->requestedPaths().size(), 1); // the stamp, nothing else

    // What the player sees: the window with its menus and the game's movie,
    // once the display shows it.
    QString seen;
    const auto gameShown = [&seen] {
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        shot.save(TestEnv::root() + "/client.png");
        QSet<QRgb> colours;
        QHash<QRgb, int> counts;
        for (int y = 0; y < shot.height(); y += 2) {
            for (int x = 0; x < shot.width(); x += 2) {
                colours.insert(shot.pixel(x, y));
                ++counts[shot.pixel(x, y)];
            }
        }
        int dominant = 0;
        for (int n : counts)
            dominant = qMax(dominant, n);
        seen = QString("%1 colours, dominant %2, movie %3 and %4")
                   .arg(colours.size()).arg(dominant).arg(counts.value(qRgb(0x2b, 0x0a, 0x10)))
                   .arg(counts.value(qRgb(0xe8, 0xc0, 0x60)));
        // Menus and the movie's colours fill part of the screen: the game is there.
        return colours.size() > 50 && dominant < (shot.width() / 2) * (shot.height() / 2) * 0.9
            && counts.value(qRgb(0x2b, 0x0a, 0x10)) > 1000 && counts.value(qRgb(0xe8, 0xc0, 0x60)) > 1000;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(gameShown(), qPrintable(seen + ", screenshot " + TestEnv::root() + "/client.png"), 20000);
    client.kill();
}

// A movie's saved data (its local shared object) is there at the next start
// after the client was closed.
void TestGameStart::savedGameSurvivesARestart()
{
    TestEnv::writeFile(player + "/content/saver.swf", MovieFiles::saver(server->rootUrl()));
    QSettings(player + "/tarvenholm.ini", QSettings::IniFormat).setValue("urlgame", "./content/saver.swf");
    const auto restore = qScopeGuard([this] { QSettings(player + "/tarvenholm.ini", QSettings::IniFormat).remove("urlgame"); });
    for (int run = 0; run < 2; ++run) {
        ClientProcess client;
        startClient(client);
        QVERIFY2(client.waitForLineStarting(debugLine("acceptNavigationRequest: ", QUrl(server->rootUrl() + "saved?" + QString::number(run))), 30000),
                 qPrintable(client.errorText()));
        client.terminate(); // the player logs out: the client closes as its window would
        QVERIFY(client.waitForExit(60000));
        QVERIFY(!client.crashed());
        QVERIFY2(client.exitCode() == 0, qPrintable(client.errorText()));
    }
    QCOMPARE(QFile::permissions(player + "/.webdata") & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The player logs out while the game movie's socket to the game's server is
// open: the client ends as it should, and so does its connection.
void TestGameStart::quitWithSocketOpen()
{
    SocketServer game;
    const QString message = "still connected";
    TestEnv::writeFile(player + "/content/online.swf",
                       MovieFiles::socket("127.0.0.1", game.serverPort(), message, server->rootUrl()));
    {
        QSettings settings(player + "/tarvenholm.ini", QSettings::IniFormat);
        settings.setValue("urlgame", "./content/online.swf");
        settings.setValue("sockets", QString("127.0.0.1:%1").arg(game.serverPort()));
    }
    const auto restore = qScopeGuard([this] {
        QSettings settings(player + "/tarvenholm.ini", QSettings::IniFormat);
        settings.remove("urlgame");
        settings.remove("sockets");
    });
    ClientProcess client;
    startClient(client);
    QTRY_COMPARE_WITH_TIMEOUT(game.received(), message.toUtf8() + '\0', 60000);
    QVERIFY2(client.waitForLineStarting("Socket connected:  \"127.0.0.1:"), qPrintable(client.errorText()));
    QCOMPARE(game.openConnections(), 1);
    client.terminate();
    QVERIFY(client.waitForExit(60000));
    QVERIFY2(!client.crashed(), qPrintable(client.errorText()));
    QVERIFY2(client.exitCode() == 0, qPrintable(client.errorText()));
    QTRY_COMPARE(game.openConnections(), 0);
}

void TestGameStart::serverDown()
{
    {
        QSettings settings(player + "/tarvenholm.ini", QSettings::IniFormat);
        settings.setValue("updateroot", QString("http://127.0.0.1:%1/").arg(NginxServer::freePort()));
        settings.setValue("stamp", 1);
    }
    ClientProcess client;
    startClient(client, false);
    QVERIFY2(client.waitForLine("\"Could not download file: Connection refused\""), qPrintable(client.errorText()));
    QVERIFY(!client.errorText().contains("QRect(")); // the window waits for the dialog
    const QString dialog = ClientProcess::waitForTitledWindow("Loading TarvenHOLM");
    QVERIFY(!dialog.isEmpty());
    ClientProcess::pressKey(dialog, "Escape");
    // The game still loads, and the installed stamp stays.
    QVERIFY2(client.waitForLine(debugLine("acceptNavigationRequest: ", QUrl::fromLocalFile(player + "/content/loader.swf"), " --- ", 5)),
             qPrintable(client.errorText()));
    QVERIFY(client.waitForLineStarting("QRect("));
    client.kill();
    QCOMPARE(QSettings(player + "/tarvenholm.ini", QSettings::IniFormat).value("stamp").toLongLong(), 1);
}

void TestGameStart::trustFileCannotBeWritten()
{
    // A file where the Flash Player's folder should be: the trust folder cannot be made.
    const QString home = TestEnv::root() + "/blocked-home";
    QDir().mkpath(home);
    TestEnv::writeFile(home + "/.macromedia", "not a folder");
    ClientProcess client;
    client.environment().insert("QT_QPA_PLATFORM", "xcb");
    client.start(player, home);
    const QString box = client.waitForWindow();
    QVERIFY2(!box.isEmpty(), qPrintable(client.errorText()));
    ClientProcess::pressReturn(box);
    QVERIFY(client.waitForExit());
    QCOMPARE(client.exitCode(), 1);
    const QString err = client.errorText();
    QVERIFY(err.contains("Trust file:  \"" + home + "/.macromedia/Flash_Player/#Security/FlashPlayerTrust/tarvenholm.cfg\""));
    QVERIFY(!err.contains("MyWebPage ctor")); // no game tab
    QVERIFY(!err.contains("Downloader ctor")); // no update
    QVERIFY(!err.contains("QRect("));          // no window
}

TARVEN_TEST_MAIN(TestGameStart)
#include "tst_gamestart.moc"
