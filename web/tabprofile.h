#ifndef TABPROFILE_H
#define TABPROFILE_H

#include <QWebEngineProfile>

class CookieJar;

// The web profile of one tab and of the windows its pages open (the engine
// only lets a new window share its opener's profile): cache and cookies kept
// in memory, seen by those pages alone; the request filter, Ruffle's files and
// the movie script every page gets. Given a CookieJar, the profile's
// cookies are also kept on disk between runs. The profile lives as long as one
// of its views does.
class TabProfile : public QWebEngineProfile
{
    Q_OBJECT
public:
    // Takes the jar, which has already loaded the tab's stored cookies.
    explicit TabProfile(CookieJar *jar = nullptr);
    // The game tab's profile: pages' storage (where movies keep their saved
    // data) on disk in the game folder's ".webdata/", owner-only; cookies and
    // cache in memory.
    static TabProfile *forGame();
    static QString gameDataPath();
    ~TabProfile() override;

    CookieJar *cookieJar() const { return jar; }

    // Each view using the profile holds it; the last to let go deletes it.
    // A page must be gone before its profile, so views release it only after
    // deleting their page.
    void retain() { ++users; }
    void release();

private:
    TabProfile(const QString &storageName, CookieJar *jar);
    void setUp();

    CookieJar *jar;
    int users = 0;
};

#endif // TABPROFILE_H
