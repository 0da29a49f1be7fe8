#ifndef BENCHUTIL_H
#define BENCHUTIL_H

#include <QFile>
#include <QtGlobal>

// Resident and peak resident memory of this process, in MiB.
inline double procStatusMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}
inline double rssMiB() { return procStatusMiB("VmRSS:"); }
inline double peakRssMiB() { return procStatusMiB("VmHWM:"); }

#endif // BENCHUTIL_H
