// Loads the settings of the current folder as the client does at start, before
// any application object exists, and prints what it read.
#include "app/appconfig.h"

#include <cstdio>

int main()
{
    const AppConfig *config = AppConfig::instance();
    std::printf("lang=%s\n", qPrintable(config->lang));
    return 0;
}
