#include "app/commandline.h"

#include "app/clientversion.h"

#include <QtWebEngineCore/qtwebenginecoreglobal.h>

#include <cstdio>
#include <cstring>

QString CommandLine::versionText()
{
    return QStringLiteral("TarvenHOLM %1 (Qt %2, Qt WebEngine %3 with Chromium %4, Ruffle %5)\n")
        .arg(QLatin1String(ClientVersion::number), QLatin1String(qVersion()), QLatin1String(qWebEngineVersion()),
             QLatin1String(qWebEngineChromiumVersion()), QLatin1String(TARVEN_RUFFLE_VERSION));
}

QString CommandLine::helpText()
{
    return QStringLiteral("Usage: tarvenholm [--version | --help]\n"
                          "Starts TarvenHOLM in the game folder (the working folder): brings its content up to\n"
                          "date from the game's server and shows the game. Settings: ./tarvenholm.ini.\n"
                          "  --version  the client's version, and Qt's, Qt WebEngine's and Ruffle's\n"
                          "  --help     this text\n"
                          "Qt's own options (-style, -platform, ...) are passed on to it.\n");
}

int CommandLine::answer(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        QString text;
        if (std::strcmp(argv[i], "--version") == 0)
            text = versionText();
        else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            text = helpText();
        else
            continue;
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    return -1;
}
