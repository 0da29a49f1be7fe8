#ifndef CLIENTPROCESS_H
#define CLIENTPROCESS_H

#include <QProcess>

#include <functional>
#include <QString>

// The real client executable, started in a folder of the test's with a HOME of
// its own; its diagnostic lines (standard error) are collected as they come.
class ClientProcess
{
public:
    ClientProcess();
    ~ClientProcess();

    // The client, or another program that starts it (the package's launcher).
    void start(const QString &workingDir, const QString &home, const QString &program = executable());
    // Diagnostic lines are matched whole; a fragment would be found in other lines too.
    bool waitForLine(const QString &line, int timeoutMs = 20000);
    bool waitForLineStarting(const QString &start, int timeoutMs = 20000);
    QStringList lines();
    bool waitForExit(int timeoutMs = 20000);
    // The client's exit code. In the sanitizer build LeakSanitizer checks the
    // client as it ends, and its tracer now and then fails on the web
    // engine's threads still winding down ("LeakSanitizer has encountered a
    // fatal error", exit code 1): the tool's failure, not a finding, so the
    // client's own 0 is taken (with a warning). A leak it finds ("detected
    // memory leaks", exit code 23) still fails.
    int exitCode();
    bool crashed() const { return m_process.exitStatus() == QProcess::CrashExit; }
    qint64 processId() const { return m_process.processId(); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    QString errorText();
    void kill();
    // Asks the client to stop, as the system does at a logout (SIGTERM).
    void terminate() { m_process.terminate(); }
    QProcessEnvironment &environment() { return m_env; }

    // Under an X display: the id of a visible window of the client, once one shows.
    QString waitForWindow(int timeoutMs = 20000);
    // Presses Return in that window (answers a message box).
    static void pressReturn(const QString &window) { pressKey(window, QStringLiteral("Return")); }
    static void pressKey(const QString &window, const QString &key);
    // A visible window with this title, once one shows.
    static QString waitForTitledWindow(const QString &title, int timeoutMs = 20000);
    static QString windowName(const QString &window);

    static QString executable();

private:
    bool waitFor(const std::function<bool()> &seen, int timeoutMs);

    QProcess m_process;
    QProcessEnvironment m_env;
    QByteArray m_err;
};

#endif // CLIENTPROCESS_H
