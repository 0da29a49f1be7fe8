#ifndef COOKIEJAR_H
#define COOKIEJAR_H

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

// A tab's cookie jar that keeps logins between runs: it reads the stored
// cookies of its site when the tab opens and writes all of its cookies when the
// tab is closed, one INI file per domain in the folder "cookies".
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

    // The last two dot-separated labels of a host or cookie domain, without a leading dot.
    static QString domainFileName(const QString &domain);
    // The domain file's path, or an empty string when the name could leave the folder.
    static QString domainFilePath(const QString &domain);

    static const char *const directory;

public slots:
    // The web engine keeps the cookies; the jar follows what it is given and loses.
    void keep(const QNetworkCookie &cookie) { insertCookie(cookie); }
    void drop(const QNetworkCookie &cookie) { deleteCookie(cookie); }

private:
    QUrl m_site;
};

#endif // COOKIEJAR_H
