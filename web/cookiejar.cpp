#include "web/cookiejar.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QNetworkCookie>
#include <QSettings>

const char *const CookieJar::directory = "cookies";

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

QString CookieJar::domainFileName(const QString &domain)
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

QString CookieJar::domainFilePath(const QString &domain)
{
    const QString name = domainFileName(domain);
    // Domains come from servers and from files on disk: whatever they hold, a
    // domain file stays directly inside the cookie folder.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1Char(':')) || name.contains(QChar(0))) {
        return QString();
    }
    return QLatin1String(directory) + QLatin1Char('/') + name;
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
    const QString path = domainFilePath(host);
    if (path.isEmpty() || !QFile::exists(path))
        return;

    QSettings store(path, QSettings::IniFormat);
    QList<QNetworkCookie> cookies;
    const QStringList keys = store.allKeys();
    for (const QString &key : keys) {
        const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(store.value(key).toByteArray());
        for (const QNetworkCookie &cookie : parsed) {
            qDebug() << "loaded cookie ::: " << cookie;
            cookies << cookie;
        }
    }
    setAllCookies(cookies);
}

void CookieJar::save()
{
    qDebug() << "Cookie save";
    const QList<QNetworkCookie> cookies = allCookies();
    qDebug() << "count=" << cookies.size();

    // The store holds login sessions: only the user may read it.
    const QString dirName = QLatin1String(directory);
    if (!QDir(dirName).exists() && QDir().mkdir(dirName))
        QFile::setPermissions(dirName, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    for (const QNetworkCookie &cookie : cookies) {
        const QString path = domainFilePath(cookie.domain());
        if (path.isEmpty()) {
            qDebug() << "Cookie skipped, no usable domain: " << cookie.domain();
            continue;
        }
        {
            QSettings store(path, QSettings::IniFormat);
            store.setValue(QString::fromUtf8(cookie.name()), cookie.toRawForm(QNetworkCookie::Full));
        }
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
}
