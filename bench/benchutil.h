#ifndef BENCHUTIL_H
#define BENCHUTIL_H

#include <QDir>
#include <QFile>
#include <QList>
#include <QtGlobal>

#include <algorithm>

// Memory figures from /proc, in MiB.
inline double procFieldMiB(const QString &file, const char *field)
{
    QFile status(file);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}
inline double rssMiB() { return procFieldMiB(QStringLiteral("/proc/self/status"), "VmRSS:"); }
inline double peakRssMiB() { return procFieldMiB(QStringLiteral("/proc/self/status"), "VmHWM:"); }

// The process and all its descendants: the web engine runs its renderers (and
// more) as child processes, so a browser's memory is the whole tree's.
inline QList<qint64> processTree(qint64 root)
{
    QMultiHash<qint64, qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1)
            children.insert(rest.at(1).toLongLong(), pid);
    }
    QList<qint64> tree{root};
    for (int i = 0; i < tree.size(); ++i)
        tree += children.values(tree.at(i));
    return tree;
}

// Proportional set size of the tree: shared pages counted once in all.
inline double treePssMiB(qint64 root)
{
    double sum = 0;
    for (qint64 pid : processTree(root)) {
        const double pss = procFieldMiB(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), "Pss:");
        if (pss > 0)
            sum += pss;
    }
    return sum;
}

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

#endif // BENCHUTIL_H
