// The Debian package, as built by `cmake --build build --target package`:
// checked by lintian, desktop-file-validate and appstreamcli, unpacked into a
// folder of the test's and started through its launcher by players with homes
// of their own, on a virtual display, against nginx on loopback.
#include "clientprocess.h"
#include "moviefiles.h"
#include "nginxserver.h"
#include "testenv.h"

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QSettings>

class TestPackage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void checkers_data();
    void checkers();
    void contents();
    void firstStartMakesTheGameFolder();
    void playersKeepTheirSettings();
    void operatorReachesEveryPlayer();
    void gameFolderFollowsXdgDataHome();

private:
    static QString run(const QString &program, const QStringList &args, int *exitCode = nullptr);
    QString launcher() const { return root + "/usr/bin/tarvenholm"; }
    QString startPlayer(const QString &home, ClientProcess &client);
    QStringList installedFiles() const;

    QString package, root;
    NginxServer *server = nullptr;
    QStringList filesBefore;
};

QString TestPackage::run(const QString &program, const QStringList &args, int *exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    process.waitForFinished(120000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

void TestPackage::initTestCase()
{
    const QStringList packages = QDir(TestEnv::binaryDir()).entryList({"tarvenholm_*.deb"}, QDir::Files);
    QVERIFY2(packages.size() == 1, "no package: build it with cmake --build build --target package");
    package = TestEnv::binaryDir() + "/" + packages.first();
    root = TestEnv::root() + "/unpacked";
    int status = 0;
    run("dpkg-deb", {"-x", package, root}, &status);
    QCOMPARE(status, 0);
    filesBefore = installedFiles();

    const QString published = TestEnv::root() + "/server";
    TestEnv::writeFile(published + "/loader.swf", MovieFiles::colours(QColor(43, 10, 16), QColor(232, 192, 96)));
    run(TestEnv::binaryDir() + "/tools/tarvenholm-manifest", {published, "700"}, &status);
    QCOMPARE(status, 0);
    server = new NginxServer(published);
    QVERIFY(server->start());
    // What a packager presets for every player: the deployment's update server.
    TestEnv::writeFile(root + "/etc/tarvenholm/tarvenholm.ini",
                       "[General]\nupdateroot=" + server->rootUrl().toUtf8() + "\n");
}

void TestPackage::cleanupTestCase()
{
    delete server;
}

QStringList TestPackage::installedFiles() const
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

void TestPackage::checkers_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("fails"); // a line that would mean failure
    QTest::newRow("lintian") << "lintian" << QStringList({package}) << "E: ";
    QTest::newRow("desktop entry") << "desktop-file-validate"
                                   << QStringList({root + "/usr/share/applications/com.tarvenholm.client.desktop"}) << "error";
    QTest::newRow("AppStream") << "appstreamcli"
                               << QStringList({"validate", "--no-net", root + "/usr/share/metainfo/com.tarvenholm.client.metainfo.xml"})
                               << "E: ";
}

void TestPackage::checkers()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, fails);
    int status = -1;
    const QString output = run(program, args, &status);
    QVERIFY2(status == 0 && !output.contains(fails), qPrintable(output));
}

void TestPackage::contents()
{
    QVERIFY(QFileInfo(launcher()).isExecutable());
    for (const char *file : {"/usr/lib/tarvenholm/tarvenholm", "/usr/lib/tarvenholm/tarvenholm_en.qm",
                             "/usr/lib/tarvenholm/tarvenholm_ru.qm", "/usr/lib/tarvenholm/ruffle/ruffle.js",
                             "/usr/lib/tarvenholm/ruffle/LICENSE_MIT", "/usr/lib/tarvenholm/ruffle/LICENSE_APACHE",
                             "/usr/bin/tarvenholm-manifest", "/usr/share/doc/tarvenholm/copyright",
                             "/usr/share/man/man1/tarvenholm.1.gz"})
        QVERIFY2(QFile::exists(root + file), file);
    for (int size : {16, 24, 32, 48}) {
        const QImage icon(root + QString("/usr/share/icons/hicolor/%1x%1/apps/com.tarvenholm.client.png").arg(size));
        QCOMPARE(icon.size(), QSize(size, size));
    }
    // The libraries it needs come from the binaries, and the presets are the administrator's file.
    const QString control = run("dpkg-deb", {"-f", package, "Depends"});
    QVERIFY2(control.contains("libqt6webenginecore6") && control.contains("libisal2"), qPrintable(control));
    QVERIFY(run("sh", {"-c", "dpkg-deb -I '" + package + "' conffiles"}).contains("/etc/tarvenholm/tarvenholm.ini"));
}

QString TestPackage::startPlayer(const QString &home, ClientProcess &client)
{
    QDir().mkpath(home);
    client.environment().insert("QT_QPA_PLATFORM", "xcb");
    client.environment().insert("LANG", "C.UTF-8");
    client.environment().remove("LC_ALL");
    client.environment().remove("XDG_DATA_HOME");
    // Whatever folder the player starts it from: the launcher goes to the game folder.
    client.start(TestEnv::root(), home, launcher());
    return home + "/.local/share/tarvenholm";
}

void TestPackage::firstStartMakesTheGameFolder()
{
    ClientProcess client;
    const QString game = startPlayer(TestEnv::root() + "/player1", client);
    QVERIFY2(client.waitForLine("\"Update finished.\"", 60000), qPrintable(client.errorText()));
    QVERIFY(client.waitForLine(debugLine("Movie playing: ", QUrl::fromLocalFile(game + "/content/loader.swf")), 30000));
    client.kill();

    QSettings settings(game + "/tarvenholm.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("lang").toString(), QString("en"));
    QCOMPARE(settings.value("stamp").toLongLong(), 700);
    // The operator's settings stay in the operator's file.
    QVERIFY2(!settings.contains("updateroot"), qPrintable(settings.allKeys().join(' ')));
    QCOMPARE(TestEnv::readFile(game + "/content/loader.swf"), TestEnv::readFile(TestEnv::root() + "/server/loader.swf"));
    for (const char *qm : {"tarvenholm_en.qm", "tarvenholm_ru.qm"})
        QCOMPARE(TestEnv::readFile(game + "/" + qm), TestEnv::readFile(root + "/usr/lib/tarvenholm/" + qm));
    // Nothing else was invented in the game folder, and nothing written where the package lies.
    // (Hidden: the update's working folder and the game's saved data.)
    const QStringList made = QDir(game).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    QVERIFY2(made == QStringList({"content", "tarvenholm.ini", "tarvenholm.log", "tarvenholm_en.qm", "tarvenholm_ru.qm"}),
             qPrintable(made.join(", ")));
    // What the player sends to support: the run's lines, the version first.
    const QList<QByteArray> log = TestEnv::readFile(game + "/tarvenholm.log").split('\n');
    QVERIFY2(log.first().contains(" TarvenHOLM 1.0 (Qt "), log.first().constData());
    QVERIFY(std::any_of(log.begin(), log.end(), [](const QByteArray &line) { return line.endsWith(" \"Update finished.\""); }));
    QCOMPARE(installedFiles(), filesBefore);
}

void TestPackage::playersKeepTheirSettings()
{
    const QString home = TestEnv::root() + "/player2";
    const QString game = home + "/.local/share/tarvenholm";
    TestEnv::writeFile(game + "/tarvenholm.ini", "[General]\nlang=ru\nupdateroot=http://127.0.0.1:1/\nstamp=5\n");
    ClientProcess client;
    startPlayer(home, client);
    QVERIFY2(client.waitForLineStarting("\"Не удалось загрузить файл: ", 60000), qPrintable(client.errorText()));
    client.kill();
    QSettings settings(game + "/tarvenholm.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("updateroot").toString(), QString("http://127.0.0.1:1/"));
    QCOMPARE(settings.value("stamp").toLongLong(), 5);
}

// A player installed before the operator moved the update server: the next
// start asks the new one.
void TestPackage::operatorReachesEveryPlayer()
{
    const QString presets = root + "/etc/tarvenholm/tarvenholm.ini";
    const QByteArray before = TestEnv::readFile(presets);
    TestEnv::writeFile(presets, "[General]\nupdateroot=http://127.0.0.1:1/moved/\n");
    ClientProcess client;
    const QString game = startPlayer(TestEnv::root() + "/player1", client);
    const bool asked = client.waitForLineStarting("\"Could not download file: ", 60000);
    client.kill();
    TestEnv::writeFile(presets, before);
    QVERIFY2(asked, qPrintable(client.errorText()));
    QVERIFY2(client.errorText().contains("http://127.0.0.1:1/moved/update/stamp.txt"), qPrintable(client.errorText()));
    QVERIFY(!QSettings(game + "/tarvenholm.ini", QSettings::IniFormat).contains("updateroot"));
}

void TestPackage::gameFolderFollowsXdgDataHome()
{
    const QString home = TestEnv::root() + "/player3";
    const QString data = TestEnv::root() + "/player3-data";
    ClientProcess client;
    client.environment().insert("QT_QPA_PLATFORM", "xcb");
    client.environment().insert("XDG_DATA_HOME", data);
    QDir().mkpath(home);
    client.start(TestEnv::root(), home, launcher());
    QVERIFY2(client.waitForLine("\"Update finished.\"", 60000), qPrintable(client.errorText()));
    client.kill();
    QVERIFY(QFile::exists(data + "/tarvenholm/content/loader.swf"));
    QVERIFY(!QDir(home + "/.local/share/tarvenholm").exists());
}

TARVEN_TEST_MAIN(TestPackage)
#include "tst_package.moc"
