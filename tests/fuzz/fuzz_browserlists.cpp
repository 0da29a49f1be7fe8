// The settings' partner-site entries ("title:key@url", comma separated) and the
// external-browser list.
#include "app/appconfig.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    silenceMessages();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    static AppConfig *config = [] {
        silenceMessages();
        return AppConfig::instance();
    }();
    const QStringList entries = text.split(QLatin1Char(','));
    config->parseIntBrowser(entries);
    FUZZ_ASSERT(config->intbrowserTitles.size() == config->intbrowserKeys.size());
    FUZZ_ASSERT(config->intbrowserKeys.size() == config->intbrowserUrls.size());
    FUZZ_ASSERT(config->intbrowserTitles.size() <= entries.size());
    for (int i = 0; i < config->intbrowserTitles.size(); ++i) {
        FUZZ_ASSERT(!config->intbrowserTitles.at(i).contains(QLatin1Char(':')));
        FUZZ_ASSERT(!config->intbrowserKeys.at(i).contains(QLatin1Char('@')));
        FUZZ_ASSERT(!config->intbrowserUrls.at(i).contains(QLatin1Char('@')));
    }
    const QStringList ext = AppConfig::splitExtBrowser(text);
    FUZZ_ASSERT(ext.join(QLatin1Char(',')) == text);
    return 0;
}
