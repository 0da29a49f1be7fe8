// The operator's examples in deploy/ and the demo's servers, run as an operator
// or a newcomer would run them: nginx with the update site (HTTP and HTTPS with
// a certificate of the test's) and the socket policy of the stream module, the
// example crossdomain.xml, the demo's nginx configuration and game server. Each
// is the file itself, changed only where its comments say "yours" (the
// addresses, ports and paths of this test); a change that breaks an example
// breaks these tests.
#include "app/appconfig.h"
#include "clientprocess.h"
#include "moviefiles.h"
#include "movie/policyfiles.h"
#include "movie/socketbridge.h"
#include "nginxserver.h"
#include "testenv.h"
#include "web/mywebview.h"
#include "webtest.h"
#include "window/mainwindow.h"
#include "web/mytabwidget.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslConfiguration>
#include <QTcpSocket>

#include <algorithm>
#include <optional>

class TestDeploy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void siteAnswers_data();
    void siteAnswers();
    void clientUpdatesThroughTheSite();
    void socketPolicy_data();
    void socketPolicy();
    void demoGameRoom_data();
    void demoGameRoom();
    void crossDomainExample_data();
    void crossDomainExample();

private:
    static QString source(const QString &path) { return QStringLiteral(TARVEN_SOURCE_DIR "/") + path; }
    static QByteArray run(const QString &program, const QStringList &args);
    QString gameServerOutput();

    int httpPort = 0, httpsPort = 0, policyPort = 0, demoPolicyPort = 0, gamePort = 0;
    QString site, publicKey;
    QByteArray certificate;
    NginxServer *updateSite = nullptr;
    NginxServer *demo = nullptr;
    QProcess gameServer;
    QByteArray gameServerLines;
    MainWindow *window = nullptr;
};

// The example's text with the operator's values replaced; each must be there
// as the example has it.
static QString adapted(const QString &file, const QList<QPair<QString, QString>> &changes)
{
    QString text = QString::fromUtf8(TestEnv::readFile(file));
    for (const auto &[from, to] : changes) {
        if (!text.contains(from))
            qFatal("%s no longer holds \"%s\"", qPrintable(file), qPrintable(from));
        text.replace(from, to);
    }
    return text;
}

// The stream module's socket policy granting the site 127.0.0.1 the game port.
static QString policyConfig(const QString &file, int port, int gamePort)
{
    return adapted(file, {{"listen 843;\n        listen [::]:843;", QString("listen 127.0.0.1:%1;").arg(port)},
                          {"domain=\"*.example.com\" to-ports=\"9339\"",
                           QString("domain=\"127.0.0.1\" to-ports=\"%1\"").arg(gamePort)}});
}

QByteArray TestDeploy::run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(60000);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qWarning().noquote() << program << args.join(' ') << "failed:" << process.readAllStandardError();
    return process.readAllStandardOutput();
}

QString TestDeploy::gameServerOutput()
{
    gameServerLines += gameServer.readAllStandardOutput();
    return QString::fromUtf8(gameServerLines);
}

void TestDeploy::initTestCase()
{
    httpPort = NginxServer::freePort();
    httpsPort = NginxServer::freePort();
    policyPort = NginxServer::freePort();
    demoPolicyPort = NginxServer::freePort();
    gamePort = NginxServer::freePort();
    const QString root = TestEnv::root();

    // The operator's certificate, for 127.0.0.1.
    run("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", root + "/tls.key",
                    "-out", root + "/tls.crt"});
    certificate = TestEnv::readFile(root + "/tls.crt");
    QVERIFY(certificate.startsWith("-----BEGIN CERTIFICATE-----"));

    // A release, published and signed as the operator's guide says.
    site = root + "/srv";
    TestEnv::writeFile(site + "/game/loader.swf", MovieFiles::colours(QColor(43, 10, 16), QColor(232, 192, 96)));
    TestEnv::writeFile(site + "/news.html", "<html></html>");
    TestEnv::writeFile(site + "/crossdomain.xml", TestEnv::readFile(source("deploy/crossdomain.xml")));
    TestEnv::writeFile(site + "/game/data.txt", "answer=42");
    const QString tool = TestEnv::binaryDir() + "/tools/tarvenholm-manifest";
    publicKey = QString::fromLatin1(run(tool, {"--new-key", root + "/operator.key"})).trimmed();
    QVERIFY(!publicKey.isEmpty());
    run(tool, {"--key", root + "/operator.key", site + "/game", "700"});
    QVERIFY(QFile::exists(site + "/game/update/manifest.sig"));

    const QString siteConfig = adapted(
        source("deploy/nginx/tarvenholm-site.conf"),
        {{"listen 80;\n    listen [::]:80;", QString("listen 127.0.0.1:%1;").arg(httpPort)},
         {"listen 443 ssl;\n    listen [::]:443 ssl;", QString("listen 127.0.0.1:%1 ssl;").arg(httpsPort)},
         {"root /srv/tarvenholm;", "root " + site + ";"},
         {"/etc/letsencrypt/live/updates.example.com/fullchain.pem", root + "/tls.crt"},
         {"/etc/letsencrypt/live/updates.example.com/privkey.pem", root + "/tls.key"},
         {"include snippets/tarvenholm-update.conf;", "include " + source("deploy/nginx/tarvenholm-update.conf") + ";"}});
    TestEnv::writeFile(root + "/socket-policy.conf",
                       policyConfig(source("deploy/nginx/tarvenholm-socket-policy.conf"), policyPort, gamePort).toUtf8());
    updateSite = new NginxServer(site);
    updateSite->setConfig(NginxServer::config(siteConfig, "load_module /usr/lib/nginx/modules/ngx_stream_module.so;\n"
                                                          "include " + root + "/socket-policy.conf;\n"),
                          httpPort);
    QVERIFY(updateSite->start());

    // The demo: its nginx configuration as run.sh fills it in, its movies and
    // partner page, its game server.
    const QString demoRoot = root + "/demo";
    QDir().mkpath(demoRoot + "/guild");
    QFile::copy(source("demo/sites/guild/index.html"), demoRoot + "/guild/index.html");
    const int demoPort = NginxServer::freePort();
    const QString demoUrl = QString("http://127.0.0.1:%1/").arg(demoPort);
    run(TestEnv::binaryDir() + "/tools/tarvenholm-demo-movies",
        {TestEnv::root() + "/work/content", demoUrl, demoRoot + "/guild", QString("127.0.0.1:%1").arg(gamePort)});
    QVERIFY(QFile::exists("content/loader.swf") && QFile::exists(demoRoot + "/guild/banner.swf"));
    TestEnv::writeFile(root + "/demo-policy.conf",
                       policyConfig(source("deploy/nginx/tarvenholm-socket-policy.conf"), demoPolicyPort, gamePort).toUtf8());
    const QString demoConfig = adapted(source("demo/nginx.conf.in"),
                                       {{"@PREFIX@/access.log", "%PREFIX%/logs/access.log"},
                                        {"@PREFIX@", "%PREFIX%"},
                                        {"@PORT@", QString::number(demoPort)},
                                        {"@ROOT@", demoRoot},
                                        {"@DEPLOY@", source("deploy")},
                                        {"@STREAM_MODULE@", "load_module /usr/lib/nginx/modules/ngx_stream_module.so;"},
                                        {"@STREAM@", "include " + root + "/demo-policy.conf;"}});
    demo = new NginxServer(demoRoot);
    demo->setConfig(demoConfig, demoPort);
    QVERIFY(demo->start());
    gameServer.start("python3", {source("demo/gameserver.py"), QString::number(gamePort)});
    QTRY_VERIFY(gameServerOutput().contains(QString("game server on 127.0.0.1:%1\n").arg(gamePort)));

    AppConfig::instance()->sockets = {SocketEndpoint{"127.0.0.1", quint16(gamePort)}};
    QVERIFY(SocketBridge::shared());
    window = new MainWindow;
    window->resize(1000, 900);
    window->show();
}

void TestDeploy::cleanupTestCase()
{
    delete window;
    delete updateSite;
    delete demo;
    gameServer.terminate();
    gameServer.waitForFinished();
}

void TestDeploy::siteAnswers_data()
{
    QTest::addColumn<QString>("url");       // {http} and {https} stand for the site's roots
    QTest::addColumn<QByteArray>("range");  // a Range header to send
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("cache");     // Cache-Control
    QTest::addColumn<QString>("location");
    // The lists: never answered from a cache, never moved elsewhere, on either scheme.
    for (const char *scheme : {"http", "https"}) {
        for (const char *list : {"stamp.txt", "files.txt", "manifest", "manifest.sig"})
            QTest::addRow("%s %s", scheme, list) << QString("{%1}game/update/%2").arg(scheme, list) << QByteArray() << 200
                                                 << "no-store" << "";
        // Content: kept by caches, asked about before it is given out.
        QTest::addRow("%s content file", scheme) << QString("{%1}game/loader.swf").arg(scheme) << QByteArray() << 200
                                                 << "no-cache" << "";
    }
    // A broken download resumes.
    QTest::newRow("content file resumed") << "{http}game/loader.swf" << QByteArray("bytes=10-") << 206 << "no-cache" << "";
    QTest::newRow("policy file over http") << "{http}crossdomain.xml" << QByteArray() << 200 << "" << "";
    QTest::newRow("other pages move to https") << "{http}news.html" << QByteArray() << 301 << ""
                                               << "https://127.0.0.1/news.html";
    QTest::newRow("other pages over https") << "{https}news.html" << QByteArray() << 200 << "" << "";
    QTest::newRow("no listing") << "{http}game/" << QByteArray() << 403 << "no-cache" << "";
}

void TestDeploy::siteAnswers()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(QString, cache);
    QFETCH(QString, location);
    url.replace("{http}", QString("http://127.0.0.1:%1/").arg(httpPort));
    url.replace("{https}", QString("https://127.0.0.1:%1/").arg(httpsPort));
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    // As the client asks: no redirect followed.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!range.isEmpty())
        request.setRawHeader("Range", range);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates({QSslCertificate(certificate)});
    request.setSslConfiguration(tls);
    QNetworkReply *reply = manager.get(request);
    QTRY_VERIFY(reply->isFinished());
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    QCOMPARE(QString::fromLatin1(reply->rawHeader("Cache-Control")), cache);
    QCOMPARE(QString::fromLatin1(reply->rawHeader("Location")), location);
    if (url.endsWith(".swf"))
        QVERIFY2(reply->rawHeader("ETag").startsWith('"'), reply->rawHeader("ETag").constData()); // strong, for If-Range
    delete reply;
}

// The real client, its settings the operator's system file: the signed
// update arrives through the example site.
void TestDeploy::clientUpdatesThroughTheSite()
{
    const QString game = TestEnv::root() + "/player";
    QDir().mkpath(game);
    TestEnv::writeFile(game + "/tarvenholm.ini", "[General]\nlang=en\n");
    for (const char *qm : {"tarvenholm_en.qm", "tarvenholm_ru.qm"})
        QFile::copy(TestEnv::binaryDir() + "/client/" + qm, game + "/" + qm);
    TestEnv::writeFile(TestEnv::root() + "/etc/tarvenholm/tarvenholm.ini",
                       QString("[General]\nupdateroot=http://127.0.0.1:%1/game/\nupdatekey=%2\n")
                           .arg(httpPort)
                           .arg(publicKey)
                           .toUtf8());
    // A home of its own: the web engine's profile of this test is in use.
    const QString home = TestEnv::root() + "/player-home";
    ClientProcess client;
    client.environment().insert("XDG_DATA_HOME", home + "/.local/share");
    client.environment().insert("XDG_CACHE_HOME", home + "/.cache");
    client.start(game, home);
    const bool finished = client.waitForLine("\"Update finished.\"", 60000);
    client.kill();
    QFile::remove(TestEnv::root() + "/etc/tarvenholm/tarvenholm.ini");
    QVERIFY2(finished, qPrintable(client.lines().mid(client.lines().size() - 12).join("\n")));
    QCOMPARE(TestEnv::readFile(game + "/content/loader.swf"), TestEnv::readFile(site + "/game/loader.swf"));
}

// What the example policy on the stream module's port grants, asked as the
// client asks for a web page's movie.
void TestDeploy::socketPolicy_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("portOffset"); // from the game port
    QTest::addColumn<bool>("granted");
    QTest::newRow("the site it names, the game port") << "127.0.0.1" << 0 << true;
    QTest::newRow("another site") << "forum.example.org" << 0 << false;
    QTest::newRow("another port") << "127.0.0.1" << 1 << false;
}

void TestDeploy::socketPolicy()
{
    QFETCH(QString, domain);
    QFETCH(int, portOffset);
    QFETCH(bool, granted);
    PolicyFiles policies;
    policies.setMasterPort(quint16(policyPort));
    std::optional<bool> answer;
    QString reason;
    policies.checkSocket(SocketEndpoint{"127.0.0.1", quint16(gamePort + portOffset)}, domain,
                         [&](bool yes, const QString &why) {
                             answer = yes;
                             reason = why;
                         });
    QTRY_VERIFY(answer.has_value());
    QVERIFY2(*answer == granted, qPrintable(reason));
    if (!granted) // the policy was there and said no
        QCOMPARE(reason, QString("the socket policy of 127.0.0.1:%1 does not grant %2").arg(gamePort + portOffset).arg(domain));
}

// The demo's game: its movie joins the game room (the content folder's movie
// needs no policy; the partner page's banner gets in through the policy on
// the stream module's port), says hello once welcomed, and its buttons speak
// to everyone, a player of the test's among them.
void TestDeploy::demoGameRoom_data()
{
    QTest::addColumn<QString>("where");  // "game": the content folder's loader; "partner": the guild page's banner
    QTest::addColumn<bool>("policy");    // the policy server listens
    QTest::addColumn<QString>("hello");  // what the movie says once welcomed; empty: it never gets in
    QTest::newRow("the game's movie") << "game" << true << "says hello from the game";
    QTest::newRow("the partner page's movie, with the policy") << "partner" << true << "waves from the Guild Hall";
    QTest::newRow("the partner page's movie, no policy server") << "partner" << false << "";
}

void TestDeploy::demoGameRoom()
{
    QFETCH(QString, where);
    QFETCH(bool, policy);
    QFETCH(QString, hello);
    const int master = policy ? demoPolicyPort : NginxServer::freePort();
    SocketBridge::shared()->setMasterPolicyPort(quint16(master));
    QTcpSocket other;
    other.connectToHost(QHostAddress::LocalHost, quint16(gamePort));
    QVERIFY(other.waitForConnected(5000));
    QByteArray heard;
    QTRY_VERIFY((heard += other.readAll()).contains(" online."));
    demo->clearAccessLog();
    MessageLog log;

    auto *view = new MyWebView;
    window->appendTab(view, where);
    window->tabWidget()->setCurrentWidget(view);
    const QString gameLine = ": " + hello + "\n";
    if (where == "game") {
        view->load(QUrl::fromLocalFile(TestEnv::root() + "/work/content/loader.swf"));
    } else {
        view->load(QUrl(demo->rootUrl() + "guild/index.html"));
    }
    if (hello.isEmpty()) {
        // The game server, asked for a policy on its own port, says nothing.
        QTRY_VERIFY2(log.contains(debugLine("Socket refused: ", QString("127.0.0.1:%1 for 127.0.0.1: no socket policy "
                                                                       "from 127.0.0.1 (ports %2 and %1)")
                                                                   .arg(gamePort)
                                                                   .arg(master))),
                     qPrintable(log.lines().join('\n')));
        QVERIFY(!(heard += other.readAll()).contains("joined"));
    } else {
        QTRY_VERIFY2(gameServerOutput().contains(gameLine), qPrintable(gameServerOutput()));
        QTRY_VERIFY2((heard += other.readAll()).contains(": " + hello.toUtf8() + '\0'), heard.constData());
        if (where == "game") {
            // The server's news by LoadVars, through the client for the game's movie.
            QTRY_VERIFY2(demo->requestedPaths().contains("/api/news"), demo->accessLog().constData());
            // The player's click on "Wave" reaches everyone.
            // Where the movie, kept in proportion and centred, shows its Wave button.
            QWidget *input = view->focusProxy();
            QVERIFY(input);
            const double scale = std::min(input->width() / 800.0, input->height() / 900.0);
            const QPoint wave(int((input->width() - 800 * scale) / 2 + 630 * scale),
                              int((input->height() - 900 * scale) / 2 + 742 * scale));
            QTest::mouseMove(input, wave);
            QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier, wave);
            QTRY_VERIFY2((heard += other.readAll()).contains(": waves to everyone"), heard.constData());
        }
    }
    delete view;
    other.close();
}

// The example crossdomain.xml on the update site, asked for by a partner
// page's movie (another origin: the demo server) reading the site's data.
void TestDeploy::crossDomainExample_data()
{
    QTest::addColumn<QByteArray>("from");  // what the example's site names become
    QTest::addColumn<QString>("loaded");
    QTest::newRow("names the page's site") << QByteArray("127.0.0.1") << "load-true";
    QTest::newRow("as shipped: other sites only") << QByteArray() << "load-false";
}

void TestDeploy::crossDomainExample()
{
    QFETCH(QByteArray, from);
    QFETCH(QString, loaded);
    QByteArray policy = TestEnv::readFile(source("deploy/crossdomain.xml"));
    if (!from.isEmpty()) {
        QVERIFY(policy.contains("domain=\"*.example.com\""));
        policy.replace("domain=\"*.example.com\"", "domain=\"" + from + "\"");
    }
    TestEnv::writeFile(site + "/crossdomain.xml", policy);
    static int serial = 0;
    const QString name = QString("reader%1").arg(++serial);
    TestEnv::writeFile(TestEnv::root() + "/demo/" + name + ".swf",
                       MovieFiles::variables(QString("http://127.0.0.1:%1/game/").arg(httpPort), demo->rootUrl()));
    TestEnv::writeFile(TestEnv::root() + "/demo/" + name + ".html",
                       ("<html><body><embed src=\"" + name + ".swf\" width=\"400\" height=\"300\"></body></html>").toUtf8());
    demo->clearAccessLog();
    MessageLog log;
    auto *view = new MyWebView;
    window->appendTab(view, name);
    view->load(QUrl(demo->rootUrl() + name + ".html"));
    QTRY_VERIFY2(demo->queriesOf("/report").contains(loaded),
                 qPrintable(demo->queriesOf("/report").join(' ') + "\n" + log.lines().join('\n')));
    delete view;
}

TARVEN_TEST_MAIN(TestDeploy)
#include "tst_deploy.moc"
