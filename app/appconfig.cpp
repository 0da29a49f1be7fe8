#include "app/appconfig.h"

#include <QDebug>
#include <QDir>
#include <QLocale>
#include <QFileInfo>
#include <QSettings>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

AppConfig *AppConfig::instance()
{
    // Function-local static: created on first use (before QApplication exists),
    // thread-safe initialisation, destroyed at process exit.
    static AppConfig config;
    return &config;
}

AppConfig::AppConfig()
{
    load();
}

QStringList AppConfig::defaultIntBrowser()
{
    return {QStringLiteral("Guild Hall:guildhall@http://www.guildhall-tarven.net/"),
            QStringLiteral("Arena Stats:arenastat@http://arenastat.net/tarvenholm/")};
}

QString AppConfig::systemLanguage()
{
    const QLocale::Language language = QLocale::system().language();
    qDebug() << "System Language:" << QLocale::languageToString(language);
    qDebug() << "System LocaleId:" << int(language);
    return language == QLocale::Russian ? QStringLiteral("ru") : QStringLiteral("en");
}

static bool toTruth(const QString &text)
{
    return !(text.isEmpty() || text == QLatin1String("0")
             || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
}

QString AppConfig::systemFileName()
{
    if (qEnvironmentVariableIsSet(systemFileVariable))
        return qEnvironmentVariable(systemFileVariable);
#ifdef Q_OS_UNIX
    return QStringLiteral("/etc/tarvenholm/tarvenholm.ini");
#else
    return QString();
#endif
}

const QStringList &AppConfig::operatorKeys()
{
    static const QStringList keys = {"updateroot", "updatekey", "sockets", "forum", "web", "email", "intbrowser",
                                     "extbrowser"};
    return keys;
}

QString AppConfig::untrustedBecause(const QString &path)
{
    // The file and the folder it is in, where any link leads: the key that
    // updates are verified with comes from here.
    const QFileInfo file(QFileInfo(path).canonicalFilePath());
    for (const QFileInfo &place : {file, QFileInfo(file.path())}) {
#ifdef Q_OS_UNIX
        if (place.ownerId() != 0 && place.ownerId() != ::geteuid())
            return place.filePath() + QStringLiteral(" belongs to another user");
#endif
        if (place.permissions() & (QFile::WriteGroup | QFile::WriteOther))
            return place.filePath() + QStringLiteral(" can be written by other users");
    }
    return QString();
}

void AppConfig::load()
{
    QSettings own(fileName(), QSettings::IniFormat);
    std::unique_ptr<QSettings> system;
    const QString systemFile = systemFileName();
    if (!systemFile.isEmpty() && QFileInfo(systemFile).isFile()) {
        const QString untrusted = untrustedBecause(systemFile);
        if (untrusted.isEmpty()) {
            system = std::make_unique<QSettings>(systemFile, QSettings::IniFormat);
            qDebug() << "System settings:" << systemFile;
        } else {
            qDebug() << "System settings not read:" << systemFile << untrusted;
        }
    }
    // The player's own value, else the operator's where the key is theirs.
    struct Settings {
        QSettings &own;
        QSettings *system;
        QVariant value(const QString &key, const QVariant &fallback = QVariant()) const
        {
            if (system && !own.contains(key) && operatorKeys().contains(key) && system->contains(key))
                return system->value(key);
            return own.value(key, fallback);
        }
    } settings{own, system.get()};

    lang = settings.value("lang").toString();
    if (lang.isEmpty()) {
        lang = systemLanguage();
        QSettings writer(fileName(), QSettings::IniFormat);
        writer.setValue("lang", lang);
    }
    width = settings.value("width", 1000).toInt();
    height = settings.value("height", 900).toInt();
    updateroot = settings.value("updateroot", "http://www.tarvenholm.com/").toString();
    stamp = settings.value("stamp", 0).toLongLong();
    urlgame = settings.value("urlgame", "./content/loader.swf").toString();
    urlbattle = settings.value("urlbattle", "./content/battle.swf").toString();
    style = settings.value("style", "plastique").toString();
    ignorecrc = toTruth(settings.value("ignorecrc", "true").toString());
    updatekey = settings.value("updatekey").toString().trimmed();
    // Written without its quotes the value reads as a list; it still means the
    // same comma-separated text (read as one text it would be empty, and an
    // empty entry would send every link, the game's own included, outside).
    // "https:" too: "http:" is not part of it, and an outside https link would
    // otherwise replace the game in its tab. A value the user set stays as it is.
    const QVariant ext = settings.value("extbrowser", "http:,https:,mailto:");
    extbrowser = splitExtBrowser(ext.typeId() == QMetaType::QStringList ? ext.toStringList().join(QLatin1Char(','))
                                                                    : ext.toString());
    parseIntBrowser(settings.value("intbrowser", defaultIntBrowser()).toStringList());
    // As extbrowser: written without quotes the value reads as a list.
    const QVariant sockets = settings.value("sockets");
    this->sockets = parseSockets(sockets.typeId() == QMetaType::QStringList ? sockets.toStringList().join(QLatin1Char(','))
                                                                          : sockets.toString());
    email = settings.value("email", "support@tarvenholm.com").toString();
    web = settings.value("web", "http://www.tarvenholm.com/").toString();
    forum = settings.value("forum", "http://forum.tarvenholm.com/").toString();
}

QStringList AppConfig::splitExtBrowser(const QString &text)
{
    return text.split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

void AppConfig::parseIntBrowser(const QStringList &entries)
{
    intbrowserTitles.clear();
    intbrowserKeys.clear();
    intbrowserUrls.clear();
    qDebug() << "intbrowser count=" << entries.size();
    for (const QString &entry : entries) {
        qDebug() << entry;
        const QStringList atPieces = entry.split(QLatin1Char('@'), Qt::KeepEmptyParts);
        if (atPieces.size() != 2)
            continue;
        const QStringList colonPieces = atPieces.at(0).split(QLatin1Char(':'), Qt::KeepEmptyParts);
        if (colonPieces.size() != 2)
            continue;
        intbrowserTitles << colonPieces.at(0);
        intbrowserKeys << colonPieces.at(1);
        intbrowserUrls << atPieces.at(1);
    }
}

QString SocketEndpoint::text() const
{
    return (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':')
        + QString::number(port);
}

QList<SocketEndpoint> AppConfig::parseSockets(const QString &text)
{
    QList<SocketEndpoint> endpoints;
    const QStringList entries = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &raw : entries) {
        const QString entry = raw.trimmed();
        const int colon = entry.lastIndexOf(QLatin1Char(':'));
        QString host = entry.left(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        bool ok = false;
        const uint port = entry.mid(colon + 1).toUInt(&ok);
        // A host name or address, no path, no blanks, no second port.
        const bool plainHost = !host.isEmpty() && !host.contains(QLatin1Char('/')) && !host.contains(QLatin1Char(' '))
            && (!host.contains(QLatin1Char(':')) || entry.startsWith(QLatin1Char('[')));
        if (colon < 0 || !ok || port == 0 || port > 65535 || !plainHost) {
            qDebug() << "Invalid sockets entry: " << entry;
            continue;
        }
        const SocketEndpoint endpoint{host, quint16(port)};
        if (!endpoints.contains(endpoint))
            endpoints << endpoint;
    }
    return endpoints;
}

QString AppConfig::battleMoviePath() const
{
    QString movie = urlbattle;
    if (movie.startsWith(QLatin1String("./")))
        movie.remove(0, 2);
    return QDir::current().absolutePath() + QLatin1Char('/') + movie;
}
