// Start-up of the real client with the content current (stamp matching), from
// process start to the window shown, less the update dialog's two fixed timers
// (1 s before it asks the server, 3 s before it closes after "Update finished.");
// and the process's peak memory. Against a bare QApplication + QWebView showing
// an empty page, measured in the same run.
#include "clientprocess.h"
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

struct Sample { double seconds; double peakMiB; double timers; };

static double peakOf(qint64 pid)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

static Sample run(const QString &program, const QString &dir, const QString &home, const QByteArray &marker)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir);
    QElapsedTimer timer;
    timer.start();
    process.start(program, QStringList());
    QByteArray err;
    // When the lines around the two fixed waits arrive: the dialog made and its
    // first request; "Update finished." and the game page's load.
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
    QThread::msleep(300); // let the page settle before reading the peak
    const double peak = peakOf(process.processId());
    process.kill();
    process.waitForFinished();
    return {seconds, peak, timers};
}

static Sample median(QVector<Sample> samples)
{
    std::sort(samples.begin(), samples.end(), [](const Sample &a, const Sample &b) { return a.seconds < b.seconds; });
    Sample m = samples.at(samples.size() / 2);
    for (const Sample &s : samples)
        m.peakMiB = qMax(m.peakMiB, s.peakMiB);
    return m;
}

int main(int argc, char *argv[])
{
    TestEnv::init("bench_startup");
    QCoreApplication app(argc, argv);
    const int rounds = 5;
    const QString published = TestEnv::root() + "/server";
    TestEnv::writeFile(published + "/loader.html", "<html><head><title>Game</title></head><body><h1>Game</h1></body></html>");
    TestEnv::writeFile(published + "/update/stamp.txt", "100\n");
    TestEnv::writeFile(published + "/update/files.txt", "");
    NginxServer nginx(published);
    if (!nginx.start())
        return 1;

    const QString dir = TestEnv::freshDir("client");
    QDir().mkpath("home");
    QDir().mkpath("content");
    QFile::copy(published + "/loader.html", "content/loader.html");
    for (const char *qm : {"tarvenholm_en.qm", "tarvenholm_ru.qm"})
        QFile::copy(TestEnv::binaryDir() + "/client/" + qm, qm);
    {
        QSettings settings("tarvenholm.ini", QSettings::IniFormat);
        settings.setValue("lang", "en");
        settings.setValue("stamp", 100);
        settings.setValue("updateroot", nginx.rootUrl());
        settings.setValue("urlgame", "./content/loader.html");
    }

    QVector<Sample> bare, client;
    for (int i = 0; i < rounds; ++i) {
        bare << run(TestEnv::binaryDir() + "/bench/bare_webview", dir, dir + "/home", "loadFinished");
        client << run(ClientProcess::executable(), dir, dir + "/home", "QRect(");
    }
    const Sample b = median(bare), c = median(client);
    // The timers as they ran (Qt runs a 3 s timer coarse, within 5 %).
    const double fixedTimers = c.timers;
    const double own = c.seconds - fixedTimers;
    std::printf("start-up, median of %d, offscreen platform\n", rounds);
    std::printf("  bare QWebView to loadFinished:  %.3f s, peak %.1f MiB\n", b.seconds, b.peakMiB);
    std::printf("  client to window shown:          %.3f s, of which the 1 s + 3 s timers %.3f s: own work %.3f s, peak %.1f MiB\n",
                c.seconds, fixedTimers, own, c.peakMiB);
    std::printf("  ratio own work / bare: %.2f; peak memory ratio %.2f\n", own / b.seconds, c.peakMiB / b.peakMiB);
    return 0;
}
