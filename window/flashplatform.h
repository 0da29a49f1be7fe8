#ifndef FLASHPLATFORM_H
#define FLASHPLATFORM_H

#include <QString>

// What the running system offers the Flash Player. Each platform build links
// its own answer.
namespace FlashPlatform {
// The Flash Player's per-user security folder, ending in "/"; empty where this
// system has none the client supports.
QString securityFolder();
}

#endif // FLASHPLATFORM_H
