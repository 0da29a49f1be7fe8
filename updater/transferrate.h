#ifndef TRANSFERRATE_H
#define TRANSFERRATE_H

#include <QList>
#include <QPair>
#include <QString>

// How fast an update's files arrive, and how long the rest will take: the
// bytes received over the last seconds (a running average follows a
// network's pace without jumping with each block).
class TransferRate
{
public:
    // The bytes received so far, all transfers together, at `msecs` (a
    // steady clock's time).
    void note(qint64 receivedBytes, qint64 msecs);
    void clear() { samples.clear(); }
    // Bytes per second over the window; 0 until there are two samples a
    // moment apart.
    double bytesPerSecond() const;

    // "1.2 MB/s, 0:35 left": the speed, and where the bytes still to come
    // are known (not -1), the time they will take at that speed. Empty
    // without a speed.
    static QString describe(double bytesPerSecond, qint64 remainingBytes);

    static constexpr qint64 windowMs = 5000;

private:
    QList<QPair<qint64, qint64>> samples; // time, bytes
};

#endif // TRANSFERRATE_H
