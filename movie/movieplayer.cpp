#include "movie/movieplayer.h"

#include <QCoreApplication>
#include <QFile>
#include <QtEndian>

#include <zlib.h>

// How many bytes a zlib stream (the body of a compressed movie) gives.
static qint64 inflatedSize(QFile &file)
{
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        return 0;
    QByteArray in(1 << 16, Qt::Uninitialized), out(1 << 16, Qt::Uninitialized);
    qint64 total = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        const qint64 read = file.read(in.data(), in.size());
        if (read <= 0)
            break;
        stream.next_in = reinterpret_cast<Bytef *>(in.data());
        stream.avail_in = uInt(read);
        do {
            stream.next_out = reinterpret_cast<Bytef *>(out.data());
            stream.avail_out = uInt(out.size());
            status = inflate(&stream, Z_NO_FLUSH);
            total += out.size() - stream.avail_out;
        } while (status == Z_OK && stream.avail_out == 0);
    }
    inflateEnd(&stream);
    return total;
}

bool MoviePlayer::isMovie(const QUrl &url)
{
    return url.path().endsWith(QLatin1String(".swf"), Qt::CaseInsensitive);
}

QString MoviePlayer::problem(const QUrl &movie)
{
    if (!movie.isLocalFile())
        return QString();
    QFile file(movie.toLocalFile());
    if (!file.exists())
        return QCoreApplication::translate("MoviePlayer", "the file does not exist");
    if (!file.open(QIODevice::ReadOnly))
        return QCoreApplication::translate("MoviePlayer", "the file cannot be read (%1)").arg(file.errorString());
    // "FWS", "CWS" (zlib) or "ZWS" (LZMA), a version, and the length of the
    // whole movie uncompressed.
    const QByteArray header = file.read(8);
    if (header.size() < 8 || !(header.startsWith("FWS") || header.startsWith("CWS") || header.startsWith("ZWS")))
        return QCoreApplication::translate("MoviePlayer", "the file is not a Flash movie");
    const quint32 length = qFromLittleEndian<quint32>(header.constData() + 4);
    qint64 have = file.size();
    if (header.startsWith("CWS"))
        have = 8 + inflatedSize(file);
    else if (header.startsWith("ZWS"))
        have = length; // not checked here; Ruffle says so if it is cut short
    if (have < length)
        return QCoreApplication::translate("MoviePlayer", "the file is cut short (%1 of %2 bytes)").arg(have).arg(length);
    return QString();
}

QString MoviePlayer::errorPage(const QString &text)
{
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
                          "body { margin: 2em; font: 16px sans-serif; color: #eee; background: #222; }"
                          "</style></head><body><p>%1</p></body></html>")
        .arg(text.toHtmlEscaped());
}

const QList<MoviePlayer::FlashType> MoviePlayer::flashTypes = {
    {"application/x-shockwave-flash", "swf", "Shockwave Flash"},
    {"application/futuresplash", "spl", "FutureSplash Player"},
};

const char *const MoviePlayer::playerElements = "ruffle-embed, ruffle-object, ruffle-player";

bool MoviePlayer::isMovieType(const QString &mimeType)
{
    for (const FlashType &flash : flashTypes) {
        if (mimeType == QLatin1String(flash.type))
            return true;
    }
    return false;
}
