#include "clientprocess.h"

#include "testenv.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

ClientProcess::ClientProcess()
    : m_env(QProcessEnvironment::systemEnvironment())
{
}

ClientProcess::~ClientProcess()
{
    kill();
}

QString ClientProcess::executable()
{
    return TestEnv::binaryDir() + QStringLiteral("/client/tarvenholm");
}

void ClientProcess::start(const QString &workingDir, const QString &home, const QString &program)
{
    m_env.insert(QStringLiteral("HOME"), home);
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    m_process.setProcessEnvironment(m_env);
    m_process.setWorkingDirectory(workingDir);
    m_process.start(program, QStringList());
    m_process.waitForStarted(10000);
}

int ClientProcess::exitCode()
{
    const int code = m_process.exitCode();
    const QString text = errorText();
    if (code == 1 && text.contains(QLatin1String("==LeakSanitizer has encountered a fatal error."))
        && !text.contains(QLatin1String("ERROR: LeakSanitizer: detected memory leaks"))) {
        qWarning("LeakSanitizer's tracer failed as the client ended; its exit is taken as 0");
        return 0;
    }
    return code;
}

QString ClientProcess::errorText()
{
    m_err += m_process.readAllStandardError();
    return QString::fromUtf8(m_err);
}

QStringList ClientProcess::lines()
{
    return errorText().split(QLatin1Char('\n'));
}

bool ClientProcess::waitFor(const std::function<bool()> &seen, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!seen()) {
        if (timer.elapsed() > timeoutMs || m_process.state() == QProcess::NotRunning)
            return seen();
        m_process.waitForReadyRead(100);
    }
    return true;
}

bool ClientProcess::waitForLine(const QString &line, int timeoutMs)
{
    return waitFor([&] { return lines().contains(line); }, timeoutMs);
}

bool ClientProcess::waitForLineStarting(const QString &start, int timeoutMs)
{
    return waitFor([&] { return !lines().filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(start))).isEmpty(); },
                   timeoutMs);
}

bool ClientProcess::waitForExit(int timeoutMs)
{
    const bool done = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    errorText();
    return done;
}

void ClientProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
    errorText();
}

static QString xdotool(const QStringList &args)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), args);
    tool.waitForFinished(10000);
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

QString ClientProcess::waitForWindow(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs && m_process.state() != QProcess::NotRunning) {
        const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                     QString::number(m_process.processId())});
        if (!ids.isEmpty())
            return ids.split(QLatin1Char('\n')).last();
        QThread::msleep(100);
    }
    return QString();
}

void ClientProcess::pressKey(const QString &window, const QString &key)
{
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key"), key});
}

QString ClientProcess::waitForTitledWindow(const QString &title, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                     QLatin1Char('^') + title + QLatin1Char('$')});
        if (!ids.isEmpty())
            return ids.split(QLatin1Char('\n')).last();
        QThread::msleep(100);
    }
    return QString();
}

QString ClientProcess::windowName(const QString &window)
{
    return xdotool({QStringLiteral("getwindowname"), window});
}
