#include "updater/signing.h"

#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
struct PkeyFree { void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); } };
struct MdFree { void operator()(EVP_MD_CTX *ctx) const { EVP_MD_CTX_free(ctx); } };
struct BioFree { void operator()(BIO *bio) const { BIO_free(bio); } };
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdContext = std::unique_ptr<EVP_MD_CTX, MdFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

// Fetched once: each implicit fetch takes the provider store's lock, which
// the checking threads would otherwise queue on for every file.
const EVP_MD *sha256()
{
    static const std::unique_ptr<EVP_MD, void (*)(EVP_MD *)> md(EVP_MD_fetch(nullptr, "SHA2-256", nullptr),
                                                              EVP_MD_free);
    return md.get();
}

constexpr int keySize = 32;
constexpr int signatureSize = 64;
} // namespace

QByteArray Signing::fileSha256(const QString &path)
{
    QFile file(path);
    // Read straight into our block: no second copy through Qt's buffer.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QByteArray();
    return sha256Of(&file);
}

struct Signing::Sha256::Context
{
    MdContext md{EVP_MD_CTX_new()};
};

Signing::Sha256::Sha256()
    : context(new Context)
{
    reset();
}

Signing::Sha256::~Sha256() = default;

bool Signing::Sha256::reset()
{
    ok = context->md && EVP_DigestInit_ex(context->md.get(), sha256(), nullptr) == 1;
    return ok;
}

bool Signing::Sha256::add(const char *data, qint64 size)
{
    ok = ok && EVP_DigestUpdate(context->md.get(), data, size_t(size)) == 1;
    return ok;
}

QByteArray Signing::Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool summed = ok && EVP_DigestFinal_ex(context->md.get(), digest, &length) == 1;
    ok = false;
    if (!summed)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex();
}

QByteArray Signing::sha256Of(QIODevice *device)
{
    Sha256 sum;
    // On the stack and small enough to stay in the core's cache: a large
    // block allocated for each file costs more in page faults than the hash.
    char block[1 << 16];
    qint64 read;
    while ((read = device->read(block, sizeof block)) > 0) {
        if (!sum.add(block, read))
            return QByteArray();
    }
    if (read < 0)
        return QByteArray();
    return sum.hex();
}

bool Signing::verify(const QByteArray &data, const QByteArray &signature, const QString &publicKey)
{
    const QByteArray raw = QByteArray::fromBase64(publicKey.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const QByteArray sig = QByteArray::fromBase64(signature.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (raw.size() != keySize || sig.size() != signatureSize)
        return false;
    Pkey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                         reinterpret_cast<const unsigned char *>(raw.constData()), size_t(raw.size())));
    MdContext ctx(EVP_MD_CTX_new());
    if (!key || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char *>(sig.constData()), size_t(sig.size()),
                            reinterpret_cast<const unsigned char *>(data.constData()), size_t(data.size()))
        == 1;
}

QString Signing::newKey(const QString &keyFile, QString *error)
{
    Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    Bio pem(BIO_new(BIO_s_mem()));
    if (!key || !pem || PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        *error = QStringLiteral("could not make a key");
        return QString();
    }
    char *text = nullptr;
    const long length = BIO_get_mem_data(pem.get(), &text);
    const QByteArray encoded(text, int(length));
#ifdef Q_OS_UNIX
    // Made owner-only from the start, and never over an existing key.
    const int fd = ::open(QFile::encodeName(keyFile).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        *error = QStringLiteral("could not create %1 (it must not exist yet)").arg(keyFile);
        return QString();
    }
#else
    QFile file(keyFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QStringLiteral("could not create %1 (it must not exist yet)").arg(keyFile);
        return QString();
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
    if (file.write(encoded) != encoded.size() || !file.flush()) {
        *error = QStringLiteral("could not write %1").arg(keyFile);
        return QString();
    }
    unsigned char raw[keySize];
    size_t rawLength = sizeof raw;
    if (EVP_PKEY_get_raw_public_key(key.get(), raw, &rawLength) != 1) {
        *error = QStringLiteral("could not read the public key");
        return QString();
    }
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(raw), int(rawLength)).toBase64());
}

QByteArray Signing::sign(const QByteArray &data, const QString &keyFile, QString *error)
{
    QFile file(keyFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("could not read %1: %2").arg(keyFile, file.errorString());
        return QByteArray();
    }
    const QByteArray encoded = file.readAll();
    Bio pem(BIO_new_mem_buf(encoded.constData(), int(encoded.size())));
    Pkey key(pem ? PEM_read_bio_PrivateKey(pem.get(), nullptr, nullptr, nullptr) : nullptr);
    MdContext ctx(EVP_MD_CTX_new());
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519 || !ctx
        || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        *error = QStringLiteral("%1 holds no Ed25519 private key").arg(keyFile);
        return QByteArray();
    }
    unsigned char signature[signatureSize];
    size_t length = sizeof signature;
    if (EVP_DigestSign(ctx.get(), signature, &length, reinterpret_cast<const unsigned char *>(data.constData()),
                       size_t(data.size()))
        != 1) {
        *error = QStringLiteral("could not sign");
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char *>(signature), int(length)).toBase64();
}
