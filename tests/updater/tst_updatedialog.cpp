// The whole update sequence against nginx serving an update tree published
// with the project's manifest tool (and a scripted server for broken transfers).
#include "app/appconfig.h"
#include "faultserver.h"
#include "nginxserver.h"
#include "readonly.h"
#include "smallfs.h"
#include "testenv.h"
#include "updater/checksum.h"
#include "updater/contentupdate.h"
#include "updater/downloader.h"
#include "updater/updatedialog.h"
#include "updater/workfolder.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTimer>
#include <QTranslator>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>

#include <sys/stat.h>
#include <unistd.h>

using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

class TestUpdateDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void form();
    void stamps_data();
    void stamps();
    void threeOutdatedFiles();
    void emptyFileList();
    void newSubFolderAndMissingListedFile();
    void failureMidwayThenRerun();
    void corruptDownload_data();
    void corruptDownload();
    void readOnlyLocalFile();
    void unusableAnswers_data();
    void unusableAnswers();
    void largeErrorPage();
    void gzipAnswers();
    void closedWithinFirstSecond();
    void namesOutsideTheContentFolder();
    void brokenTransfers_data();
    void brokenTransfers();
    void stallCancelledByUser();
    void closesItselfOrOnOk_data();
    void closesItselfOrOnOk();
    void tryAgainAfterFailure_data();
    void tryAgainAfterFailure();
    void russian();
    void fullDisk_data();
    void fullDisk();
    void unwritableContent_data();
    void unwritableContent();
    void unwritableSettings();
    void manifestToolWithRelativeRoot();
    void manifestToolStamps_data();
    void manifestToolStamps();
    void secondUpdateWaits();
    void abandonedLockFile();
    void redirectsFail_data();
    void redirectsFail();
    void specialFilesAtListedPaths_data();
    void specialFilesAtListedPaths();
    void folderCannotBeMade();
    void gameFolderCannotHoldWorkFolder_data();
    void gameFolderCannotHoldWorkFolder();
    void progressLabels_data();
    void progressLabels();
    void downloadedDataGone_data();
    void downloadedDataGone();
    void filesSideBySide();
    void firstFailureStopsTheRest();
    void cancelStopsEveryTransfer();
    void brokenTransferResumes_data();
    void brokenTransferResumes();
    void waitingUpdateLeavesTheOtherAlone();
    void foreignWorkingFiles_data();
    void foreignWorkingFiles();
    void workFolderOwner_data();
    void workFolderOwner();
    void signedUpdates_data();
    void signedUpdates();

private:
    struct Run {
        QString log, label;
        QList<QPair<int, int>> progress; // value and maximum at each change
        bool ok = false, cancel = false;
    };
    // Publishes `files` as case `name` on nginx (stamp and list by the manifest tool)
    // and makes a fresh working folder with `local` in its content folder.
    void prepare(const QString &name, const Files &files, qint64 serverStamp, const Files &local, qint64 localStamp);
    QString caseDir(const QString &name) const { return TestEnv::root() + "/server/" + name; }
    Run update(int timeoutMs = 15000, int stallTimeoutMs = 0);
    qint64 storedStamp() const;
    QStringList contentRequests() const;

    QString publish(const QString &name, qint64 stamp, const QString &keyFile = QString());
    QString newKey(const QString &file);

    NginxServer *server = nullptr;
    QString currentCase;
};

static const char serverConfig[] = R"(
    location /gzip/ { gzip on; gzip_types *; gzip_min_length 1; }
    location = /redirect/moved.swf { return 302 /redirect/other.swf; }
    location = /redirect-stamp/update/stamp.txt { return 301 /elsewhere/stamp.txt; }
    location = /redirect-list/update/files.txt { return 307 /elsewhere/files.txt; }
    # Hosting error pages of some kilobytes, more than a stamp or a signature may be.
    location = /errorpage.html { internal; }
    location = /errorpage/update/stamp.txt { error_page 503 /errorpage.html; return 503; }
    location = /signed/update/manifest.sig {
        if (-f $document_root/signed/sig-503) { return 503; }
        if (-f $document_root/signed/sig-404-page) { error_page 404 /errorpage.html; return 404; }
    }
)";

// The process's peak resident memory (VmHWM).
static double peakMemoryMiB()
{
    for (const QByteArray &line : TestEnv::readFile("/proc/self/status").split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

static bool finished(const QString &log)
{
    for (const char *end : {"Update finished.", "Could not ", "Invalid server response", "Error in "}) {
        if (log.contains(QLatin1String(end)))
            return true;
    }
    return false;
}

void TestUpdateDialog::initTestCase()
{
    QDir().mkpath(TestEnv::root() + "/server");
    TestEnv::writeFile(TestEnv::root() + "/server/errorpage.html",
                       "<html><body>" + QByteArray(6000, 'x') + "</body></html>");
    server = new NginxServer(TestEnv::root() + "/server", QString::fromLatin1(serverConfig));
    QVERIFY(server->start());
    QVERIFY(QFile::exists(TestEnv::binaryDir() + "/tools/tarvenholm-manifest"));
}

void TestUpdateDialog::cleanupTestCase()
{
    delete server;
}

void TestUpdateDialog::prepare(const QString &name, const Files &files, qint64 serverStamp, const Files &local,
                               qint64 localStamp)
{
    currentCase = name;
    const QString dir = caseDir(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    for (auto it = files.begin(); it != files.end(); ++it)
        TestEnv::writeFile(dir + "/" + it.key(), it.value());
    QProcess tool;
    tool.start(TestEnv::binaryDir() + "/tools/tarvenholm-manifest", {dir, QString::number(serverStamp)});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 0);

    static int serial = 0;
    TestEnv::freshDir(QString("work-%1-%2").arg(name).arg(++serial));
    QDir().mkpath("content");
    for (auto it = local.begin(); it != local.end(); ++it)
        TestEnv::writeFile("content/" + it.key(), it.value());
    QSettings("tarvenholm.ini", QSettings::IniFormat).setValue("stamp", localStamp);
    AppConfig *config = AppConfig::instance();
    config->updateroot = server->rootUrl() + name + "/";
    config->stamp = localStamp;
    config->ignorecrc = true;
    server->clearAccessLog();
}

TestUpdateDialog::Run TestUpdateDialog::update(int timeoutMs, int stallTimeoutMs)
{
    Run run;
    QStringList lines;
    bool ended = false;
    ContentUpdate update;
    connect(&update, &ContentUpdate::logLine, this, [&](const QString &line) { lines << line; });
    connect(&update, &ContentUpdate::labelChanged, this, [&](const QString &text) { run.label = text; });
    connect(&update, &ContentUpdate::progressChanged, this, [&](int value, int maximum) {
        // As a progress bar reports them: changes of the value.
        if (value != (run.progress.isEmpty() ? 0 : run.progress.last().first))
            run.progress << qMakePair(value, maximum);
    });
    connect(&update, &ContentUpdate::finished, this, [&](bool succeeded) {
        ended = true;
        run.ok = succeeded;
        run.cancel = !succeeded;
    });
    if (stallTimeoutMs > 0)
        update.setStallTimeout(stallTimeoutMs);
    update.introduce();
    update.start();
    if (!QTest::qWaitFor([&] { return ended; }, timeoutMs))
        qWarning("update did not end: %s", qPrintable(lines.join('\n')));
    run.log = lines.join('\n');
    return run;
}

qint64 TestUpdateDialog::storedStamp() const
{
    return QSettings("tarvenholm.ini", QSettings::IniFormat).value("stamp").toLongLong();
}

QStringList TestUpdateDialog::contentRequests() const
{
    QStringList paths;
    for (const QString &path : server->requestedPaths()) {
        if (!path.contains("/update/"))
            paths << path.section('/', 2);
    }
    return paths;
}

void TestUpdateDialog::form()
{
    UpdateDialog dialog;
    QCOMPARE(dialog.objectName(), QString("UpdateDialog"));
    QCOMPARE(dialog.size(), QSize(531, 398));
    QCOMPARE(dialog.windowTitle(), QString("Loading TarvenHOLM"));
    QCOMPARE(dialog.findChild<QPlainTextEdit *>("textEdit")->geometry(), QRect(10, 10, 511, 291));
    QVERIFY(dialog.findChild<QPlainTextEdit *>("textEdit")->isReadOnly());
    QCOMPARE(dialog.findChild<QLabel *>("label")->text(), QString("TextLabel"));
    // What the server and files say is shown as it is, never as markup.
    QCOMPARE(dialog.findChild<QLabel *>("label")->textFormat(), Qt::PlainText);
    QCOMPARE(dialog.findChild<QProgressBar *>("progressBar")->value(), 0);
    QCOMPARE(dialog.findChild<QProgressBar *>("progressBar")->geometry(), QRect(10, 330, 511, 23));
    QCOMPARE(dialog.findChild<QDialogButtonBox *>("buttonBox")->geometry(), QRect(10, 360, 511, 32));
    QVERIFY(!dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->isEnabled());
    const QString log = dialog.findChild<QPlainTextEdit *>("textEdit")->toPlainText();
    QCOMPARE(log, QString("Using temporary filename [%1/.update/tvdown.tmp]\nChecking for updates...").arg(QDir::currentPath()));
}

void TestUpdateDialog::stamps_data()
{
    QTest::addColumn<qint64>("serverStamp");
    QTest::addColumn<qint64>("localStamp");
    QTest::addColumn<bool>("keyed");     // the operator's key is configured
    QTest::addColumn<bool>("match");
    QTest::addColumn<qint64>("recorded");
    QTest::newRow("equal") << qint64(100) << qint64(100) << false << true << qint64(100);
    QTest::newRow("server lower") << qint64(50) << qint64(100) << false << true << qint64(50);
    // The unsigned stamp cannot take signed content back to an older release.
    QTest::newRow("server lower, with the operator's key") << qint64(1) << qint64(100) << true << true << qint64(100);
    QTest::newRow("server newer, all current") << qint64(1099511627776) << qint64(100) << false << false << qint64(1099511627776);
    QTest::newRow("negative local") << qint64(-1) << qint64(-5) << false << false << qint64(-1);
}

void TestUpdateDialog::stamps()
{
    QFETCH(qint64, serverStamp);
    QFETCH(qint64, localStamp);
    QFETCH(bool, keyed);
    QFETCH(bool, match);
    QFETCH(qint64, recorded);
    const Files files {{"loader.swf", "loader"}, {"battle.swf", "battle"}};
    prepare("stamps", files, serverStamp, files, localStamp);
    if (keyed)
        AppConfig::instance()->updatekey = newKey(TestEnv::root() + "/stamps-" + QString::number(QRandomGenerator::global()->generate()) + ".key");
    MessageLog lines;
    const Run run = update();
    AppConfig::instance()->updatekey.clear();
    QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
    QCOMPARE(run.log.contains("Timestamp match."), match);
    QCOMPARE(storedStamp(), recorded);
    QCOMPARE(AppConfig::instance()->stamp, recorded);
    QVERIFY(run.ok && !run.cancel);
    QVERIFY(contentRequests().isEmpty());
    QCOMPARE(run.progress.last().first, run.progress.last().second);
    if (match) {
        QCOMPARE(run.label, QString());
        QVERIFY(!server->requestedPaths().contains("/stamps/update/files.txt"));
        // The bar stays at 0 of 100 while the stamp comes, then is full.
        QCOMPARE(run.progress, (QList<QPair<int, int>>{{100, 100}}));
    } else {
        QVERIFY(run.log.contains(QString("Updater stamp difference: server=%1 local=%2").arg(serverStamp).arg(localStamp)));
        QCOMPARE(run.label, QString("Checking loader.swf")); // the last entry checked
        QVERIFY(lines.contains("filelist line count:  2"));
    }
}

void TestUpdateDialog::threeOutdatedFiles()
{
    const Files files {{"a.swf", "new a"}, {"b.swf", "new b"}, {"c.swf", QByteArray(300000, 'c')}, {"d.swf", "same d"}};
    prepare("three", files, 20, {{"a.swf", "old a"}, {"c.swf", "old c"}, {"d.swf", "same d"}}, 10);
    MessageLog lines;
    const Run run = update();
    QVERIFY2(run.log.contains("All files downloaded/updated.\nUpdate finished."), qPrintable(run.log));
    for (const char *name : {"a.swf", "b.swf", "c.swf"})
        QVERIFY(run.log.contains(QString("Found file to download: %1").arg(name)));
    QStringList requested = contentRequests(); // side by side: in any order
    requested.sort();
    QCOMPARE(requested, QStringList({"a.swf", "b.swf", "c.swf"}));
    for (auto it = files.begin(); it != files.end(); ++it)
        QCOMPARE(TestEnv::readFile("content/" + it.key()), it.value());
    QCOMPARE(storedStamp(), 20);
    QCOMPARE(run.label, QString()); // nothing left of the last transfer
    // The installed files count 1, 2, 3 of 4, and the bar is full at the end.
    QVERIFY(run.progress.size() >= 4);
    QCOMPARE(run.progress.mid(run.progress.size() - 4), (QList<QPair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
    // The outdated-file line: name, listed and local checksum, eight hex digits each.
    QVERIFY(lines.contains(QString("\"b.swf\" \"%1\" \"ffffffff\"").arg(fileCrc32(caseDir("three") + "/b.swf"), 8, 16, QChar('0'))));
    QVERIFY(lines.contains(debugLine(QUrl(server->rootUrl() + "three/c.swf"), "received: ", 300000, "total: ", 300000)));
    // The servers can tell the client and its version from every request.
    const QList<QByteArray> requests = server->accessLog().trimmed().split('\n');
    QCOMPARE(requests.size(), 5); // stamp, list, three files
    for (const QByteArray &request : requests)
        QVERIFY2(request.endsWith(" \"TarvenHOLM/1.0\""), request.constData());
}

void TestUpdateDialog::emptyFileList()
{
    prepare("empty", {}, 7, {}, 3);
    MessageLog lines;
    const Run run = update();
    QVERIFY(lines.contains("filelist line count:  0"));
    QVERIFY(run.log.contains("All files downloaded/updated.\nUpdate finished."));
    QCOMPARE(storedStamp(), 7);
}

void TestUpdateDialog::newSubFolderAndMissingListedFile()
{
    prepare("subfolder", {{"maps/north/castle.swf", "castle"}}, 2, {}, 1);
    // A listed file that nobody has: its checksum ffffffff matches "missing".
    QFile list(caseDir("subfolder") + "/update/files.txt");
    QVERIFY(list.open(QIODevice::Append));
    list.write("retired.swf,FFFFFFFF\r\n");
    list.close();
    MessageLog lines;
    const Run run = update();
    QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
    // A listed file that is not there cannot be opened, as the check says.
    for (const char *missing : {"./content/maps/north/castle.swf", "./content/retired.swf"})
        QVERIFY2(lines.contains(debugLine("Could not open file: ", QString(missing))), missing);
    QCOMPARE(TestEnv::readFile("content/maps/north/castle.swf"), QByteArray("castle"));
    QCOMPARE(contentRequests(), QStringList({"maps/north/castle.swf"}));
    QVERIFY(!QFile::exists("content/retired.swf"));
}

void TestUpdateDialog::failureMidwayThenRerun()
{
    const Files files {{"1.swf", "one"}, {"2.swf", "two"}, {"3.swf", "three"}};
    prepare("midway", files, 9, {}, 1);
    QFile::remove(caseDir("midway") + "/2.swf"); // listed, but gone from the server: 404
    Run run = update();
    QVERIFY2(run.label.startsWith("Could not download file: "), qPrintable(run.label));
    QVERIFY(run.label.contains("Not Found"));
    QVERIFY(!run.ok && run.cancel);
    // The others came side by side: each is installed whole, or not at all.
    for (const char *name : {"1.swf", "3.swf"}) {
        if (QFile::exists(QString("content/") + name))
            QCOMPARE(TestEnv::readFile(QString("content/") + name), files.value(name));
    }
    QVERIFY(!QFile::exists("content/2.swf"));
    QCOMPARE(storedStamp(), 1);
    QCOMPARE(AppConfig::instance()->stamp, 1);

    // The server is mended; the next start fetches only what is still missing.
    TestEnv::writeFile(caseDir("midway") + "/2.swf", "two");
    QStringList missing;
    for (const char *name : {"1.swf", "2.swf", "3.swf"}) {
        if (!QFile::exists(QString("content/") + name))
            missing << name;
    }
    server->clearAccessLog();
    run = update();
    QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
    QStringList requested = contentRequests();
    requested.sort();
    QCOMPARE(requested, missing);
    for (auto it = files.begin(); it != files.end(); ++it)
        QCOMPARE(TestEnv::readFile("content/" + it.key()), it.value());
    QCOMPARE(storedStamp(), 9);
}

void TestUpdateDialog::corruptDownload_data()
{
    QTest::addColumn<bool>("ignorecrc");
    QTest::newRow("checked") << false;
    QTest::newRow("ignored") << true;
}

void TestUpdateDialog::corruptDownload()
{
    QFETCH(bool, ignorecrc);
    prepare("corrupt", {{"moved.swf", "the real movie"}}, 5, {{"moved.swf", "old"}}, 1);
    // What arrives differs from what the list promises.
    const QString listPath = caseDir("corrupt") + "/update/files.txt";
    const QByteArray original = TestEnv::readFile(listPath);
    TestEnv::writeFile(listPath, QByteArray(original).replace("moved.swf," + QByteArray::number(fileCrc32(caseDir("corrupt") + "/moved.swf"), 16).rightJustified(8, '0'), "moved.swf,deadbeef"));
    AppConfig::instance()->ignorecrc = ignorecrc;
    const Run run = update();
    const QByteArray installed = TestEnv::readFile("content/moved.swf");
    if (ignorecrc) {
        QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
        QCOMPARE(installed, QByteArray("the real movie"));
        QCOMPARE(storedStamp(), 5);
    } else {
        // The list's line as sent, its line end shown as an escape on the label's one line.
        const QString line = QString::fromLatin1(TestEnv::readFile(listPath).split('\n').first()) + "\\n";
        QCOMPARE(run.label, QString("Error in downloaded file (crc): %1").arg(line));
        QCOMPARE(installed, QByteArray("old"));
        QCOMPARE(storedStamp(), 1);
    }
}

void TestUpdateDialog::redirectsFail_data()
{
    QTest::addColumn<QString>("name");     // the case, whose server answers one request with a redirect
    QTest::addColumn<QString>("answer");   // what the user is told came back
    QTest::addColumn<bool>("ignorecrc");
    QTest::newRow("content file, crc checked") << "redirect" << "302 Moved Temporarily, sending to @ROOT@redirect/other.swf" << false;
    QTest::newRow("content file, crc ignored") << "redirect" << "302 Moved Temporarily, sending to @ROOT@redirect/other.swf" << true;
    QTest::newRow("stamp") << "redirect-stamp" << "301 Moved Permanently, sending to @ROOT@elsewhere/stamp.txt" << true;
    QTest::newRow("file list") << "redirect-list" << "307 Temporary Redirect, sending to @ROOT@elsewhere/files.txt" << true;
}

// A redirect is not followed, and its body is no file, stamp or list: the
// download fails, nothing is installed, the stamp stays.
void TestUpdateDialog::redirectsFail()
{
    QFETCH(QString, name);
    QFETCH(QString, answer);
    QFETCH(bool, ignorecrc);
    prepare(name, {{"moved.swf", "the real movie"}, {"other.swf", "x"}}, 5, {{"moved.swf", "old"}}, 1);
    AppConfig::instance()->ignorecrc = ignorecrc;
    const Run run = update();
    QCOMPARE(run.label, "Could not download file: The server answered " + answer.replace("@ROOT@", server->rootUrl()));
    QVERIFY(!run.log.contains("Update finished."));
    QCOMPARE(TestEnv::readFile("content/moved.swf"), QByteArray("old"));
    // The list's other file, fetched beside it, is in place whole or not at all.
    QVERIFY(!QFile::exists("content/other.swf") || TestEnv::readFile("content/other.swf") == "x");
    QCOMPARE(storedStamp(), 1);
}

void TestUpdateDialog::readOnlyLocalFile()
{
    prepare("readonly", {{"a.swf", "new"}}, 2, {{"a.swf", "old"}}, 1);
    QFile::setPermissions("content/a.swf", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const Run run = update();
    QCOMPARE(run.label, QString("Could not delete file [./content/a.swf]"));
    QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("old"));
    QCOMPARE(storedStamp(), 1);
}

void TestUpdateDialog::unusableAnswers_data()
{
    QTest::addColumn<QByteArray>("stamp");      // what update/stamp.txt holds ("": a stream of digits)
    QTest::addColumn<QByteArray>("hugePath");   // the path answered with more than a gigabyte, if any
    QTest::addColumn<int>("hugeFault");
    QTest::addColumn<QString>("label");
    const int announced = int(FaultServer::Huge), sent = int(FaultServer::HugeUnannounced);
    // Server text stays on the label's one line: its line ends are shown as escapes.
    QTest::newRow("a word") << QByteArray("soon\r\n42\n") << QByteArray() << 0 << "Invalid server response [soon\\r\\n]";
    QTest::newRow("a tab and a next-line mark") << QByteArray("soon\t\x85x\n") << QByteArray() << 0
                                               << "Invalid server response [soon\\t\\u0085x\\n]";
    // Server text is shown cut to a readable length.
    QTest::newRow("a long line of letters") << QByteArray(3000, 'x') + '\n' << QByteArray() << 0
                                            << "Invalid server response [" + QString(120, 'x') + QChar(0x2026) + "]";
    QTest::newRow("stamp of a gigabyte") << QByteArray() << QByteArray("/update/stamp.txt") << sent
                                         << "The answer from @ROOT@update/stamp.txt is larger than 4096 bytes";
    QTest::newRow("list announced as a gigabyte") << QByteArray("2\n") << QByteArray("/update/files.txt") << announced
                                                  << "The answer from @ROOT@update/files.txt is larger than 67108864 bytes";
    QTest::newRow("signature of a gigabyte") << QByteArray("2\n") << QByteArray("/update/manifest.sig") << sent
                                             << "The answer from @ROOT@update/manifest.sig is larger than 512 bytes";
}

// What no real update server sends stops the update with a plain message: a
// stamp that is no number, an answer larger than any real one (stopped at
// once, never held in memory); the stamp stays.
void TestUpdateDialog::unusableAnswers()
{
    QFETCH(QByteArray, stamp);
    QFETCH(QByteArray, hugePath);
    QFETCH(int, hugeFault);
    QFETCH(QString, label);
    prepare("unusable", {}, 1, {}, 1);
    FaultServer faulty;
    if (!stamp.isEmpty())
        faulty.serve("/update/stamp.txt", stamp);
    faulty.serve("/update/manifest", "tarvenholm-manifest 1\nstamp 2\n");
    if (!hugePath.isEmpty())
        faulty.serve(hugePath, "1234567890", FaultServer::Fault(hugeFault));
    AppConfig::instance()->updateroot = faulty.rootUrl();
    if (hugePath.endsWith(".sig"))
        AppConfig::instance()->updatekey = newKey(TestEnv::root() + "/unusable-" + QString::number(QRandomGenerator::global()->generate()) + ".key");
    // The peak of this process's memory, counted from here.
    const bool peakReset = TestEnv::writeFileIfPossible("/proc/self/clear_refs", "5");
    const double before = peakMemoryMiB();
    const Run run = update();
    AppConfig::instance()->updatekey.clear();
    QCOMPARE(run.label, label.replace("@ROOT@", faulty.rootUrl()));
    QVERIFY(run.log.endsWith(run.label)); // the log says the same
    QVERIFY(!run.ok && run.cancel);
    QCOMPARE(storedStamp(), 1);
    if (peakReset)
        QVERIFY2(peakMemoryMiB() - before < 32, qPrintable(QString::number(peakMemoryMiB() - before)));
    QVERIFY(faulty.hugeBytesSent() < (qint64(64) << 20));
}

// An error page is reported by its status, however large: the bound only
// stops reading it.
void TestUpdateDialog::largeErrorPage()
{
    prepare("errorpage", {}, 2, {}, 1);
    const Run run = update();
    QCOMPARE(run.label, QString("Could not download file: The server answered 503 Service Temporarily Unavailable"));
    QVERIFY(run.log.endsWith(run.label));
    QCOMPARE(storedStamp(), 1);
}

void TestUpdateDialog::gzipAnswers()
{
    QByteArray text;
    for (int i = 0; i < 20000; ++i)
        text += "line " + QByteArray::number(i) + "\n";
    prepare("gzip", {{"script.txt", text}}, 2, {}, 1);
    AppConfig::instance()->ignorecrc = false; // the checksum is over the decoded bytes
    const Run run = update();
    QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
    QCOMPARE(TestEnv::readFile("content/script.txt"), text);
    QVERIFY(server->accessLog().contains("gzip"));
}

void TestUpdateDialog::closedWithinFirstSecond()
{
    prepare("early", {{"a.swf", "a"}}, 2, {}, 1);
    auto *dialog = new UpdateDialog;
    dialog->show();
    QTest::qWait(300);
    dialog->reject();
    delete dialog;
    QTest::qWait(1200);
    QVERIFY(server->requestedPaths().isEmpty());
}

void TestUpdateDialog::namesOutsideTheContentFolder()
{
    const QString dir = TestEnv::freshDir("outside-probe");
    prepare("outside", {{"good.swf", "good"}}, 2, {}, 1);
    QFile list(caseDir("outside") + "/update/files.txt");
    QVERIFY(list.open(QIODevice::Append));
    for (const char *name : {"../escaped.swf", "/tmp/absolute.swf", "..\\win.swf", "C:/drive.swf", "a/../../up.swf",
                             "./dot.swf", "ctl\x01.swf"})
        list.write(QByteArray(name) + ",12345678\n");
    // Lines that are no entry are skipped alike, each named once.
    for (const char *line : {"nocomma.swf\n", "a.swf,1,2\n", "b.swf,xyz\n"})
        list.write(line);
    list.close();
    MessageLog lines;
    const Run run = update();
    QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
    QCOMPARE(lines.countStarting("Unsafe file name in files.txt:  \""), 7);
    QCOMPARE(lines.countStarting("Invalid files.txt format:  \""), 3);
    QCOMPARE(lines.count("Invalid files.txt format:  \"b.swf,xyz\\n\""), 1);
    QCOMPARE(contentRequests(), QStringList({"good.swf"}));
    QCOMPARE(QDir(".").entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList({"content", "tarvenholm.ini"}));
    QCOMPARE(QDir("content").entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList({"good.swf"}));
    Q_UNUSED(dir);
}

void TestUpdateDialog::brokenTransfers_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("error");
    // A plain answer cut short must fail even when the network layer reports
    // nothing wrong.
    QTest::newRow("cut short") << int(FaultServer::CutShort) << "";
    QTest::newRow("reset") << int(FaultServer::Reset) << "";
    QTest::newRow("stalled") << int(FaultServer::Stall) << "Could not download file: Nothing received for 1 s";
}

// Every try breaks: tried again exactly three times, then the update fails
// with the old file in place.
void TestUpdateDialog::brokenTransfers()
{
    QFETCH(int, fault);
    QFETCH(QString, error);
    const QByteArray big(4 << 20, 'B');
    prepare("broken", {{"big.swf", big}}, 2, {{"big.swf", "old big"}}, 1);
    FaultServer faulty;
    faulty.serve("/update/stamp.txt", TestEnv::readFile(caseDir("broken") + "/update/stamp.txt"));
    faulty.serve("/update/files.txt", TestEnv::readFile(caseDir("broken") + "/update/files.txt"));
    faulty.serve("/big.swf", big, FaultServer::Fault(fault), 1 << 20);
    AppConfig::instance()->updateroot = faulty.rootUrl();
    const Run run = update(20000, 1000);
    QVERIFY2(run.label.startsWith("Could not download file: "), qPrintable(run.log));
    if (!error.isEmpty())
        QCOMPARE(run.label, error);
    QCOMPARE(faulty.requestedPaths().count("/big.swf"), 1 + Downloader::retries);
    QCOMPARE(TestEnv::readFile("content/big.swf"), QByteArray("old big"));
    QCOMPARE(storedStamp(), 1);
}

void TestUpdateDialog::stallCancelledByUser()
{
    prepare("stall", {{"big.swf", "x"}}, 2, {{"big.swf", "old"}}, 1);
    FaultServer stalling;
    stalling.serve("/update/stamp.txt", "2\n");
    stalling.serve("/update/files.txt", TestEnv::readFile(caseDir("stall") + "/update/files.txt"));
    stalling.serve("/big.swf", QByteArray(1 << 20, 'S'), FaultServer::Stall, 4096);
    AppConfig::instance()->updateroot = stalling.rootUrl();
    UpdateDialog dialog;
    auto *log = dialog.findChild<QPlainTextEdit *>("textEdit");
    QTimer::singleShot(0, [&] {
        // The user waits for the stalled download, then presses Cancel.
        (void)QTest::qWaitFor([&] { return log->toPlainText().contains("big.swf"); }, 10000);
        QTest::qWait(300);
        dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
    });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(TestEnv::readFile("content/big.swf"), QByteArray("old"));
    QCOMPARE(storedStamp(), 1);
    QVERIFY(stalling.requestedPaths().contains("/big.swf"));
}

void TestUpdateDialog::closesItselfOrOnOk_data()
{
    QTest::addColumn<bool>("pressOk");
    QTest::newRow("by itself after 3 s") << false;
    QTest::newRow("OK at once") << true;
}

void TestUpdateDialog::closesItselfOrOnOk()
{
    QFETCH(bool, pressOk);
    prepare("close", {}, 1, {}, 1);
    UpdateDialog dialog;
    auto *log = dialog.findChild<QPlainTextEdit *>("textEdit");
    QElapsedTimer sinceFinished;
    QTimer::singleShot(0, [&] {
        (void)QTest::qWaitFor([&] { return log->toPlainText().contains("Update finished."); }, 10000);
        sinceFinished.start();
        if (pressOk)
            dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
    });
    const int result = dialog.exec();
    QVERIFY(sinceFinished.isValid());
    if (pressOk) {
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(sinceFinished.elapsed() < 1000);
    } else {
        QCOMPARE(result, int(QDialog::Rejected));
        // A coarse timer: Qt may fire it up to 5 % early.
        QVERIFY2(sinceFinished.elapsed() >= 2800, qPrintable(QString::number(sinceFinished.elapsed())));
    }
}

void TestUpdateDialog::tryAgainAfterFailure_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("error"); // the label after the first try
    QTest::newRow("no server at the address") << "unreachable" << "Could not download file: Connection refused";
    QTest::newRow("a file missing on the server") << "missing"
                                                  << "Could not download file: Error transferring @URL@ - server replied: Not Found";
}

// A failed update tells the player what comes next, and Try Again, once the
// server is back, finishes it in the same window.
void TestUpdateDialog::tryAgainAfterFailure()
{
    QFETCH(QString, fault);
    QFETCH(QString, error);
    prepare("again", {{"a.swf", "new a"}, {"b.swf", "new b"}}, 5, {{"a.swf", "old a"}}, 1);
    const QString root = AppConfig::instance()->updateroot;
    QTcpServer closed;
    if (fault == "unreachable") {
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        AppConfig::instance()->updateroot = QString("http://127.0.0.1:%1/").arg(closed.serverPort());
        closed.close(); // nothing listens there any more
    } else {
        QVERIFY(QFile::rename(caseDir("again") + "/b.swf", caseDir("again") + "/b.gone"));
    }
    UpdateDialog dialog;
    dialog.show();
    auto *log = dialog.findChild<QPlainTextEdit *>("textEdit");
    auto *buttons = dialog.findChild<QDialogButtonBox *>("buttonBox");
    auto *retry = dialog.findChild<QPushButton *>("retryButton");
    QVERIFY(retry && !retry->isVisible());
    const QString next = "The update did not finish. Cancel starts the game with the content it has; "
                         "Try Again asks the server once more.";
    QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().endsWith("\n" + next), 15000);
    QCOMPARE(dialog.findChild<QLabel *>("label")->text(), QString(error).replace("@URL@", root + "b.swf"));
    QVERIFY(retry->isVisible());
    QVERIFY(!buttons->button(QDialogButtonBox::Ok)->isEnabled());
    QVERIFY(buttons->button(QDialogButtonBox::Cancel)->isEnabled());
    QCOMPARE(storedStamp(), 1);

    // The server is back.
    AppConfig::instance()->updateroot = root;
    if (fault == "missing")
        QVERIFY(QFile::rename(caseDir("again") + "/b.gone", caseDir("again") + "/b.swf"));
    QTest::mouseClick(retry, Qt::LeftButton);
    QVERIFY(dialog.isVisible()); // Try Again does not end the window
    QVERIFY(!retry->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().endsWith("\nUpdate finished."), 15000);
    QCOMPARE(log->toPlainText().count(next), 1);
    QVERIFY(!retry->isVisible());
    QVERIFY(buttons->button(QDialogButtonBox::Ok)->isEnabled());
    QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("new a"));
    QCOMPARE(TestEnv::readFile("content/b.swf"), QByteArray("new b"));
    QCOMPARE(storedStamp(), 5);
    // What either try installed counts.
    QCOMPARE(dialog.installedFiles(), 2);
}

// Two updates never share the temporary file: the second waits for the first.
void TestUpdateDialog::secondUpdateWaits()
{
    prepare("second", {{"a.swf", "new a"}}, 2, {{"a.swf", "old a"}}, 1);
    QVERIFY(WorkFolder::prepare() == WorkFolder::State::Ready);
    QLockFile first(WorkFolder::lockFile()); // the other client's update
    QVERIFY(first.tryLock(0));
    auto *dialog = new UpdateDialog;
    auto *log = dialog->findChild<QPlainTextEdit *>("textEdit");
    const QString waiting = "Another copy of TarvenHOLM is updating; waiting until it has finished...";
    QTRY_VERIFY(log->toPlainText().contains(waiting));
    QCOMPARE(dialog->findChild<QLabel *>("label")->text(), waiting);
    QTest::qWait(1500);
    QVERIFY(server->requestedPaths().isEmpty());
    QCOMPARE(log->toPlainText().count(waiting), 1);
    first.unlock(); // the other update ends
    QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().contains("Update finished."), 10000);
    delete dialog;
    QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("new a"));
    QCOMPARE(storedStamp(), 2);
    QVERIFY(!QFile::exists(WorkFolder::lockFile()));
}

// A lock file that cannot be read (its writer died making it) does not hold
// updates up for good.
void TestUpdateDialog::abandonedLockFile()
{
    prepare("abandoned", {{"a.swf", "new a"}}, 2, {}, 1);
    const QString lock = WorkFolder::lockFile();
    TestEnv::writeFile(lock, "");
    QFile file(lock);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    file.close();
    const Run run = update(10000);
    QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
    QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("new a"));
}

void TestUpdateDialog::specialFilesAtListedPaths_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("named pipe") << "fifo";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("link to a file outside") << "file link";
    QTest::newRow("link to a file outside with the listed bytes") << "same file link";
    QTest::newRow("link to a folder outside") << "folder link";
}

// The check reads plain files only; links at listed paths are replaced, never
// followed; nothing is written outside the content folder.
void TestUpdateDialog::specialFilesAtListedPaths()
{
    QFETCH(QString, kind);
    const Files files {{"a.swf", "new a"}, {"maps/b.swf", "new b"}};
    prepare("special", files, 2, {}, 1);
    const QString outside = TestEnv::root() + "/outside-" + QString::number(QRandomGenerator::global()->generate());
    QDir().mkpath(outside + "/maps");
    TestEnv::writeFile(outside + "/a.swf", "outside a");
    TestEnv::writeFile(outside + "/maps/b.swf", "outside b");
    if (kind == "fifo")
        QCOMPARE(::mkfifo("content/a.swf", 0644), 0);
    else if (kind == "dangling")
        QVERIFY(QFile::link(outside + "/nothing.swf", "content/a.swf"));
    else if (kind == "file link")
        QVERIFY(QFile::link(outside + "/a.swf", "content/a.swf"));
    else if (kind == "same file link") {
        TestEnv::writeFile(outside + "/a.swf", files.value("a.swf"));
        QVERIFY(QFile::link(outside + "/a.swf", "content/a.swf"));
    }
    else
        QVERIFY(QFile::link(outside + "/maps", "content/maps"));
    const Run run = update();
    QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QFileInfo installed("content/" + it.key());
        QVERIFY(installed.isFile() && !installed.isSymLink());
        QCOMPARE(TestEnv::readFile(installed.filePath()), it.value());
    }
    QVERIFY(!QFileInfo("content/maps").isSymLink());
    QCOMPARE(TestEnv::readFile(outside + "/a.swf"), kind == "same file link" ? files.value("a.swf") : QByteArray("outside a"));
    QCOMPARE(TestEnv::readFile(outside + "/maps/b.swf"), QByteArray("outside b"));
    QVERIFY(!QFile::exists(outside + "/nothing.swf"));
    QCOMPARE(storedStamp(), 2);
    // Installed and plain now: the next update finds both current.
    server->clearAccessLog();
    QSettings("tarvenholm.ini", QSettings::IniFormat).setValue("stamp", 1);
    AppConfig::instance()->stamp = 1;
    QVERIFY(update().log.contains("Update finished."));
    QVERIFY(contentRequests().isEmpty());
}

void TestUpdateDialog::folderCannotBeMade()
{
    prepare("nofolder", {{"maps/b.swf", "b"}}, 2, {{"maps", "a file where the folder should be"}}, 1);
    const Run run = update();
    QCOMPARE(run.label, QString("Could not make path [./content/maps]"));
    QCOMPARE(storedStamp(), 1);
}

void TestUpdateDialog::gameFolderCannotHoldWorkFolder_data()
{
    QTest::addColumn<qint64>("serverStamp");
    QTest::addColumn<QByteArray>("localA");
    QTest::addColumn<QString>("outcome"); // the last log line
    QTest::addColumn<bool>("updatedBefore"); // the working folder an earlier update left is there, read-only too
    QTest::newRow("content current") << qint64(1) << QByteArray("a") << "Update finished." << false;
    QTest::newRow("newer stamp, files current") << qint64(2) << QByteArray("a") << "Update finished." << false;
    QTest::newRow("newer stamp, a file to install") << qint64(2) << QByteArray("old") << "Could not make path [@WORK@]" << false;
    QTest::newRow("updated before, content current") << qint64(1) << QByteArray("a") << "Update finished." << true;
    QTest::newRow("updated before, newer stamp, files current") << qint64(2) << QByteArray("a") << "Update finished." << true;
    QTest::newRow("updated before, a file to install") << qint64(2) << QByteArray("old") << "Could not make path [@WORK@]" << true;
}

// A game folder that cannot hold the working folder (read-only, immutable)
// still has its stamp checked, in a private temporary folder of the player's
// own; only an update that must install files needs the working folder.
void TestUpdateDialog::gameFolderCannotHoldWorkFolder()
{
    QFETCH(qint64, serverStamp);
    QFETCH(QByteArray, localA);
    QFETCH(QString, outcome);
    QFETCH(bool, updatedBefore);
    prepare("readonlygame", {{"a.swf", "a"}}, serverStamp, {{"a.swf", localA}}, 1);
    if (updatedBefore)
        QVERIFY(WorkFolder::prepare() == WorkFolder::State::Ready);
    if ((updatedBefore && !makeReadOnly(".update")) || !makeReadOnly("."))
        QSKIP("this machine cannot make a folder read-only for the user running the tests");
    const auto writable = qScopeGuard([updatedBefore] {
        makeWritable(".");
        if (updatedBefore)
            makeWritable(".update");
    });
    QStringList lines;
    bool ended = false;
    ContentUpdate update;
    connect(&update, &ContentUpdate::logLine, this, [&](const QString &line) { lines << line; });
    connect(&update, &ContentUpdate::finished, this, [&] { ended = true; });
    update.introduce();
    const QRegularExpression place("^Using temporary filename \\[(" + QRegularExpression::escape(QDir::tempPath())
                                   + "/tarvenholm-[A-Za-z0-9]{6})/tvdown.tmp\\]$");
    const QString privateFolder = place.match(lines.value(0)).captured(1);
    QVERIFY2(!privateFolder.isEmpty(), qPrintable(lines.join('\n')));
    QCOMPARE(QFile::permissions(privateFolder) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    update.start();
    QVERIFY(QTest::qWaitFor([&] { return ended; }, 15000));
    QCOMPARE(lines.last(), outcome.replace("@WORK@", WorkFolder::path()));
    QCOMPARE(lines.contains("Timestamp match."), serverStamp == 1);
    QCOMPARE(TestEnv::readFile("content/a.swf"), localA);
    QCOMPARE(QFileInfo::exists(WorkFolder::path()), updatedBefore);
    QVERIFY(!QFileInfo::exists(privateFolder)); // nothing left behind
}

void TestUpdateDialog::progressLabels_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("label");
    // "%2F" in the name: a place marker for a text built in steps.
    QTest::newRow("length announced") << int(FaultServer::Stall) << "Downloading @URL@ (4Kb/9Kb)";
    QTest::newRow("no length") << int(FaultServer::StallUnannounced) << "Downloading @URL@ (4Kb)";
}

void TestUpdateDialog::progressLabels()
{
    QFETCH(int, fault);
    QFETCH(QString, label);
    prepare("labels", {}, 2, {}, 1);
    FaultServer stalling;
    stalling.serve("/update/stamp.txt", "2\n");
    stalling.serve("/update/files.txt", "big%2F1.swf,12345678\n");
    stalling.serve("/big%2F1.swf", QByteArray(9 * 1024 + 100, 'S'), FaultServer::Fault(fault), 4 * 1024 + 10);
    AppConfig::instance()->updateroot = stalling.rootUrl();
    UpdateDialog dialog;
    dialog.show();
    auto *shown = dialog.findChild<QLabel *>("label");
    const QString expected = QString(label).replace("@URL@", stalling.rootUrl() + "big%2F1.swf");
    QTRY_COMPARE_WITH_TIMEOUT(shown->text(), expected, 10000);
    // Beside the buttons, the speed; no time left: files.txt says nothing of sizes.
    auto *rate = dialog.findChild<QLabel *>("rateLabel");
    const QRegularExpression speed("^[0-9]+([.,][0-9])? (bytes|kB|MB)/s$");
    QTRY_VERIFY2_WITH_TIMEOUT(speed.match(rate->text()).hasMatch(), qPrintable(rate->text()), 10000);
    QCOMPARE(rate->textFormat(), Qt::PlainText);
}

void TestUpdateDialog::downloadedDataGone_data()
{
    QTest::addColumn<QString>("replacement"); // what is at the temporary file's name when the stamp has arrived
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << "" << "Could not find just downloaded data.";
    QTest::newRow("a folder") << "folder" << "Could not open just downloaded data.";
}

void TestUpdateDialog::downloadedDataGone()
{
    QFETCH(QString, replacement);
    QFETCH(QString, message);
    prepare("gone", {}, 2, {}, 1);
    FaultServer pausing;
    pausing.serve("/update/stamp.txt", "2\n", FaultServer::Pause, 1);
    AppConfig::instance()->updateroot = pausing.rootUrl();
    const QString temp = WorkFolder::downloadFile();
    ContentUpdate update;
    QString label;
    connect(&update, &ContentUpdate::labelChanged, this, [&](const QString &text) { label = text; });
    update.start();
    QTRY_VERIFY(pausing.requests() == 1);
    // While the stamp is on its way, its file goes (the writer keeps writing it).
    QVERIFY(QFile::remove(temp));
    if (replacement == "folder")
        QVERIFY(QDir().mkdir(temp));
    QTRY_COMPARE(label, message);
    QDir(temp).removeRecursively();
    QCOMPARE(storedStamp(), 1);
}

// Serves the case's published files from a scripted server (stamp, list, files).
static void serveCase(FaultServer &server, const QString &dir, const Files &files)
{
    server.serve("/update/stamp.txt", TestEnv::readFile(dir + "/update/stamp.txt"));
    server.serve("/update/files.txt", TestEnv::readFile(dir + "/update/files.txt"));
    for (auto it = files.begin(); it != files.end(); ++it)
        server.serve("/" + it.key().toUtf8(), it.value());
}

static QStringList temporaryFiles()
{
    return QDir(WorkFolder::path()).entryList({"tvdown.tmp*"}, QDir::Files | QDir::System);
}

void TestUpdateDialog::filesSideBySide()
{
    Files files;
    for (int i = 0; i < 12; ++i)
        files.insert(QString("f%1.swf").arg(i), QByteArray(1000 + i, char('a' + i)));
    prepare("side", files, 2, {}, 1);
    FaultServer slow;
    serveCase(slow, caseDir("side"), files);
    slow.setDelay(300); // a round trip on a real network
    AppConfig::instance()->updateroot = slow.rootUrl();
    AppConfig::instance()->ignorecrc = false;
    const Run run = update(20000);
    QVERIFY2(run.log.contains("All files downloaded/updated.\nUpdate finished."), qPrintable(run.log));
    QCOMPARE(slow.mostAtOnce(), 6);
    for (auto it = files.begin(); it != files.end(); ++it) {
        QCOMPARE(TestEnv::readFile("content/" + it.key()), it.value());
        QCOMPARE(run.log.count("Downloading " + slow.rootUrl() + it.key() + "\n"), 1);
    }
    QCOMPARE(storedStamp(), 2);
    QCOMPARE(temporaryFiles(), QStringList());
}

void TestUpdateDialog::firstFailureStopsTheRest()
{
    Files files;
    for (int i = 0; i < 5; ++i)
        files.insert(QString("f%1.swf").arg(i), QByteArray(100000, char('a' + i)));
    files.insert("gone.swf", "gone");
    prepare("firstfailure", files, 2, {{"f0.swf", "old"}}, 1);
    FaultServer server;
    serveCase(server, caseDir("firstfailure"), {}); // gone.swf is not there: 404
    for (int i = 0; i < 5; ++i) // these never finish
        server.serve(QString("/f%1.swf").arg(i).toUtf8(), files.value(QString("f%1.swf").arg(i)), FaultServer::Stall, 5000);
    AppConfig::instance()->updateroot = server.rootUrl();
    const Run run = update(20000);
    QVERIFY2(run.label.startsWith("Could not download file: "), qPrintable(run.log));
    QCOMPARE(QDir("content").entryList(QDir::Files), QStringList({"f0.swf"}));
    QCOMPARE(TestEnv::readFile("content/f0.swf"), QByteArray("old"));
    QCOMPARE(storedStamp(), 1);
    QCOMPARE(temporaryFiles(), QStringList());
}

void TestUpdateDialog::cancelStopsEveryTransfer()
{
    Files files;
    for (int i = 0; i < 8; ++i)
        files.insert(QString("f%1.swf").arg(i), QByteArray(100000, char('a' + i)));
    prepare("cancel", files, 2, {{"f1.swf", "old"}}, 1);
    FaultServer stalling;
    serveCase(stalling, caseDir("cancel"), files);
    for (int i = 0; i < 8; ++i)
        stalling.serve(QString("/f%1.swf").arg(i).toUtf8(), files.value(QString("f%1.swf").arg(i)), FaultServer::Stall, 5000);
    AppConfig::instance()->updateroot = stalling.rootUrl();
    UpdateDialog dialog;
    QTimer::singleShot(0, [&] {
        (void)QTest::qWaitFor([&] { return stalling.requestedPaths().size() == 2 + 6; }, 10000);
        QTest::qWait(500);
        dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(stalling.requestedPaths().size(), 2 + 6); // six at once, no more
    QCOMPARE(QDir("content").entryList(QDir::Files), QStringList({"f1.swf"}));
    QCOMPARE(TestEnv::readFile("content/f1.swf"), QByteArray("old"));
    QCOMPARE(storedStamp(), 1);
}

void TestUpdateDialog::brokenTransferResumes_data()
{
    QTest::addColumn<int>("ranges");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("ignorecrc");
    QTest::addColumn<bool>("resumed");   // whether the second request asks for the rest
    QTest::addColumn<int>("requests");   // how many the server sees
    QTest::addColumn<QString>("outcome"); // "new": the file as listed; "changed": the changed file; or the error
    QTest::newRow("rest by range") << int(FaultServer::HonourRanges) << false << false << true << 2 << "new";
    QTest::newRow("no ranges: from the start") << int(FaultServer::NoRanges) << false << false << false << 2 << "new";
    QTest::newRow("whole file instead of the rest") << int(FaultServer::IgnoreRanges) << false << false << true << 2 << "new";
    QTest::newRow("file changed, crc ignored") << int(FaultServer::HonourRanges) << true << true << true << 2 << "changed";
    QTest::newRow("file changed, crc checked") << int(FaultServer::HonourRanges) << true << false << true << 2
                                               << "Error in downloaded file (crc): ";
    // Without a validator the rest could be another file's: never two versions in one.
    QTest::newRow("no validator: from the start") << int(FaultServer::NoValidator) << false << false << false << 2 << "new";
    QTest::newRow("no validator, file changed") << int(FaultServer::NoValidator) << true << true << false << 2 << "changed";
    // A range that does not continue exactly to the file's end: the file starts over.
    QTest::newRow("range starts elsewhere") << int(FaultServer::ShiftedRange) << false << false << true << 3 << "new";
    QTest::newRow("range ends short") << int(FaultServer::ShortRange) << false << false << true << 3 << "new";
    // Its total is not the file's announced size: another file's rest, however well it fits its own.
    QTest::newRow("range of another total") << int(FaultServer::OtherTotal) << false << true << true << 3 << "new";
}

// A body cut at 60 %: tried again from the byte reached where the server takes
// ranges, else from the start; what is installed is one whole file.
void TestUpdateDialog::brokenTransferResumes()
{
    QFETCH(int, ranges);
    QFETCH(bool, changed);
    QFETCH(bool, ignorecrc);
    QFETCH(bool, resumed);
    QFETCH(int, requests);
    QFETCH(QString, outcome);
    QByteArray body, changedBody;
    // Larger than what is summed as it comes: the rest is summed on a thread
    // of its own, and a start over must reach that sum too.
    for (int i = 0; i < 2500000; ++i) {
        body += char('A' + i % 26);
        changedBody += char('a' + i % 23);
    }
    prepare("resume", {{"big.swf", body}}, 2, {{"big.swf", "old"}}, 1);
    FaultServer server;
    serveCase(server, caseDir("resume"), {});
    const qint64 cut = body.size() * 6 / 10;
    server.serveBrokenOnce("/big.swf", body, cut, FaultServer::Ranges(ranges), changed ? changedBody : QByteArray());
    AppConfig::instance()->updateroot = server.rootUrl();
    AppConfig::instance()->ignorecrc = ignorecrc;
    MessageLog lines;
    const Run run = update(20000);
    QCOMPARE(server.requestedPaths().count("/big.swf"), requests);
    QCOMPARE(server.ranges().at(3), resumed ? "bytes=" + QByteArray::number(cut) + "-" : QByteArray());
    if (requests > 2)
        QCOMPARE(server.ranges().last(), QByteArray()); // the whole file again
    QCOMPARE(lines.countStarting(debugLine("download broken, trying again from ", resumed ? cut : 0, ": ")), 1);
    if (outcome == "new" || outcome == "changed") {
        QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
        QCOMPARE(TestEnv::readFile("content/big.swf"), outcome == "new" ? body : changedBody);
        QCOMPARE(storedStamp(), 2);
    } else {
        QVERIFY2(run.label.startsWith(outcome), qPrintable(run.log));
        QCOMPARE(TestEnv::readFile("content/big.swf"), QByteArray("old"));
        QCOMPARE(storedStamp(), 1);
    }
    QCOMPARE(temporaryFiles(), QStringList());
}

// Client B waits for A's update and is closed meanwhile: A's working files
// stay, and A installs exactly what it fetched.
void TestUpdateDialog::waitingUpdateLeavesTheOtherAlone()
{
    Files files;
    for (int i = 0; i < 8; ++i)
        files.insert(QString("f%1.swf").arg(i), QByteArray(50000, char('a' + i)));
    prepare("twoclients", files, 2, {}, 1);
    FaultServer slow;
    serveCase(slow, caseDir("twoclients"), files);
    slow.setDelay(300);
    AppConfig::instance()->updateroot = slow.rootUrl();
    AppConfig::instance()->ignorecrc = false;
    bool firstDone = false, firstSucceeded = false;
    ContentUpdate first;
    connect(&first, &ContentUpdate::finished, this, [&](bool ok) { firstDone = true; firstSucceeded = ok; });
    first.start();
    QTRY_VERIFY(slow.requestedPaths().size() > 2); // A is fetching the files
    {
        QStringList secondLog;
        ContentUpdate second;
        connect(&second, &ContentUpdate::logLine, this, [&](const QString &line) { secondLog << line; });
        second.start();
        QCOMPARE(secondLog, QStringList({"Another copy of TarvenHOLM is updating; waiting until it has finished..."}));
    } // the player closes B
    QTRY_VERIFY_WITH_TIMEOUT(firstDone, 20000);
    QVERIFY(firstSucceeded);
    for (auto it = files.begin(); it != files.end(); ++it)
        QCOMPARE(TestEnv::readFile("content/" + it.key()), it.value());
    QCOMPARE(storedStamp(), 2);
}

void TestUpdateDialog::foreignWorkingFiles_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<bool>("refused");
    QTest::newRow("working folder of another user") << "foreign folder" << true;
    QTest::newRow("working folder a link to a shared one") << "link" << true;
    QTest::newRow("working folder open to everyone") << "open folder" << false;
    QTest::newRow("another user's files in the system's temporary folder") << "shared temp" << false;
}

// Other users of the machine cannot reach the update's working files: a folder
// that is not the player's own is refused and never followed, and what others
// leave in the shared temporary folder does not matter.
void TestUpdateDialog::foreignWorkingFiles()
{
    QFETCH(QString, planted);
    QFETCH(bool, refused);
    prepare("foreign", {{"a.swf", "new a"}}, 2, {{"a.swf", "old a"}}, 1);
    const QString shared = TestEnv::root() + "/shared-" + QString::number(QRandomGenerator::global()->generate());
    QDir().mkpath(shared);
    const uid_t otherUser = 1002;
    if ((planted == "foreign folder" || planted == "shared temp") && ::geteuid() != 0)
        QSKIP("giving files to another user needs root");
    if (planted == "foreign folder") {
        QVERIFY(QDir().mkdir(WorkFolder::path()));
        QCOMPARE(::chown(QFile::encodeName(WorkFolder::path()).constData(), otherUser, otherUser), 0);
    } else if (planted == "link") {
        QVERIFY(QFile::link(shared, WorkFolder::path()));
    } else if (planted == "open folder") {
        QVERIFY(QDir().mkdir(WorkFolder::path()));
        QVERIFY(QFile::setPermissions(WorkFolder::path(), QFileDevice::Permissions(0x7777)));
    } else {
        for (const char *name : {"/tvdown.tmp", "/tvdown.tmp.lock"}) {
            const QString path = QDir::tempPath() + name;
            TestEnv::writeFile(path, "planted");
            QCOMPARE(::chown(QFile::encodeName(path).constData(), otherUser, otherUser), 0);
        }
    }
    const Run run = update();
    if (refused) {
        QCOMPARE(run.label, QString("The folder for downloads [%1] is not a folder of this user; remove it to update")
                                .arg(WorkFolder::path()));
        QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("old a"));
        QCOMPARE(storedStamp(), 1);
        QCOMPARE(QDir(shared).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
        QFile::remove(WorkFolder::path());
        QDir(WorkFolder::path()).removeRecursively();
    } else {
        QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
        QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("new a"));
        QCOMPARE(QFileInfo(WorkFolder::path()).permissions() & 0x0077, QFileDevice::Permissions());
    }
    for (const char *name : {"/tvdown.tmp", "/tvdown.tmp.lock"})
        QFile::remove(QDir::tempPath() + name);
}

void TestUpdateDialog::workFolderOwner_data()
{
    QTest::addColumn<QString>("entry");  // what lies at the working folder's place
    QTest::addColumn<bool>("asAnother"); // judged for another user than its owner
    QTest::addColumn<bool>("usable");
    QTest::newRow("own folder") << "folder" << false << true;
    QTest::newRow("another user's folder") << "folder" << true << false;
    QTest::newRow("link to an own folder") << "link" << false << false;
    QTest::newRow("own file") << "file" << false << false;
}

// The ownership rule on real entries, for this user and for another one: the
// run as root above gives a folder away, this needs no root.
void TestUpdateDialog::workFolderOwner()
{
    QFETCH(QString, entry);
    QFETCH(bool, asAnother);
    QFETCH(bool, usable);
    const QString place = TestEnv::freshDir("owner") + "/.update";
    if (entry == "folder")
        QVERIFY(QDir().mkdir(place));
    else if (entry == "link")
        QVERIFY(QDir().mkdir(place + "-real") && QFile::link(place + "-real", place));
    else
        TestEnv::writeFile(place, "x");
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(place).constData(), &info), 0);
    const unsigned self = asAnother ? info.st_uid + 1 : info.st_uid;
    QCOMPARE(WorkFolder::isOwnFolder(info.st_mode, info.st_uid, self), usable);
}

// Runs the manifest tool on a case's folder; its output, or "failed: ...".
QString TestUpdateDialog::publish(const QString &name, qint64 stamp, const QString &keyFile)
{
    QProcess tool;
    // The cases publish releases out of order on purpose (a replay, a
    // rollback, the same release signed): the tool is told so.
    QStringList args{"--allow-older"};
    if (!keyFile.isEmpty())
        args << "--key" << keyFile;
    tool.start(TestEnv::binaryDir() + "/tools/tarvenholm-manifest", args << caseDir(name) << QString::number(stamp));
    tool.waitForFinished(20000);
    return tool.exitCode() == 0 ? QString::fromUtf8(tool.readAllStandardOutput())
                                : "failed: " + QString::fromUtf8(tool.readAllStandardError());
}

QString TestUpdateDialog::newKey(const QString &file)
{
    QProcess tool;
    tool.start(TestEnv::binaryDir() + "/tools/tarvenholm-manifest", {"--new-key", file});
    tool.waitForFinished(20000);
    return QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
}

void TestUpdateDialog::signedUpdates_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("outcome"); // "installed", or the label
    const QString notSigned = "The update is not signed by the game's publisher";
    QTest::newRow("no key configured: as ever") << "no key" << "installed";
    QTest::newRow("verified") << "" << "installed";
    QTest::newRow("verified, with an empty file") << "empty file" << "installed";
    // Both releases installed; the stamp lowered, then the first release replayed whole.
    QTest::newRow("stamp lowered, then the older release replayed") << "rollback" << "kept";
    QTest::newRow("answer longer than the signed size") << "oversized" << "Downloaded file does not match the signed update: a.swf";
    QTest::newRow("file changed after signing") << "file" << "Downloaded file does not match the signed update: a.swf";
    QTest::newRow("file of another length") << "longer file" << "Downloaded file does not match the signed update: a.swf";
    // Large files are summed off the window's thread, as they arrive.
    QTest::newRow("verified, large file") << "large" << "installed";
    QTest::newRow("large file changed after signing") << "large changed" << "Downloaded file does not match the signed update: a.swf";
    QTest::newRow("manifest changed") << "manifest" << notSigned;
    QTest::newRow("signed by another key") << "other key" << notSigned;
    QTest::newRow("older signed manifest replayed") << "replay" << "The signed update is not the one announced (stamp 2 instead of 3)";
    // What the server lacks, or fails to send, is named so: not taken for a signature of another's.
    const QString missing = "The server offers no signed update: Error transferring @ROOT@signed/update/%1 - server replied: Not Found";
    QTest::newRow("signature missing") << "no signature" << missing.arg("manifest.sig");
    QTest::newRow("unsigned content, key configured") << "unsigned" << missing.arg("manifest");
    QTest::newRow("signature missing, a large error page") << "sig-404-page"
                                                            << "The server offers no signed update: The server answered 404 Not Found";
    QTest::newRow("signature's server failing") << "sig-503"
                                                << "Could not download file: Error transferring @ROOT@signed/update/manifest.sig"
                                                   " - server replied: Service Temporarily Unavailable";
}

// With the operator's key configured, only what the operator signed is
// installed: anything else stops the update, installs nothing and keeps the stamp.
void TestUpdateDialog::signedUpdates()
{
    QFETCH(QString, fault);
    QFETCH(QString, outcome);
    const QString key = TestEnv::root() + "/operator.key";
    static const QString publicKey = newKey(key);
    QVERIFY(!publicKey.isEmpty());
    prepare("signed", {{"a.swf", "new a"}, {"same.swf", "same"}}, 3, {{"a.swf", "old a"}, {"same.swf", "same"}}, 1);
    const QString dir = caseDir("signed");
    if (fault == "replay") {
        QVERIFY(!publish("signed", 2, key).startsWith("failed"));
        QFile::rename(dir + "/update/manifest", dir + "/old-manifest");
        QFile::rename(dir + "/update/manifest.sig", dir + "/old-manifest.sig");
    }
    const QString otherKey = TestEnv::root() + "/other-" + QString::number(QRandomGenerator::global()->generate()) + ".key";
    if (fault == "other key")
        QVERIFY(!newKey(otherKey).isEmpty());
    if (fault == "empty file")
        TestEnv::writeFile(dir + "/empty.swf", QByteArray());
    const QByteArray newA = fault.startsWith("large") ? QByteArray(3 << 20, 'a') : QByteArray("new a");
    TestEnv::writeFile(dir + "/a.swf", newA);
    QStringList firstRelease; // the update files of release 1 (stamp 2), kept aside
    if (fault == "rollback") {
        TestEnv::writeFile(dir + "/a.swf", "old a");
        QVERIFY(!publish("signed", 2, key).startsWith("failed"));
        for (const char *name : {"stamp.txt", "manifest", "manifest.sig"}) {
            QVERIFY(QFile::copy(dir + "/update/" + name, dir + "/v1-" + name));
            firstRelease << name;
        }
        TestEnv::writeFile(dir + "/a.swf", "new a");
    }
    if (fault != "unsigned")
        QVERIFY(!publish("signed", 3, fault == "other key" ? otherKey : key).startsWith("failed"));
    if (fault == "file")
        TestEnv::writeFile(dir + "/a.swf", "NEW a");
    else if (fault == "large changed")
        TestEnv::writeFile(dir + "/a.swf", QByteArray(newA).replace(newA.size() - 1, 1, "b"));
    else if (fault == "longer file")
        TestEnv::writeFile(dir + "/a.swf", "new a, and more");
    else if (fault == "manifest")
        TestEnv::writeFile(dir + "/update/manifest", TestEnv::readFile(dir + "/update/manifest").replace("same.swf", "a.swf\n"));
    else if (fault == "replay") {
        QFile::remove(dir + "/update/manifest");
        QFile::remove(dir + "/update/manifest.sig");
        QFile::rename(dir + "/old-manifest", dir + "/update/manifest");
        QFile::rename(dir + "/old-manifest.sig", dir + "/update/manifest.sig");
    } else if (fault == "no signature")
        QFile::remove(dir + "/update/manifest.sig");
    else if (fault.startsWith("sig-"))
        TestEnv::writeFile(dir + "/" + fault, "");
    AppConfig::instance()->updatekey = fault == "no key" ? QString() : publicKey;
    AppConfig::instance()->ignorecrc = true; // the signed hashes are checked whatever this says
    FaultServer faulty;
    if (fault == "oversized") {
        for (const char *name : {"stamp.txt", "manifest", "manifest.sig"})
            faulty.serve(QByteArray("/update/") + name, TestEnv::readFile(dir + "/update/" + name));
        faulty.serve("/a.swf", "new a", FaultServer::Huge);
        AppConfig::instance()->updateroot = faulty.rootUrl();
    }
    Run run;
    if (fault == "rollback") {
        // Release 2 is in place; someone between player and server answers
        // with a lower stamp, and at the next start with all of release 1.
        TestEnv::writeFile("content/a.swf", "new a");
        QSettings("tarvenholm.ini", QSettings::IniFormat).setValue("stamp", 3);
        AppConfig::instance()->stamp = 3;
        TestEnv::writeFile(dir + "/update/stamp.txt", "1\n");
        run = update();
        QVERIFY2(run.log.contains("Timestamp match."), qPrintable(run.log));
        QCOMPARE(storedStamp(), 3);
        for (const QString &name : std::as_const(firstRelease)) {
            QFile::remove(dir + "/update/" + name);
            QVERIFY(QFile::rename(dir + "/v1-" + name, dir + "/update/" + name));
        }
        TestEnv::writeFile(dir + "/a.swf", "old a");
        server->clearAccessLog();
    }
    if (fault != "rollback" || run.ok)
        run = update();
    AppConfig::instance()->updatekey.clear();
    if (outcome == "kept") {
        QVERIFY2(run.log.contains("Timestamp match.\nUpdate finished."), qPrintable(run.log));
        QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("new a"));
        QCOMPARE(contentRequests(), QStringList());
        QCOMPARE(storedStamp(), 3);
    } else if (outcome == "installed") {
        QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
        QCOMPARE(run.log.contains("The update is signed by the game's publisher."), fault != "no key");
        QCOMPARE(TestEnv::readFile("content/a.swf"), newA);
        QStringList requested = contentRequests(); // the current file is known by its hash
        requested.sort();
        QCOMPARE(requested, fault == "empty file" ? QStringList({"a.swf", "empty.swf"}) : QStringList({"a.swf"}));
        if (fault == "empty file")
            QVERIFY(QFileInfo("content/empty.swf").isFile() && QFileInfo("content/empty.swf").size() == 0);
        QCOMPARE(storedStamp(), 3);
    } else {
        QCOMPARE(run.label, outcome.replace("@ROOT@", server->rootUrl()));
        QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("old a"));
        QCOMPARE(storedStamp(), 1);
        if (fault == "oversized") // tried as a broken transfer, each stopped at once
            QCOMPARE(faulty.requestedPaths().count("/a.swf"), 1 + Downloader::retries);
    }
    QCOMPARE(temporaryFiles(), QStringList());
}

void TestUpdateDialog::russian()
{
    QTranslator ru;
    QVERIFY(ru.load(TestEnv::binaryDir() + "/client/tarvenholm_ru"));
    QCoreApplication::installTranslator(&ru);
    prepare("russian", {}, 1, {}, 1);
    UpdateDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("Загрузка TarvenHOLM"));
    QVERIFY(dialog.findChild<QPlainTextEdit *>("textEdit")->toPlainText().contains("Проверка обновлений..."));
    QCoreApplication::removeTranslator(&ru);
}

void TestUpdateDialog::fullDisk_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("working folder full") << "temp";
    QTest::newRow("content folder full") << "content";
}

void TestUpdateDialog::fullDisk()
{
    QFETCH(QString, where);
    const QByteArray big(3 << 20, 'F');
    prepare("full-" + where, {{"big.swf", big}, {"small.swf", "small"}}, 2, {{"big.swf", "old big"}}, 1);
    const QString mountPoint = where == "temp" ? WorkFolder::path() : QDir::currentPath() + "/content";
    if (where == "content")
        QFile::remove("content/big.swf");
    QDir().mkpath(mountPoint);
    SmallFs smallFs(mountPoint, 1024);
    if (!smallFs.isMounted())
        QSKIP("cannot mount a small tmpfs here (needs root); the write failure itself is covered with /dev/full");
    if (where == "content")
        TestEnv::writeFile("content/big.swf", "old big");
    const Run run = update();
    QCOMPARE(storedStamp(), 1);
    if (where == "temp") {
        // The download stops when the disk is full; nothing reaches the content folder.
        QVERIFY2(run.label.startsWith("Could not save file: "), qPrintable(run.log));
        QVERIFY(run.label.contains("No space left on device"));
        QCOMPARE(TestEnv::readFile("content/big.swf"), QByteArray("old big"));
    } else {
        // The new file does not fit beside the old one, which stays whole.
        QCOMPARE(run.label, QString("Could not copy downloaded file to [./content/big.swf]"));
        QCOMPARE(TestEnv::readFile("content/big.swf"), QByteArray("old big"));
        // No half-copied leftovers; the small file, fetched beside it, may be in place.
        const QStringList left = QDir("content").entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left == QStringList({"big.swf"}) || (left == QStringList({"big.swf", "small.swf"}) && TestEnv::readFile("content/small.swf") == "small"),
                 qPrintable(left.join(',')));
    }
}

void TestUpdateDialog::unwritableContent_data()
{
    QTest::addColumn<QString>("locked");
    QTest::addColumn<QString>("message");
    QTest::newRow("read-only folder, new file") << "folder" << "Could not copy downloaded file to [./content/new.swf]";
    QTest::newRow("immutable local file") << "file" << "Could not delete file [./content/a.swf]";
}

void TestUpdateDialog::unwritableContent()
{
    QFETCH(QString, locked);
    QFETCH(QString, message);
    if (locked == "folder")
        prepare("lockfolder", {{"new.swf", "new"}}, 2, {{"keep.swf", "keep"}}, 1);
    else
        prepare("lockfile", {{"a.swf", "new"}}, 2, {{"a.swf", "old"}}, 1);
    const QString target = locked == "folder" ? QString("content") : QString("content/a.swf");
    if (!makeReadOnly(target))
        QSKIP("this machine cannot make a file read-only for the user running the tests");
    const Run run = update();
    makeWritable(target);
    QCOMPARE(run.label, message);
    QCOMPARE(storedStamp(), 1);
    if (locked == "file")
        QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("old"));
    else
        QCOMPARE(QDir("content").entryList(QDir::Files), QStringList({"keep.swf"}));
}

void TestUpdateDialog::unwritableSettings()
{
    prepare("lockini", {{"a.swf", "new"}}, 2, {}, 1);
    if (!makeReadOnly("tarvenholm.ini"))
        QSKIP("this machine cannot make a file read-only for the user running the tests");
    const Run run = update();
    makeWritable("tarvenholm.ini");
    // The content is in place; the stamp could not be kept, so the next start checks again.
    QVERIFY2(run.log.contains("Update finished."), qPrintable(run.log));
    QCOMPARE(TestEnv::readFile("content/a.swf"), QByteArray("new"));
    QCOMPARE(TestEnv::readFile("tarvenholm.ini"), QByteArray("[General]\nstamp=1\n"));
}

void TestUpdateDialog::manifestToolWithRelativeRoot()
{
    const QString dir = TestEnv::freshDir("relative");
    TestEnv::writeFile("site/a.swf", "123456789");
    TestEnv::writeFile("site/sub/b.swf", "");
    QProcess tool;
    tool.setWorkingDirectory(dir);
    tool.start(TestEnv::binaryDir() + "/tools/tarvenholm-manifest", {"site", "77"});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(TestEnv::readFile("site/update/files.txt"), QByteArray("a.swf,cbf43926\nsub/b.swf,00000000\n"));
    QCOMPARE(TestEnv::readFile("site/update/stamp.txt"), QByteArray("77\n"));
    // The operator's key: owner-only, never written over an existing one.
    const QString publicKey = newKey(dir + "/op.key");
    QCOMPARE(QByteArray::fromBase64(publicKey.toLatin1()).size(), 32);
    QCOMPARE(QFile::permissions(dir + "/op.key") & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray keyBytes = TestEnv::readFile(dir + "/op.key");
    QCOMPARE(newKey(dir + "/op.key"), QString());
    QCOMPARE(TestEnv::readFile(dir + "/op.key"), keyBytes);
}

void TestUpdateDialog::manifestToolStamps_data()
{
    QTest::addColumn<QString>("last");   // the folder's stamp.txt before, or empty: none
    QTest::addColumn<QStringList>("args"); // after the folder; "@NOW@": the time now, "@LAST@": the last
    QTest::addColumn<QString>("stamp");  // stamp.txt afterwards ("@NOW@", "@LAST+1@"), or "refused"
    QTest::newRow("a higher stamp") << "100" << QStringList({"200"}) << "200";
    QTest::newRow("the same stamp again") << "100" << QStringList({"100"}) << "refused";
    QTest::newRow("a stamp going down") << "1796826950" << QStringList({"1000"}) << "refused";
    QTest::newRow("going down, told so") << "100" << QStringList({"--allow-older", "50"}) << "50";
    QTest::newRow("its own stamp: the time") << "100" << QStringList() << "@NOW@";
    QTest::newRow("its own stamp after a later one") << "9999999999" << QStringList() << "@LAST+1@";
    QTest::newRow("its own stamp after one of this second") << "@NOW@" << QStringList() << "@LAST+1@";
    QTest::newRow("no stamp yet") << "" << QStringList({"1"}) << "1";
    QTest::newRow("no stamp yet, a negative one") << "" << QStringList({"-1"}) << "-1";
    QTest::newRow("an unreadable stamp.txt") << "soon" << QStringList({"5"}) << "5";
}

// The operator's tool never publishes a stamp clients would not update to,
// unless told to.
void TestUpdateDialog::manifestToolStamps()
{
    QFETCH(QString, last);
    QFETCH(QStringList, args);
    QFETCH(QString, stamp);
    const QString dir = TestEnv::freshDir("stamps") + "/site";
    TestEnv::writeFile(dir + "/a.swf", "a");
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    last.replace("@NOW@", QString::number(now + 1)); // "this second", should the clock move on meanwhile
    if (!last.isEmpty())
        TestEnv::writeFile(dir + "/update/stamp.txt", last.toLatin1() + "\n");
    QProcess tool;
    // Options, then the folder, then the stamp.
    const bool told = args.value(0) == "--allow-older";
    const QStringList line = (told ? QStringList({"--allow-older"}) : QStringList()) + QStringList({dir}) + args.mid(told ? 1 : 0);
    tool.start(TestEnv::binaryDir() + "/tools/tarvenholm-manifest", line);
    QVERIFY(tool.waitForFinished(10000));
    const QByteArray written = TestEnv::readFile(dir + "/update/stamp.txt").trimmed();
    if (stamp == "refused") {
        QCOMPARE(tool.exitCode(), 2);
        QCOMPARE(QString::fromUtf8(tool.readAllStandardError()),
                 QString("stamp %1 is not above %2, the last published in %3/update/stamp.txt: clients would not update "
                         "(--allow-older publishes it all the same)\n").arg(args.last(), last, dir));
        QCOMPARE(QString::fromLatin1(written), last);
        QVERIFY(!QFileInfo::exists(dir + "/update/files.txt"));
        return;
    }
    QCOMPARE(tool.exitCode(), 0);
    if (stamp == "@NOW@")
        QVERIFY2(written.toLongLong() >= now && written.toLongLong() <= now + 60, written.constData());
    else
        QCOMPARE(QString::fromLatin1(written), stamp == "@LAST+1@" ? QString::number(last.toLongLong() + 1) : stamp);
}

TARVEN_TEST_MAIN(TestUpdateDialog)
#include "tst_updatedialog.moc"
