#include "app/appconfig.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QSettings>

#include <sys/stat.h>
#include <unistd.h>

class TestAppConfig : public QObject
{
    Q_OBJECT
private slots:
    void noSettingsFile();
    void emptyLangIsDerivedAgain();
    void fields_data();
    void fields();
    void intbrowser_data();
    void intbrowser();
    void garbageFiles_data();
    void garbageFiles();
    void unreadableFile();
    void systemSettings_data();
    void systemSettings();
    void untrustedSystemSettings_data();
    void untrustedSystemSettings();
    void systemLanguage_data();
    void systemLanguage();
    void battleMoviePath_data();
    void battleMoviePath();
};

static QString fieldText(const AppConfig &c, const QString &key)
{
    if (key == "lang") return c.lang;
    if (key == "width") return QString::number(c.width);
    if (key == "height") return QString::number(c.height);
    if (key == "stamp") return QString::number(c.stamp);
    if (key == "ignorecrc") return c.ignorecrc ? "true" : "false";
    if (key == "extbrowser") return c.extbrowser.join('|');
    if (key == "updateroot") return c.updateroot;
    if (key == "urlgame") return c.urlgame;
    if (key == "urlbattle") return c.urlbattle;
    if (key == "style") return c.style;
    if (key == "email") return c.email;
    if (key == "web") return c.web;
    if (key == "forum") return c.forum;
    if (key == "updatekey") return c.updatekey;
    if (key == "intbrowser") return c.intbrowserTitles.join('|');
    if (key == "sockets") {
        QStringList entries;
        for (const SocketEndpoint &endpoint : c.sockets)
            entries << endpoint.text();
        return entries.join('|');
    }
    qFatal("unknown key %s", qPrintable(key));
    return QString();
}

// QSettings caches parsed files by path and modification time: every case gets
// a folder of its own so that no case reads the previous one's file.
static void useSettings(const char *folder, const QByteArray &ini)
{
    static int serial = 0;
    TestEnv::freshDir(QStringLiteral("%1-%2").arg(QLatin1String(folder)).arg(++serial));
    TestEnv::writeFile("tarvenholm.ini", ini);
}

void TestAppConfig::noSettingsFile()
{
    TestEnv::freshDir("nofile");
    MessageLog log;
    AppConfig config;
    QVERIFY(log.contains("System Language: \"C\""));
    QVERIFY(log.contains(QString("System LocaleId: %1").arg(int(QLocale::C))));
    QCOMPARE(config.lang, QString("en")); // the test runs in the C locale
    QCOMPARE(config.width, 1000);
    QCOMPARE(config.height, 900);
    QCOMPARE(config.stamp, 0);
    QCOMPARE(config.ignorecrc, true);
    QCOMPARE(config.urlgame, QString("./content/loader.swf"));
    QCOMPARE(config.urlbattle, QString("./content/battle.swf"));
    QCOMPARE(config.style, QString("plastique"));
    QCOMPARE(config.extbrowser, QStringList({"http:", "https:", "mailto:"}));
    QCOMPARE(config.intbrowserTitles.size(), 2);
    QVERIFY(config.updateroot.startsWith("http://") && config.updateroot.endsWith('/'));
    QVERIFY(config.forum.startsWith("http://"));
    QVERIFY(!config.email.isEmpty() && !config.email.startsWith("mailto:"));

    // The first start leaves a settings file holding only the language.
    QSettings written("tarvenholm.ini", QSettings::IniFormat);
    QCOMPARE(written.allKeys(), QStringList({"lang"}));
    QCOMPARE(written.value("lang").toString(), QString("en"));
}

void TestAppConfig::emptyLangIsDerivedAgain()
{
    useSettings("emptylang", "[General]\nlang=\nwidth=800\n");
    AppConfig config;
    QCOMPARE(config.lang, QString("en"));
    QSettings written("tarvenholm.ini", QSettings::IniFormat);
    QCOMPARE(written.value("lang").toString(), QString("en"));
    QCOMPARE(written.value("width").toInt(), 800);
}

void TestAppConfig::fields_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("lang other") << QByteArray("lang=de\n") << "lang" << "de";
    QTest::newRow("lang upper RU kept") << QByteArray("lang=RU\n") << "lang" << "RU";
    QTest::newRow("width decimal") << QByteArray("width=1234\n") << "width" << "1234";
    QTest::newRow("width word") << QByteArray("width=wide\n") << "width" << "0";
    QTest::newRow("height negative") << QByteArray("height=-5\n") << "height" << "-5";
    QTest::newRow("height zero") << QByteArray("height=0\n") << "height" << "0";
    QTest::newRow("stamp 64-bit") << QByteArray("stamp=1099511627776\n") << "stamp" << "1099511627776";
    QTest::newRow("stamp negative") << QByteArray("stamp=-3\n") << "stamp" << "-3";
    QTest::newRow("stamp word") << QByteArray("stamp=soon\n") << "stamp" << "0";
    QTest::newRow("ignorecrc absent") << QByteArray("") << "ignorecrc" << "true";
    QTest::newRow("ignorecrc FALSE") << QByteArray("ignorecrc=FALSE\n") << "ignorecrc" << "false";
    QTest::newRow("ignorecrc 0") << QByteArray("ignorecrc=0\n") << "ignorecrc" << "false";
    QTest::newRow("ignorecrc empty") << QByteArray("ignorecrc=\n") << "ignorecrc" << "false";
    QTest::newRow("ignorecrc no") << QByteArray("ignorecrc=no\n") << "ignorecrc" << "true";
    QTest::newRow("ignorecrc true") << QByteArray("ignorecrc=true\n") << "ignorecrc" << "true";
    QTest::newRow("extbrowser quoted") << QByteArray("extbrowser=\"http:,mailto:,ftp:\"\n") << "extbrowser" << "http:|mailto:|ftp:";
    QTest::newRow("extbrowser empty") << QByteArray("extbrowser=\n") << "extbrowser" << "";
    QTest::newRow("extbrowser double comma") << QByteArray("extbrowser=\"a,,b\"\n") << "extbrowser" << "a||b";
    QTest::newRow("extbrowser single") << QByteArray("extbrowser=https:\n") << "extbrowser" << "https:";
    // Without quotes the settings format reads a list; it means the same entries.
    QTest::newRow("extbrowser unquoted") << QByteArray("extbrowser=http:,mailto:\n") << "extbrowser" << "http:|mailto:";
    QTest::newRow("updateroot") << QByteArray("updateroot=http://127.0.0.1:1/x/\n") << "updateroot" << "http://127.0.0.1:1/x/";
    QTest::newRow("urlgame") << QByteArray("urlgame=./content/main.html\n") << "urlgame" << "./content/main.html";
    QTest::newRow("urlbattle") << QByteArray("urlbattle=content/b.swf\n") << "urlbattle" << "content/b.swf";
    QTest::newRow("style") << QByteArray("style=nosuchstyle\n") << "style" << "nosuchstyle";
    QTest::newRow("email") << QByteArray("email=help@example.org\n") << "email" << "help@example.org";
    QTest::newRow("web") << QByteArray("web=http://example.org/\n") << "web" << "http://example.org/";
    QTest::newRow("forum text kept") << QByteArray("forum=  spaced  \n") << "forum" << "spaced";
    QTest::newRow("sockets absent") << QByteArray("") << "sockets" << "";
    QTest::newRow("sockets quoted") << QByteArray("sockets=\"game.example.org:9000, [::1]:843\"\n") << "sockets"
                                    << "game.example.org:9000|[::1]:843";
    QTest::newRow("sockets unquoted") << QByteArray("sockets=a.example:1,b.example:2\n") << "sockets" << "a.example:1|b.example:2";
    QTest::newRow("sockets malformed dropped")
        << QByteArray("sockets=\"nohost,a:0,a:70000,:80,ok.example:9,a b:1,a/b:2,::1:5,ok.example:9\"\n") << "sockets"
        << "ok.example:9";
}

void TestAppConfig::fields()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    useSettings("fields", "[General]\n" + ini);
    AppConfig config;
    QCOMPARE(fieldText(config, key), expected);
}

void TestAppConfig::intbrowser_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("rawCount");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("urls");

    QTest::newRow("three in file order")
        << QByteArray("A:a@http://a.net/, B:b@http://b.net/, C:c@http://c.net/") << 3
        << QStringList({"A", "B", "C"}) << QStringList({"a", "b", "c"})
        << QStringList({"http://a.net/", "http://b.net/", "http://c.net/"});
    QTest::newRow("url with port and scheme colons")
        << QByteArray("Wiki:wiki@http://wiki.example:8080/a:b") << 1 << QStringList({"Wiki"})
        << QStringList({"wiki"}) << QStringList({"http://wiki.example:8080/a:b"});
    QTest::newRow("two at signs dropped")
        << QByteArray("A:a@x@http://a.net/, B:b@http://b.net/") << 2 << QStringList({"B"})
        << QStringList({"b"}) << QStringList({"http://b.net/"});
    QTest::newRow("two colons dropped")
        << QByteArray("A:a:z@http://a.net/, B:b@http://b.net/") << 2 << QStringList({"B"})
        << QStringList({"b"}) << QStringList({"http://b.net/"});
    QTest::newRow("no at sign dropped") << QByteArray("plain text") << 1 << QStringList() << QStringList() << QStringList();
    QTest::newRow("empty pieces kept") << QByteArray(":@") << 1 << QStringList({""}) << QStringList({""})
                                       << QStringList({""});
    QTest::newRow("empty value") << QByteArray("") << 1 << QStringList() << QStringList() << QStringList();
    // Settings files are UTF-8: a title typed in Russian reads as typed, and the
    // escaped form earlier clients wrote reads the same.
    QTest::newRow("cyrillic title") << QByteArray("\xD0\x93\xD0\xB8\xD0\xBB\xD1\x8C\xD0\xB4\xD0\xB8\xD1\x8F:guild@http://g.net/")
                                    << 1 << QStringList({QString::fromUtf8("Гильдия")}) << QStringList({"guild"})
                                    << QStringList({"http://g.net/"});
    QTest::newRow("cyrillic title escaped") << QByteArray("\\x413\\x438\\x43b\\x44c\\x434\\x438\\x44f:guild@http://g.net/")
                                            << 1 << QStringList({QString::fromUtf8("Гильдия")})
                                            << QStringList({"guild"}) << QStringList({"http://g.net/"});
}

void TestAppConfig::intbrowser()
{
    QFETCH(QByteArray, value);
    QFETCH(int, rawCount);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, urls);
    useSettings("intbrowser", "[General]\nlang=en\nintbrowser=" + value + "\n");
    MessageLog log;
    AppConfig config;
    QVERIFY2(log.contains(QString("intbrowser count= %1").arg(rawCount)), qPrintable(log.lines().join('\n')));
    QCOMPARE(config.intbrowserTitles, titles);
    QCOMPARE(config.intbrowserKeys, keys);
    QCOMPARE(config.intbrowserUrls, urls);
}

void TestAppConfig::garbageFiles_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("lang");

    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += char((i * 7919 + 13) % 256);
    QTest::newRow("empty") << QByteArray() << 1000 << "en";
    QTest::newRow("binary") << binary << 1000 << "en";
    QTest::newRow("crlf") << QByteArray("[General]\r\nlang=ru\r\nwidth=800\r\n") << 800 << "ru";
    QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF[General]\r\nlang=ru\r\nwidth=800\r\n") << 800 << "ru";
    QTest::newRow("keys in another section") << QByteArray("[Window]\nwidth=5\nlang=ru\n") << 1000 << "en";
    QTest::newRow("no section") << QByteArray("width=640\nlang=ru\n") << 640 << "ru";
    // The open quote runs on to the end of the file, taking the next line with it.
    QTest::newRow("unterminated quote") << QByteArray("lang=\"ru\nwidth=77\n") << 1000 << "ru\nwidth=77\n";
}

void TestAppConfig::garbageFiles()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, width);
    QFETCH(QString, lang);
    useSettings("garbage", ini);
    AppConfig config;
    QCOMPARE(config.width, width);
    QCOMPARE(config.lang, lang);
}

void TestAppConfig::unreadableFile()
{
    // A folder where the file should be: nothing can be read or written there.
    TestEnv::freshDir("unreadable");
    QDir().mkdir("tarvenholm.ini");
    AppConfig config;
    QCOMPARE(config.lang, QString("en"));
    QCOMPARE(config.width, 1000);
    QVERIFY(QFileInfo("tarvenholm.ini").isDir());
}

// The system's settings file, in a folder of its own; the player's file beside the client.
static QString useSystemSettings(const char *folder, const QByteArray &own, const QByteArray &system)
{
    useSettings(folder, own);
    const QString etc = QDir::currentPath() + "-etc";
    QDir().mkpath(etc);
    TestEnv::writeFile(etc + "/tarvenholm.ini", system);
    qputenv(AppConfig::systemFileVariable, (etc + "/tarvenholm.ini").toLocal8Bit());
    return etc + "/tarvenholm.ini";
}

void TestAppConfig::systemSettings_data()
{
    QTest::addColumn<QByteArray>("own");
    QTest::addColumn<QByteArray>("system");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("update server from the operator") << QByteArray("lang=en\n") << QByteArray("updateroot=http://op.example/g/\n")
                                                    << "updateroot" << "http://op.example/g/";
    QTest::newRow("the player's own stays") << QByteArray("updateroot=http://mine.example/\n")
                                           << QByteArray("updateroot=http://op.example/g/\n") << "updateroot"
                                           << "http://mine.example/";
    QTest::newRow("the player's empty value stays") << QByteArray("updatekey=\n") << QByteArray("updatekey=b3BlcmF0b3I=\n")
                                                   << "updatekey" << "";
    QTest::newRow("key from the operator") << QByteArray() << QByteArray("updatekey=b3BlcmF0b3I=\n") << "updatekey"
                                          << "b3BlcmF0b3I=";
    QTest::newRow("sockets from the operator") << QByteArray() << QByteArray("sockets=a.example:1,b.example:2\n")
                                              << "sockets" << "a.example:1|b.example:2";
    QTest::newRow("partner sites from the operator") << QByteArray() << QByteArray("intbrowser=\"A:a@http://a.net/\"\n")
                                                    << "intbrowser" << "A";
    QTest::newRow("outside links from the operator") << QByteArray() << QByteArray("extbrowser=\"https:,mailto:\"\n")
                                                    << "extbrowser" << "https:|mailto:";
    QTest::newRow("forum from the operator") << QByteArray() << QByteArray("forum=http://forum.op.example/\n") << "forum"
                                            << "http://forum.op.example/";
    // What is the player's never comes from the operator.
    QTest::newRow("stamp is the player's") << QByteArray() << QByteArray("stamp=99\n") << "stamp" << "0";
    QTest::newRow("language is the player's") << QByteArray() << QByteArray("lang=ru\n") << "lang" << "en";
    QTest::newRow("crc rule is the player's") << QByteArray() << QByteArray("ignorecrc=false\n") << "ignorecrc" << "true";
    QTest::newRow("window size is the player's") << QByteArray() << QByteArray("width=300\n") << "width" << "1000";
}

void TestAppConfig::systemSettings()
{
    QFETCH(QByteArray, own);
    QFETCH(QByteArray, system);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString file = useSystemSettings("system", "[General]\n" + own, "[General]\n" + system);
    MessageLog log;
    AppConfig config;
    QCOMPARE(fieldText(config, key), expected);
    QVERIFY(log.contains(debugLine("System settings:", file)));
    // Nothing of the operator's is written into the player's file.
    const QSettings written("tarvenholm.ini", QSettings::IniFormat);
    for (const QString &writtenKey : written.allKeys())
        QVERIFY2(own.contains(writtenKey.toUtf8() + '=') || writtenKey == "lang", qPrintable(writtenKey));
    qunsetenv(AppConfig::systemFileVariable);
}

// A file another user could change is not taken: its key would decide what
// content is installed.
void TestAppConfig::untrustedSystemSettings_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("why"); // the place named, from the file's folder
    QTest::newRow("trusted") << "" << "";
    QTest::newRow("file writable by the group") << "file 0664" << "tarvenholm.ini can be written by other users";
    QTest::newRow("file writable by everyone") << "file 0646" << "tarvenholm.ini can be written by other users";
    QTest::newRow("folder writable by everyone") << "folder 01777" << ". can be written by other users";
    QTest::newRow("link into a folder everyone writes") << "link" << "shared can be written by other users";
    QTest::newRow("another user's file") << "owner" << "tarvenholm.ini belongs to another user";
}

void TestAppConfig::untrustedSystemSettings()
{
    QFETCH(QString, how);
    QFETCH(QString, why);
    QString file = useSystemSettings("untrusted", "[General]\n", "[General]\nupdatekey=b3BlcmF0b3I=\n");
    const QString etc = QFileInfo(file).path();
    if (how.startsWith("file ") || how.startsWith("folder ")) {
        const QString target = how.startsWith("file ") ? file : etc;
        QVERIFY(::chmod(QFile::encodeName(target).constData(), how.section(' ', 1).toUInt(nullptr, 8)) == 0);
    } else if (how == "link") {
        QDir().mkpath(etc + "/shared");
        QVERIFY(::chmod(QFile::encodeName(etc + "/shared").constData(), 01777) == 0);
        QVERIFY(QFile::rename(file, etc + "/shared/tarvenholm.ini"));
        QVERIFY(QFile::link(etc + "/shared/tarvenholm.ini", file));
    } else if (how == "owner") {
        if (::geteuid() != 0)
            QSKIP("giving a file to another user needs root");
        QVERIFY(::chown(QFile::encodeName(file).constData(), 65534, 65534) == 0);
    }
    MessageLog log;
    AppConfig config;
    if (why.isEmpty()) {
        QCOMPARE(config.updatekey, QString("b3BlcmF0b3I="));
    } else {
        const QString reason = why.startsWith(". ") ? etc + why.mid(1) : etc + "/" + why;
        QVERIFY2(log.contains(debugLine("System settings not read:", file, reason)), qPrintable(log.lines().join('\n')));
        QCOMPARE(config.updatekey, QString());
    }
    ::chmod(QFile::encodeName(etc).constData(), 0755);
    qunsetenv(AppConfig::systemFileVariable);
}

void TestAppConfig::systemLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("lang");
    // The number is Qt's own for the language (Qt 6 renumbered them: Russian was 96).
    QTest::newRow("russian") << "ru_RU.UTF-8" << "Russian" << 239 << "ru";
    QTest::newRow("german") << "de_DE.UTF-8" << "German" << 94 << "en";
}

void TestAppConfig::systemLanguage()
{
    QFETCH(QString, locale);
    QFETCH(QString, language);
    QFETCH(int, id);
    QFETCH(QString, lang);
    // The system locale is read once per process, so each language gets a process of its own.
    const QString dir = TestEnv::freshDir("locale-" + lang);
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    env.remove("LANGUAGE");
    env.insert("LANG", locale);
    probe.setProcessEnvironment(env);
    probe.setWorkingDirectory(dir);
    probe.start(TestEnv::binaryDir() + "/tests/configprobe", QStringList());
    QVERIFY(probe.waitForFinished(10000));
    const QString err = QString::fromUtf8(probe.readAllStandardError());
    QVERIFY2(err.contains(QString("System Language: \"%1\"").arg(language)), qPrintable(err));
    QVERIFY2(err.contains(QString("System LocaleId: %1").arg(id)), qPrintable(err));
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), "lang=" + lang);
    QSettings written(dir + "/tarvenholm.ini", QSettings::IniFormat);
    QCOMPARE(written.value("lang").toString(), lang);
}

void TestAppConfig::battleMoviePath_data()
{
    QTest::addColumn<QString>("urlbattle");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("default") << "./content/battle.swf" << "/content/battle.swf";
    QTest::newRow("no dot slash") << "content/b.swf" << "/content/b.swf";
    QTest::newRow("absolute stays behind") << "/abs/b.swf" << "//abs/b.swf";
    QTest::newRow("dot only once") << "././b.swf" << "/./b.swf";
}

void TestAppConfig::battleMoviePath()
{
    QFETCH(QString, urlbattle);
    QFETCH(QString, suffix);
    const QString dir = TestEnv::freshDir("battle");
    AppConfig config;
    config.urlbattle = urlbattle;
    QCOMPARE(config.battleMoviePath(), QDir(dir).absolutePath() + suffix);
}

TARVEN_TEST_MAIN(TestAppConfig)
#include "tst_appconfig.moc"
