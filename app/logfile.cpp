#include "app/logfile.h"

#include "app/gamefolder.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <memory>

namespace {
// The line that ends a full log; room for it is kept.
constexpr char fullLine[] = "Log file full: further lines go to standard error only\n";

struct Log
{
    std::unique_ptr<QFile> file;
    qint64 limit = 0;
    qint64 written = 0;
    bool full = false;
    QtMessageHandler previous = nullptr;
};

// Lines come from every thread of the process, up to its very end: the state
// is never destroyed (the system closes the file).
QBasicMutex mutex;
Log &state = *new Log;

void write(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler previous;
    {
        QMutexLocker lock(&mutex);
        previous = state.previous;
        if (state.file && !state.full) {
            const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' '
                + qFormatLogMessage(type, context, message).toUtf8() + '\n';
            if (state.written + line.size() + qint64(sizeof fullLine) > state.limit) {
                state.full = true;
                state.written += state.file->write(fullLine, sizeof fullLine - 1);
            } else {
                state.written += state.file->write(line);
            }
        }
    }
    if (previous)
        previous(type, context, message);
}
} // namespace

QString LogFile::open(const QString &folder, qint64 limit)
{
    close();
    const QString name = folder + QLatin1Char('/') + QLatin1String(GameFolder::log);
    const QString old = folder + QLatin1Char('/') + QLatin1String(GameFolder::oldLog);
    // Renaming and removing act on a link itself, never on what it names.
    QFile::remove(old);
    QFile::rename(name, old);
    auto file = std::make_unique<QFile>(name);
    // A new file only: whatever is still there (a link, another user's file)
    // is not written into. It holds the pages' addresses: the player's alone.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return QStringLiteral("%1: %2").arg(name, file->errorString());
    QMutexLocker lock(&mutex);
    state.file = std::move(file);
    state.limit = limit;
    state.written = 0;
    state.full = false;
    state.previous = qInstallMessageHandler(write);
    return QString();
}

void LogFile::close()
{
    QMutexLocker lock(&mutex);
    if (!state.file)
        return;
    qInstallMessageHandler(state.previous);
    state.file.reset();
    state.previous = nullptr;
}

QString LogFile::path()
{
    QMutexLocker lock(&mutex);
    return state.file ? state.file->fileName() : QString();
}
