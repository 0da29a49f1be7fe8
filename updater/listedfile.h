#ifndef LISTEDFILE_H
#define LISTEDFILE_H

#include "updater/checksum.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A file as the update's list gives it: by files.txt (name and CRC-32) or by
// the signed manifest (name, size and SHA-256).
struct ListedFile
{
    QString name;
    QString line; // as listed, for messages
    ChecksumValidator::Kind kind = ChecksumValidator::Kind::Crc32;
    QByteArray sum; // lower-case hex, as ChecksumValidator::result() gives it
    qint64 size = -1; // -1: the list does not say (files.txt)

    bool isSigned() const { return kind == ChecksumValidator::Kind::Sha256; }
};
using ListedFiles = QList<ListedFile>;

#endif // LISTEDFILE_H
