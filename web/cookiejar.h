#ifndef COOKIEJAR_H
#define COOKIEJAR_H

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

// A tab's cookie jar that keeps logins between runs: it reads the stored
// cookies of its site when the tab opens and writes all of its cookies when the
// tab is closed, one INI file per domain in the folder "cookies". Cookies the
// tab saw deleted, and expired ones, leave the store.
class CookieJar : public QNetworkCookieJar
{
    Q_OBJECT
public:
    explicit CookieJar(QObject *parent = nullptr);
    ~CookieJar() override;

    void load(const QUrl &url);
    void save();

    QList<QNetworkCookie> cookies() const { return allCookies(); }
    // The URL the jar was loaded for: where cookies stored without a domain belong.
    QUrl site() const { return m_site; }

    // The domain file's name for a host or cookie domain: its registrable
    // domain ("bank.co.uk", "example.org"), a whole IPv4 address, an IPv6
    // address with "-" between its eight groups, or the host itself when it
    // has no registrable part (a single label, a public suffix).
    static QString domainFileName(const QString &domain);
    // The name earlier clients used: the last two dot-separated labels. Their
    // files are still read, so that nobody loses a login by the change.
    static QString legacyDomainFileName(const QString &domain);
    // The domain file's path, or an empty string when the name could leave the folder.
    static QString domainFilePath(const QString &domain);

    static const char *const directory;

public slots:
    // The web engine keeps the cookies; the jar follows what it is given and loses.
    void keep(const QNetworkCookie &cookie);
    void drop(const QNetworkCookie &cookie);

private:
    static QString pathFor(const QString &fileName);
    static QString entryKey(const QNetworkCookie &cookie);
    static QList<QNetworkCookie> read(const QString &path);
    static void forget(const QNetworkCookie &cookie);
    static void dropExpired(const QString &path);

    QUrl m_site;
    QStringList m_loaded; // the domain files the jar was filled from
    QList<QNetworkCookie> m_dropped; // deleted while the tab was open, and not set again
};

#endif // COOKIEJAR_H
