// The log file players send to support: every diagnostic line, bounded, the
// previous run kept, and nothing that was at its name before written into.
#include "app/logfile.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

class TestLogFile : public QObject
{
    Q_OBJECT
private slots:
    void logFile_data();
    void logFile();
};

void TestLogFile::logFile_data()
{
    QTest::addColumn<QString>("before"); // what the folder holds at the start
    QTest::addColumn<int>("lines");      // diagnostic lines of 50 characters written
    QTest::addColumn<QString>("log");    // "lines N": N lines; "full": lines up to the bound, then the full line; "none"
    QTest::addColumn<QString>("old");    // the previous run's file afterwards: its text, or "-" for none
    QTest::newRow("first run") << "" << 3 << "lines 3" << "-";
    QTest::newRow("the previous run kept") << "log" << 2 << "lines 2" << "earlier run\n";
    QTest::newRow("the run before that goes") << "log old" << 1 << "lines 1" << "earlier run\n";
    // 4096 bytes, some 50 lines of 75 bytes each, and the last word.
    QTest::newRow("bounded") << "" << 200 << "full" << "-";
    // Links are moved or removed, never followed: what they name stays untouched.
    QTest::newRow("a link at the log's name") << "link log" << 1 << "lines 1" << "victim\n";
    QTest::newRow("a link at the old log's name") << "link old" << 1 << "lines 1" << "-";
    // A name nothing can be done with: no log, said so, the run goes on.
    QTest::newRow("both names taken by folders") << "folders" << 1 << "none" << "-";
    // The link cannot be moved away (a folder has the old log's name): it is not opened either.
    QTest::newRow("a link that stays at the log's name") << "link log folder" << 1 << "none" << "-";
}

void TestLogFile::logFile()
{
    QFETCH(QString, before);
    QFETCH(int, lines);
    QFETCH(QString, log);
    QFETCH(QString, old);
    const QString folder = TestEnv::freshDir(QString("log-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
    const QString victim = TestEnv::writeFile(TestEnv::root() + "/victim-" + QString(QTest::currentDataTag()).replace(' ', '-'), "victim\n");
    const QStringList kept = before.split(' ');
    if (kept.contains("log") && !kept.contains("link"))
        TestEnv::writeFile("tarvenholm.log", "earlier run\n");
    if (kept.contains("old") && !kept.contains("link"))
        TestEnv::writeFile("tarvenholm.old.log", "the run before\n");
    if (before.startsWith("link log"))
        QVERIFY(QFile::link(victim, "tarvenholm.log"));
    if (before == "link log folder") {
        QVERIFY(QDir().mkpath("tarvenholm.old.log"));
        TestEnv::writeFile("tarvenholm.old.log/inside", "x");
    }
    if (before == "link old")
        QVERIFY(QFile::link(victim, "tarvenholm.old.log"));
    if (before == "folders") {
        QVERIFY(QDir().mkpath("tarvenholm.log") && QDir().mkpath("tarvenholm.old.log"));
        TestEnv::writeFile("tarvenholm.log/inside", "x");
        TestEnv::writeFile("tarvenholm.old.log/inside", "x");
    }

    const QString error = LogFile::open(folder, 4096);
    auto closeLog = qScopeGuard([] { LogFile::close(); });
    const QString line = QString(50, 'x');
    for (int i = 0; i < lines; ++i)
        qDebug().noquote() << line;
    LogFile::close();

    QCOMPARE(TestEnv::readFile(victim), QByteArray("victim\n"));
    if (log == "none") {
        QVERIFY2(error.startsWith(folder + "/tarvenholm.log: "), qPrintable(error));
        QCOMPARE(LogFile::path(), QString());
        return;
    }
    QCOMPARE(error, QString());
    const QFileInfo info(folder + "/tarvenholm.log");
    QVERIFY(!info.isSymLink());
    // The pages' addresses are in it: the player's alone.
    QCOMPARE(info.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
    const QStringList written = QString::fromUtf8(TestEnv::readFile(info.filePath())).split('\n');
    const bool full = log == "full";
    const int copied = full ? written.size() - 2 : log.section(' ', 1).toInt();
    QCOMPARE(written.size(), copied + (full ? 1 : 0) + 1);
    const QRegularExpression stamped("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3} " + line + "$");
    for (int i = 0; i < copied; ++i)
        QVERIFY2(stamped.match(written.at(i)).hasMatch(), qPrintable(written.at(i)));
    if (full)
        QCOMPARE(written.at(copied), QString("Log file full: further lines go to standard error only"));
    QCOMPARE(written.last(), QString());
    QVERIFY(info.size() <= 4096);
    // Full only when another line would not have fitted.
    if (full)
        QVERIFY2(info.size() > 4096 - 2 * 75, qPrintable(QString::number(info.size())));
    if (old == "-")
        QVERIFY(!QFileInfo::exists(folder + "/tarvenholm.old.log") && !QFileInfo(folder + "/tarvenholm.old.log").isSymLink());
    else
        QCOMPARE(QString::fromUtf8(TestEnv::readFile(folder + "/tarvenholm.old.log")), old);
}

TARVEN_TEST_MAIN(TestLogFile)
#include "tst_logfile.moc"
