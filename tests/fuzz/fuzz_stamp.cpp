// The first line of update/stamp.txt.
#include "fuzzcommon.h"
#include "updater/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString line = manifestLineText(bytes.left(bytes.indexOf('\n') + 1 > 0 ? bytes.indexOf('\n') + 1 : bytes.size()));
    qint64 stamp = 0;
    if (parseStampLine(line, stamp)) {
        // An accepted stamp reads back as the same number.
        qint64 again = 0;
        FUZZ_ASSERT(parseStampLine(QString::number(stamp), again) && again == stamp);
    }
    return 0;
}
