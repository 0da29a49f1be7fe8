// The program's start-up failures, run against the real executable under a
// virtual X display; the message boxes are answered by pressing Return.
#include "app/commandline.h"
#include "clientprocess.h"
#include "nginxserver.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

class TestEntry : public QObject
{
    Q_OBJECT
private slots:
    void missingTranslations_data();
    void missingTranslations();
    void unknownStyle();
    void commandLineAnswers_data();
    void commandLineAnswers();

private:
    QString prepare(const QString &name, bool english, bool russian, const QByteArray &extra = QByteArray());
};

QString TestEntry::prepare(const QString &name, bool english, bool russian, const QByteArray &extra)
{
    const QString dir = TestEnv::freshDir(name);
    QDir().mkpath("home");
    const QString qm = TestEnv::binaryDir() + "/client/";
    if (english)
        QFile::copy(qm + "tarvenholm_en.qm", "tarvenholm_en.qm");
    if (russian)
        QFile::copy(qm + "tarvenholm_ru.qm", "tarvenholm_ru.qm");
    // Nothing listens on this port: the update fails at once, nothing leaves the machine.
    TestEnv::writeFile("tarvenholm.ini", "[General]\nlang=en\nupdateroot=http://127.0.0.1:" +
                                             QByteArray::number(NginxServer::freePort()) + "/\n" + extra);
    return dir;
}

void TestEntry::missingTranslations_data()
{
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("russian");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<bool>("windowCreated");
    QTest::newRow("english missing") << false << true << 1 << true;
    QTest::newRow("russian missing") << true << false << 1 << false;
    QTest::newRow("both missing") << false << false << 2 << false;
}

void TestEntry::missingTranslations()
{
    QFETCH(bool, english);
    QFETCH(bool, russian);
    QFETCH(int, boxes);
    QFETCH(bool, windowCreated);
    const QString dir = prepare(QString("entry-%1%2").arg(english).arg(russian), english, russian);
    ClientProcess client;
    client.environment().insert("QT_QPA_PLATFORM", "xcb");
    client.start(dir, dir + "/home");
    for (int i = 0; i < boxes; ++i) {
        const QString box = client.waitForWindow();
        QVERIFY2(!box.isEmpty(), qPrintable(client.errorText()));
        QVERIFY(!client.errorText().contains("MyTabWidget")); // the box comes before any window
        ClientProcess::pressReturn(box);
        if (i + 1 < boxes)
            QTRY_VERIFY(client.waitForWindow(2000) != box);
    }
    if (windowCreated) {
        // Answered: the start goes on, the update dialog reports the dead server.
        QVERIFY2(client.waitForLineStarting("\"Could not download file: "), qPrintable(client.errorText()));
        QVERIFY(client.errorText().contains("MyTabWidget"));
        QVERIFY(client.running());
        client.kill();
    } else {
        QVERIFY(client.waitForExit());
        QCOMPARE(client.exitCode(), 1);
        QVERIFY(!client.errorText().contains("MyTabWidget"));
        QVERIFY(!QFile::exists(dir + "/home/.macromedia/Flash_Player/#Security/FlashPlayerTrust/tarvenholm.cfg"));
    }
}

void TestEntry::unknownStyle()
{
    const QString dir = prepare("style", true, true, "style=nosuchstyle\n");
    ClientProcess client;
    client.start(dir, dir + "/home");
    QVERIFY2(client.waitForLineStarting("\"Could not download file: "), qPrintable(client.errorText()));
    QVERIFY(!client.errorText().contains("nosuchstyle"));
    client.kill();
}

void TestEntry::commandLineAnswers_data()
{
    QTest::addColumn<QString>("argument");
    QTest::newRow("version") << "--version";
    QTest::newRow("help") << "--help";
    QTest::newRow("help, short") << "-h";
    QTest::newRow("version after Qt's own option") << "-style=fusion --version";
}

// Answered on standard output for support, without a display, without
// reading or writing anything in the game folder.
void TestEntry::commandLineAnswers()
{
    QFETCH(QString, argument);
    const QString dir = TestEnv::freshDir("commandline");
    QProcess client;
    client.setWorkingDirectory(dir);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb"); // a display it would need, were it to start
    client.setProcessEnvironment(environment);
    client.start(ClientProcess::executable(), argument.split(' '));
    QVERIFY(client.waitForFinished(10000));
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(client.readAllStandardOutput());
    if (argument.endsWith("--version")) {
        QCOMPARE(out, CommandLine::versionText());
        QVERIFY2(QRegularExpression(QString("^TarvenHOLM \\d+\\.\\d+ \\(Qt %1, Qt WebEngine \\d[\\d.]*"
                                            " with Chromium \\d[\\d.]*, Ruffle \\d+\\.\\d+\\.\\d+\\)\n$")
                                        .arg(QRegularExpression::escape(qVersion()))).match(out).hasMatch(),
                 qPrintable(out));
    } else {
        QCOMPARE(out, CommandLine::helpText());
    }
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TARVEN_TEST_MAIN(TestEntry)
#include "tst_entry.moc"
