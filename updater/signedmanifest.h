#ifndef SIGNEDMANIFEST_H
#define SIGNEDMANIFEST_H

#include <QByteArray>
#include <QList>
#include <QString>

// The signed manifest "update/manifest": the stamp bound to every file's name,
// size and SHA-256, signed by the operator's key ("update/manifest.sig", the
// base64 of the Ed25519 signature of the manifest's exact bytes).
//
//   tarvenholm-manifest 1
//   stamp <decimal>
//   <sha256, 64 lower-case hex digits> <size in bytes> <name>
//   ...
//
// Lines end in "\n"; names are content names as in files.txt (Latin-1).
struct SignedManifest
{
    struct File {
        QString name;
        QByteArray sha256;
        qint64 size = 0;
    };
    qint64 stamp = 0;
    QList<File> files;

    // False for anything but exactly that form, with safe, distinct names.
    static bool parse(const QByteArray &text, SignedManifest *manifest);
    QByteArray text() const;
};

#endif // SIGNEDMANIFEST_H
