#ifndef COOKIEFILES_H
#define COOKIEFILES_H

#include <QNetworkCookie>
#include <QSettings>
#include <QStringList>

// What a cookie domain file holds, whatever its entries' keys: the cookies
// (name, domain and path), and the names sorted.
inline QList<QNetworkCookie> storedCookies(const QString &path)
{
    QList<QNetworkCookie> cookies;
    QSettings store(path, QSettings::IniFormat);
    for (const QString &key : store.allKeys())
        cookies += QNetworkCookie::parseCookies(store.value(key).toByteArray());
    return cookies;
}

inline QStringList storedNames(const QString &path)
{
    QStringList names;
    for (const QNetworkCookie &cookie : storedCookies(path))
        names << QString::fromUtf8(cookie.name());
    names.sort();
    return names;
}

// The raw form of the stored cookie of that name (the first, if several).
inline QByteArray storedValue(const QString &path, const QByteArray &name)
{
    for (const QNetworkCookie &cookie : storedCookies(path)) {
        if (cookie.name() == name)
            return cookie.toRawForm();
    }
    return QByteArray();
}

#endif // COOKIEFILES_H
