// Publishes a content folder for the client's updater: writes
// <root>/update/files.txt (one "name,crc32" line per file below <root>, the
// update folder itself left out) and <root>/update/stamp.txt; with a key, also
// the signed manifest <root>/update/manifest and its signature manifest.sig.
//
//   tarvenholm-manifest [--key <private key file>] [--allow-older] <root> [stamp]
//   tarvenholm-manifest --new-key <private key file>
//
// Clients update when the published stamp is larger than the one they
// installed last, so a stamp not above the one the folder has published is
// refused (with --allow-older it is published all the same: a release taken
// back). The stamp defaults to the current time in seconds, or to one above
// the last where that is not earlier (two publishes in one second). --new-key
// writes a new private key (owner-only; keep it off the server) and prints the
// public key, one line of base64, for the clients' "updatekey" setting.

#include "updater/checksum.h"
#include "updater/manifest.h"
#include "updater/signedmanifest.h"
#include "updater/signing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <limits>

static bool writeFile(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--new-key")) {
        QString error;
        const QString publicKey = Signing::newKey(args.at(2), &error);
        if (publicKey.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        std::printf("%s\n", qPrintable(publicKey));
        return 0;
    }
    QString keyFile;
    bool allowOlder = false;
    for (bool more = true; more;) {
        more = false;
        if (args.size() >= 3 && args.at(1) == QLatin1String("--key")) {
            keyFile = args.at(2);
            args.remove(1, 2);
            more = true;
        } else if (args.size() >= 2 && args.at(1) == QLatin1String("--allow-older")) {
            allowOlder = true;
            args.remove(1);
            more = true;
        }
    }
    if (args.size() < 2 || args.size() > 3 || args.at(1).startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "usage: tarvenholm-manifest [--key <private key file>] [--allow-older] <content root> [stamp]\n"
                             "       tarvenholm-manifest --new-key <private key file>\n");
        return 2;
    }
    const QDir root(QFileInfo(args.at(1)).absoluteFilePath());
    if (!root.exists()) {
        std::fprintf(stderr, "no such folder: %s\n", qPrintable(args.at(1)));
        return 2;
    }
    // What this folder published last, if anything readable.
    const QString stampFile = root.filePath(QStringLiteral("update/stamp.txt"));
    qint64 last = 0;
    bool hasLast = false;
    if (QFile published(stampFile); published.open(QIODevice::ReadOnly))
        hasLast = parseStampLine(QString::fromLatin1(published.readLine(64)), last);
    qint64 stamp = QDateTime::currentSecsSinceEpoch();
    if (args.size() == 3) {
        if (!parseStampLine(args.at(2), stamp)) {
            std::fprintf(stderr, "not a stamp: %s\n", qPrintable(args.at(2)));
            return 2;
        }
        if (hasLast && stamp <= last && !allowOlder) {
            std::fprintf(stderr,
                         "stamp %lld is not above %lld, the last published in %s: clients would not update "
                         "(--allow-older publishes it all the same)\n",
                         static_cast<long long>(stamp), static_cast<long long>(last), qPrintable(stampFile));
            return 2;
        }
    } else if (hasLast && last >= stamp) {
        if (last == std::numeric_limits<qint64>::max()) {
            std::fprintf(stderr, "no stamp is above %lld, the last published in %s\n", static_cast<long long>(last),
                         qPrintable(stampFile));
            return 2;
        }
        stamp = last + 1;
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
    SignedManifest manifest;
    manifest.stamp = stamp;
    for (const QString &name : qAsConst(names)) {
        const QString path = root.filePath(name);
        const quint32 crc = fileCrc32(path);
        list += name.toLatin1() + ',' + QByteArray::number(crc, 16).rightJustified(8, '0') + '\n';
        if (!keyFile.isEmpty())
            manifest.files << SignedManifest::File{name, Signing::fileSha256(path), QFileInfo(path).size()};
    }
    QByteArray signature;
    if (!keyFile.isEmpty()) {
        QString error;
        signature = Signing::sign(manifest.text(), keyFile, &error);
        if (signature.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    // The stamp goes last: clients that see it find everything it stands for.
    if (!root.mkpath(QStringLiteral("update"))
        || !writeFile(root.filePath(QStringLiteral("update/files.txt")), list)
        || (!keyFile.isEmpty()
            && (!writeFile(root.filePath(QStringLiteral("update/manifest")), manifest.text())
                || !writeFile(root.filePath(QStringLiteral("update/manifest.sig")), signature + '\n')))
        || !writeFile(root.filePath(QStringLiteral("update/stamp.txt")), QByteArray::number(stamp) + '\n')) {
        std::fprintf(stderr, "could not write %s/update\n", qPrintable(root.path()));
        return 1;
    }
    std::printf("%d files, stamp %lld%s\n", int(names.size()), static_cast<long long>(stamp),
                keyFile.isEmpty() ? "" : ", signed");
    return 0;
}
