// The start on a system without a supported Flash Player security folder. The
// program is linked with the platform answer of Windows NT 4.
#include "app/appconfig.h"
#include "testenv.h"
#include "web/mytabwidget.h"
#include "window/flashenvironment.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

class TestUnsupportedOs : public QObject
{
    Q_OBJECT
private slots:
    void windowsVersions_data();
    void windowsVersions();
    void userDataPath();
    void startRefuses();
};

void TestUnsupportedOs::windowsVersions_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<bool>("supported");
    const int windows = QOperatingSystemVersion::Windows;
    QTest::newRow("NT 4") << windows << 4 << 0 << false;
    QTest::newRow("XP") << windows << 5 << 1 << false;
    QTest::newRow("Vista") << windows << 6 << 0 << false;
    QTest::newRow("7") << windows << 6 << 1 << true;
    QTest::newRow("8") << windows << 6 << 2 << true;
    QTest::newRow("10") << windows << 10 << 0 << true;
    QTest::newRow("macOS") << int(QOperatingSystemVersion::MacOS) << 13 << 0 << false;
    QTest::newRow("unknown") << int(QOperatingSystemVersion::Unknown) << 0 << 0 << false;
}

void TestUnsupportedOs::windowsVersions()
{
    QFETCH(int, type);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(bool, supported);
    const QOperatingSystemVersion version(QOperatingSystemVersion::OSType(type), major, minor);
    QCOMPARE(isSupportedWindowsVersion(version), supported);
}

void TestUnsupportedOs::userDataPath()
{
    MessageLog log;
    const QString path = ::userDataPath();
    QCOMPARE(path, TestEnv::home() + "/.config/");
    QVERIFY(log.contains("APPDATA= \"" + path + "\""));
}

void TestUnsupportedOs::startRefuses()
{
    MainWindow window;
    QTranslator none;
    window.translatorEn = &none;
    window.translatorRu = &none;
    QString shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            icon = box->icon();
            box->accept();
        }
    });
    MessageLog log;
    QVERIFY(!window.start());
    QCOMPARE(shown, QString("Unsupported Operating System"));
    QCOMPARE(icon, QMessageBox::Critical);
    QVERIFY(log.contains("Macromedia security path:  \"\""));
    QCOMPARE(log.countStarting("Trust file:"), 0);
    QVERIFY(!log.contains("Downloader ctor"));
    QCOMPARE(window.tabWidget()->count(), 0);
    QVERIFY(!QDir(TestEnv::home() + "/.macromedia").exists());
}

TARVEN_TEST_MAIN(TestUnsupportedOs)
#include "tst_unsupportedos.moc"
