// The signed manifest "update/manifest", as the client reads it once its
// signature has been checked.
#include "fuzzcommon.h"
#include "updater/manifest.h"
#include "updater/signedmanifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    SignedManifest manifest;
    if (SignedManifest::parse(bytes, &manifest)) {
        // Whatever is accepted names files inside the content folder only,
        // and reads back as the very same bytes.
        for (const SignedManifest::File &file : manifest.files)
            FUZZ_ASSERT(isSafeContentName(file.name) && file.sha256.size() == 64 && file.size >= 0);
        FUZZ_ASSERT(manifest.text() == bytes);
    }
    return 0;
}
