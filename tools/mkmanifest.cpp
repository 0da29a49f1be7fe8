// Publishes a content folder for the client's updater: writes
// <root>/update/files.txt (one "name,crc32" line per file below <root>, the
// update folder itself left out) and <root>/update/stamp.txt.
//
//   tarvenholm-manifest <root> [stamp]
//
// The stamp defaults to the current time in seconds; clients update when the
// published stamp is larger than the one they installed last.

#include "updater/checksum.h"
#include "updater/manifest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

static bool writeFile(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: tarvenholm-manifest <content root> [stamp]\n");
        return 2;
    }
    const QDir root(QFileInfo(args.at(1)).absoluteFilePath());
    if (!root.exists()) {
        std::fprintf(stderr, "no such folder: %s\n", qPrintable(args.at(1)));
        return 2;
    }
    qint64 stamp = QDateTime::currentSecsSinceEpoch();
    if (args.size() == 3 && !parseStampLine(args.at(2), stamp)) {
        std::fprintf(stderr, "not a stamp: %s\n", qPrintable(args.at(2)));
        return 2;
    }

    QStringList names;
    QDirIterator it(root.absolutePath(), QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = root.relativeFilePath(it.next());
        if (name.startsWith(QLatin1String("update/")))
            continue;
        // The client reads the list as Latin-1 text.
        const bool latin1 = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x100; });
        if (!latin1 || !isSafeContentName(name) || name.contains(QLatin1Char(','))) {
            std::fprintf(stderr, "skipped, name not publishable: %s\n", qPrintable(name));
            continue;
        }
        names << name;
    }
    names.sort();

    QByteArray list;
    for (const QString &name : qAsConst(names)) {
        const quint32 crc = fileCrc32(root.filePath(name));
        list += name.toLatin1() + ',' + QByteArray::number(crc, 16).rightJustified(8, '0') + '\n';
    }
    if (!root.mkpath(QStringLiteral("update"))
        || !writeFile(root.filePath(QStringLiteral("update/files.txt")), list)
        || !writeFile(root.filePath(QStringLiteral("update/stamp.txt")), QByteArray::number(stamp) + '\n')) {
        std::fprintf(stderr, "could not write %s/update\n", qPrintable(root.path()));
        return 1;
    }
    std::printf("%d files, stamp %lld\n", int(names.size()), static_cast<long long>(stamp));
    return 0;
}
