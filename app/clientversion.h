#ifndef CLIENTVERSION_H
#define CLIENTVERSION_H

#include <QString>

// What the game's servers see of the client in its requests: its name and
// version, so that they can tell clients apart and support can ask for one.
namespace ClientVersion {
constexpr const char *number = TARVEN_VERSION;
// The update's and the client's own requests.
constexpr const char *product = "TarvenHOLM/" TARVEN_VERSION;

// A page's and its movies' requests: the engine's browser string, which
// pages look at, with the client named after it.
inline QString pageAgent(const QString &engineAgent)
{
    return engineAgent + QLatin1Char(' ') + QLatin1String(product);
}
} // namespace ClientVersion

#endif // CLIENTVERSION_H
