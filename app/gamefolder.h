#ifndef GAMEFOLDER_H
#define GAMEFOLDER_H

#include <QDir>
#include <QString>

// The game folder, where the launcher starts the client (its working folder),
// and what the client keeps in it. The names are the game's: installed games
// and the update server rely on them.
namespace GameFolder {
// The game's files, kept up to date from the server and trusted as the Flash
// Player trusted them.
constexpr const char *content = "content";
// One cookie file per site's registrable domain.
constexpr const char *cookies = "cookies";
// The update's working files, the player's alone.
constexpr const char *update = ".update";
// The game tab's page storage (movies' saved data), the player's alone.
constexpr const char *webData = ".webdata";
// The client's settings.
constexpr const char *settings = "tarvenholm.ini";
// This run's diagnostic lines, and the previous run's.
constexpr const char *log = "tarvenholm.log";
constexpr const char *oldLog = "tarvenholm.old.log";

// "./<part>", as the client names it in messages and settings.
inline QString relative(const char *part)
{
    return QLatin1String("./") + QLatin1String(part);
}
// The part's absolute path in the current working folder.
inline QString absolute(const char *part)
{
    return QDir::currentPath() + QLatin1Char('/') + QLatin1String(part);
}
} // namespace GameFolder

#endif // GAMEFOLDER_H
