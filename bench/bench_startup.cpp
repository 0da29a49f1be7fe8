// Start-up of the real client with the content current (stamp matching), from
// process start to the game shown, less the update dialog's two fixed timers
// (1 s before it asks the server, 3 s before it closes after "Update
// finished."); and the memory of the process tree (the web engine's processes
// included) once the game shows. Two games: an HTML page, against a bare
// QApplication + QWebEngineView loading it; and a Flash movie, against the
// same bare program showing the movie with Ruffle in a page of its own. Both
// measured in the same run.
#include "benchutil.h"
#include "clientprocess.h"
#include "moviefiles.h"
#include "nginxserver.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <cstdio>

struct Sample { double seconds; double pssMiB; double timers; };

static Sample run(const QString &program, const QStringList &args, const QString &dir, const QByteArray &marker)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", dir + "/home");
    env.insert("XDG_CONFIG_HOME", dir + "/home/.config");
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    QByteArray err;
    // When the lines around the two fixed waits arrive: the dialog made and its
    // first request; "Update finished." and the game's load.
    const QList<QByteArray> marks = {"\"Checking for updates...\"", "download QUrl(", "\"Update finished.\"",
                                     "acceptNavigationRequest:"};
    QVector<double> at(marks.size(), -1);
    while (!err.contains(marker) && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(2);
        err += process.readAllStandardError();
        for (int i = 0; i < marks.size(); ++i) {
            if (at[i] < 0 && err.contains(marks[i]))
                at[i] = timer.nsecsElapsed() / 1e9;
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double timers = at[3] < 0 ? 0 : (at[1] - at[0]) + (at[3] - at[2]);
    QThread::msleep(1000); // let the game settle before reading the memory
    const double pss = treePssMiB(process.processId());
    process.kill();
    process.waitForFinished();
    return {seconds, pss, timers};
}

static Sample median(QVector<Sample> samples)
{
    std::sort(samples.begin(), samples.end(), [](const Sample &a, const Sample &b) { return a.seconds < b.seconds; });
    Sample m = samples.at(samples.size() / 2);
    QVector<double> pss;
    for (const Sample &s : samples)
        pss << s.pssMiB;
    std::sort(pss.begin(), pss.end());
    m.pssMiB = pss.at(pss.size() / 2);
    return m;
}

static void compare(const char *game, const char *bareName, const QString &dir, const QString &urlgame,
                    const QString &barePage, const QByteArray &bareMarker, const QByteArray &clientMarker)
{
    const int rounds = 5;
    QSettings(dir + "/tarvenholm.ini", QSettings::IniFormat).setValue("urlgame", urlgame);
    QVector<Sample> bare, client;
    for (int i = 0; i < rounds; ++i) {
        bare << run(TestEnv::binaryDir() + "/bench/bare_webview", {barePage}, dir, bareMarker);
        client << run(ClientProcess::executable(), {}, dir, clientMarker);
    }
    const Sample b = median(bare), c = median(client);
    // The timers as they ran (Qt runs a 3 s timer coarse, within 5 %).
    const double own = c.seconds - c.timers;
    std::printf("%s, median of %d, offscreen platform\n", game, rounds);
    std::printf("  %s: %.3f s, PSS of the process tree %.1f MiB\n", bareName, b.seconds, b.pssMiB);
    std::printf("  client: %.3f s, of which the 1 s + 3 s timers %.3f s: own work %.3f s, PSS %.1f MiB\n", c.seconds,
                c.timers, own, c.pssMiB);
    std::printf("  ratio own work / bare: %.2f (target 1.2); PSS ratio %.2f\n", own / b.seconds, c.pssMiB / b.pssMiB);
}

int main(int argc, char *argv[])
{
    TestEnv::init("bench_startup");
    QCoreApplication app(argc, argv);
    const QString published = TestEnv::root() + "/server";
    TestEnv::writeFile(published + "/update/stamp.txt", "100\n");
    TestEnv::writeFile(published + "/update/files.txt", "");
    NginxServer nginx(published);
    if (!nginx.start())
        return 1;

    const QString dir = TestEnv::freshDir("client");
    QDir().mkpath("home");
    // The page says on the console when it has loaded; so does the bare movie page.
    TestEnv::writeFile("content/loader.html", "<html><head><title>Game</title></head>"
                                              "<body onload=\"console.warn('page loaded')\"><h1>Game</h1></body></html>");
    TestEnv::writeFile("content/loader.swf", MovieFiles::colours(QColor(43, 10, 16), QColor(232, 192, 96)));
    TestEnv::writeFile("content/bare.html",
                       "<html><head><style>html,body{margin:0;height:100%;background:#000}"
                       "ruffle-embed{display:block;width:100%;height:100%}</style>"
                       "<script>window.RufflePlayer = {config: {autoplay: 'on', unmuteOverlay: 'hidden',"
                       " splashScreen: false}};</script>"
                       "<script src=\"" + QUrl::fromLocalFile(TestEnv::binaryDir() + "/client/ruffle/ruffle.js").toEncoded()
                           + "\"></script></head><body>"
                       "<embed src=\"loader.swf\" width=\"100%\" height=\"100%\"><script>"
                       "new MutationObserver(function () { const p = document.querySelector('ruffle-embed');"
                       " if (p && !p.seen) { p.seen = true; p.addEventListener('loadeddata',"
                       " function () { console.warn('movie playing'); }); } })"
                       ".observe(document.documentElement, {childList: true, subtree: true});"
                       "</script></body></html>");
    for (const char *qm : {"tarvenholm_en.qm", "tarvenholm_ru.qm"})
        QFile::copy(TestEnv::binaryDir() + "/client/" + qm, qm);
    {
        QSettings settings("tarvenholm.ini", QSettings::IniFormat);
        settings.setValue("lang", "en");
        settings.setValue("stamp", 100);
        settings.setValue("updateroot", nginx.rootUrl());
    }
    compare("start-up to an HTML game page loaded", "bare QWebEngineView", dir, "./content/loader.html",
            "content/loader.html", "page loaded", "page loaded");
    compare("start-up to the game movie playing", "bare QWebEngineView with Ruffle", dir, "./content/loader.swf",
            "content/bare.html", "movie playing", "Movie playing:");
    return 0;
}
