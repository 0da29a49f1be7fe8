#include "web/cookiejar.h"

#include "app/gamefolder.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSettings>

#include <libpsl.h>

const char *const CookieJar::directory = GameFolder::cookies;

CookieJar::CookieJar(QObject *parent)
    : QNetworkCookieJar(parent)
{
    qDebug() << "Cookie ctor";
}

CookieJar::~CookieJar()
{
    const QList<QNetworkCookie> cookies = allCookies();
    qDebug() << "Cookie dtor: allCokies count=" << cookies.size();
    for (const QNetworkCookie &cookie : cookies)
        qDebug() << cookie;
    save();
}

static bool isExpired(const QNetworkCookie &cookie, const QDateTime &now)
{
    return !cookie.isSessionCookie() && cookie.expirationDate() <= now;
}

// The public suffix list: the system's when it has one, else the library's own.
static const psl_ctx_t *suffixes()
{
    static const psl_ctx_t *list = [] {
        const psl_ctx_t *latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

QString CookieJar::domainFileName(const QString &domain)
{
    QString host = domain.startsWith(QLatin1Char('.')) ? domain.mid(1) : domain;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    // Hosts given as addresses: each address is a site of its own.
    QHostAddress address;
    if (address.setAddress(host)) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toString();
        if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            // Colons are not allowed in file names everywhere.
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            QStringList groups;
            for (int i = 0; i < 16; i += 2)
                groups << QString::number((bytes[i] << 8) | bytes[i + 1], 16);
            return groups.join(QLatin1Char('-'));
        }
    }
    // The list knows host names; anything with control characters is none.
    for (const QChar c : std::as_const(host)) {
        if (c.unicode() < 0x20)
            return host;
    }
    const QByteArray name = host.toLower().toUtf8();
    const char *registrable = suffixes() ? psl_registrable_domain(suffixes(), name.constData()) : nullptr;
    return registrable ? QString::fromUtf8(registrable) : host;
}

QString CookieJar::legacyDomainFileName(const QString &domain)
{
    QString name = domain;
    int dots = 0;
    for (int i = name.size() - 1; i >= 0; --i) {
        if (name.at(i) == QLatin1Char('.') && ++dots == 2) {
            name.remove(0, i);
            break;
        }
    }
    if (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    return name;
}

QString CookieJar::pathFor(const QString &name)
{
    // Domains come from servers and from files on disk: whatever they hold, a
    // domain file stays directly inside the cookie folder.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1Char(':')) || name.contains(QChar(0))) {
        return QString();
    }
    return QLatin1String(directory) + QLatin1Char('/') + name;
}

QString CookieJar::domainFilePath(const QString &domain)
{
    return pathFor(domainFileName(domain));
}

QList<QNetworkCookie> CookieJar::read(const QString &path)
{
    QList<QNetworkCookie> cookies;
    if (path.isEmpty() || !QFile::exists(path))
        return cookies;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QSettings store(path, QSettings::IniFormat);
    const QStringList keys = store.allKeys();
    for (const QString &key : keys) {
        const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(store.value(key).toByteArray());
        for (const QNetworkCookie &cookie : parsed) {
            if (isExpired(cookie, now))
                continue;
            qDebug() << "loaded cookie ::: " << cookie;
            cookies << cookie;
        }
    }
    return cookies;
}

void CookieJar::load(const QUrl &url)
{
    m_site = url;
    const QString host = url.host();
    if (host.isEmpty())
        return;
    qDebug() << "Cookie load for " << host;
    if (!QDir(QLatin1String(directory)).exists())
        return;

    // A file of the earlier naming first; the file of today's name has the last word.
    QList<QNetworkCookie> cookies;
    const QString path = domainFilePath(host);
    const QString legacy = pathFor(legacyDomainFileName(host));
    m_loaded = QStringList({path, legacy});
    if (legacy != path)
        cookies = read(legacy);
    for (const QNetworkCookie &cookie : read(path)) {
        cookies.erase(std::remove_if(cookies.begin(), cookies.end(),
                                     [&](const QNetworkCookie &c) { return c.hasSameIdentifier(cookie); }),
                      cookies.end());
        cookies << cookie;
    }
    setAllCookies(cookies);
}

void CookieJar::keep(const QNetworkCookie &cookie)
{
    m_dropped.erase(std::remove_if(m_dropped.begin(), m_dropped.end(),
                                   [&](const QNetworkCookie &c) { return c.hasSameIdentifier(cookie); }),
                    m_dropped.end());
    insertCookie(cookie);
}

void CookieJar::drop(const QNetworkCookie &cookie)
{
    deleteCookie(cookie);
    m_dropped << cookie;
}

// A cookie is known by its name, domain and path: two of one name (for "/"
// and "/forum/", or for two hosts of one site) are two entries. The key
// holds no "/", which settings files take for a group.
QString CookieJar::entryKey(const QNetworkCookie &cookie)
{
    return QString::fromUtf8(cookie.name()) + QLatin1Char('@')
        + QString::fromLatin1(QUrl::toPercentEncoding(cookie.domain() + cookie.path()));
}

// Removes the entries of a store that hold this cookie, under any key (files
// of the earlier form keep a cookie under its name alone), except `keep`.
static void removeEntries(QSettings &store, const QNetworkCookie &cookie, const QString &keep = QString())
{
    const QStringList keys = store.allKeys();
    for (const QString &key : keys) {
        if (key == keep)
            continue;
        const QList<QNetworkCookie> stored = QNetworkCookie::parseCookies(store.value(key).toByteArray());
        if (!stored.isEmpty() && stored.first().hasSameIdentifier(cookie))
            store.remove(key);
    }
}

// Removes the cookie from its domain files (today's and the earlier naming's).
void CookieJar::forget(const QNetworkCookie &cookie)
{
    for (const QString &path : {domainFilePath(cookie.domain()), pathFor(legacyDomainFileName(cookie.domain()))}) {
        if (path.isEmpty() || !QFile::exists(path))
            continue;
        QSettings store(path, QSettings::IniFormat);
        removeEntries(store, cookie);
    }
}

// Removes the entries of a domain file whose cookies have expired.
void CookieJar::dropExpired(const QString &path)
{
    if (path.isEmpty() || !QFile::exists(path))
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QSettings store(path, QSettings::IniFormat);
    const QStringList keys = store.allKeys();
    for (const QString &key : keys) {
        const QList<QNetworkCookie> stored = QNetworkCookie::parseCookies(store.value(key).toByteArray());
        if (!stored.isEmpty() && isExpired(stored.first(), now))
            store.remove(key);
    }
}

void CookieJar::save()
{
    qDebug() << "Cookie save";
    const QList<QNetworkCookie> cookies = allCookies();
    qDebug() << "count=" << cookies.size();

    // The store holds login sessions: only the user may read it.
    const QString dirName = QLatin1String(directory);
    if (QDir(dirName).exists() || QDir().mkdir(dirName))
        QFile::setPermissions(dirName, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // What the servers deleted, or what expired, goes from the store: a
    // session the player ended stays ended.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QNetworkCookie &cookie : std::as_const(m_dropped))
        forget(cookie);
    for (const QString &path : std::as_const(m_loaded))
        dropExpired(path);
    for (const QNetworkCookie &cookie : cookies) {
        if (isExpired(cookie, now)) {
            forget(cookie);
            continue;
        }
        const QString path = domainFilePath(cookie.domain());
        if (path.isEmpty()) {
            qDebug() << "Cookie skipped, no usable domain: " << cookie.domain();
            continue;
        }
        {
            QSettings store(path, QSettings::IniFormat);
            const QString key = entryKey(cookie);
            removeEntries(store, cookie, key); // an entry of the earlier form
            store.setValue(key, cookie.toRawForm(QNetworkCookie::Full));
        }
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
}
