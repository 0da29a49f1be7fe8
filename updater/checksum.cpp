#include "updater/checksum.h"

#include <QDebug>
#include <QFile>

#include <isa-l/crc.h>

quint32 crc32Update(quint32 crc, const char *data, qint64 size)
{
    // crc32_gzip_refl applies the usual pre- and post-inversion itself, so it
    // chains like zlib's crc32().
    return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char *>(data), quint64(size));
}

quint32 fileCrc32(const QString &path)
{
    QFile file(path);
    // Unbuffered: QFile's own buffer would only add a copy per block.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qDebug() << "Could not open file: " << path;
        return 0xFFFFFFFFu;
    }
    char buffer[8192];
    quint32 crc = 0;
    qint64 count;
    while ((count = file.read(buffer, sizeof buffer)) > 0)
        crc = crc32Update(crc, buffer, count);
    return crc;
}
