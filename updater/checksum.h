#ifndef CHECKSUM_H
#define CHECKSUM_H

#include <QString>

// CRC-32 (the zlib/PNG/ZIP one) of a file's content, read in 8192-byte blocks.
// A file that cannot be opened gives 0xFFFFFFFF; a read error ends the sum early.
quint32 fileCrc32(const QString &path);

// The same checksum continued over a block of memory; start with 0.
quint32 crc32Update(quint32 crc, const char *data, qint64 size);

#endif // CHECKSUM_H
