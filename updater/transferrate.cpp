#include "updater/transferrate.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

void TransferRate::note(qint64 receivedBytes, qint64 msecs)
{
    samples.append({msecs, receivedBytes});
    // One sample older than the window stays: the window's start.
    while (samples.size() > 2 && samples.at(1).first <= msecs - windowMs)
        samples.removeFirst();
}

double TransferRate::bytesPerSecond() const
{
    if (samples.size() < 2)
        return 0;
    const qint64 span = samples.last().first - samples.first().first;
    if (span < 200) // too short a moment to tell
        return 0;
    return double(samples.last().second - samples.first().second) * 1000 / span;
}

QString TransferRate::describe(double bytesPerSecond, qint64 remainingBytes)
{
    if (bytesPerSecond <= 0)
        return QString();
    // The user's own way of writing sizes (kB, MB: powers of 1000).
    const QString speed = QCoreApplication::translate("UpdateDialog", "%1/s")
                              .arg(QLocale().formattedDataSize(qint64(bytesPerSecond), 1, QLocale::DataSizeSIFormat));
    if (remainingBytes < 0)
        return speed;
    const qint64 seconds = qint64(std::ceil(double(remainingBytes) / bytesPerSecond));
    const QString time = seconds >= 3600
        ? QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'))
        : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QCoreApplication::translate("UpdateDialog", "%1, %2 left").arg(speed, time);
}
