#ifndef APPCONFIG_H
#define APPCONFIG_H

#include <QString>
#include <QStringList>

// The settings of "./tarvenholm.ini", read once at start and then used in place
// by the whole program. Only `lang` and `stamp` change at run time; whoever
// changes them also writes the key back to the file.
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

    static const char *const fileName;

private:
    Q_DISABLE_COPY(AppConfig)
    void load();
    static QString systemLanguage();
};

#endif // APPCONFIG_H
