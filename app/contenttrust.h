#ifndef CONTENTTRUST_H
#define CONTENTTRUST_H

#include <QString>
#include <QUrl>

// Whether something is the content folder's. The game's own files are trusted
// as the Flash Player trusted its local folder: their movies reach the game's
// servers, their pages open windows and fill the screen on their own. This is
// the one place that answers; trust goes to the frame that asks, never to the
// page around it, so callers ask about the asking frame's own URL or origin.
namespace ContentTrust {
// A local file inside "./content/" once links and ".." are resolved.
bool isContentFile(const QString &path);

// Ruffle does not load file: URLs; the page script hands it a movie's local
// URLs under this scheme instead, and Ruffle navigates to them so too.
extern const char *const aliasScheme;
bool isAlias(const QUrl &url);
// The file: URL an alias stands for.
QUrl fromAlias(const QUrl &alias);

// A URL of a content file, spelled file: or as the alias.
bool isContent(const QUrl &url);

// An origin (a request's initiator) of a content frame. The engine gives a
// local file's frame the origin "file://", and a local file is served only
// from the content folder (the request filter); a sandboxed or data: frame
// has an opaque origin ("null"), which is never the content folder's.
bool isContentOrigin(const QUrl &origin);

// The engine's pattern (a user script's @include) for the URLs of the frames
// the content folder's page scripts go to: local files, which are only ever
// the content folder's.
QString frameGlob();

// An outside statistics counter whose requests are never made.
extern const char *const blockedHostFragment;
bool isBlocked(const QString &url);
// A URL the client itself may fetch for a page's movie: http or https, not blocked.
bool mayFetch(const QUrl &url);
} // namespace ContentTrust

#endif // CONTENTTRUST_H
