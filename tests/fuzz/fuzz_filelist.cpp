// One line of update/files.txt: parsing and the content-folder name check.
// Whatever the server sends, an accepted name stays below "./content/".
#include "fuzzcommon.h"
#include "updater/manifest.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    silenceMessages();
    const QString line = manifestLineText(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    QString name;
    quint32 crc = 0;
    if (!parseFileInfo(line, name, crc))
        return 0;
    FUZZ_ASSERT(!name.contains(QLatin1Char(',')));
    if (!isSafeContentName(name))
        return 0;
    const QString path = contentPath(name);
    const QString clean = QDir::cleanPath(path);
    FUZZ_ASSERT(clean.startsWith(QLatin1String("content/")));
    FUZZ_ASSERT(clean == path.mid(2)); // nothing for cleanPath to fold away
    FUZZ_ASSERT(!serverUrl(QStringLiteral("http://127.0.0.1/root/"), name).isEmpty());
    return 0;
}
