#include "testenv.h"

#include "movie/clientscheme.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

#include <QMutex>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QTemporaryDir *tempRoot = nullptr;
QStringList *captured = nullptr;
QtMessageHandler previous = nullptr;
int logDepth = 0;
// Lines come from every thread (the update's check logs from its workers).
QMutex capturing;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&capturing);
        if (captured)
            captured->append(message);
    }
    if (previous)
        previous(type, context, message);
}
} // namespace

void TestEnv::init(const char *programName)
{
    tempRoot = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/tvtest-%1-XXXXXX").arg(QLatin1String(programName)));
    const QString base = tempRoot->path();
    // nginx's worker (user nobody) serves files from below this folder.
    QFile::setPermissions(base, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                              | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QDir(base).mkpath(QStringLiteral("home"));
    QDir(base).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(base + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", (base + QStringLiteral("/home")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (base + QStringLiteral("/runtime")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (base + QStringLiteral("/home/.config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (base + QStringLiteral("/home/.local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (base + QStringLiteral("/home/.cache")).toLocal8Bit());
    // Nothing depends on the machine's own settings: the language the client
    // derives, the permissions new files get (nginx's worker reads them).
    qputenv("LANG", "C.UTF-8");
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        qunsetenv(variable);
    ::umask(022);
    // Nor on what an operator of this machine presets for its players: a
    // test that wants system settings writes its own.
    qputenv("TARVENHOLM_SYSTEM_SETTINGS", (base + QStringLiteral("/etc/tarvenholm/tarvenholm.ini")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The web engine refuses to run as root with its sandbox (CI runs the tests
    // as root); players are never root and keep it. This is the tests' own
    // environment, inherited by the clients they start.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine's start-up report says nothing a test looks for.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext.debug=false");
    // Test programs run side by side: each gets its own temporary folder (and so
    // its own download file).
    QDir(base).mkpath(QStringLiteral("tmp"));
    qputenv("TMPDIR", (base + QStringLiteral("/tmp")).toLocal8Bit());
    ClientScheme::registerScheme();
    QDir(base).mkpath(QStringLiteral("work"));
    QDir::setCurrent(base + QStringLiteral("/work"));
}

QString TestEnv::root()
{
    return tempRoot->path();
}

QString TestEnv::home()
{
    return root() + QStringLiteral("/home");
}

QString TestEnv::binaryDir()
{
    return QStringLiteral(TARVEN_BINARY_DIR);
}

QString TestEnv::writeFile(const QString &path, const QByteArray &data)
{
    QFileInfo info(path);
    QDir().mkpath(info.path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(data);
    return info.absoluteFilePath();
}

bool TestEnv::writeFileIfPossible(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray TestEnv::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString TestEnv::freshDir(const QString &name)
{
    const QString path = root() + QLatin1Char('/') + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    QDir::setCurrent(path);
    return path;
}

MessageLog::MessageLog()
{
    if (logDepth++ == 0) {
        captured = new QStringList;
        previous = qInstallMessageHandler(capture);
    }
}

MessageLog::~MessageLog()
{
    if (--logDepth == 0) {
        qInstallMessageHandler(previous);
        QMutexLocker lock(&capturing);
        delete captured;
        captured = nullptr;
    }
}

QStringList MessageLog::lines() const
{
    QMutexLocker lock(&capturing);
    return *captured;
}

int MessageLog::count(const QString &line) const
{
    return int(lines().count(line));
}

int MessageLog::countStarting(const QString &start) const
{
    int n = 0;
    for (const QString &line : lines())
        n += line.startsWith(start) ? 1 : 0;
    return n;
}

void MessageLog::clear()
{
    QMutexLocker lock(&capturing);
    captured->clear();
}
