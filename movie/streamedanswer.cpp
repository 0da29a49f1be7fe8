#include "movie/streamedanswer.h"

#include <QMutexLocker>
#include <QNetworkReply>

StreamedAnswer::StreamedAnswer(QNetworkReply *reply, qint64 window, QObject *parent)
    : QIODevice(parent)
    , reply(reply)
    , window(window)
{
    // Unbuffered: what the engine reads comes from readData, under the lock.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    connect(reply, &QNetworkReply::readyRead, this, &StreamedAnswer::pull);
    connect(reply, &QNetworkReply::finished, this, &StreamedAnswer::onFinished);
    // Gone before it finished (its profile went): the answer is not whole.
    // (`ended` is written on this thread only.)
    connect(reply, &QObject::destroyed, this, [this] {
        if (!ended)
            failNow();
    });
    pull();
}

void StreamedAnswer::pull()
{
    bool more = false;
    {
        QMutexLocker lock(&mutex);
        if (failed || !reply)
            return;
        while (buffer.size() < window && reply->bytesAvailable() > 0) {
            buffer += reply->read(window - buffer.size());
            more = true;
        }
        drained = reply->bytesAvailable() == 0;
    }
    if (more)
        emit readyRead();
}

void StreamedAnswer::onFinished()
{
    if (reply->error() != QNetworkReply::NoError) {
        failNow();
        return;
    }
    {
        QMutexLocker lock(&mutex);
        ended = true;
    }
    pull();
    // The engine learns of the end at its next read.
    emit readyRead();
}

void StreamedAnswer::failNow()
{
    {
        QMutexLocker lock(&mutex);
        failed = true;
        buffer.clear();
    }
    emit readyRead();
}

bool StreamedAnswer::atEnd() const
{
    QMutexLocker lock(&mutex);
    return ended && drained && !failed && buffer.isEmpty();
}

qint64 StreamedAnswer::bytesAvailable() const
{
    QMutexLocker lock(&mutex);
    return buffer.size();
}

qint64 StreamedAnswer::readData(char *data, qint64 maxSize)
{
    qint64 taken = 0;
    {
        QMutexLocker lock(&mutex);
        // The engine takes -1 for the end of a sequential device's answer
        // where atEnd() says so, and for a failure where it does not.
        if (failed || (ended && drained && buffer.isEmpty()))
            return -1;
        taken = qMin(maxSize, qint64(buffer.size()));
        memcpy(data, buffer.constData(), size_t(taken));
        buffer.remove(0, taken);
    }
    // Room in the window: more from the reply, on the window's thread.
    if (taken > 0)
        QMetaObject::invokeMethod(this, &StreamedAnswer::pull, Qt::QueuedConnection);
    return taken;
}
