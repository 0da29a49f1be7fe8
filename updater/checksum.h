#ifndef CHECKSUM_H
#define CHECKSUM_H

#include "updater/signing.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class QIODevice;

// CRC-32 (the zlib/PNG/ZIP one) of a file's content.
// A file that cannot be opened or read to its end gives 0xFFFFFFFF.
quint32 fileCrc32(const QString &path);

// The same checksum continued over a block of memory; start with 0.
quint32 crc32Update(quint32 crc, const char *data, qint64 size);

// The sum a list gives for a file (files.txt's CRC-32, the signed manifest's
// SHA-256), taken of its bytes as they pass: while a download is written, or
// while a local file is read. What a file is checked against is its sum and
// the number of bytes summed.
//
// Blocks given as QByteArray past the first MiB of a file are summed on a
// thread of the validator's own, in order, while the caller goes on (a large
// download is written and hashed at once, on two cores); they are copied into
// buffers of their own, at most `queuedBytes` of them, so memory stays flat. A
// small file never meets the thread.
class ChecksumValidator
{
public:
    enum class Kind { Crc32, Sha256 };
    explicit ChecksumValidator(Kind kind);
    ~ChecksumValidator();
    ChecksumValidator(const ChecksumValidator &) = delete;
    ChecksumValidator &operator=(const ChecksumValidator &) = delete;

    void reset();
    void add(const char *data, qint64 size);
    void add(const QByteArray &block);
    // Reads the rest of an open file through the sum; false on a read error.
    bool addAll(QIODevice *device);
    qint64 size() const { return summed; }
    // The sum as lower-case hex: 8 digits of a CRC-32, 64 of a SHA-256 (empty
    // where OpenSSL failed). Taking it ends the sum: reset() starts the next.
    QByteArray result();

    static constexpr qint64 inlineBytes = 1 << 20;
    static constexpr qint64 queuedBytes = 8 << 20;
    static constexpr qint64 batchSize = 1 << 20;

private:
    void sum(const char *data, qint64 size);
    void handOver();
    void drain();

    Kind sumKind;
    qint64 summed = 0;
    struct Worker;
    std::unique_ptr<Worker> worker;
    quint32 crc = 0;
    std::optional<Signing::Sha256> sha; // a SHA-256 validator's only
};

#endif // CHECKSUM_H
