#ifndef SIGNING_H
#define SIGNING_H

#include <QByteArray>
#include <QString>

#include <memory>

class QIODevice;

// What the signed update rests on, done by OpenSSL: SHA-256 of files and
// Ed25519 signatures. Keys travel as base64 of their 32 raw bytes (public) or
// as PEM files (private, the operator's alone).
namespace Signing {
// SHA-256 summed block by block, as the bytes pass.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;
    // Starts the sum over; false where OpenSSL cannot make it.
    bool reset();
    bool add(const char *data, qint64 size);
    // The sum of what was added, as 64 lower-case hex digits; empty after an
    // error. The sum is over: reset() starts the next.
    QByteArray hex();

private:
    struct Context;
    std::unique_ptr<Context> context;
    bool ok = false;
};

// The file's SHA-256 as 64 lower-case hex digits; empty when it cannot be read.
QByteArray fileSha256(const QString &path);
// The same of what is left to read of an open file.
QByteArray sha256Of(QIODevice *device);
// Whether `signature` (base64 of 64 bytes) signs `data` with the public key.
bool verify(const QByteArray &data, const QByteArray &signature, const QString &publicKey);

// The operator's side.
// Writes a new private key to `keyFile` (owner-only; an existing file is never
// overwritten) and gives the public key, or an empty text with `error`.
QString newKey(const QString &keyFile, QString *error);
// The signature (base64) of `data` with the private key in `keyFile`.
QByteArray sign(const QByteArray &data, const QString &keyFile, QString *error);
}

#endif // SIGNING_H
