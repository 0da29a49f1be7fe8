#ifndef STREAMEDANSWER_H
#define STREAMEDANSWER_H

#include <QByteArray>
#include <QIODevice>
#include <QMutex>
#include <QPointer>

class QNetworkReply;

// A network answer as the engine's request job reads it: a window of at most
// `window` bytes taken from the reply as the engine reads on, so the client
// never holds more of an answer than that. The engine reads on a thread of its
// own, hence the lock: the reply itself is only touched on the window's
// thread. A reply that ends in an error makes the read fail, never a short
// answer that looks whole: the engine takes a read of -1 for the end where
// atEnd() is true, and for a failure where it is not.
class StreamedAnswer : public QIODevice
{
    Q_OBJECT
public:
    StreamedAnswer(QNetworkReply *reply, qint64 window, QObject *parent);

    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;
    // Unknown ahead: a sequential device's own answer would be what is buffered.
    qint64 size() const override { return 0; }
    // Ends the answer as failed (the reply was cut, or is over its bound).
    void failNow();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    void pull();
    void onFinished();

    QPointer<QNetworkReply> reply; // its manager's: gone with the profile
    const qint64 window;
    mutable QMutex mutex;
    QByteArray buffer;
    bool ended = false;   // the reply has finished
    bool drained = false; // and nothing of it is left to take
    bool failed = false;
};

#endif // STREAMEDANSWER_H
