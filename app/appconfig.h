#ifndef APPCONFIG_H
#define APPCONFIG_H

#include "app/gamefolder.h"

#include <QList>
#include <QString>
#include <QStringList>

// A game server a movie may open a socket to (XMLSocket, flash.net.Socket):
// as the movie names it, host and port.
struct SocketEndpoint
{
    QString host;
    quint16 port = 0;
    QString text() const;
    bool operator==(const SocketEndpoint &other) const { return host == other.host && port == other.port; }
};

// The settings of "./tarvenholm.ini", read once at start and then used in place
// by the whole program. Only `lang` and `stamp` change at run time; whoever
// changes them also writes the key back to the file.
//
// The keys that say where the game lives (its servers, its key, its sites)
// are the operator's: where the player's own file does not set one, it comes
// from the system's settings file, read at every start, so that what an
// operator changes there reaches every player. The player's file is never
// written with them.
class AppConfig
{
public:
    // The program's one record, loaded on first use.
    static AppConfig *instance();
    // Reads "./tarvenholm.ini" of the current working directory now. The program
    // itself only ever uses instance(); a record of its own is for tools and tests.
    AppConfig();

    // Absolute path of the battle movie below the current working directory.
    QString battleMoviePath() const;

    // Parses the `intbrowser` entries ("title:key@url") into the three lists below;
    // malformed entries are dropped.
    void parseIntBrowser(const QStringList &entries);
    // Splits the `extbrowser` text at every comma, keeping empty pieces.
    static QStringList splitExtBrowser(const QString &text);
    static QStringList defaultIntBrowser();
    // "host:port" entries, comma separated ("[::1]:9000" for an IPv6
    // address); malformed entries are dropped with a diagnostic line.
    static QList<SocketEndpoint> parseSockets(const QString &text);

    QString lang;
    QString updateroot;
    QString urlgame;
    QString urlbattle;
    QString style;
    QString email;
    QString web;
    QString forum;
    QStringList extbrowser;
    QStringList intbrowserTitles;
    QStringList intbrowserKeys;
    QStringList intbrowserUrls;
    qint64 stamp = 0;
    int width = 1000;
    int height = 900;
    bool ignorecrc = true;
    // The operator's public key (base64 of an Ed25519 key): when set, updates
    // are installed only as a manifest signed with it says.
    QString updatekey;
    // The game's socket servers, the only ones movies may connect to.
    QList<SocketEndpoint> sockets;

    // "./tarvenholm.ini"
    static QString fileName() { return GameFolder::relative(GameFolder::settings); }
    // The system's settings: "/etc/tarvenholm/tarvenholm.ini", or where the
    // environment variable of that name says (the launcher of an unpacked
    // package; tests). Empty: none.
    static QString systemFileName();
    static constexpr const char *systemFileVariable = "TARVENHOLM_SYSTEM_SETTINGS";
    // The keys the system's file may give.
    static const QStringList &operatorKeys();
    // Why the system's file is not to be trusted (another user could change
    // it or its folder), or empty.
    static QString untrustedBecause(const QString &path);

private:
    Q_DISABLE_COPY(AppConfig)
    void load();
    static QString systemLanguage();
};

#endif // APPCONFIG_H
